#pragma once

#include "PreviewWindow.h"

#include <QString>
#include <QStringList>

// The module that holds the preview window, with QScintilla and QtPrintSupport behind it: loaded when
// the preview first opens, so that they cost the start nothing.

// Where the module may be, in order: beside the program (the build tree, a copy unpacked anywhere), then
// where an installation puts it relative to the program's bin directory.
QStringList previewModuleCandidates(const QString &programDirectory);

// A factory that loads the first candidate that exists when it is first called, checks that it was
// built with this program, and builds the window through it. It never unloads the module.
PreviewWindowFactory previewModuleFactory(const QStringList &candidates);

// What the module exports: a check that it belongs to this program, and the window's constructor.
#define ZABO_PREVIEW_MODULE_VERSION_SYMBOL "zabo_preview_module_version"
#define ZABO_PREVIEW_MODULE_CREATE_SYMBOL "zabo_create_preview_window"
using PreviewModuleVersion = const char *();
using PreviewModuleCreate = PreviewWindow *(const QString &formatterPath, JobPrompts &prompts,
                                            QWidget *parent);

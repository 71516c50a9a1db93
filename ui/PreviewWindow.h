#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class JobPrompts;
class QAction;

// The live preview as the rest of the program drives it. Its code views need QScintilla, which the
// first window does not show: the program loads the window from a module when the preview first opens
// (PreviewModule), while tests and tools link it (Preview.h).
class PreviewWindow : public QWidget
{
public:
    using QWidget::QWidget;

    // The text ParamMemo shows; formatting starts at once while the window is visible.
    virtual void setParameterText(const QString &text) = 0;
    // What the ticked rows really do, one line each ("-bl：被 -br 覆盖"); the grid's tooltips say the same.
    virtual void setOptionNotes(const QStringList &lines) = 0;
    // Where the window keeps its geometry, splitters and last view; nothing is remembered without one.
    // Applies what the file holds.
    virtual void setSettingsPath(const QString &path) = 0;
    // The main window's menu commands, so that their shortcuts work here too.
    virtual void shareShortcuts(const QList<QAction *> &actions) = 0;
    // Reads a file whole by the bytes of its path and previews it; the file is never written.
    virtual bool openSource(const QByteArray &localPath) = 0;
    // Brings the source and the result side by side to the front.
    virtual void showComparison() = 0;
};

// Builds the preview window over the formatter at formatterPath; null with whyNot set (the message a
// person reads) when it cannot.
using PreviewWindowFactory = std::function<PreviewWindow *(const QString &formatterPath, JobPrompts &prompts,
                                                           QWidget *parent, QString &whyNot)>;

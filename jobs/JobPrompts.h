#pragma once

#include "UserPrompts.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// A modal progress display; the window stays painted while it is up.
class JobProgress
{
public:
    virtual ~JobProgress() = default;
    // Shows done of total and lets the window repaint; false once the person has asked to cancel.
    virtual bool setProgress(int done, int total) = 0;
};

// Everything a formatting job needs from the person and the desktop. The main window answers with Qt
// dialogs and the desktop shell; tests answer from a script.
class JobPrompts : public UserPrompts
{
public:
    // An information question with OK and Cancel; false for Cancel.
    virtual bool askInformationOkCancel(const QString &text) = 0;

    struct OpenFilesRequest
    {
        QString title;
        QStringList filters; // Qt name filters, e.g. "支持文件类型 (*.c *.h *.cpp *.hpp)"
        QString initialDirectory;
        bool listHidden = false; // for hidden files such as ".indent.pro"
    };
    struct OpenFilesAnswer
    {
        QStringList files; // full paths; empty when cancelled
        QString selectedFilter;
    };
    // A file-open dialog that allows several files.
    virtual OpenFilesAnswer openFiles(const OpenFilesRequest &request) = 0;

    struct SaveFileRequest
    {
        QString title;
        QStringList filters;
        QString initialPath; // directory and proposed file name
    };
    // A file-save dialog that asks before replacing a file; the chosen path, empty when cancelled.
    virtual QString saveFile(const SaveFileRequest &request) = 0;

    // A folder chooser titled with prompt; empty when cancelled.
    virtual QString chooseDirectory(const QString &prompt) = 0;

    // Hands a folder to the desktop shell without waiting for it. The shell may answer later: onFailure
    // is called at most once, on this thread, with why the folder was not shown (no program to show
    // it, or one that failed).
    virtual void openFolder(const QString &path, std::function<void(const QString &reason)> onFailure) = 0;

    // Puts up a modal progress display until the returned object is destroyed.
    virtual std::unique_ptr<JobProgress> beginProgress(const QString &label, int total) = 0;
};

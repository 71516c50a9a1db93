#pragma once

#include "JobPrompts.h"

#include <QQueue>
#include <QStringList>

// Stands in for the person at the keyboard and for the desktop shell: records every notice, question
// and request, and answers from queues. Unscripted questions are answered Yes/OK; unscripted file and
// folder dialogs are cancelled.
class ScriptedPrompts : public JobPrompts
{
public:
    void ShowMessage(const QString &text) override;
    bool askWarningYesNo(const QString &question) override;
    bool askInformationOkCancel(const QString &text) override;
    OpenFilesAnswer openFiles(const OpenFilesRequest &request) override;
    QString saveFile(const SaveFileRequest &request) override;
    QString chooseDirectory(const QString &prompt) override;
    void openFolder(const QString &path, std::function<void(const QString &reason)> onFailure) override;
    std::unique_ptr<JobProgress> beginProgress(const QString &label, int total) override;

    void queueAnswer(bool yes) { m_yesNo.enqueue(yes); }
    void queueOkCancel(bool ok) { m_okCancel.enqueue(ok); }
    void queueFiles(const QStringList &files, const QString &selectedFilter = QString())
    {
        m_files.enqueue({files, selectedFilter});
    }
    void queueDirectory(const QString &directory) { m_directories.enqueue(directory); }
    void queueSaveFile(const QString &path) { m_saveFiles.enqueue(path); }
    // The progress display reports a cancel once this many updates have been shown; -1 never.
    int cancelAfterProgressUpdates = -1;
    // Whether the desktop shell manages to open a folder, and why not.
    bool openFolderSucceeds = true;
    QString openFolderFailure = QString::fromUtf8("没有找到可以打开目录的程序");

    QStringList messages;
    QStringList questions;            // warning questions (Yes/No)
    QStringList informationQuestions; // OK/Cancel
    QList<OpenFilesRequest> fileRequests;
    QList<SaveFileRequest> saveRequests;
    QStringList directoryPrompts;
    QStringList openedFolders;
    QStringList progressLabels;
    int progressUpdates = 0;

private:
    QQueue<bool> m_yesNo;
    QQueue<bool> m_okCancel;
    QQueue<OpenFilesAnswer> m_files;
    QQueue<QString> m_directories;
    QQueue<QString> m_saveFiles;
};

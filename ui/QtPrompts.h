#pragma once

#include "JobPrompts.h"

#include <QMessageBox>

#include <memory>

class FolderOpener;

// Answers the logic's questions with Qt's dialogs, parented to the given window, and hands folders to
// the desktop shell.
class QtPrompts : public JobPrompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);
    ~QtPrompts() override;

    void ShowMessage(const QString &text) override;
    bool askWarningYesNo(const QString &question) override;
    bool askInformationOkCancel(const QString &text) override;
    OpenFilesAnswer openFiles(const OpenFilesRequest &request) override;
    QString saveFile(const SaveFileRequest &request) override;
    QString chooseDirectory(const QString &prompt) override;
    void openFolder(const QString &path, std::function<void(const QString &reason)> onFailure) override;
    std::unique_ptr<JobProgress> beginProgress(const QString &label, int total) override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }

private:
    QWidget *dialogParent() const;
    int execMessageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons);

    QWidget *m_parent;
    std::unique_ptr<FolderOpener> m_folderOpener;
    bool m_busyCursor = false; // while the desktop shell is being asked to show a folder
};

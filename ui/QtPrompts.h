#pragma once

#include "JobPrompts.h"

#include <QMessageBox>

// Answers the logic's questions with Qt's dialogs, parented to the given window, and hands folders to
// the desktop shell.
class QtPrompts : public JobPrompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);

    void ShowMessage(const QString &text) override;
    bool askWarningYesNo(const QString &question) override;
    bool askInformationOkCancel(const QString &text) override;
    OpenFilesAnswer openFiles(const OpenFilesRequest &request) override;
    QString saveFile(const SaveFileRequest &request) override;
    QString chooseDirectory(const QString &prompt) override;
    bool openFolder(const QString &path) override;
    std::unique_ptr<JobProgress> beginProgress(const QString &label, int total) override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }

private:
    QWidget *dialogParent() const;
    int execMessageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons);

    QWidget *m_parent;
};

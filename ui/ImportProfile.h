#pragma once

#include "IndentProfile.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class JobPrompts;

namespace Ui {
class TImportProfileForm;
}

// Takes an indent profile or command line, pasted or read from a file, and shows at once what maps to
// catalogue rows and what does not. Importing hands the result to the main window; nothing is saved.
class TImportProfileForm : public QDialog
{
    Q_OBJECT

public:
    TImportProfileForm(JobPrompts &prompts, QWidget *parent = nullptr);
    ~TImportProfileForm() override;

    // Clears the text for a new import.
    void reset();

    void OpenFileButtonClick();
    void ImportButtonClick();
    void CancelButtonClick();
    // Restarts the wait after which the text is read: typing never waits for the parser.
    void ProfileMemoChange();

signals:
    void profileImported(const ProfileImport &import);

private:
    void showReport();

    std::unique_ptr<Ui::TImportProfileForm> ui;
    JobPrompts &m_prompts;
    QTimer m_parseTimer;
};

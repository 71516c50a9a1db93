#include "QtPrompts.h"

#include "FolderOpener.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

namespace {

class QtProgress : public JobProgress
{
public:
    QtProgress(const QString &label, int total, QWidget *parent)
        : m_dialog(label, QString::fromUtf8("取消"), 0, total, parent)
    {
        m_dialog.setWindowTitle(QApplication::applicationDisplayName());
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setMinimumDuration(0);
        m_dialog.setValue(0);
    }

    bool setProgress(int done, int total) override
    {
        m_dialog.setMaximum(total);
        m_dialog.setValue(done);
        // the job runs on this thread; let the windows paint and the cancel button be pressed
        QCoreApplication::processEvents();
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

QtPrompts::QtPrompts(QWidget *parent)
    : m_parent(parent)
{}

QtPrompts::~QtPrompts() = default;

QWidget *QtPrompts::dialogParent() const
{
    // the window that asked is the active one: an always-on-top dialog would otherwise cover the box
    QWidget *active = QApplication::activeWindow();
    return active && active->isVisible() ? active : m_parent;
}

int QtPrompts::execMessageBox(QMessageBox::Icon icon, const QString &text,
                              QMessageBox::StandardButtons buttons)
{
    QWidget *parent = dialogParent();
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons, parent);
    // messages name paths and files: let them be selected and copied
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (parent && parent->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec();
}

void QtPrompts::ShowMessage(const QString &text)
{
    execMessageBox(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

bool QtPrompts::askWarningYesNo(const QString &question)
{
    return execMessageBox(QMessageBox::Warning, question, QMessageBox::Yes | QMessageBox::No) !=
           QMessageBox::No;
}

bool QtPrompts::askInformationOkCancel(const QString &text)
{
    return execMessageBox(QMessageBox::Information, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

JobPrompts::OpenFilesAnswer QtPrompts::openFiles(const OpenFilesRequest &request)
{
    QFileDialog dialog(m_parent, request.title, request.initialDirectory);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(request.filters);
    if (request.listHidden)
        dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return {dialog.selectedFiles(), dialog.selectedNameFilter()};
}

QString QtPrompts::saveFile(const SaveFileRequest &request)
{
    QFileDialog dialog(m_parent, request.title, request.initialPath);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    // ".indent.pro" is a hidden file: list hidden files so that an existing one can be picked
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtPrompts::chooseDirectory(const QString &prompt)
{
    return QFileDialog::getExistingDirectory(m_parent, prompt);
}

void QtPrompts::openFolder(const QString &path, std::function<void(const QString &reason)> onFailure)
{
    if (!m_folderOpener)
        m_folderOpener = std::make_unique<FolderOpener>();
    m_folderOpener->open(path, std::move(onFailure));
}

std::unique_ptr<JobProgress> QtPrompts::beginProgress(const QString &label, int total)
{
    return std::make_unique<QtProgress>(label, total, m_parent);
}

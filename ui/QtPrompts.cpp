#include "QtPrompts.h"

#include "AppLocations.h"
#include "FolderOpener.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QProgressDialog>

namespace {

class QtProgress : public JobProgress
{
public:
    QtProgress(const QString &label, int total, QWidget *parent)
        : m_dialog(label, QString::fromUtf8("取消"), 0, total, parent)
    {
        m_dialog.setWindowTitle(programDisplayName());
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

// Room for the title bar's buttons and icon beside the title, in pixels at scale 1.
constexpr int TitleBarControls = 160;

// A short message makes a box narrower than its title, which the window manager then elides
// ("Zabo …化工具"): a strut as wide as the title in a bold face, with room for the title bar's controls.
void keepTitleWhole(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + TitleBarControls;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

QtPrompts::QtPrompts(QWidget *parent)
    : m_parent(parent)
{}

QtPrompts::~QtPrompts()
{
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

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
    QMessageBox box(icon, programDisplayName(), text, buttons, parent);
    // messages name paths and files: let them be selected and copied
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (parent && parent->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    keepTitleWhole(box);
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
    QFileDialog dialog(dialogParent(), request.title, request.initialDirectory);
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
    QFileDialog dialog(dialogParent(), request.title, request.initialPath);
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
    return QFileDialog::getExistingDirectory(dialogParent(), prompt);
}

void QtPrompts::openFolder(const QString &path, std::function<void(const QString &reason)> onFailure)
{
    if (!m_folderOpener) {
        m_folderOpener = std::make_unique<FolderOpener>();
        QObject::connect(m_folderOpener.get(), &FolderOpener::busyChanged, [this](bool busy) {
            if (busy == m_busyCursor)
                return;
            m_busyCursor = busy;
            if (busy)
                QApplication::setOverrideCursor(Qt::BusyCursor);
            else
                QApplication::restoreOverrideCursor();
        });
    }
    m_folderOpener->open(path, std::move(onFailure));
}

std::unique_ptr<JobProgress> QtPrompts::beginProgress(const QString &label, int total)
{
    return std::make_unique<QtProgress>(label, total, m_parent);
}

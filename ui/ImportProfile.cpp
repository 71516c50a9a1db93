#include "ImportProfile.h"
#include "ui_ImportProfile.h"

#include "JobPrompts.h"
#include "ParameterMemo.h"
#include "WindowStyle.h"

#include "CellTable.h"
#include "Descriptor.h"

#include <QDir>
#include <QFile>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

#include <cstring>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A profile is a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxProfileBytes = 1024 * 1024;
// Typing goes on undisturbed; the text is read once it rests this long.
constexpr int ParseDelayMilliseconds = 250;
// the text box lays a line out whole at every keystroke: a megabyte on one line takes seconds
constexpr int LongestShownLine = 200;

bool hasLongLine(const QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.length() > LongestShownLine + 1)
            return true;
    }
    return false;
}

QString readFailure(const RegularFileRead &read, const QString &path)
{
    const QString shownPath = QDir::toNativeSeparators(path);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        break;
    case RegularFileRead::Status::NotRegular:
        return text("这不是普通文件（可能是管道、设备或目录），无法作为indent配置读取：%1").arg(shownPath);
    case RegularFileRead::Status::TooLarge:
        return text("文件过大，不像是indent配置：%1").arg(shownPath);
    case RegularFileRead::Status::Failed:
        return text("无法读取文件：%1\n%2").arg(shownPath, QString::fromLocal8Bit(std::strerror(read.error)));
    }
    return QString();
}

} // namespace

TImportProfileForm::TImportProfileForm(JobPrompts &prompts, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TImportProfileForm>())
    , m_prompts(prompts)
{
    ui->setupUi(this);
    applyWindowStyle(this);
    setWindowModality(Qt::WindowModal);

    m_parseTimer.setSingleShot(true);
    m_parseTimer.setInterval(ParseDelayMilliseconds);
    connect(&m_parseTimer, &QTimer::timeout, this, &TImportProfileForm::showReport);
    connect(ui->OpenFileButton, &QPushButton::clicked, this, &TImportProfileForm::OpenFileButtonClick);
    connect(ui->ImportButton, &QPushButton::clicked, this, &TImportProfileForm::ImportButtonClick);
    connect(ui->CancelButton, &QPushButton::clicked, this, &TImportProfileForm::CancelButtonClick);
    connect(ui->ProfileMemo, &QPlainTextEdit::textChanged, this, &TImportProfileForm::ProfileMemoChange);
    showReport();
}

TImportProfileForm::~TImportProfileForm() = default;

void TImportProfileForm::reset()
{
    ui->ProfileMemo->clear();
    m_parseTimer.stop();
    ui->ReportLabel->clear();
    ui->ProfileMemo->setFocus();
}

void TImportProfileForm::OpenFileButtonClick()
{
    const JobPrompts::OpenFilesAnswer answer =
        m_prompts.openFiles({text("打开indent配置"),
                             {text("indent配置 (.indent.pro *.pro)"), text("所有文件 (*)")},
                             QString(),
                             true});
    if (answer.files.isEmpty())
        return;
    const QString path = answer.files.constFirst();
    // never blocks: a FIFO or a device picked here is refused, and no more than the limit is read
    const RegularFileRead read = readRegularFile(QFile::encodeName(path), MaxProfileBytes);
    if (read.status != RegularFileRead::Status::Read) {
        m_prompts.ShowMessage(readFailure(read, path));
        return;
    }
    // indent's options are ASCII; undecodable bytes can only be in comments or file names
    ui->ProfileMemo->setPlainText(profileWithShortLines(QString::fromUtf8(read.bytes), LongestShownLine));
}

void TImportProfileForm::ImportButtonClick()
{
    m_parseTimer.stop();
    emit profileImported(parseIndentProfile(ui->ProfileMemo->toPlainText()));
    accept();
}

void TImportProfileForm::CancelButtonClick()
{
    m_parseTimer.stop();
    reject();
}

void TImportProfileForm::ProfileMemoChange()
{
    // a long line pasted is shown broken at its blanks, which the profile reads alike
    if (hasLongLine(ui->ProfileMemo->document())) {
        const QString shortened = profileWithShortLines(ui->ProfileMemo->toPlainText(), LongestShownLine);
        const QSignalBlocker blocker(ui->ProfileMemo);
        QTextCursor cursor = ui->ProfileMemo->textCursor();
        const int position = cursor.position();
        ui->ProfileMemo->setPlainText(shortened);
        cursor = ui->ProfileMemo->textCursor();
        cursor.setPosition(std::min(position, int(shortened.size())));
        ui->ProfileMemo->setTextCursor(cursor);
    }
    m_parseTimer.start();
}

void TImportProfileForm::showReport()
{
    const QString profile = ui->ProfileMemo->toPlainText();
    if (profile.trimmed().isEmpty()) {
        ui->ReportLabel->clear();
        return;
    }
    const ProfileImport import = parseIndentProfile(profile);
    // wrapped only at blanks, never after an option's hyphen ("-pi3 -" / "ip7")
    ui->ReportLabel->setText(ParameterMemo::shownText(text("导入后的参数：") +
                                                      ParameterTextFor(import.checks).trimmed() +
                                                      QLatin1Char('\n') + profileImportReport(import)));
}

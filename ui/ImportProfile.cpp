#include "ImportProfile.h"
#include "ui_ImportProfile.h"

#include "JobPrompts.h"
#include "WindowStyle.h"

#include "CellTable.h"
#include "Descriptor.h"

#include <QDir>
#include <QFile>

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
// A C source opened by mistake gives thousands of words, and a text without blanks one huge word:
// nobody reads that many, and a label takes long to lay them out.
constexpr qsizetype ReportedWordsLimit = 40;
constexpr qsizetype ReportedWordLength = 80;

QString shortenedWord(const QString &word)
{
    if (word.size() <= ReportedWordLength)
        return word;
    return word.left(ReportedWordLength) + text("…（共 %1 个字符）").arg(word.size());
}

QStringList shortenedList(const QStringList &words)
{
    QStringList shown;
    for (qsizetype index = 0; index < words.size() && index < ReportedWordsLimit; ++index)
        shown.append(shortenedWord(words.at(index)));
    if (words.size() > ReportedWordsLimit)
        shown.append(text("……共 %1 个").arg(words.size()));
    return shown;
}

// The report with every list cut to its first few dozen words and a count.
QString shortenedImportReport(ProfileImport import)
{
    import.unmapped = shortenedList(import.unmapped);
    import.files = shortenedList(import.files);
    import.overridden = shortenedList(import.overridden);
    import.changed = shortenedList(import.changed);
    return profileImportReport(import);
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
    ui->ProfileMemo->setPlainText(QString::fromUtf8(read.bytes));
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
    ui->ReportLabel->setText(text("导入后的参数：") + ParameterTextFor(import.checks).trimmed() +
                             QLatin1Char('\n') + shortenedImportReport(import));
}

#include "ImportProfile.h"
#include "ui_ImportProfile.h"

#include "JobPrompts.h"
#include "ParameterMemo.h"
#include "WindowStyle.h"

#include "CellTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A profile is a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxProfileBytes = 1024 * 1024;

} // namespace

TImportProfileForm::TImportProfileForm(JobPrompts &prompts, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TImportProfileForm>())
    , m_prompts(prompts)
{
    ui->setupUi(this);
    applyWindowStyle(this);
    setWindowModality(Qt::WindowModal);

    connect(ui->OpenFileButton, &QPushButton::clicked, this, &TImportProfileForm::OpenFileButtonClick);
    connect(ui->ImportButton, &QPushButton::clicked, this, &TImportProfileForm::ImportButtonClick);
    connect(ui->CancelButton, &QPushButton::clicked, this, &TImportProfileForm::CancelButtonClick);
    connect(ui->ProfileMemo, &QPlainTextEdit::textChanged, this, &TImportProfileForm::ProfileMemoChange);
    ProfileMemoChange();
}

TImportProfileForm::~TImportProfileForm() = default;

void TImportProfileForm::reset()
{
    ui->ProfileMemo->clear();
    ui->ProfileMemo->setFocus();
}

void TImportProfileForm::OpenFileButtonClick()
{
    const JobPrompts::OpenFilesAnswer answer = m_prompts.openFiles(
        {QString::fromUtf8("打开indent配置"),
         {QString::fromUtf8("indent配置 (.indent.pro *.pro)"), QString::fromUtf8("所有文件 (*)")},
         QString(),
         true});
    if (answer.files.isEmpty())
        return;
    const QString path = answer.files.constFirst();
    QFile file(path);
    if (QFileInfo(path).size() > MaxProfileBytes) {
        m_prompts.ShowMessage(
            QString::fromUtf8("文件过大，不像是indent配置：%1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_prompts.ShowMessage(QString::fromUtf8("无法读取文件：%1\n%2")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    // indent's options are ASCII; undecodable bytes can only be in comments or file names
    ui->ProfileMemo->setPlainText(QString::fromUtf8(file.read(MaxProfileBytes)));
}

void TImportProfileForm::ImportButtonClick()
{
    emit profileImported(parseIndentProfile(ui->ProfileMemo->toPlainText()));
    accept();
}

void TImportProfileForm::CancelButtonClick()
{
    reject();
}

void TImportProfileForm::ProfileMemoChange()
{
    const QString text = ui->ProfileMemo->toPlainText();
    if (text.trimmed().isEmpty()) {
        ui->ReportLabel->clear();
        return;
    }
    const ProfileImport import = parseIndentProfile(text);
    // wrapped only at blanks, never after an option's hyphen ("-pi3 -" / "ip7")
    ui->ReportLabel->setText(ParameterMemo::shownText(QString::fromUtf8("导入后的参数：") +
                                                      ParameterTextFor(import.checks).trimmed() +
                                                      QLatin1Char('\n') + profileImportReport(import)));
}

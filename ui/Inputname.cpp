#include "Inputname.h"
#include "ui_Inputname.h"

#include "Main.h"
#include "ScreenFit.h"
#include "WindowStyle.h"

#include <QKeyEvent>

TInputNameForm *InputNameForm = nullptr;

TInputNameForm::TInputNameForm(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TInputNameForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    applyWindowStyle(this);

    connect(ui->OKButton, &QPushButton::clicked, this, &TInputNameForm::OKButtonClick);
    connect(ui->CornerButton2, &QPushButton::clicked, this, &TInputNameForm::CornerButton2Click);
    connect(ui->Edit, &QLineEdit::returnPressed, this, &TInputNameForm::OKButtonClick);
}

TInputNameForm::~TInputNameForm() = default;

void TInputNameForm::PresetName(const QString &name)
{
    ui->Edit->setText(name);
}

void TInputNameForm::OKButtonClick()
{
    if (MainForm)
        MainForm->SaveStyleAs(ui->Edit->text());
    hide();
}

void TInputNameForm::CornerButton2Click()
{
    hide();
}

void TInputNameForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        fitOnScreen(this);
        centreWindow(this, MainForm);
    }
    ui->Edit->setFocus();
    QWidget::showEvent(event);
}

void TInputNameForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CornerButton2Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

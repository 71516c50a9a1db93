#include "Aboutme.h"
#include "ui_Aboutme.h"

#include "Main.h"
#include "ScreenFit.h"
#include "WindowStyle.h"

#include <QKeyEvent>
#include <QShowEvent>

TAboutForm *AboutForm = nullptr;

// The pictures live in a static library: register them before the form loads them.
static void registerImages()
{
    Q_INIT_RESOURCE(images);
}

TAboutForm::TAboutForm(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TAboutForm>())
{
    registerImages();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    applyWindowStyle(this);

    connect(ui->ExitButton, &QPushButton::clicked, this, &TAboutForm::ExitButtonClick);
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::ExitButtonClick()
{
    hide();
}

void TAboutForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        fitOnScreen(this);
        centreWindow(this, MainForm);
    }
    QWidget::showEvent(event);
}

void TAboutForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ExitButtonClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

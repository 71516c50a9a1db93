#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TAboutForm;
}

// A static window about the tool and voluntary donations; it is only ever shown and hidden.
class TAboutForm : public QWidget
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);
    ~TAboutForm() override;

    void ExitButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::TAboutForm> ui;
};

extern TAboutForm *AboutForm;

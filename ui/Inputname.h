#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TInputNameForm;
}

// The small window in which the user names the grid's selection before it is stored. It checks
// nothing itself: the main window's store accepts, asks about or refuses the name.
class TInputNameForm : public QWidget
{
    Q_OBJECT

public:
    explicit TInputNameForm(QWidget *parent = nullptr);
    ~TInputNameForm() override;

    void PresetName(const QString &name);

    void OKButtonClick();
    void CornerButton2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::TInputNameForm> ui;
};

extern TInputNameForm *InputNameForm;

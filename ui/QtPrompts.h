#pragma once

#include "UserPrompts.h"

class QWidget;

// Answers the logic's questions with Qt's message boxes, parented to the given window.
class QtPrompts : public UserPrompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);

    void ShowMessage(const QString &text) override;
    bool askWarningYesNo(const QString &question) override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }

private:
    QWidget *m_parent;
};

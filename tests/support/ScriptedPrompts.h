#pragma once

#include "UserPrompts.h"

#include <QQueue>
#include <QStringList>

// Stands in for the person at the keyboard: records every notice and question, and answers questions
// from a queue (Yes when the queue is empty).
class ScriptedPrompts : public UserPrompts
{
public:
    void ShowMessage(const QString &text) override;
    bool askWarningYesNo(const QString &question) override;

    void queueAnswer(bool yes) { m_answers.enqueue(yes); }

    QStringList messages;
    QStringList questions;

private:
    QQueue<bool> m_answers;
};

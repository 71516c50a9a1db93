#include "ScriptedPrompts.h"

void ScriptedPrompts::ShowMessage(const QString &text)
{
    messages.append(text);
}

bool ScriptedPrompts::askWarningYesNo(const QString &question)
{
    questions.append(question);
    return m_answers.isEmpty() ? true : m_answers.dequeue();
}

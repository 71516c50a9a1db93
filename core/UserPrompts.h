#pragma once

#include <QString>

// What the logic asks of the person at the keyboard. The windows answer with Qt dialogs, tests from a
// script; nothing below the windows opens a dialog itself.
class UserPrompts
{
public:
    virtual ~UserPrompts() = default;

    // A modal notice with one button; returns once it is dismissed.
    virtual void ShowMessage(const QString &text) = 0;
    // A modal warning question with Yes and No; true for every answer but No.
    virtual bool askWarningYesNo(const QString &question) = 0;
};

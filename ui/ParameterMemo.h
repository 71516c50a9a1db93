#pragma once

#include <QPlainTextEdit>

// Shows a parameter text that wraps only at the blanks between options. Qt's line breaking would also
// split after a hyphen ("-ip4 -" / "l120"), which reads like a bare "-"; the text on screen therefore
// uses non-breaking hyphens, while parameterText() and anything copied from the memo are the exact
// parameter text.
class ParameterMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ParameterMemo(QWidget *parent = nullptr);

    void setParameterText(const QString &text);
    QString parameterText() const { return m_text; }

    // The hyphens as typed, for text copied from the screen.
    static QString exactText(const QString &shown);
    // Parameters as the screen shows them, with non-breaking hyphens, for any label that lists them.
    static QString shownText(const QString &exact);

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    QString m_text;
};

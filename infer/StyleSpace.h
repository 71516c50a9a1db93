#pragma once

#include "StyleRecord.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

// The selections a style search may propose, and what makes two of them format every text alike.

// Rows a proposal never ticks: "-st" (the job leaves it out), "-npro" (which profile, not which layout),
// "-v" (talk, not layout), "-pmt" (file times) and a bare "-T" (it swallows the row after it).
bool isProposableRow(int row);
QVector<int> proposableRows();

// The selection without the rows a proposal never ticks.
CheckStates proposableSelection(const CheckStates &checks);

int tickedRowCount(const CheckStates &checks);

// The value of an indent setting (its short name, as settingOfOption gives it) when no option sets it,
// written as the option that sets it so ("-bl" for "br", "-i2" for "i"); empty where indent derives it
// from other settings or we do not rely on it.
QString indentDefaultOption(const QString &setting);

// The settings no text of these sources can show, because none holds what the setting formats: "-saf"
// without a "for", "-cli4" without a "switch", "-lps" without a '#' followed by a blank. A word inside a
// comment or a string counts as present.
QStringList settingsTheSourcesCannotShow(const QVector<QByteArray> &texts);

// What indent ends up with, setting by setting, for a selection of proposable rows: the winning option
// of every layout setting or indent's default; the values indent derives when no row sets them (the
// comment line length from the line length, the continuation indent from the indentation, the paren
// indent from the continuation indent, the case brace indent from the indentation); and "*" for a
// setting nothing can show: the brace indent with "-br", the paren indent with "-lp", the struct brace
// indent with "-brs", the comment line length when no comment is formatted, and the idle settings given.
// A setting indent fixes no default for, and no row sets, is empty. Verbosity and file times are no
// layout and left out. Settings by their short names, values as the options that set them ("-bl",
// "-i4", "-lc80").
QMap<QString, QString> effectiveSettings(const CheckStates &checks, const QStringList &idleSettings = {});

// effectiveSettings for settings given one by one as the options that set them ("i" to "-i8"), as a
// whole profile gives them: every setting given or a selection could reach.
QMap<QString, QString> effectiveSettingsOf(const QHash<QString, QString> &given,
                                           const QStringList &idleSettings = {});

// effectiveSettings in a compact form, fast enough for thousands of selections a second: selections with
// equal keys have equal effective settings, and so format those sources alike.
class StyleKeys
{
public:
    explicit StyleKeys(const QStringList &idleSettings = {});
    QByteArray key(const CheckStates &checks) const;
    // The key read back as effectiveSettings gives it.
    QMap<QString, QString> describe(const QByteArray &key) const;

private:
    QVector<int> m_idle; // setting indexes
};

// Proposable rows that exclude each other, as one choice each: the rows that set one indent setting
// ("-bl" and "-br", "-i2" and "-i4", "-l74" to "-l120"), and the three style presets. Only choices of
// two or more rows; in catalogue order.
const QVector<QVector<int>> &exclusiveChoices();

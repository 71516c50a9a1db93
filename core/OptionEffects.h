#pragma once

#include "IndentOptions.h"
#include "StyleRecord.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// What GNU indent (the build we ship) does with each catalogue row, and so which ticked rows of a
// selection really count. indent reads the options left to right: of two explicit options for one
// setting the later wins; a preset ("-gnu", "-kr", "-orig", "-nip") sets each of its settings only where
// no explicit option has set it, and a later preset beats an earlier one; a bare "-T" takes the next
// option as a type name. The job hands indent the files first and the options after, in catalogue order,
// without "-st".
struct OptionEffect
{
    OptionKind kind;
    // Setting: the setting's name (indent's short name of the option family, such as "br" for
    // "-bl"/"-br" or "i" for "-i2"/"-i4"). Preset: the expansion, options separated by blanks.
    const char *what;
};

// What the catalogue row does, as the option table says of the option it carries.
OptionEffect optionEffect(int row);

// The indent setting that an option of a preset's expansion (or any catalogue switch or number) sets,
// e.g. "br" for "-bl", "i" for "-i2", "dj" for "-ndj"; empty when the option is none of these.
QString settingOfOption(const QString &option);

// A preset row's expansion as separate options; empty for other rows.
QStringList presetExpansion(int row);

// What one ticked row does in a selection.
struct RowNote
{
    enum class Effect {
        NotSelected,
        TakesEffect,
        Overridden,       // every setting it sets is set by byRows instead
        PartlyOverridden, // a preset: the settings in replaced are set by other rows
        TypeName,         // the row right after a bare "-T": declared a type name, not applied
        LeftOut,          // "-st": the job never hands it to indent
        MissingTypeName,  // "-T" with no option after it: indent stops with "missing argument"
    };
    struct Replaced
    {
        QString presetOption; // the option of the preset's expansion, e.g. "-i2"
        int byRow = -1;
    };

    Effect effect = Effect::NotSelected;
    QVector<int> byRows;        // Overridden: the rows that win, in catalogue order
    QVector<Replaced> replaced; // Overridden or PartlyOverridden presets: each replaced setting
    int typeNameRow = -1;       // "-T": the row it takes as its type name; TypeName: the "-T" row

    bool hasNoEffect() const;
};

using RowNotes = std::array<RowNote, OptionCount>;

// The note of every row for a working selection; rows that are not ticked get NotSelected.
RowNotes optionNotes(const CheckStates &checks);

// The same notes for catalogue rows handed to indent in any order, such as an imported command line;
// one note per position.
QVector<RowNote> sequenceNotes(const QVector<int> &rowsInOrder);

// The option that each indent setting ends up with, and the row it comes from (a preset's row for an
// option of its expansion); settings that no row sets are absent.
struct AppliedSetting
{
    QString option;
    int row = -1;
};
QHash<QString, AppliedSetting> appliedSettings(const QVector<int> &rowsInOrder);
QHash<QString, AppliedSetting> appliedSettings(const CheckStates &checks);

// A note in the words the grid shows, e.g. "被 -br 覆盖", "作为 -T 的类型名", "任务中不使用";
// empty for NotSelected.
QString rowNoteText(const RowNote &note);

// Every row's note text for a selection; empty for rows that are not ticked.
QStringList optionNoteTexts(const CheckStates &checks);

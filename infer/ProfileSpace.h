#pragma once

#include "IndentOptions.h"
#include "MeasuredLayout.h"
#include "StyleRecord.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// A whole indent profile: for each layout setting it sets, the option that sets it ("br" to "-br", "i"
// to "-i8"). A setting left out keeps indent's default. Unlike a selection of catalogue rows it may
// hold any layout option of indent and any number.
using Profile = QMap<QString, QString>;

// The profile's options in the options table's order: "-bad -br -i8 -l100".
QString profileParameterText(const Profile &profile);

// The same settings as a selection of rows leaves indent with, option by option, presets spelled out:
// a profile that formats every text as the selection does.
Profile profileOfSelection(const CheckStates &checks);

// A preset's settings ("-kr"), option by option.
Profile profileOfPreset(const IndentOption &preset);

// One layout setting and the options a search tries for it, besides leaving it out.
struct SettingChoice
{
    QString setting;
    QStringList options; // "-bl" "-br"; "-i2" "-i4" "-i8"
    LayoutConcern concern = LayoutConcern::None;
};

// Every setting a learnt profile may hold (the options table's layout options), in the table's order,
// with the options worth trying. A switch offers its options. A number offers indent's default, the
// numbers the presets and the catalogue rows give it, 0 where 0 is a layout (comment and declaration
// columns, indentations other than the basic one), and what the sources measure for it: their indent
// steps for the indentations (and twice the likeliest for continuation lines), their comment columns
// for the comment columns, their line lengths for the line lengths.
QVector<SettingChoice> profileChoices(const MeasuredLayout &measured);

// One option changed: the setting (an index into the choices) and its new option, empty to leave the
// setting to indent's default.
struct OptionChange
{
    int setting = 0;
    QString option;
};

struct ProfileChange
{
    Profile profile;
    QVector<OptionChange> changes;
};

// The profile with the changes made.
Profile withChanges(Profile profile, const QVector<OptionChange> &changes,
                    const QVector<SettingChoice> &choices);

// Every change of one setting of the profile to another of its choices or to none, in the choices' order.
QVector<ProfileChange> oneOptionChanges(const Profile &profile, const QVector<SettingChoice> &choices);

// Every two of those changes at once that change two settings of one concern (other than None).
QVector<ProfileChange> twoOptionChanges(const Profile &profile, const QVector<SettingChoice> &choices);

// The parameter texts of every one-option and two-option change, each once: what a check of the
// search's proof scores one by one.
QStringList neighbourTexts(const Profile &profile, const QVector<SettingChoice> &choices);

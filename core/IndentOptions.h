#pragma once

#include "OptionCatalogue.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

// What an option does to indent's run as a whole.
enum class OptionKind {
    Setting,        // sets exactly one indent setting
    Preset,         // sets the settings of its expansion with a preset's standing
    ProfileSwitch,  // "-npro": which profile is read, nothing about the layout
    TypeName,       // "-T": declares the next option's text a type name
    StandardOutput, // "-st": the job always leaves it out
};

// The groups of indent's manual, in its order.
enum class OptionTopic {
    BlankLines,
    Comments,
    Statements,
    Declarations,
    Indentation,
    LongLines,
    DisablingFormatting,
    Other,
};
constexpr int OptionTopicCount = 8;

// One option of GNU indent (the build we ship).
struct IndentOption
{
    const char *shortName; // without its dash: "bad", "l", "T"
    // The long names indent reads as this option, blank-separated, without "--". indent 2.2.12 matches
    // long names by prefix, so the manual's "-end" forms land on the shorter names before them.
    const char *longNames;
    bool numeric; // takes a decimal number, glued to either name or as the next word
    OptionKind kind;
    // Setting: the setting it changes, shared by the two members of a pair and by every number
    // ("br" for "-bl" and "-br", "i" for "-i2"). Preset: its expansion, options separated by blanks.
    const char *what;
    OptionTopic topic;
};

// Every option of indent that a catalogue row, a preset's expansion, a profile or a pasted command line
// may name, by the topics of indent's manual ("-o", "-version" and "-h" only steer where output goes and
// are handled where output is).
constexpr int IndentOptionCount = 100;
extern const IndentOption IndentOptions[IndentOptionCount];

// An option as written, matched against the table.
struct OptionMatch
{
    const IndentOption *option = nullptr; // null when indent has no such option
    QString number;                       // a numeric option's glued number; empty when none was glued
};

// A short option with its dash ("-l80", "-cd41", "-br"): an exact name first, else the longest numeric
// name followed by ASCII digits ("-cd41" is cd, not c).
OptionMatch matchShortOption(QStringView word);

// A long name without its "--" or "+" ("line-length80", "braces-on-if-line"): an exact long name, or a
// numeric option's long name with a number glued to it.
OptionMatch matchLongOption(QStringView name);

// The option whose short name is exactly shortName (no dash); null when none is.
const IndentOption *indentOptionNamed(QStringView shortName);

// Every long name of the table with "--", in table order.
QStringList longNamesOf(const IndentOption &option);

// The table's option a catalogue row carries and the number it gives it ("" for a switch).
const IndentOption &indentOptionOfRow(int row);
QString numberOfRow(int row);

// The catalogue rows that carry option, in catalogue order.
QVector<int> catalogueRowsOf(const IndentOption &option);

// What a layout option acts on, where options act on the same thing: a change of one is only judged
// fairly together with a change of another of the same concern ("-br" with "-ce", "-i8" with "-ci8",
// "-c41" with "-cd41", "-di16" with "-psl").
enum class LayoutConcern {
    None, // acts alone: blank lines, blanks around words, line breaking
    Braces,
    Indentation, // indentation, continuation lines and the line length they break at
    CommentColumns,
    Declarations,
};

// Whether a learnt profile may hold the option: it sets a setting of the code's layout. Options that
// only redirect or stop indent, read files, talk, keep file times, name types or stand for presets are
// never proposed.
bool isLayoutOption(const IndentOption &option);

// The concern of a layout option's setting; None for every other option.
LayoutConcern layoutConcernOf(const IndentOption &option);

// The topic's name as the window shows it ("空行", "注释", …).
QString topicName(OptionTopic topic);

bool isAsciiNumber(QStringView text);

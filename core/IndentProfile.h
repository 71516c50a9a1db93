#pragma once

#include "StyleRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What an indent profile (".indent.pro") or a pasted indent command line says, in catalogue rows.
struct ProfileImport
{
    CheckStates checks{};
    // Options with no catalogue row, as written ("-i8", "--tab-size8", "-T size_t"), in input order;
    // "-T" pairs that the selection cannot keep come last.
    QStringList unmapped;
    // Words that are not options: the file arguments of a command line; ignored.
    QStringList files;
    // Options that a later one overrode in the input and that the catalogue's order would have let win
    // instead: left unticked, as they did nothing.
    QStringList overridden;
    // Settings the selection, read in catalogue order, still sets differently from the input (presets
    // in another order), as "-i2 变为 -i4".
    QStringList changed;

    // A last "-T" with no type name after it, as the export writes a selection whose last ticked row is
    // "-T" (indent refuses such a profile). Kept: "-T" is ticked, so the selection says the same thing
    // and fails in the same way. Unkept: a ticked row after "-T" would become its type name, so it is
    // listed in unmapped instead.
    enum class BareTypeName { None, Kept, Unkept };
    BareTypeName bareTypeName = BareTypeName::None;
    int bareTypeNameWouldTake = -1; // Unkept: the row the selection's "-T" would take as its type name
};

// Reads text the way indent reads its profile and command line, forgivingly: /* */ and // comments, any
// whitespace and line ends, long forms ("--braces-on-if-line", "+braces-on-if-line") and short forms, a
// number given as the next word ("-l 80"), "-T name" pairs and "-o file"; a leading "indent" word and
// file arguments are skipped; a last "-T" without a type name is kept where the selection can hold it. A "-T"
// pair maps only when its partner is a catalogue row after "-T" and the selection keeps the two together. The
// selection is read in catalogue order, the input in its own: an option that did nothing in the input and
// would win in the selection is left out, and what the order still changes is listed.
ProfileImport parseIndentProfile(const QString &text);

// The same profile with every line longer than longest broken at blanks into lines of about that length,
// for a text box that lays a line out whole at every keystroke. Line ends separate options as blanks do,
// so what the profile says stays the same; a "//" comment is never broken, since a line end ends it.
QString profileWithShortLines(const QString &text, int longest);

// The short form of an indent option written in any form ("--braces-on-if-line" gives "-br",
// "--line-length80" gives "-l80"); empty when indent has no such long option.
QString shortOptionForm(const QString &option);

// Every long option the parser knows, with "--" and, for one that takes a number, a number glued to it
// ("--line-length80").
QStringList knownLongOptions();

// The report shown for an import: "未收录的参数：" and the unmapped options (or that all mapped), and
// the ignored files, the left-out overridden options and the changes of order, when there are any.
// Short whatever the input: each list shows its first ReportedWordLimit words, each cut after
// ReportedWordLength characters with its length named, and then how many there are in all.
constexpr int ReportedWordLimit = 30;
constexpr int ReportedWordLength = 60;
QString profileImportReport(const ProfileImport &import);

// words joined by separator, shortened as profileImportReport shortens each of its lists.
QString reportedWords(const QStringList &words, const QString &separator);

// A ".indent.pro" for a style: a comment naming it, then one option per line in the order of the
// parameter text. "-npro" and "-st" mean nothing in a profile and are left out, with a comment saying
// so; a bare "-T" keeps its partner on its line, so indent pairs them as on the job's command line.
QByteArray indentProfileText(const QString &styleName, const QString &parameterText);

// The options left out of a profile by indentProfileText, in parameter-text order.
QStringList optionsLeftOutOfProfile(const QString &parameterText);

#pragma once

#include "FormatCommand.h"
#include "StyleStore.h"

#include <QString>

#include <optional>
#include <vector>

class Reporter;

struct ChosenStyle
{
    QString name;
    QString parameterText;
    QByteArray profilePath = {};        // set when the options come from a .indent.pro, not a saved style
    bool keepsModificationTime = false; // "-pmt" counts: written files keep their source's times
};

// Whether "-pmt" takes effect among these options.
bool keepsModificationTime(const QString &parameterText);

// Reads the style file without ever writing it. A missing default file and a file without styles mean
// what the program would create in their place: the built-in styles.
std::optional<StyleFileContent> loadStyles(const FormatOptions &options, const FormatSetup &setup,
                                           Reporter &reporter);

// Every style with its options, '*' before the selected one.
void listStyles(const StyleFileContent &styles, Reporter &reporter);

// The style --style names, else the selected one; an unknown name is reported with the known ones.
std::optional<ChosenStyle> chooseStyle(const StyleFileContent &styles, const std::optional<QString> &name,
                                       Reporter &reporter);

struct Source;

// What the summary line says formatted the files: " (style "NAME")", or the profiles the formatted
// sources used: " (profile src/.indent.pro)", " (profiles .indent.pro, lib/.indent.pro)".
QByteArray stylesShown(const std::vector<ChosenStyle> &styles, const std::vector<Source> &sources);

#pragma once

#include "FormatStyles.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QStringList>

#include <vector>

// The options of a team's indent profile, to be given to indent explicitly, after "-npro".
struct RepositoryProfileOptions
{
    QStringList options;
    QByteArray problem; // set when the profile cannot be used as it stands
};

// Reads a profile's text as indent reads it (formatter/FormatterProfile's words and rules). "-st" and
// "-v" forms are left out, since the results always go to the files; a word that would send the output
// elsewhere or stop indent is refused, and so is a bare numeric option followed by no number.
RepositoryProfileOptions repositoryProfileOptions(const QByteArray &text);

// The .indent.pro files of a tree, found the way clang-format finds its .clang-format: for each file
// the nearest one from the file's directory upward. Each directory is looked at once per run.
class RepositoryProfiles
{
public:
    RepositoryProfiles();

    // The index in styles() of the profile for a file at path (the file itself need not exist); -1
    // when there is none or the one found cannot be used, with the reason in problem.
    int styleFor(const QByteArray &filePath, QByteArray *problem);
    const std::vector<ChosenStyle> &styles() const { return m_styles; }

private:
    using DirectoryKey = QPair<quint64, quint64>; // device and inode
    struct Lookup
    {
        int style = -1;
        QByteArray problem;
    };

    Lookup readProfile(int directoryFd, int profileFd);
    QByteArray shownPath(int directoryFd) const;

    QHash<DirectoryKey, Lookup> m_byDirectory;
    std::vector<ChosenStyle> m_styles;
    QByteArray m_workingDirectory;
};

class Reporter;
struct Source;

// --style file: gives every source the style of its nearest .indent.pro; false, after naming each
// problem once, when a source has none or one that cannot be used.
bool assignRepositoryProfiles(std::vector<Source> &sources, std::vector<ChosenStyle> *styles,
                              Reporter &reporter);

#pragma once

#include "FormatSources.h"
#include "IgnorePatterns.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <memory>
#include <vector>

class Reporter;
class SourceDirectories;

// The file a repository commits to name what zabo-format leaves alone (vendored or generated code).
inline constexpr char IgnoreFileName[] = ".zaboignore";

// What leaves a source out of a run: a glob of --exclude, matched against the path below the argument
// it was found under (a file named on the command line, or standard input's --stdin-name, as named);
// or a .zaboignore in the source's directory or any directory above it, each matched against the path
// below its own directory, the nearest one deciding first, as git reads .gitignore files.
class SourceExcludes
{
public:
    enum class Verdict { Kept, Excluded, Unknown };

    explicit SourceExcludes(const QList<QByteArray> &globs);

    // Unknown, having named the ignore file, when one that counts cannot be read: a run then leaves
    // the source alone rather than guess.
    Verdict verdictFor(const Source &source, SourceDirectories &directories, Reporter &reporter);
    // Drops the sources left out; false when an ignore file could not be read.
    bool dropExcluded(std::vector<Source> *sources, const std::vector<SourceTree> &trees, Reporter &reporter);

private:
    struct IgnoreFile
    {
        QByteArray directory; // where it lies, as the kernel names the directory
        IgnorePatterns patterns;
    };
    // The ignore files that govern a directory's entries, the outermost first.
    struct Governing
    {
        QList<std::shared_ptr<const IgnoreFile>> files;
        QByteArray problem; // an ignore file on the way that cannot be read
    };

    // directoryFd may be -1 for a directory already looked at
    const Governing &governing(int directoryFd, const QByteArray &path);
    std::shared_ptr<const IgnoreFile> readIgnoreFile(int directoryFd, const QByteArray &path,
                                                     QByteArray *problem);
    bool ignoreFilesExclude(const Governing &governing, const QByteArray &path) const;

    IgnorePatterns m_globs;
    QByteArray m_workingDirectory;
    QHash<QByteArray, Governing> m_byDirectory;     // by the directory's path
    QHash<QByteArray, QByteArray> m_directoryPaths; // the kernel's name of a source's directory, by its place
    QSet<QByteArray> m_reported;
};

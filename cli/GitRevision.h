#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// A commit of the git repository around the working directory, read with the real git, for --since.
class GitRevision
{
public:
    // Resolves revision to a commit; false with git's own words, or why git could not be asked.
    bool resolve(const QByteArray &revision, QByteArray *problem);

    // What each file held in the commit, as git stored it; unset for a file the commit did not have.
    // Paths are as given (relative to the working directory or absolute); the files' directories must
    // exist inside the work tree. One git process for all of them.
    bool committedTexts(const QList<QByteArray> &paths, QList<std::optional<QByteArray>> *texts,
                        QByteArray *problem) const;

private:
    std::optional<QByteArray> pathInTree(const QByteArray &path, QByteArray *problem) const;

    QByteArray m_topLevel; // the work tree, as the kernel resolves it
    QByteArray m_commit;
};

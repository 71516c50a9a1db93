#pragma once

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>
#include <vector>

// A commit of the git repository around the working directory, read with the real git, for --since.
class GitRevision
{
public:
    // Resolves revision, any that git accepts, to a commit; false with git's own words, or why git
    // could not be asked.
    bool resolve(const QByteArray &revision, QByteArray *problem);

    // The repositories inside the work tree on the way to path's directory, outermost first: the
    // directories with a .git of their own, such as submodules. Their files are not in this history.
    QByteArrayList nestedRepositories(const QByteArray &path) const;

    // What the commit held at root, the work tree of a repository inside this one: the commit of that
    // repository recorded there (Found, in inner), nothing (Absent: its files are new), or a commit
    // that repository does not have, or no commit at all (Unavailable).
    enum class Nested { Found, Absent, Unavailable };
    Nested nested(const QByteArray &root, GitRevision *inner) const;

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

class Reporter;
struct Source;

// --since: gives every copied source the lines it changed since revision; a file the commit did not
// have is new in every line. original gives a source's text as it is now. False, reported, when git
// cannot tell.
bool limitToLinesChangedSince(const QByteArray &revision, std::vector<Source> &sources,
                              const std::function<bool(const Source &, QByteArray *)> &original,
                              Reporter &reporter);

#include "GitRevision.h"

#include "FormatReporter.h"
#include "FormatSources.h"
#include "LineSelection.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>

#include <sys/stat.h>

namespace {

struct GitResult
{
    bool ok = false;
    QByteArray output;
    QByteArray problem;
};

GitResult runGit(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    GitResult result;
    QProcess git;
    git.start(QStringLiteral("git"), arguments);
    if (!git.waitForStarted(-1)) {
        result.problem = "git could not start: " + git.errorString().toUtf8();
        return result;
    }
    git.write(input);
    git.closeWriteChannel();
    git.waitForFinished(-1);
    result.output = git.readAllStandardOutput();
    const QByteArray errors = git.readAllStandardError().trimmed();
    if (git.exitStatus() != QProcess::NormalExit) {
        result.problem = "git crashed";
        return result;
    }
    if (git.exitCode() != 0) {
        result.problem =
            errors.isEmpty() ? "git failed with status " + QByteArray::number(git.exitCode()) : errors;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace

bool GitRevision::resolve(const QByteArray &revision, QByteArray *problem)
{
    const GitResult top = runGit({QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")});
    if (!top.ok) {
        *problem = "--since needs a git work tree: " + top.problem;
        return false;
    }
    char resolved[PATH_MAX];
    if (!::realpath(top.output.trimmed().constData(), resolved)) {
        *problem = top.output.trimmed() + ": " + errnoText(errno);
        return false;
    }
    m_topLevel = resolved;
    // the object first, then its commit: "^{commit}" after ":/text" would be part of the text
    const GitResult object =
        runGit({QStringLiteral("rev-parse"), QStringLiteral("--verify"), QStringLiteral("--quiet"),
                QStringLiteral("--end-of-options"), QString::fromLocal8Bit(revision)});
    const GitResult commit =
        object.ok
            ? runGit({QStringLiteral("rev-parse"), QStringLiteral("--verify"), QStringLiteral("--quiet"),
                      QString::fromLatin1(object.output.trimmed() + "^{commit}")})
            : object;
    if (!commit.ok) {
        *problem = "--since: \"" + revision + "\" is no commit of the repository at " + m_topLevel;
        return false;
    }
    m_commit = commit.output.trimmed();
    return true;
}

QByteArrayList GitRevision::nestedRepositories(const QByteArray &path) const
{
    char resolved[PATH_MAX];
    if (!::realpath(parentOf(path).constData(), resolved))
        return {};
    QByteArrayList found;
    for (QByteArray directory(resolved); directory.startsWith(m_topLevel + '/');
         directory = parentOf(directory)) {
        struct stat status;
        if (::lstat((directory + "/.git").constData(), &status) == 0)
            found.prepend(directory);
    }
    return found;
}

GitRevision::Nested GitRevision::nested(const QByteArray &root, GitRevision *inner) const
{
    const QByteArray relative = root.mid(m_topLevel.size() + 1);
    const GitResult entry =
        runGit({QStringLiteral("-C"), QFile::decodeName(m_topLevel), QStringLiteral("rev-parse"),
                QStringLiteral("--verify"), QStringLiteral("--quiet"), QStringLiteral("--end-of-options"),
                QFile::decodeName(m_commit + ':' + relative)});
    if (!entry.ok)
        return Nested::Absent;
    inner->m_topLevel = root;
    inner->m_commit = entry.output.trimmed();
    const GitResult present =
        runGit({QStringLiteral("-C"), QFile::decodeName(root), QStringLiteral("cat-file"),
                QStringLiteral("-e"), QString::fromLatin1(inner->m_commit + "^{commit}")});
    return present.ok ? Nested::Found : Nested::Unavailable;
}

std::optional<QByteArray> GitRevision::pathInTree(const QByteArray &path, QByteArray *problem) const
{
    char resolved[PATH_MAX];
    const QByteArray directory = parentOf(path);
    if (!::realpath(directory.constData(), resolved)) {
        *problem = directory + ": " + errnoText(errno);
        return std::nullopt;
    }
    const QByteArray real = joinedPath(QByteArray(resolved), baseNameOf(path));
    if (!real.startsWith(m_topLevel + '/')) {
        *problem = path + ": outside the git work tree " + m_topLevel;
        return std::nullopt;
    }
    const QByteArray inTree = real.mid(m_topLevel.size() + 1);
    if (inTree.contains('\n')) {
        *problem = path + ": a line feed in its name; git cannot be asked about it";
        return std::nullopt;
    }
    return inTree;
}

bool GitRevision::committedTexts(const QList<QByteArray> &paths, QList<std::optional<QByteArray>> *texts,
                                 QByteArray *problem) const
{
    QByteArray requests;
    for (const QByteArray &path : paths) {
        const std::optional<QByteArray> inTree = pathInTree(path, problem);
        if (!inTree)
            return false;
        requests += m_commit + ':' + *inTree + '\n';
    }
    // -C names the work tree itself, so the requests' paths mean the same wherever zabo-format runs
    const GitResult batch = runGit({QStringLiteral("-C"), QFile::decodeName(m_topLevel),
                                    QStringLiteral("cat-file"), QStringLiteral("--batch")},
                                   requests);
    if (!batch.ok) {
        *problem = "git cat-file: " + batch.problem;
        return false;
    }
    // each answer: "<object> blob <size>\n<bytes>\n", or "<request> missing\n" for a file the commit lacks
    const QByteArray &output = batch.output;
    qsizetype at = 0;
    texts->clear();
    for (qsizetype index = 0; index < paths.size(); ++index) {
        const qsizetype lineEnd = output.indexOf('\n', at);
        if (lineEnd < 0) {
            *problem = "git cat-file ended early";
            return false;
        }
        const QList<QByteArray> header = output.mid(at, lineEnd - at).split(' ');
        at = lineEnd + 1;
        bool sized = false;
        const qsizetype size = header.size() == 3 ? header.at(2).toLongLong(&sized) : 0;
        static const QByteArrayList types{"blob", "tree", "commit", "tag"};
        if (!sized || !types.contains(header.at(1))) {
            texts->append(std::nullopt); // "missing": the commit has no such file
            continue;
        }
        if (size < 0 || at + size > output.size()) {
            *problem = "git cat-file gave a damaged answer";
            return false;
        }
        if (header.at(1) == "blob")
            texts->append(output.mid(at, size));
        else
            texts->append(std::nullopt); // a directory there then, not a file
        at += size + 1;
    }
    return true;
}

namespace {

// A repository that holds some of the sources: the work tree's own, or one inside it.
struct Repository
{
    GitRevision revision;
    GitRevision::Nested state = GitRevision::Nested::Found;
};

// The repository of each source, by the work tree of the innermost repository around it ("" for the
// work tree's own).
std::map<QByteArray, QList<std::size_t>> sourcesByRepository(const GitRevision &top,
                                                             const std::vector<Source> &sources,
                                                             std::map<QByteArray, Repository> *repositories)
{
    std::map<QByteArray, QList<std::size_t>> byRoot;
    repositories->emplace(QByteArray(), Repository{top, GitRevision::Nested::Found});
    for (std::size_t index = 0; index < sources.size(); ++index) {
        if (sources[index].state != Source::State::Copied)
            continue;
        QByteArray key;
        for (const QByteArray &root : top.nestedRepositories(sources[index].path)) {
            const Repository &outer = repositories->at(key);
            if (!repositories->count(root)) {
                Repository inner{GitRevision(), outer.state};
                if (outer.state == GitRevision::Nested::Found)
                    inner.state = outer.revision.nested(root, &inner.revision);
                repositories->emplace(root, inner);
            }
            key = root;
        }
        byRoot[key].append(index);
    }
    return byRoot;
}

bool limitToCommittedLines(const GitRevision &revision, const QList<std::size_t> &indices,
                           std::vector<Source> &sources,
                           const std::function<bool(const Source &, QByteArray *)> &original,
                           Reporter &reporter)
{
    QByteArrayList paths;
    for (const std::size_t index : indices)
        paths.append(sources[index].path);
    QList<std::optional<QByteArray>> committed;
    QByteArray problem;
    if (!revision.committedTexts(paths, &committed, &problem)) {
        reporter.message(problem);
        return false;
    }
    for (qsizetype at = 0; at < indices.size(); ++at) {
        Source &source = sources[indices.at(at)];
        QByteArray now;
        if (!original(source, &now))
            return false;
        source.lines = committed.at(at) ? changedLineRanges(*committed.at(at), now)
                                        : QList<LineRange>{LineRange{1, INT_MAX}};
    }
    return true;
}

} // namespace

bool limitToLinesChangedSince(const QByteArray &revisionName, std::vector<Source> &sources,
                              const std::function<bool(const Source &, QByteArray *)> &original,
                              Reporter &reporter)
{
    GitRevision revision;
    QByteArray problem;
    if (!revision.resolve(revisionName, &problem)) {
        reporter.message(problem);
        return false;
    }
    std::map<QByteArray, Repository> repositories;
    for (const auto &[root, indices] : sourcesByRepository(revision, sources, &repositories)) {
        const Repository &repository = repositories.at(root);
        switch (repository.state) {
        case GitRevision::Nested::Found:
            if (!limitToCommittedLines(repository.revision, indices, sources, original, reporter))
                return false;
            break;
        case GitRevision::Nested::Absent: // a repository that revision did not have: new in every line
            for (const std::size_t index : indices)
                sources[index].lines = QList<LineRange>{LineRange{1, INT_MAX}};
            break;
        case GitRevision::Nested::Unavailable:
            reporter.message(root + ": warning: --since " + revisionName +
                             " records no commit of this repository that it has; its files are left out");
            for (const std::size_t index : indices)
                sources[index].lines = QList<LineRange>{};
            break;
        }
    }
    return true;
}

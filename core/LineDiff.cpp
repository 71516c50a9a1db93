#include "LineDiff.h"

// the types only: the library itself is loaded when the first diff is asked for
#include <git2.h>

#include <QString>

#include <algorithm>
#include <atomic>

#include <dlfcn.h>

namespace {

void appendLine(QByteArray &out, char mark, const QByteArray &line)
{
    out += mark;
    out += line;
    if (!line.endsWith('\n'))
        out += "\n\\ No newline at end of file\n";
}

// "diff -u" writes an empty side's range as "start,0" with start one before where it would begin.
QByteArray range(int start, int count)
{
    if (count == 1)
        return QByteArray::number(start);
    return QByteArray::number(count == 0 ? start - 1 : start) + ',' + QByteArray::number(count);
}

int lineCountOf(const QByteArray &text)
{
    return int(text.count('\n')) + (text.isEmpty() || text.endsWith('\n') ? 0 : 1);
}

// One change as git's xdiff reports it without context: 1-based starts, and for an empty side the
// line after which the other side's lines go.
struct Change
{
    int oldStart = 0;
    int oldCount = 0;
    int newStart = 0;
    int newCount = 0;
};

int collectChange(const git_diff_delta *, const git_diff_hunk *hunk, void *payload)
{
    static_cast<QVector<Change> *>(payload)->append(
        {hunk->old_start, hunk->old_lines, hunk->new_start, hunk->new_lines});
    return 0;
}

// libgit2 with what it links (TLS, SSH, HTTP), loaded on the first diff rather than at every start of a
// program that may never diff: by the soname the build linked against, never unloaded.
struct Xdiff
{
    decltype(&git_diff_options_init) optionsInit = nullptr;
    decltype(&git_diff_buffers) diffBuffers = nullptr;
    QString problem; // why it could not be loaded; empty once it is
};

std::atomic<bool> xdiffAsked{false};

const Xdiff &xdiff()
{
    static const Xdiff loaded = [] {
        xdiffAsked = true;
        Xdiff functions;
        void *library = dlopen(ZABO_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            functions.problem = QString::fromLocal8Bit(dlerror());
            return functions;
        }
        const auto init = reinterpret_cast<decltype(&git_libgit2_init)>(dlsym(library, "git_libgit2_init"));
        functions.optionsInit =
            reinterpret_cast<decltype(&git_diff_options_init)>(dlsym(library, "git_diff_options_init"));
        functions.diffBuffers =
            reinterpret_cast<decltype(&git_diff_buffers)>(dlsym(library, "git_diff_buffers"));
        if (!init || !functions.optionsInit || !functions.diffBuffers) {
            functions = Xdiff();
            functions.problem = QStringLiteral(ZABO_LIBGIT2_SONAME ": git_diff_buffers is missing");
            return functions;
        }
        init();
        return functions;
    }();
    return loaded;
}

// xdiff's Myers with its cost limit: the shortest edit script where that is cheap, a near-shortest one
// in time close to linear where the texts differ nearly everywhere.
bool xdiffChanges(const QByteArray &oldText, const QByteArray &newText, QVector<Change> &changes)
{
    const Xdiff &functions = xdiff();
    if (!functions.diffBuffers)
        return false;
    git_diff_options options;
    functions.optionsInit(&options, GIT_DIFF_OPTIONS_VERSION);
    options.context_lines = 0;
    options.interhunk_lines = 0;
    options.flags = GIT_DIFF_FORCE_TEXT; // a NUL byte is a byte like any other here
    return functions.diffBuffers(oldText.constData(), size_t(oldText.size()), nullptr, newText.constData(),
                                 size_t(newText.size()), nullptr, &options, nullptr, nullptr, collectChange,
                                 nullptr, &changes) == 0;
}

} // namespace

QString lineDiffProblem()
{
    return xdiffAsked ? xdiff().problem : QString();
}

QVector<QByteArray> splitLines(const QByteArray &text)
{
    QVector<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        lines.append(text.mid(start, next - start));
        start = next;
    }
    return lines;
}

QVector<DiffLine> diffLines(const QByteArray &oldText, const QByteArray &newText)
{
    const int oldCount = lineCountOf(oldText);
    const int newCount = lineCountOf(newText);
    QVector<Change> changes;
    if (!xdiffChanges(oldText, newText, changes)) {
        // beyond what xdiff takes (a gigabyte), or without libgit2: every line replaced is still a true diff
        changes = {{1, oldCount, 1, newCount}};
        if (oldText == newText)
            changes.clear();
    }

    QVector<DiffLine> lines;
    lines.reserve(std::max(oldCount, newCount) + 16);
    int oldLine = 0;
    int newLine = 0;
    const auto commonUntil = [&](int oldLast) {
        while (oldLine < oldLast)
            lines.append({DiffLine::Kind::Common, ++oldLine, ++newLine});
    };
    for (const Change &change : changes) {
        commonUntil(change.oldCount == 0 ? change.oldStart : change.oldStart - 1);
        for (int i = 0; i < change.oldCount; ++i)
            lines.append({DiffLine::Kind::Removed, ++oldLine, 0});
        for (int i = 0; i < change.newCount; ++i)
            lines.append({DiffLine::Kind::Added, 0, ++newLine});
    }
    commonUntil(oldCount);
    return lines;
}

QVector<DiffHunk> groupHunks(const QVector<DiffLine> &lines, int context)
{
    QVector<DiffHunk> hunks;
    const qsizetype count = lines.size();
    qsizetype index = 0;
    while (index < count) {
        // the next change
        while (index < count && lines.at(index).kind == DiffLine::Kind::Common)
            ++index;
        if (index == count)
            break;
        qsizetype first = std::max<qsizetype>(0, index - context);
        qsizetype last = index; // one past the last change line taken so far
        // take changes while the common run between them is short enough to share context
        while (last < count) {
            qsizetype end = last;
            while (end < count && lines.at(end).kind != DiffLine::Kind::Common)
                ++end;
            qsizetype common = end;
            while (common < count && lines.at(common).kind == DiffLine::Kind::Common)
                ++common;
            last = end;
            if (common == count || common - end > 2 * context)
                break;
            last = common;
        }
        const qsizetype stop = std::min<qsizetype>(count, last + context);

        DiffHunk hunk;
        // numbers of the lines just before the hunk on each side
        int oldBefore = 0;
        int newBefore = 0;
        for (qsizetype i = first - 1; i >= 0 && (oldBefore == 0 || newBefore == 0); --i) {
            if (oldBefore == 0 && lines.at(i).oldLine)
                oldBefore = lines.at(i).oldLine;
            if (newBefore == 0 && lines.at(i).newLine)
                newBefore = lines.at(i).newLine;
        }
        hunk.oldStart = oldBefore + 1;
        hunk.newStart = newBefore + 1;
        for (qsizetype i = first; i < stop; ++i) {
            const DiffLine &line = lines.at(i);
            hunk.lines.append(line);
            if (line.kind != DiffLine::Kind::Added)
                ++hunk.oldCount;
            if (line.kind != DiffLine::Kind::Removed)
                ++hunk.newCount;
        }
        hunks.append(hunk);
        index = stop;
    }
    return hunks;
}

QVector<DiffHunk> diffHunks(const QByteArray &oldText, const QByteArray &newText, int context)
{
    return groupHunks(diffLines(oldText, newText), context);
}

QByteArray unifiedDiff(const QByteArray &oldText, const QByteArray &newText, const QByteArray &oldLabel,
                       const QByteArray &newLabel, int context)
{
    const QVector<DiffHunk> hunks = diffHunks(oldText, newText, context);
    if (hunks.isEmpty())
        return {};
    const QVector<QByteArray> oldLines = splitLines(oldText);
    const QVector<QByteArray> newLines = splitLines(newText);
    QByteArray out = "--- " + oldLabel + "\n+++ " + newLabel + "\n";
    for (const DiffHunk &hunk : hunks) {
        out += "@@ -" + range(hunk.oldStart, hunk.oldCount) + " +" + range(hunk.newStart, hunk.newCount) +
               " @@\n";
        for (const DiffLine &line : hunk.lines) {
            switch (line.kind) {
            case DiffLine::Kind::Common:
                appendLine(out, ' ', oldLines.at(line.oldLine - 1));
                break;
            case DiffLine::Kind::Removed:
                appendLine(out, '-', oldLines.at(line.oldLine - 1));
                break;
            case DiffLine::Kind::Added:
                appendLine(out, '+', newLines.at(line.newLine - 1));
                break;
            }
        }
    }
    return out;
}

int changedLineCount(const QVector<DiffLine> &lines)
{
    const DiffCounts counts = diffCounts(lines);
    return counts.removed + counts.added;
}

DiffCounts diffCounts(const QVector<DiffLine> &lines)
{
    DiffCounts counts;
    for (const DiffLine &line : lines) {
        counts.removed += line.kind == DiffLine::Kind::Removed ? 1 : 0;
        counts.added += line.kind == DiffLine::Kind::Added ? 1 : 0;
    }
    return counts;
}

#include "InferenceInput.h"

#include "Descriptor.h"
#include "SourceFiles.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <sys/stat.h>

namespace {

struct Candidate
{
    QByteArray path;
    qint64 size = 0;
};

QByteArray joinedPath(const QByteArray &directory, const QByteArray &relative)
{
    return directory.endsWith('/') ? directory + relative : directory + '/' + relative;
}

void addDirectory(const QByteArray &directory, bool recursive, QVector<Candidate> &candidates,
                  QVector<InputProblem> &problems)
{
    const SourceTree tree = scanSourceTree(directory, recursive);
    if (!tree.rootReadable) {
        problems.append({InputProblem::Kind::UnreadableDirectory, directory, 0});
        return;
    }
    for (const QByteArray &below : tree.unreadableDirectories)
        problems.append({InputProblem::Kind::UnreadableDirectory, joinedPath(directory, below), 0});
    for (const QByteArray &skipped : tree.skipped)
        problems.append({InputProblem::Kind::NotRegularFile, joinedPath(directory, skipped), 0});
    if (tree.files.isEmpty())
        problems.append({InputProblem::Kind::NoSourceFiles, directory, 0});
    for (const QByteArray &file : tree.files)
        candidates.append({joinedPath(directory, file), 0});
}

// Evenly spaced files in their order whose sizes add up to about budget; at least one when asked.
QVector<Candidate> evenSpread(const QVector<Candidate> &candidates, qint64 budget, bool atLeastOne)
{
    qint64 total = 0;
    for (const Candidate &candidate : candidates)
        total += candidate.size;
    if (total <= budget)
        return candidates;
    const double share = double(budget) / double(total);
    QVector<Candidate> chosen;
    double owed = 0;
    qint64 taken = 0;
    for (const Candidate &candidate : candidates) {
        // every file adds its share of the budget; a file is taken once the shares owed cover it
        owed += share * double(candidate.size);
        if (owed >= double(candidate.size) / 2 && taken + candidate.size <= budget) {
            chosen.append(candidate);
            taken += candidate.size;
            owed -= double(candidate.size);
        }
    }
    if (chosen.isEmpty() && atLeastOne && !candidates.isEmpty()) {
        const auto smallest =
            std::min_element(candidates.cbegin(), candidates.cend(),
                             [](const Candidate &a, const Candidate &b) { return a.size < b.size; });
        chosen.append(*smallest);
    }
    return chosen;
}

// Which files hold a point when points are laid every stride bytes (the first at half a stride) along
// the files' bytes in their order: a file is picked with a chance that grows with its size.
QVector<bool> filesAtByteStride(const QVector<Candidate> &candidates, const QVector<bool> &eligible,
                                double stride, qint64 *bytes)
{
    QVector<bool> picked(candidates.size(), false);
    *bytes = 0;
    double start = 0;
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        if (!eligible.at(index))
            continue;
        const double end = start + double(candidates.at(index).size);
        const double firstPoint = std::ceil((start - stride / 2) / stride) * stride + stride / 2;
        if (firstPoint < end) {
            picked[index] = true;
            *bytes += candidates.at(index).size;
        }
        start = end;
    }
    return picked;
}

// Files chosen by their bytes, about budget of them: the densest spread of byte points whose files fit.
// Files larger than the budget cannot be chosen.
QVector<bool> byteSpread(const QVector<Candidate> &candidates, qint64 budget)
{
    QVector<bool> eligible(candidates.size(), false);
    qint64 total = 0;
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        eligible[index] = candidates.at(index).size > 0 && candidates.at(index).size <= budget;
        if (eligible.at(index))
            total += candidates.at(index).size;
    }
    if (total == 0)
        return eligible;
    // the chosen bytes shrink, roughly, as the stride grows: look for the shortest stride within budget
    double fits = double(total) + 1;
    double tooShort = 0;
    QVector<bool> best = QVector<bool>(candidates.size(), false);
    qint64 bestBytes = -1;
    for (int step = 0; step < 48; ++step) {
        const double stride = (fits + tooShort) / 2;
        qint64 bytes = 0;
        const QVector<bool> picked = filesAtByteStride(candidates, eligible, stride, &bytes);
        if (bytes <= budget) {
            fits = stride;
            if (bytes > bestBytes) {
                best = picked;
                bestBytes = bytes;
            }
        } else {
            tooShort = stride;
        }
    }
    return best;
}

// Half the budget goes to files chosen by their bytes, so that the large files that hold most of the
// code are heard; the rest to an even spread by count of the files not yet chosen, so that the many
// small ones are heard too. The files stay in their order.
QVector<Candidate> fairSample(const QVector<Candidate> &candidates, qint64 budget)
{
    qint64 total = 0;
    for (const Candidate &candidate : candidates)
        total += candidate.size;
    if (total <= budget)
        return candidates;
    const QVector<bool> byBytes = byteSpread(candidates, budget / 2);
    qint64 taken = 0;
    QVector<Candidate> rest;
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        if (byBytes.at(index))
            taken += candidates.at(index).size;
        else
            rest.append(candidates.at(index));
    }
    const QVector<Candidate> byCount = evenSpread(rest, budget - taken, taken == 0);
    QVector<Candidate> chosen;
    qsizetype next = 0;
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        if (byBytes.at(index)) {
            chosen.append(candidates.at(index));
        } else if (next < byCount.size() && byCount.at(next).path == candidates.at(index).path) {
            chosen.append(candidates.at(index));
            ++next;
        }
    }
    return chosen;
}

} // namespace

QByteArray withUnixLineEnds(const QByteArray &text, bool *converted)
{
    if (converted)
        *converted = false;
    const qsizetype lineFeeds = text.count('\n');
    if (lineFeeds == 0 || text.count("\r\n") != lineFeeds)
        return text;
    if (converted)
        *converted = true;
    QByteArray unix = text;
    unix.replace("\r\n", "\n");
    return unix;
}

InferenceInput collectInferenceInput(const QList<QByteArray> &paths, bool recursive, qint64 sampleBytes)
{
    InferenceInput input;
    QVector<Candidate> candidates;
    for (const QByteArray &path : paths) {
        struct stat status;
        if (::stat(path.constData(), &status) != 0) {
            const bool dangling = errno == ENOENT && ::lstat(path.constData(), &status) == 0;
            input.problems.append(
                {dangling ? InputProblem::Kind::NotRegularFile : InputProblem::Kind::Missing, path,
                 dangling ? 0 : errno});
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            addDirectory(path, recursive, candidates, input.problems);
            continue;
        }
        if (!S_ISREG(status.st_mode)) {
            input.problems.append({InputProblem::Kind::NotRegularFile, path, 0});
            continue;
        }
        candidates.append({path, 0});
    }

    // a file named twice, or by a file and its directory, counts once
    QVector<Candidate> distinct;
    QSet<QPair<quint64, quint64>> seen;
    for (Candidate &candidate : candidates) {
        struct stat status;
        if (::stat(candidate.path.constData(), &status) == 0) {
            const QPair<quint64, quint64> identity{quint64(status.st_dev), quint64(status.st_ino)};
            if (seen.contains(identity))
                continue;
            seen.insert(identity);
            candidate.size = status.st_size;
            if (candidate.size > MaximumSourceBytes) {
                input.problems.append({InputProblem::Kind::TooLarge, candidate.path, 0});
                continue;
            }
        }
        distinct.append(candidate);
    }
    input.filesFound = int(distinct.size());

    const QVector<Candidate> chosen = fairSample(distinct, sampleBytes);
    input.sampled = chosen.size() < distinct.size();
    for (const Candidate &candidate : chosen) {
        const RegularFileRead read = readRegularFile(candidate.path, MaximumSourceBytes);
        switch (read.status) {
        case RegularFileRead::Status::Read: {
            SourceText source;
            source.path = candidate.path;
            source.text = withUnixLineEnds(read.bytes, &source.crlf);
            input.files.append(source);
            break;
        }
        case RegularFileRead::Status::NotRegular:
            input.problems.append({InputProblem::Kind::NotRegularFile, candidate.path, 0});
            break;
        case RegularFileRead::Status::TooLarge:
            input.problems.append({InputProblem::Kind::TooLarge, candidate.path, 0});
            break;
        case RegularFileRead::Status::Failed:
            input.problems.append({InputProblem::Kind::Unreadable, candidate.path, read.error});
            break;
        }
    }
    return input;
}

#pragma once

#include "InferenceInput.h"
#include "PrivateDirectory.h"

#include <QByteArray>
#include <QMutex>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// How many lines a line diff of before against after deletes plus inserts.
int changedLinesBetween(const QByteArray &before, const QByteArray &after);

// What formatting the sources with one parameter text gave.
struct StyleScore
{
    enum class Outcome {
        Scored,          // indent formatted every file (status 0, or 2 for text it parsed with warnings)
        FormatterFailed, // it ended with another status, or crashed: exitCode, messages, errorString
        FailedToStart,   // the formatter could not be started: errorString
        TimedOut,        // it ran past the time limit and was killed
        Cancelled,       // the search was stopped before or while it ran
        ScratchFailed,   // a private copy could not be written or read back: error (errno)
        OutOfSpace,      // the scratch file system ran full, so what indent wrote cannot be trusted
    };
    Outcome outcome = Outcome::Cancelled;
    qint64 changedLines = 0;         // over all files, when Scored
    QVector<int> fileLines;          // per file, when Scored
    QVector<QByteArray> fileDigests; // per file, when Scored: SHA-1 of the formatted text
    int exitCode = 0;
    QByteArray messages; // indent's standard error
    QString errorString;
    int error = 0;

    bool scored() const { return outcome == Outcome::Scored; }
};

struct EvaluatorSetup
{
    QString formatterPath;
    // Where the private directory goes; empty: scratchBase() with room for every worker's copies.
    QString scratchBase;
    int parallel = 0; // formatter processes at once; 0: one per core
    int timeLimitMilliseconds = 30000;
};

// Formats private copies of the sources with the embedded indent exactly as a job does
// (formatterOptions, formatterArguments, formatterEnvironment; indent inside the copies' directory, no
// standard input, no backups) and counts the lines each parameter text changes. Several indent processes
// run at once, each in a directory of its own inside one private scratch directory that is removed with
// everything in it when the evaluator goes. The sources themselves are never opened here.
class StyleEvaluator
{
public:
    StyleEvaluator(const QVector<SourceText> &sources, const EvaluatorSetup &setup);
    ~StyleEvaluator();
    StyleEvaluator(const StyleEvaluator &) = delete;
    StyleEvaluator &operator=(const StyleEvaluator &) = delete;

    // False when the scratch directory could not be made or has no room; setupError says why.
    bool isReady() const { return m_setupError.isEmpty(); }
    QString setupError() const { return m_setupError; }
    QString scratchDirectory() const { return m_scratch ? m_scratch->path() : QString(); }

    // Scores every parameter text, in order. Stops starting runs once cancel is set and ends the ones
    // going; what did not run is Cancelled.
    QVector<StyleScore> score(const QStringList &parameterTexts, const std::atomic_bool &cancel);

    // Formats the sources with one parameter text and returns their formatted texts (empty unless
    // Scored).
    QVector<QByteArray> format(const QString &parameterText, const std::atomic_bool &cancel,
                               StyleScore *score);

    int indentRuns() const { return m_runs.load(); }
    const QVector<SourceText> &sources() const { return m_sources; }
    // The name indent sees for a source's copy, and names in its messages.
    QString copyName(int index) const { return m_copyNames.at(index); }

    // Below this much free space after a run the formatter may have been cut short.
    static constexpr qint64 LowSpaceMargin = 1024 * 1024;

private:
    struct Slot;
    // One selection over every source: write the copies, run indent over them, read them back, count.
    StyleScore run(Slot &slot, const QString &parameterText, const std::atomic_bool &cancel,
                   QVector<QByteArray> *formatted);
    bool writeCopies(const Slot &slot, StyleScore *score) const;
    bool runFormatter(const Slot &slot, const QString &parameterText, const std::atomic_bool &cancel,
                      StyleScore *score);
    bool readCopies(const Slot &slot, const QString &parameterText, QVector<QByteArray> *texts,
                    StyleScore *score) const;
    bool createScratch(const EvaluatorSetup &setup);
    void removeScratch();
    int cachedChangedLines(int file, const QByteArray &digest, const QByteArray &formatted);

    QVector<SourceText> m_sources;
    QStringList m_copyNames;
    QString m_formatterPath;
    int m_timeLimit = 0;
    QProcessEnvironment m_baseEnvironment;
    std::unique_ptr<PrivateDirectory> m_scratch;
    int m_fd = -1; // m_scratch's
    std::vector<std::unique_ptr<Slot>> m_slots;
    QString m_setupError;
    std::atomic_int m_runs{0};

    // per file: what a formatted text (by its digest) changes; many selections format alike
    QMutex m_cacheMutex;
    QVector<QHash<QByteArray, int>> m_lineCache;
};

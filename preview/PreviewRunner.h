#pragma once

#include "LineDiff.h"
#include "PrivateDirectory.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QProcess;
class QThread;

// What one preview formats: a text, the name its private copy gets (indent names it in its
// messages) and the parameter text exactly as the user sees it.
struct PreviewRequest
{
    QByteArray source;
    QString fileName;
    QString parameterText;
    // The result this one follows, to show what changed since; none when comparePrevious is false.
    QByteArray previousResult;
    bool comparePrevious = false;
};

struct PreviewResult
{
    enum class Outcome {
        Finished,      // indent ended by itself; exitCode says how
        FailedToStart, // the formatter could not be started
        Crashed,       // the formatter died from a signal
        TimedOut,      // the formatter ran past the time limit and was killed
        ScratchFailed  // the private copy could not be written or read back
    };

    quint64 id = 0; // what PreviewRunner::format returned for the request
    PreviewRequest request;
    int optionCount = 0; // the style's options handed to indent
    Outcome outcome = Outcome::Finished;
    int exitCode = 0;     // when Finished: 0 clean, 2 formatted with parse warnings, else failed
    QByteArray formatted; // what indent wrote to standard output; meaningful when hasOutput()
    QByteArray messages;  // indent's standard error
    // why it failed to start (an indent profile that cannot be used included), crashed or could not
    // use its copy
    QString errorString;
    // The source's lines end in CRLF and LF both: formatted as it is, so indent leaves "\r" at the
    // start of lines. (A source whose lines all end in CRLF is formatted as its LF twin, and the result
    // gets CRLF back.)
    bool mixedLineEnds = false;
    qint64 elapsedNanoseconds = 0; // indent's own run
    // In diffsReady(): the line diffs against the source and, when asked for, against the previous one.
    QVector<DiffLine> sourceDiff;
    QVector<DiffLine> previousDiff;

    // indent rewrote the copy: a clean run, or one with parse warnings (as a job keeps it).
    bool hasOutput() const;
};

// Formats texts with the deployed formatter, one run at a time, never blocking the caller: each text is
// written to a private copy in a scratch directory the runner owns, and indent runs there over that copy
// with the options, profile and environment a job's run gets (formatterInvocation with the profile
// findFormatterProfile finds, formatterEnvironment; working directory the copy's directory; relative
// name; no standard input), except that it writes the text to standard output ("-st",
// standardOutputOptions): no full file system can cut it short.
// A new request kills the run still going, and the killed run's result is never reported. A result
// with output is reported at once, so the formatted text can be shown; its line diffs follow, right
// after it for a small text, else from a worker thread (one at a time) unless a newer request has made
// them outdated. The first runner tunes the process's allocator to keep the diffs' memory between runs
// (up to 16 MB): faulting it in afresh cost more than half of each diff.
class PreviewRunner : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeLimitMilliseconds = 10000;

    explicit PreviewRunner(const QString &formatterPath, QObject *parent = nullptr);
    ~PreviewRunner() override;

    // A run that takes longer is killed and reported as TimedOut.
    void setTimeLimit(int milliseconds);
    int timeLimit() const { return m_timeLimit.interval(); }

    // Starts formatting request; returns its id, which the result carries. A result, or a failure to
    // start, always arrives through finished() from the event loop, never from within this call.
    quint64 format(const PreviewRequest &request);
    // Kills the run still going, if any; nothing is reported for it.
    void cancel();

    bool isRunning() const;
    qint64 processId() const; // 0 when nothing runs
    // Made by the first run, removed with the runner; empty until then.
    QString scratchDirectory() const;

signals:
    // The formatted text and indent's messages, or what went wrong.
    void finished(const PreviewResult &result);
    // The same result again, with its line diffs filled in.
    void diffsReady(const PreviewResult &result);

private:
    void startRun(quint64 id);
    void processFinished();
    void processFailedToStart();
    void timeLimitReached();
    bool report(const PreviewResult &result);
    void disposeProcess(bool kill);
    void startDiff();
    void diffFinished();

    QString m_formatterPath;
    // made when first needed: a start that never previews leaves none
    std::unique_ptr<PrivateDirectory> m_scratch;
    QString m_copyPath;
    bool m_crLf = false; // the run formats the LF twin of an all-CRLF text
    QProcess *m_process = nullptr;
    QTimer m_timeLimit;
    QElapsedTimer m_clock;
    PreviewResult m_current;
    quint64 m_lastId = 0;
    QThread *m_diffThread = nullptr;
    PreviewResult m_diffing;                   // owned by the worker thread while it runs
    std::optional<PreviewResult> m_diffQueued; // the latest result waiting for the worker
    quint64 m_diffAwaited = 0;                 // whose diffs may still be reported
};

// The built-in sample: deliberately untidy C that shows what the catalogue's options change.
QByteArray previewSample();
QString previewSampleName();

// A user's file read whole, by the bytes of its path, so a name that is not valid UTF-8 opens too.
struct PreviewSourceFile
{
    // Larger files are no preview: indent would take seconds and the views would hold them all.
    static constexpr qint64 MaximumBytes = 4 * 1024 * 1024;
    enum class Problem { None, NotRegular, TooLarge, Failed };

    bool ok = false;
    QByteArray text;
    Problem problem = Problem::None;
    QString error; // the system's reason with Failed
};
// Reads only a regular file of at most MaximumBytes, and never blocks: a FIFO or a device is refused.
PreviewSourceFile readPreviewSource(const QByteArray &localPath);

// The name a private copy of localPath gets: its own name when that survives Qt's file name encoding,
// otherwise a stand-in with the same extension.
QString previewCopyName(const QByteArray &localPath);

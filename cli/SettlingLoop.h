#pragma once

#include "FormatSources.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <vector>

class Reporter;

// indent 2.2.12 does not always reach a stable text in one pass: run again over its output, a text may
// change once more, flip between two texts for ever, or grow with every pass. The settled form of a
// file is the text that its passes stand still on, or the first text of the cycle they come back to.
constexpr int MaxFormatterPasses = 10;

// The texts one file went through, remembered by their SHA-256.
class PassHistory
{
public:
    explicit PassHistory(const QByteArray &original);

    // The text of the next pass; true when it is one met before, which makes it the settled form: the
    // fixed point, or the first text of a cycle (the text that came back).
    bool settlesWith(const QByteArray &text);
    int passes() const { return int(m_seen.size()) - 1; }

private:
    QList<QByteArray> m_seen;
};

// Where a file that never settled keeps changing: its last two passes' texts.
struct UnsettledPasses
{
    std::size_t index = 0; // of the source
    QByteArray before;
    QByteArray after;
};

// The first line of after that differs from before, counted from 1 (0 for equal texts), and the line
// of original that stands there (where indent added the line: the one after it).
struct ChangingLine
{
    int output = 0;
    int original = 0;
};
ChangingLine firstChangingLine(const QByteArray &original, const QByteArray &before, const QByteArray &after);

// Runs indent again over the copies in the scratch directory that changed on the first pass, until
// each settles or MaxFormatterPasses passes were made. A copy that settled holds its settled form; one
// that did not is marked unsettled, its last two texts kept for reportUnsettled. Copies the first pass left
// as they were are marked unchangedByFirstPass, so that nobody reads them again.
class SettlingLoop
{
public:
    // Runs indent once more over the copies of these sources; false when the run must stop.
    using Pass = std::function<bool(const QList<std::size_t> &indices, int pass)>;
    // The source's original text; false (reported) when it cannot be had.
    using Original = std::function<bool(const Source &source, QByteArray *original)>;

    SettlingLoop(int scratchFd, Reporter &reporter)
        : m_scratchFd(scratchFd)
        , m_report(reporter)
    {}

    // False when a pass asked to stop or a copy could not be read.
    bool run(std::vector<Source> &sources, const Pass &pass, const Original &original);

    // Names each source that never settled, with the line where its passes keep changing; withDiff
    // adds the difference between its last two passes, on standard error, where it cannot be taken
    // for a change to apply.
    void reportUnsettled(const std::vector<Source> &sources, const Original &original, bool withDiff);

private:
    bool readCopy(const Source &source, QByteArray *text);

    int m_scratchFd;
    Reporter &m_report;
    std::vector<UnsettledPasses> m_unsettled;
};

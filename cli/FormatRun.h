#pragma once

#include "FormatCommand.h"
#include "FormatReporter.h"
#include "FormatSources.h"

#include <QPair>

#include <optional>
#include <vector>

struct ChosenStyle;
class PrivateDirectory;
class SourceDirectories;

// One run over files: find them, copy them into a private scratch directory, format the copies there
// and deliver the results as the mode asks.
class FormatRun
{
public:
    FormatRun(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
        : m_options(options)
        , m_setup(setup)
        , m_report(streams)
    {}

    int run();

private:
    using Identity = QPair<quint64, quint64>; // device and inode
    struct Delivered
    {
        qsizetype formatted = 0;
        qsizetype changed = 0;
    };

    // Reads source through its directory; false, having said why, when it cannot. With --in-place a
    // link found in a tree is not read: link then holds the identity of the file it leads to.
    bool readSource(SourceDirectories &directories, Source &source, QByteArray *bytes,
                    std::optional<Identity> *link);
    bool copyIntoScratch(PrivateDirectory &scratch);
    bool writeScratchCopy(PrivateDirectory &scratch, std::size_t index, QByteArray &bytes);
    bool format(const ChosenStyle &style, PrivateDirectory &scratch);
    int deliver(const ChosenStyle &style, PrivateDirectory &scratch, int outputFd);
    void deliverOne(const ChosenStyle &style, SourceDirectories &directories, Source &source,
                    PrivateDirectory &scratch, int outputFd, Delivered *delivered);
    void showDiff(const Source &source, const QByteArray &original, const QByteArray &result);
    void rewrite(const ChosenStyle &style, SourceDirectories &directories, const Source &source,
                 const QByteArray &result);
    void summarize(const ChosenStyle &style, const Delivered &delivered);
    bool originalOf(SourceDirectories &directories, Source &source, QByteArray *original);

    bool stopped() const
    {
        return m_report.outputBroken() || (m_setup.stopRequested && m_setup.stopRequested());
    }
    int stopStatus()
    {
        if (m_report.outputBroken()) {
            m_report.message("cannot write to standard output: " + m_report.outputError() + "; stopped");
            return FormatExit::Error;
        }
        m_report.message("interrupted; files not reached were left as they were");
        return FormatExit::Interrupted;
    }

    const FormatOptions &m_options;
    const FormatSetup &m_setup;
    Reporter m_report;
    std::vector<Source> m_sources;
    std::vector<SourceTree> m_trees;
    QByteArray m_workingDirectory; // null until a diff needs it; empty when it cannot be told
    qint64 m_keptBytes = 0;
    bool m_failed = false;
};

#pragma once

#include "FormatCommand.h"
#include "FormatReporter.h"
#include "FormatSources.h"

#include <optional>
#include <vector>

struct ChosenStyle;
class ScratchDirectory;

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
    bool copyIntoScratch(ScratchDirectory &scratch);
    bool format(const ChosenStyle &style, ScratchDirectory &scratch);
    int deliver(const ChosenStyle &style, ScratchDirectory &scratch, int outputFd);
    bool originalOf(const Source &source, QByteArray *original);

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
    qint64 m_keptBytes = 0;
    bool m_failed = false;
};

#pragma once

#include "FormatCommand.h"
#include "FormatReporter.h"
#include "FormatSources.h"
#include "FormatStyles.h"

#include <QSet>

#include <optional>
#include <vector>

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
    bool chooseStyles();
    int passStandardInputThrough();
    bool takeStandardInput(Source &source, QByteArray *bytes);
    bool readSource(Source &source, QByteArray *bytes, QSet<QPair<quint64, quint64>> &seen);
    bool copyIntoScratch(ScratchDirectory &scratch);
    bool limitToChangedLines();
    bool format(ScratchDirectory &scratch);
    bool runPass(ScratchDirectory &scratch, const QList<std::size_t> &indices, int pass);
    bool runStylePass(ScratchDirectory &scratch, const QList<std::size_t> &indices, int pass, int style);
    bool resultOf(const Source &source, ScratchDirectory &scratch, QByteArray *result);
    int deliver(ScratchDirectory &scratch, int outputFd);
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
    std::vector<ChosenStyle> m_styles; // a saved style, or with --style file one per .indent.pro found
    QString m_formatterPath;
    QSet<QByteArray> m_shownLines; // indent's messages already shown
    QSet<std::size_t> m_warned;    // sources already named in a parse warning
    qint64 m_keptBytes = 0;
    bool m_failed = false;
};

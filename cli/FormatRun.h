#pragma once

#include "FormatCommand.h"
#include "FormatReporter.h"
#include "FormatSources.h"
#include "FormatStyles.h"
#include "FormatterRun.h"
#include "LineSelection.h"
#include "SourceAccess.h"

#include <QHash>
#include <QPair>
#include <QSet>

#include <map>
#include <optional>
#include <vector>

class PrivateDirectory;
class SettlingLoop;

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
        qint64 changedLines = 0; // with Check: lines the changed files' diffs delete plus insert
    };

    // finding and reading the sources
    bool chooseStyles();
    int passStandardInputThrough(int status);
    bool takeStandardInput(Source &source, QByteArray *bytes);
    SourceDirectories &lookAfresh();
    // Reads source through its directory; false, having said why, when it cannot. With --in-place a
    // link found in a tree is not read: link then holds the identity of the file it leads to.
    bool readSource(Source &source, QByteArray *bytes, std::optional<Identity> *link);
    bool copyIntoScratch(PrivateDirectory &scratch);
    void warnOfCpp(const QByteArrayList &paths);
    bool writeScratchCopy(PrivateDirectory &scratch, std::size_t index, QByteArray &bytes);
    bool limitToChangedLines();
    bool originalOf(const Source &source, QByteArray *original);

    // formatting the copies
    bool format(PrivateDirectory &scratch);
    // sources: m_sources, or copies of them for a check, whose indices and paths are theirs
    bool runPass(std::vector<Source> &sources, PrivateDirectory &scratch, const QList<std::size_t> &indices,
                 int pass);
    bool runStylePass(std::vector<Source> &sources, PrivateDirectory &scratch,
                      const QList<std::size_t> &indices, int pass, int style);
    bool settle(std::vector<Source> &sources, PrivateDirectory &scratch, SettlingLoop &settling);

    // partial formatting (--lines, --since): leaves in each such source's copy the changes asked for,
    // checked as the class ChangeSelection says
    bool isolateChanges(PrivateDirectory &scratch);
    bool checkSelections(PrivateDirectory &scratch, std::map<std::size_t, ChangeSelection> &selections);
    bool putInCopy(PrivateDirectory &scratch, const Source &source, const QByteArray &text);
    void showFormatterOutput(const FormatterProcessResult &run, const QHash<QString, std::size_t> &byName);
    void warnOfParseProblems(const FormatterProcessResult &run, const QHash<QString, std::size_t> &byName);

    // delivering the results
    bool resultOf(const Source &source, PrivateDirectory &scratch, QByteArray *result);
    int deliver(PrivateDirectory &scratch, int outputFd);
    void deliverOne(Source &source, PrivateDirectory &scratch, int outputFd, Delivered *delivered);
    void deliverUnformatted(const Source &source, int outputFd);
    void showDiff(const Source &source, const QByteArray &original, const QByteArray &result);
    const QByteArray &workingDirectory();
    QByteArray annotatedPath(const Source &source);
    void rewrite(const Source &source, const QByteArray &result);
    // What an earlier run killed while writing left beside the sources goes, once per directory.
    void removeLeftovers(const Source &source);
    void summarize(const Delivered &delivered);
    const ChosenStyle &styleOf(const Source &source) const { return m_styles[std::size_t(source.style)]; }

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
    void reached(FormatStage stage) const
    {
        if (m_setup.stageReached)
            m_setup.stageReached(stage);
    }

    const FormatOptions &m_options;
    const FormatSetup &m_setup;
    Reporter m_report;
    std::vector<Source> m_sources;
    std::vector<SourceTree> m_trees;
    std::optional<SourceDirectories> m_directories; // opened afresh for each pass over the sources
    std::vector<ChosenStyle> m_styles; // a saved style, or with --style file one per .indent.pro found
    QString m_formatterPath;
    QSet<QByteArray> m_shownLines; // indent's messages already shown
    QSet<std::size_t> m_warned;    // sources already named in a parse warning
    QSet<Identity> m_cleanedDirectories;
    QByteArray m_workingDirectory; // null until a diff needs it; empty when it cannot be told
    qint64 m_keptBytes = 0;
    bool m_failed = false;
};

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class JobPrompts;
struct JobScriptResult;

// The two menu commands that format sources: copy them into a fresh time-stamped directory beside the
// program, run the formatter over the copies, clean out its backups and open the result. The sources
// are never changed. Talks to the person only through JobPrompts.
class FormattingJob
{
public:
    struct Context
    {
        QString programDirectory; // ends with '/'; the script and the output directories go here
        QString formatterPath;
        std::function<QString()> parameterText; // read once the dialogs have been answered
    };

    FormattingJob(Context context, JobPrompts &prompts);

    void IndentDirItemClick();
    void IndentFileItemClick();
    // The directory job over a whole tree: its sources, mirrored into the output directory.
    void IndentTreeItemClick();

    // The job's clock; tests fix it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Texts of the file dialog's two filter entries; picking files under the second asks first.
    static QString sourceFilesFilter();
    static QString allFilesFilter();

private:
    struct Selection
    {
        QStringList sources;    // what the script copies, in job order
        QStringList targets;    // per source: the subdirectory of the output it goes to, "" for the top
        QStringList unsafe;     // names the script cannot carry
        QStringList duplicates; // names already taken by an earlier source
        QStringList skipped;    // named like sources, but no regular file (trees only)
        QStringList unreadable; // subdirectories that could not be listed (trees only)
    };
    enum class JobKind { Directory, Files, Tree };
    // The folder a person chose, opened once: its sources are read through it.
    struct ChosenDirectory
    {
        QString prefix; // its path with a trailing '/', as the sources' paths begin
        int fd = -1;
    };

    bool fixedPathsAreSafe();
    bool chosenDirectoryIsSafe(const QString &directory);
    static Selection selectSources(const QStringList &candidates, const QStringList &targets = {});
    void runJob(const QDateTime &stamp, const Selection &selection, JobKind kind,
                const ChosenDirectory &chosen);
    void reportOutcome(const Selection &selection, const JobScriptResult &result);

    Context m_context;
    JobPrompts &m_prompts;
    std::function<QDateTime()> m_clock = &QDateTime::currentDateTime;
};

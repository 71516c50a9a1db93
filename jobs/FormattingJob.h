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

    // The job's clock; tests fix it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Texts of the file dialog's two filter entries; picking files under the second asks first.
    static QString sourceFilesFilter();
    static QString allFilesFilter();

private:
    struct Selection
    {
        QStringList sources;    // what the script copies, in job order
        QStringList unsafe;     // names the script cannot carry
        QStringList duplicates; // names already taken by an earlier source
    };
    enum class JobKind { Directory, Files };

    bool fixedPathsAreSafe();
    static Selection selectSources(const QStringList &candidates);
    void runJob(const QDateTime &stamp, const Selection &selection, JobKind kind);
    void reportOutcome(const Selection &selection, const JobScriptResult &result);

    Context m_context;
    JobPrompts &m_prompts;
    std::function<QDateTime()> m_clock = &QDateTime::currentDateTime;
};

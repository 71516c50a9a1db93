#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class JobPrompts;

// The two menu commands that format sources: copy them into a fresh time-stamped directory beside the
// program, run the formatter over the copies, clean out its backups and open the result. The sources
// are never changed. Talks to the person only through JobPrompts.
class FormattingJob
{
public:
    struct Context
    {
        QString programDirectory; // ends with '/'
        QString formatterPath;
        std::function<QString()> parameterText; // read once the dialogs have been answered
    };

    FormattingJob(Context context, JobPrompts &prompts);

    void IndentDirItemClick();
    void IndentFileItemClick();

    // The job's clock; tests fix it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    Context m_context;
    JobPrompts &m_prompts;
    std::function<QDateTime()> m_clock = &QDateTime::currentDateTime;
};

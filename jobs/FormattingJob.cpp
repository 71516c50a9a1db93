#include "FormattingJob.h"

#include "JobPrompts.h"

FormattingJob::FormattingJob(Context context, JobPrompts &prompts)
    : m_context(std::move(context))
    , m_prompts(prompts)
{
}

void FormattingJob::IndentDirItemClick()
{
}

void FormattingJob::IndentFileItemClick()
{
}

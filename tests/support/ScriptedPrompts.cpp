#include "ScriptedPrompts.h"

namespace {

class ScriptedProgress : public JobProgress
{
public:
    explicit ScriptedProgress(ScriptedPrompts &prompts)
        : m_prompts(prompts)
    {}

    bool setProgress(int, int) override
    {
        ++m_prompts.progressUpdates;
        return m_prompts.cancelAfterProgressUpdates < 0 ||
               m_prompts.progressUpdates < m_prompts.cancelAfterProgressUpdates;
    }

private:
    ScriptedPrompts &m_prompts;
};

} // namespace

void ScriptedPrompts::ShowMessage(const QString &text)
{
    messages.append(text);
}

bool ScriptedPrompts::askWarningYesNo(const QString &question)
{
    questions.append(question);
    return m_yesNo.isEmpty() ? true : m_yesNo.dequeue();
}

bool ScriptedPrompts::askInformationOkCancel(const QString &text)
{
    informationQuestions.append(text);
    return m_okCancel.isEmpty() ? true : m_okCancel.dequeue();
}

JobPrompts::OpenFilesAnswer ScriptedPrompts::openFiles(const OpenFilesRequest &request)
{
    fileRequests.append(request);
    return m_files.isEmpty() ? OpenFilesAnswer{} : m_files.dequeue();
}

QString ScriptedPrompts::saveFile(const SaveFileRequest &request)
{
    saveRequests.append(request);
    return m_saveFiles.isEmpty() ? QString() : m_saveFiles.dequeue();
}

QString ScriptedPrompts::chooseDirectory(const QString &prompt)
{
    directoryPrompts.append(prompt);
    return m_directories.isEmpty() ? QString() : m_directories.dequeue();
}

void ScriptedPrompts::openFolder(const QString &path, std::function<void(const QString &reason)> onFailure)
{
    openedFolders.append(path);
    if (!openFolderSucceeds)
        onFailure(openFolderFailure);
}

std::unique_ptr<JobProgress> ScriptedPrompts::beginProgress(const QString &label, int)
{
    progressLabels.append(label);
    return std::make_unique<ScriptedProgress>(*this);
}

#pragma once

#include "InferenceTask.h"

#include <QDialog>

#include <memory>

class JobPrompts;

namespace Ui {
class TInferStyleForm;
}

// Learns a style from a team's existing code: the person picks files or a folder, the search runs on a
// worker with its progress and a cancel button, and the report shows the proposed rows, the lines they
// still change against the best built-in style and the working selection, and what kinds of changes
// remain. "应用" hands the proposal to the main window; nothing is saved. Beside the rows it reports the
// whole indent profile the search found, which no style of rows can hold, and saves it as a .indent.pro
// on request.
class TInferStyleForm : public QDialog
{
    Q_OBJECT

public:
    TInferStyleForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent = nullptr);
    ~TInferStyleForm() override;

    // The working selection when the search starts: the starting point, and what the report compares with.
    void setWorkingSelection(const CheckStates &checks);
    // Where the search keeps its private copies; empty: the system's choice. For tests.
    void setScratchBase(const QString &directory);
    void addSources(const QStringList &paths);

    void AddFilesButtonClick();
    void AddDirectoryButtonClick();
    void ClearButtonClick();
    void StartButtonClick();
    void CancelSearchButtonClick();
    void ApplyButtonClick();
    // The whole profile, when the last search found one, as a .indent.pro where the person chooses.
    void SaveProfileButtonClick();
    void CloseButtonClick();

    bool isSearching() const { return m_task.isRunning() || m_searching; }
    QString reportText() const;
    QString progressText() const;

signals:
    // The proposal, and the first file it was learnt from (for the preview).
    void styleApplied(const CheckStates &checks, const QByteArray &firstSource);

public slots:
    // Closing (the button, the window's frame, Escape) stops a search first.
    void reject() override;

private:
    void showProgress(const SearchProgress &progress);
    void searchFinished(const InferenceOutcome &outcome);
    void setSearching(bool searching);
    QString reportOf(const InferenceOutcome &outcome) const;
    QString wholeProfileReport(const InferenceOutcome &outcome) const;
    const ProfileSearchResult *foundProfile() const;

    std::unique_ptr<Ui::TInferStyleForm> ui;
    JobPrompts &m_prompts;
    QString m_formatterPath;
    QString m_scratchBase;
    CheckStates m_working{};
    QStringList m_sources;
    InferenceTask m_task;
    bool m_searching = false;
    std::optional<InferenceOutcome> m_outcome; // the last search that found a proposal
};

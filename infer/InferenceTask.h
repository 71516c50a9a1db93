#pragma once

#include "InferenceInput.h"
#include "ProfileSearch.h"
#include "ResidualChanges.h"
#include "StyleSearch.h"
#include "UnparsableSources.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

// What one style search asks for.
struct InferenceRequest
{
    QList<QByteArray> paths; // files and directories, as the system names them
    bool recursive = false;
    std::optional<CheckStates> start; // the working selection
    EvaluatorSetup setup;
    bool wholeProfile = false; // also the whole profile, from the rows' answer, for a .indent.pro
};

// Everything a report needs once a search is over.
struct InferenceOutcome
{
    InferenceInput input;     // no file in it: nothing to learn from, nothing ran; files: those learnt from
    ParseScreening screening; // files indent could not parse cleanly, left out of input.files unless keptAll
    QString setupError;       // the scratch space could not be prepared; nothing ran
    SearchResult result;
    ResidualChanges residual; // what the proposal still changes, when Found
    // when asked for and the rows were found: the whole profile's search (Found or Failed; a cancel
    // there cancels the whole outcome)
    std::optional<ProfileSearchResult> wholeProfile;
    qint64 elapsedMilliseconds = 0;
};

// Runs a style search on a thread of its own: reads the sources, searches, and sorts what the proposal
// still changes. Progress and the outcome arrive as signals in the thread that owns the task; after a
// cancel no more progress, and an outcome that says Cancelled. Cancelling (or destroying the task) stops
// the search within moments; no formatter and no scratch copy outlives it.
class InferenceTask : public QObject
{
    Q_OBJECT

public:
    explicit InferenceTask(QObject *parent = nullptr);
    ~InferenceTask() override;

    // Starts a search; false while one still runs.
    bool start(const InferenceRequest &request);
    void cancel();
    bool isRunning() const;
    // Waits until the search has ended; its signals are still delivered through the event loop.
    void wait();

signals:
    void progressed(const SearchProgress &progress);
    void finished(const InferenceOutcome &outcome);

private:
    static InferenceOutcome infer(const InferenceRequest &request, const std::atomic_bool &cancel,
                                  const StyleSearch::Progress &progress);

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic_bool> m_cancel;
};

Q_DECLARE_METATYPE(SearchProgress)
Q_DECLARE_METATYPE(InferenceOutcome)

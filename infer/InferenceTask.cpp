#include "InferenceTask.h"

#include "CellTable.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

InferenceTask::InferenceTask(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SearchProgress>();
    qRegisterMetaType<InferenceOutcome>();
}

InferenceTask::~InferenceTask()
{
    cancel();
    wait();
}

bool InferenceTask::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void InferenceTask::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

void InferenceTask::wait()
{
    if (m_thread)
        m_thread->wait();
}

bool InferenceTask::start(const InferenceRequest &request)
{
    if (isRunning())
        return false;
    if (m_thread)
        m_thread->wait();
    m_cancel = std::make_shared<std::atomic_bool>(false);
    const std::shared_ptr<std::atomic_bool> cancel = m_cancel;
    const QPointer<InferenceTask> self(this);
    // queued to this object's thread; progress stops with a cancel, the outcome always comes
    m_thread.reset(QThread::create([request, cancel, self] {
        const InferenceOutcome outcome = infer(request, *cancel, [&](const SearchProgress &progress) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, cancel, progress] {
                    if (self && !cancel->load())
                        emit self->progressed(progress);
                },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            self.data(),
            [self, outcome] {
                if (self)
                    emit self->finished(outcome);
            },
            Qt::QueuedConnection);
    }));
    m_thread->start();
    return true;
}

InferenceOutcome InferenceTask::infer(const InferenceRequest &request, const std::atomic_bool &cancel,
                                      const StyleSearch::Progress &progress)
{
    QElapsedTimer clock;
    clock.start();
    InferenceOutcome outcome;
    outcome.input = collectInferenceInput(request.paths, request.recursive);
    if (outcome.input.files.isEmpty()) {
        outcome.result.outcome = SearchResult::Outcome::Failed;
        return outcome;
    }
    outcome.screening = leaveOutUnparsable(&outcome.input.files, request.setup, cancel);
    StyleEvaluator evaluator(outcome.input.files, request.setup);
    if (!evaluator.isReady()) {
        outcome.setupError = evaluator.setupError();
        outcome.result.outcome = SearchResult::Outcome::Failed;
        return outcome;
    }
    outcome.result = StyleSearch(evaluator).run(request.start, cancel, progress);
    if (outcome.result.outcome == SearchResult::Outcome::Found) {
        StyleScore score;
        const QVector<QByteArray> formatted =
            evaluator.format(ParameterTextFor(outcome.result.selection), cancel, &score);
        for (qsizetype index = 0; index < formatted.size(); ++index)
            outcome.residual.add(residualChanges(outcome.input.files.at(index).text, formatted.at(index)));
        if (request.wholeProfile) {
            outcome.wholeProfile = ProfileSearch(evaluator).run(
                {profileOfSelection(outcome.result.selection)}, cancel, progress);
            if (outcome.wholeProfile->outcome == SearchResult::Outcome::Cancelled)
                outcome.result.outcome = SearchResult::Outcome::Cancelled;
        }
    }
    outcome.elapsedMilliseconds = clock.elapsed();
    return outcome;
}

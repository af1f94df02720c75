#include "app/CJobRunner.h"

#include <QtConcurrent/QtConcurrentRun>
#include <utility>

void CJobRunner::Run::Expect(std::size_t files) {
    m_progress = std::make_unique<BatchProgress>(files);
}

void CJobRunner::Run::Planned(std::size_t index, const JobPlan& plan) {
    if (m_progress) Publish(m_progress->Planned(index, plan.frames));
}

void CJobRunner::Run::Frames(std::size_t index, int frames) {
    if (m_progress) Publish(m_progress->Frames(index, frames));
}

void CJobRunner::Run::FileDone(std::size_t index) {
    if (m_progress) Publish(m_progress->FileDone(index));
}

void CJobRunner::Run::Publish(const BatchProgress::State& state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Reports from several threads may arrive out of order: never go back.
    const auto rank = [](const BatchProgress::State& s) {
        return std::make_pair(s.run.done, s.filesDone);
    };
    if (rank(state) < rank(m_furthest)) return;
    m_furthest = state;
    m_latest = state;
    if (m_posted) return;
    m_posted = true;
    // The runner outlives the worker (its destructor waits), and an event for a runner that is
    // gone is dropped.
    QMetaObject::invokeMethod(
        m_runner, [runner = m_runner, run = shared_from_this()] { runner->Deliver(run); },
        Qt::QueuedConnection);
}

std::optional<BatchProgress::State> CJobRunner::Run::TakeLatest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted = false;
    return std::exchange(m_latest, std::nullopt);
}

CJobRunner::CJobRunner(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &CJobRunner::OnWatcherFinished);
}

CJobRunner::~CJobRunner() { Abandon(); }

void CJobRunner::Start(Work work) {
    if (IsRunning()) return;
    m_run = std::make_shared<Run>();
    m_run->m_runner = this;
    m_run->m_control.cancel = &m_run->m_cancel;
    m_run->m_control.threads = 0;
    m_watcher.setFuture(QtConcurrent::run(
        &m_pool, [run = m_run, work = std::move(work)] { return work(*run); }));
}

void CJobRunner::Cancel() {
    if (m_run) m_run->m_cancel.store(true);
}

void CJobRunner::Abandon() {
    if (!m_run) return;
    m_run->m_cancel.store(true);
    m_watcher.waitForFinished();
    m_run.reset();
}

void CJobRunner::Deliver(const std::shared_ptr<Run>& run) {
    if (run != m_run) return;  // a job that has ended or was abandoned
    if (const std::optional<BatchProgress::State> state = run->TakeLatest()) emit Progress(*state);
}

void CJobRunner::OnWatcherFinished() {
    if (!m_run) return;
    Deliver(m_run);
    const Outcome outcome = m_watcher.result();
    m_run.reset();
    emit Finished(outcome);
}

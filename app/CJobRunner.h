#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "jobs/BatchJob.h"
#include "jobs/BatchProgress.h"
#include "jobs/JobResult.h"

// Runs one job at a time on a thread of its own (QtConcurrent, watched by a QFutureWatcher) and
// hands its progress and its end to the GUI thread, in the manner of KeePassXC's AsyncTask. A
// job counts its frames through the core's BatchProgress; the GUI thread hears the latest count
// at most once per turn of its event loop, and always the last one before the end.
//
// Long work never runs on Qt's global thread pool: Qt's painting splits large image operations
// over that pool and waits for them, so a pool kept busy freezes the window.
class CJobRunner : public QObject {
    Q_OBJECT

public:
    // What a job hands back: a single job's result, or a batch's.
    struct Outcome {
        JobResult single;
        BatchResult batch;
    };

    // The running job's side, used on its worker thread.
    class Run : public std::enable_shared_from_this<Run> {
    public:
        // The cancel flag and the threads (one per core); progress is left to the job.
        const JobControl& Control() const { return m_control; }
        // The count starts here, for `files` files; their totals come with their plans.
        void Expect(std::size_t files);
        void Planned(std::size_t index, const JobPlan& plan);
        void Frames(std::size_t index, int frames);
        void FileDone(std::size_t index);

    private:
        friend class CJobRunner;
        void Publish(const BatchProgress::State& state);
        std::optional<BatchProgress::State> TakeLatest();

        CJobRunner* m_runner = nullptr;
        std::atomic<bool> m_cancel{false};
        JobControl m_control;
        std::unique_ptr<BatchProgress> m_progress;  // set by Expect, before any report
        std::mutex m_mutex;                         // guards the three below
        std::optional<BatchProgress::State> m_latest;  // not yet handed to the GUI thread
        BatchProgress::State m_furthest;               // the furthest reported
        bool m_posted = false;
    };
    using Work = std::function<Outcome(Run& run)>;

    explicit CJobRunner(QObject* parent = nullptr);
    // Cancels a running job and waits for its worker.
    ~CJobRunner() override;

    bool IsRunning() const { return m_run != nullptr; }
    // Starts work on a pool thread; ignored while a job runs.
    void Start(Work work);
    // Asks the job to stop at its next frame; Finished follows.
    void Cancel();
    // Cancels the job and waits for its worker; Finished does not follow.
    void Abandon();

signals:
    void Progress(const BatchProgress::State& state);
    void Finished(const CJobRunner::Outcome& outcome);

private:
    void Deliver(const std::shared_ptr<Run>& run);
    void OnWatcherFinished();

    QThreadPool m_pool;  // one thread: the job starts its own
    std::shared_ptr<Run> m_run;
    QFutureWatcher<Outcome> m_watcher;
};

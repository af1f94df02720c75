#include "app/CSizeEstimator.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Frames encoded for one guess.
constexpr int kSampleFrames = 8;

}  // namespace

CSizeEstimator::CSizeEstimator(QObject* parent) : QObject(parent) { m_pool.setMaxThreadCount(1); }

CSizeEstimator::~CSizeEstimator() {
    if (m_cancel) m_cancel->store(true);  // the pool then waits for a guess cut short
}

void CSizeEstimator::Estimate(const ConversionPlan& plan) {
    Forget();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const quint64 serial = m_nSerial;
    m_bBusy = true;
    auto* watcher = new QFutureWatcher<SizeEstimate>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        if (serial != m_nSerial) return;
        m_bBusy = false;
        emit Estimated(watcher->result());
    });
    // The guess works on its own copies.
    watcher->setFuture(QtConcurrent::run(&m_pool, [plan, cancel = m_cancel] {
        return EstimateMovieSize(plan, kSampleFrames, cancel.get());
    }));
}

void CSizeEstimator::Forget() {
    ++m_nSerial;
    m_bBusy = false;
    if (m_cancel) m_cancel->store(true);
}

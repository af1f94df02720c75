#pragma once

#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <memory>

#include "jobs/SizeEstimate.h"

// Works out about how large a movie will be (EstimateMovieSize) off the GUI thread. Only the
// latest request's guess is handed back; one asked for later cancels the one under way.
class CSizeEstimator : public QObject {
    Q_OBJECT

public:
    explicit CSizeEstimator(QObject* parent = nullptr);
    ~CSizeEstimator() override;

    // The plan must name its GIF (ConversionPlan::gif).
    void Estimate(const ConversionPlan& plan);
    // Forgets (and cancels) the request under way.
    void Forget();
    bool Busy() const { return m_bBusy; }

signals:
    void Estimated(const SizeEstimate& estimate);

private:
    QThreadPool m_pool;  // not Qt's global pool (see CJobRunner)
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_nSerial = 0;
    bool m_bBusy = false;
};

#include "app/CInputScanner.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

#include "app/DialogText.h"
#include "anim/AnimationScan.h"
#include "jobs/BatchJob.h"

CInputScanner::CInputScanner(QObject* parent) : QObject(parent) { m_pool.setMaxThreadCount(1); }

template <typename Scan>
void CInputScanner::Start(Scan scan) {
    const quint64 serial = ++m_nSerial;
    m_bBusy = true;
    // The scan works on its own copies; the pool waits for it when this object goes.
    auto* watcher = new QFutureWatcher<InputFacts>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        if (serial != m_nSerial) return;
        m_bBusy = false;
        emit Scanned(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(&m_pool, std::move(scan)));
}

void CInputScanner::ScanGif(const QString& path, FrameRules rules) {
    Start([path, rules] {
        InputFacts facts;
        facts.path = path;
        facts.rules = rules;
        facts.gif = ScanAnimationFile(PathFromText(path), rules);
        return facts;
    });
}

void CInputScanner::ScanFolder(const QString& folder) {
    Start([folder] {
        InputFacts facts;
        facts.batch = true;
        facts.path = folder;
        facts.files = ListAnimationFiles(PathFromText(folder), &facts.listError);
        return facts;
    });
}

void CInputScanner::ScanFiles(const QStringList& paths) {
    Start([paths] {
        InputFacts facts;
        facts.batch = true;
        facts.chosen = true;
        facts.path = QFileInfo(paths.value(0)).absolutePath();
        for (const QString& path : paths) {
            if (!QFileInfo(path).isDir()) {
                facts.files.push_back(PathFromText(path));
                continue;
            }
            std::string error;
            for (std::string& file : ListAnimationFiles(PathFromText(path), &error))
                facts.files.push_back(std::move(file));
            if (!error.empty() && facts.listError.empty()) facts.listError = error;
        }
        return facts;
    });
}

void CInputScanner::Forget() {
    ++m_nSerial;
    m_bBusy = false;
}

#pragma once

#include <QObject>
#include <QThreadPool>
#include <QString>

#include "app/InputFacts.h"

// Scans the dialog's input off the GUI thread: a GIF with a quick scan that decodes no pixel,
// a batch folder by listing its GIF files. Only the latest scan's facts are handed back.
class CInputScanner : public QObject {
    Q_OBJECT

public:
    explicit CInputScanner(QObject* parent = nullptr);

    // Starts a scan; a scan started before it is forgotten.
    void ScanGif(const QString& path, FrameRules rules);
    void ScanFolder(const QString& folder);
    // A batch of the files as given, each folder among them standing for its GIF files.
    void ScanFiles(const QStringList& paths);
    // Forgets any scan under way.
    void Forget();
    // A scan has started and its facts have not come back yet.
    bool Busy() const { return m_bBusy; }

signals:
    void Scanned(const InputFacts& facts);

private:
    template <typename Scan>
    void Start(Scan scan);

    QThreadPool m_pool;  // not Qt's global pool (see CJobRunner)
    quint64 m_nSerial = 0;
    bool m_bBusy = false;
};

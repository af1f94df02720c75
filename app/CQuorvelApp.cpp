#include "app/CQuorvelApp.h"

#include <QFile>
#include <QIcon>

#include "app/CQuorvelDlg.h"

CQuorvelApp::CQuorvelApp(int& argc, char** argv) : m_app(argc, argv) {
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    // Wayland compositors and desktops match the window to its desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
}

int CQuorvelApp::InitInstance(const std::string& path) {
    CQuorvelDlg dialog;
    QApplication::setWindowIcon(dialog.windowIcon());
    if (!path.empty()) dialog.LoadPath(QFile::decodeName(QByteArray::fromStdString(path)));
    dialog.exec();
    return 0;
}

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

int CQuorvelApp::InitInstance(const std::vector<std::string>& paths) {
    CQuorvelDlg dialog;
    QApplication::setWindowIcon(dialog.windowIcon());
    QStringList given;
    for (const std::string& path : paths) given << QFile::decodeName(QByteArray::fromStdString(path));
    dialog.LoadPaths(given);
    dialog.exec();
    return 0;
}

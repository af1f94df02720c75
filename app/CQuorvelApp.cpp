#include "app/CQuorvelApp.h"

#include <QIcon>

#include "app/CQuorvelDlg.h"

CQuorvelApp::CQuorvelApp(int& argc, char** argv) : m_app(argc, argv) {
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel-gui"));
}

int CQuorvelApp::InitInstance() {
    CQuorvelDlg dialog;
    QApplication::setWindowIcon(dialog.windowIcon());
    dialog.exec();
    return 0;
}

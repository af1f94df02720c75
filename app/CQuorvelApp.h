#pragma once

#include <QApplication>
#include <string>
#include <vector>

// The application: owns the QApplication and runs the main dialog modally. The program ends
// when the dialog closes.
class CQuorvelApp {
public:
    CQuorvelApp(int& argc, char** argv);

    // Runs the main dialog until it closes, starting with the paths (GIFs or folders) loaded
    // (CQuorvelDlg::LoadPaths); returns the process's exit status.
    int InitInstance(const std::vector<std::string>& paths = {});

private:
    QApplication m_app;
};

#pragma once

#include <QApplication>
#include <string>

// The application: owns the QApplication and runs the main dialog modally. The program ends
// when the dialog closes.
class CQuorvelApp {
public:
    CQuorvelApp(int& argc, char** argv);

    // Runs the main dialog until it closes, starting with path (a GIF or a folder) loaded when
    // it is not empty; returns the process's exit status.
    int InitInstance(const std::string& path = {});

private:
    QApplication m_app;
};

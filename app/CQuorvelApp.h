#pragma once

#include <QApplication>

// The application: owns the QApplication and runs the main dialog modally. The program ends
// when the dialog closes.
class CQuorvelApp {
public:
    CQuorvelApp(int& argc, char** argv);

    // Runs the main dialog until it closes; returns the process's exit status.
    int InitInstance();

private:
    QApplication m_app;
};

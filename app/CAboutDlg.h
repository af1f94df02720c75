#pragma once

#include <QDialog>

// "About Quorvel": the icon, the version (the one --version prints), the licence, the project's
// web address and who made it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

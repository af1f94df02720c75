#pragma once

#include <QDialog>

// "About Quorvel": the icon, the version of this build and who made it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

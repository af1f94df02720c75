#include "app/CAboutDlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quorvel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("IDR_MAINFRAME"));
    icon->setPixmap(QIcon(QStringLiteral(":/icons/quorvel.png")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(tr("Quorvel Version %1").arg(QStringLiteral(QUORVEL_VERSION)));
    version->setObjectName(QStringLiteral("IDC_VERSION"));
    auto* licence = new QLabel(tr("Licence: %1").arg(QStringLiteral(QUORVEL_LICENSE)));
    licence->setObjectName(QStringLiteral("licence"));
    const QString address = QStringLiteral(QUORVEL_WEB_URL);
    auto* web = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
    web->setObjectName(QStringLiteral("webAddress"));
    web->setOpenExternalLinks(true);
    auto* maker = new QLabel(tr("Made by the Quorvel developers"));
    maker->setObjectName(QStringLiteral("IDC_MAKER"));

    auto* ok = new QPushButton(tr("OK"));
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    for (QLabel* line : {version, licence, web, maker}) text->addWidget(line);
    text->addStretch(1);

    auto* row = new QHBoxLayout(this);
    row->addWidget(icon);
    row->addSpacing(8);
    row->addLayout(text, 1);
    row->addWidget(ok, 0, Qt::AlignBottom);
    row->setSizeConstraint(QLayout::SetFixedSize);
}

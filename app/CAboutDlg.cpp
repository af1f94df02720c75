#include "app/CAboutDlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogText.h"

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
    auto* maker = new QLabel(tr("Made by the Quorvel developers"));
    maker->setObjectName(QStringLiteral("IDC_MAKER"));
    auto* libraries = new QLabel(LibrariesText());
    libraries->setObjectName(QStringLiteral("libraries"));
    libraries->setTextFormat(Qt::PlainText);
    libraries->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* text = new QVBoxLayout;
    for (QLabel* line : {version, licence}) text->addWidget(line);
    // A build that names no real home page of its own (the placeholder's) shows none.
    const QString address = QStringLiteral(QUORVEL_WEB_URL);
    if (!IsPlaceholderAddress(address)) {
        auto* web = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
        web->setObjectName(QStringLiteral("webAddress"));
        web->setOpenExternalLinks(true);
        text->addWidget(web);
    }
    text->addWidget(maker);
    text->addSpacing(8);
    text->addWidget(libraries);
    text->addStretch(1);

    auto* close = new QPushButton(tr("Close"));
    close->setObjectName(QStringLiteral("IDOK"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout(this);
    row->addWidget(icon);
    row->addSpacing(8);
    row->addLayout(text, 1);
    row->addWidget(close, 0, Qt::AlignBottom);
    row->setSizeConstraint(QLayout::SetFixedSize);
}

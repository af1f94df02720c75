#include "app/CQuorvelDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMovie>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <climits>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>

#include "app/CAboutDlg.h"
#include "app/CPrompts.h"
#include "app/DialogText.h"
#include "base/Leftovers.h"
#include "gif/GifInfo.h"
#include "jobs/BatchProgress.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"

namespace {

// Widths of the original layout are in dialog units: a quarter of the average character width
// of the dialog's font.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : m_dCharWidth(metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                       52.0) {}

    int X(int units) const { return static_cast<int>(units * m_dCharWidth / 4.0 + 0.5); }

private:
    double m_dCharWidth;
};

template <class Widget>
Widget* Named(Widget* widget, const char* name, int id) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("controlId", id);
    return widget;
}

// What the preview says about a scanned GIF.
QString DescribeGif(const GifInfo& info) {
    if (!info.opened) {
        if (info.notGif) return QCoreApplication::translate("CQuorvelDlg", "This is not a GIF file.");
        return QCoreApplication::translate("CQuorvelDlg", "Cannot read the GIF: %1")
            .arg(QString::fromStdString(info.error));
    }
    QString loops;
    if (!info.loopExtension)
        loops = QCoreApplication::translate("CQuorvelDlg", "no loop count");
    else if (*info.loopExtension == 0)
        loops = QCoreApplication::translate("CQuorvelDlg", "loops forever");
    else
        loops = QCoreApplication::translate("CQuorvelDlg", "loop count %1").arg(*info.loopExtension);
    QString text = QCoreApplication::translate("CQuorvelDlg", "%1 x %2 pixels, %3 %4, %5 s, %6")
                       .arg(info.width)
                       .arg(info.height)
                       .arg(info.frames)
                       .arg(info.frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"))
                       .arg(QString::number(static_cast<double>(info.durationMs) / 1000.0, 'f', 1))
                       .arg(loops);
    if (!info.error.empty())
        text += QCoreApplication::translate("CQuorvelDlg", "; breaks off: %1").arg(QString::fromStdString(info.error));
    return text;
}

QLabel* FieldLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

CQuorvelDlg::CQuorvelDlg(QWidget* parent) : QDialog(parent) {
    static const bool resourcesLoaded = [] {
        Q_INIT_RESOURCE(quorvel_gui);
        return true;
    }();
    (void)resourcesLoaded;

    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorvel.png")));

    setAcceptDrops(true);
    BuildControls();
    SettingsToControls();

    connect(this, &CQuorvelDlg::JobProgress, this, &CQuorvelDlg::OnJobProgress,
            Qt::QueuedConnection);
    connect(this, &CQuorvelDlg::BatchFrames, this, &CQuorvelDlg::OnBatchFrames,
            Qt::QueuedConnection);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &CQuorvelDlg::OnJobFinished);
}

CQuorvelDlg::~CQuorvelDlg() {
    // The worker reads m_bCancel and reports to this object: it must end first.
    m_bCancel.store(true);
    m_watcher.waitForFinished();
}

void CQuorvelDlg::BuildControls() {
    const DialogUnits du(fontMetrics());
    const int pathWidth = du.X(180);
    const int buttonWidth = du.X(50);
    const int commandWidth = du.X(100);

    auto pushButton = [&](const QString& text, const char* name, int id, int width) {
        auto* button = Named(new QPushButton(text), name, id);
        button->setMinimumWidth(width);
        // No button presses itself on Enter from elsewhere: Enter in a field must not close
        // the dialog or start a job.
        button->setAutoDefault(false);
        return button;
    };
    auto lineEdit = [&](const char* name, int id) {
        auto* edit = Named(new QLineEdit, name, id);
        edit->setMinimumWidth(pathWidth);
        return edit;
    };
    auto radio = [](const QString& text, const char* name, int id, QButtonGroup* group, int index) {
        auto* button = Named(new QRadioButton(text), name, id);
        group->addButton(button, index);
        return button;
    };

    // Input options: the batch folder, the single GIF, the output folder.
    m_pInputFolder = lineEdit("IDC_INPUT_FOLDER", IDC_INPUT_FOLDER);
    m_pBrowseInputFolder = pushButton(tr("&Browse..."), "IDC_BROWSE_INPUT_FOLDER",
                                      IDC_BROWSE_INPUT_FOLDER, buttonWidth);
    m_pGifPath = lineEdit("IDC_GIF_PATH", IDC_GIF_PATH);
    m_pBrowseGif = pushButton(tr("&Browse..."), "IDC_BROWSE_GIF", IDC_BROWSE_GIF, buttonWidth);
    m_pOutputFolder = lineEdit("IDC_OUTPUT_FOLDER", IDC_OUTPUT_FOLDER);
    m_pChangeOutputFolder = pushButton(tr("&Change..."), "IDC_CHANGE_OUTPUT_FOLDER",
                                       IDC_CHANGE_OUTPUT_FOLDER, buttonWidth);

    auto* inputBox = new QGroupBox(tr("Input options"));
    auto* inputGrid = new QGridLayout(inputBox);
    inputGrid->addWidget(FieldLabel(tr("Input folder:"), m_pInputFolder), 0, 0);
    inputGrid->addWidget(m_pInputFolder, 0, 1);
    inputGrid->addWidget(m_pBrowseInputFolder, 0, 2);
    inputGrid->addWidget(FieldLabel(tr("Path to the GIF file:"), m_pGifPath), 1, 0);
    inputGrid->addWidget(m_pGifPath, 1, 1);
    inputGrid->addWidget(m_pBrowseGif, 1, 2);
    inputGrid->addWidget(FieldLabel(tr("Output folder:"), m_pOutputFolder), 2, 0);
    inputGrid->addWidget(m_pOutputFolder, 2, 1);
    inputGrid->addWidget(m_pChangeOutputFolder, 2, 2);
    inputGrid->setColumnStretch(1, 1);

    // The GIF playing, with what a quick scan tells of it, beside the inputs.
    const int previewSide = du.X(60);
    m_pPreview = new QLabel;
    m_pPreview->setObjectName(QStringLiteral("preview"));
    m_pPreview->setFixedSize(previewSide, previewSide);
    m_pPreview->setAlignment(Qt::AlignCenter);
    m_pPreview->setFrameShape(QFrame::StyledPanel);
    m_pMovie = new QMovie(this);
    m_pGifInfo = new QLabel;
    m_pGifInfo->setObjectName(QStringLiteral("gifInfo"));
    m_pGifInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    inputGrid->addWidget(m_pGifInfo, 3, 1, 1, 2);
    inputGrid->addWidget(m_pPreview, 0, 3, 4, 1, Qt::AlignCenter);

    // Conversion options: frame rate and URL, JPEG quality, batch mode and the Convert button.
    m_pFps = Named(new QSpinBox, "IDC_FPS", IDC_FPS);
    m_pFps->setRange(kMinFps, kMaxFps);
    m_pFps->setAlignment(Qt::AlignCenter);
    m_pFps->setFixedWidth(du.X(40));
    m_pTargetUrl = lineEdit("IDC_TARGET_URL", IDC_TARGET_URL);

    m_pGifTiming = Named(new QCheckBox(tr("Play with the GIF's own timing and looping")),
                         "IDC_GIF_TIMING", IDC_GIF_TIMING);

    auto* generalBox = new QGroupBox(tr("General"));
    auto* generalColumn = new QVBoxLayout(generalBox);
    auto* generalRow = new QHBoxLayout;
    generalRow->addWidget(FieldLabel(tr("FPS:"), m_pFps));
    generalRow->addWidget(m_pFps);
    generalRow->addSpacing(du.X(12));
    generalRow->addWidget(FieldLabel(tr("Target URL:"), m_pTargetUrl));
    generalRow->addWidget(m_pTargetUrl, 1);
    generalColumn->addLayout(generalRow);
    generalColumn->addWidget(m_pGifTiming);

    // A row of radio buttons, each with the option value it stands for as its id in the group.
    struct Choice {
        QString text;
        const char* name;
        int controlId;
        int value;
    };
    const auto radioRow = [&](QBoxLayout* row, QButtonGroup* group, std::initializer_list<Choice> choices) {
        for (const Choice& c : choices) row->addWidget(radio(c.text, c.name, c.controlId, group, c.value));
    };

    m_pQuality = new QButtonGroup(this);
    auto* qualityBox = new QGroupBox(tr("Quality"));
    auto* qualityRow = new QHBoxLayout(qualityBox);
    radioRow(qualityRow, m_pQuality,
             {{tr("Low quality"), "IDC_QUALITY_LOW", IDC_QUALITY_LOW, int(Quality::Low)},
              {tr("Normal quality"), "IDC_QUALITY_NORMAL", IDC_QUALITY_NORMAL, int(Quality::Normal)},
              {tr("High quality"), "IDC_QUALITY_HIGH", IDC_QUALITY_HIGH, int(Quality::High)},
              {tr("Lossless"), "IDC_QUALITY_LOSSLESS", IDC_QUALITY_LOSSLESS, kLosslessButton}});
    m_pChangedAreas = Named(new QCheckBox(tr("Only store what changes")), "IDC_CHANGED_AREAS",
                            IDC_CHANGED_AREAS);
    m_pTransparent =
        Named(new QCheckBox(tr("Keep transparency")), "IDC_TRANSPARENT", IDC_TRANSPARENT);
    m_pTransparent->setToolTip(
        tr("Pixels that no image of the GIF covers stay transparent, so "
           "that the page below the movie shows through."));
    // A small swatch of the stage colour, beside the quality group.
    m_pBackground = pushButton(QString(), "IDC_BACKGROUND", IDC_BACKGROUND, du.X(24));
    m_pBackground->setAccessibleName(tr("Stage colour"));
    auto* stageColumn = new QVBoxLayout;
    stageColumn->addStretch(1);
    stageColumn->addWidget(new QLabel(tr("Stage:")), 0, Qt::AlignHCenter);
    stageColumn->addWidget(m_pBackground, 0, Qt::AlignHCenter);
    stageColumn->addStretch(1);
    ShowBackground(m_background);

    m_pBatch = Named(new QCheckBox(tr("Batch conversion")), "IDC_BATCH", IDC_BATCH);
    m_pConvert = pushButton(tr("C&onvert..."), "IDC_CONVERT", IDC_CONVERT, commandWidth);
    auto* convertColumn = new QVBoxLayout;
    convertColumn->addWidget(m_pTransparent);
    convertColumn->addWidget(m_pChangedAreas);
    convertColumn->addWidget(m_pBatch, 0, Qt::AlignHCenter);
    convertColumn->addWidget(m_pConvert);

    auto* conversionBox = new QGroupBox(tr("Conversion options"));
    auto* conversionColumn = new QVBoxLayout(conversionBox);
    conversionColumn->addWidget(generalBox);
    auto* qualityLine = new QHBoxLayout;
    qualityLine->addWidget(qualityBox);
    qualityLine->addLayout(stageColumn);
    qualityLine->addStretch(1);
    qualityLine->addLayout(convertColumn);
    conversionColumn->addLayout(qualityLine);

    // Extraction options: the image format and the Extract button.
    m_pExtractFormat = new QButtonGroup(this);
    auto* extractionBox = new QGroupBox(tr("Extraction options"));
    auto* extractionRow = new QHBoxLayout(extractionBox);
    radioRow(extractionRow, m_pExtractFormat,
             {{tr("BMP file"), "IDC_FORMAT_BMP", IDC_FORMAT_BMP, int(ExtractFormat::Bmp)},
              {tr("PNG file"), "IDC_FORMAT_PNG", IDC_FORMAT_PNG, int(ExtractFormat::Png)},
              {tr("JPG file"), "IDC_FORMAT_JPG", IDC_FORMAT_JPG, int(ExtractFormat::Jpg)},
              {tr("TGA file"), "IDC_FORMAT_TGA", IDC_FORMAT_TGA, int(ExtractFormat::Tga)}});
    extractionRow->addStretch(1);
    m_pExtract = pushButton(tr("E&xtract..."), "IDC_EXTRACT", IDC_EXTRACT, commandWidth);
    extractionRow->addWidget(m_pExtract);

    // Progress, About and Exit.
    m_progress = Named(new QProgressBar, "IDC_PROGRESS", IDC_PROGRESS);
    m_progress->setMinimumWidth(pathWidth);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_pAbout = pushButton(tr("&About..."), "IDC_ABOUT", IDC_ABOUT, buttonWidth);
    m_pExit = pushButton(tr("&Exit"), "IDOK", IDOK, buttonWidth);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(FieldLabel(tr("Progress:"), m_progress));
    bottomRow->addWidget(m_progress);
    bottomRow->addStretch(1);
    bottomRow->addWidget(m_pAbout);
    bottomRow->addWidget(m_pExit);

    auto* main = new QVBoxLayout(this);
    main->addWidget(inputBox);
    main->addWidget(conversionBox);
    main->addWidget(extractionBox);
    main->addLayout(bottomRow);

    // Tab order of the original template (the progress bar takes no focus).
    const QList<QWidget*> tabOrder = {m_pInputFolder,
                                      m_pBrowseInputFolder,
                                      m_pGifPath,
                                      m_pBrowseGif,
                                      m_pOutputFolder,
                                      m_pChangeOutputFolder,
                                      m_pFps,
                                      m_pTargetUrl,
                                      m_pGifTiming,
                                      m_pQuality->button(0),
                                      m_pQuality->button(1),
                                      m_pQuality->button(2),
                                      m_pQuality->button(kLosslessButton),
                                      m_pBackground,
                                      m_pTransparent,
                                      m_pChangedAreas,
                                      m_pBatch,
                                      m_pConvert,
                                      m_pExtractFormat->button(0),
                                      m_pExtractFormat->button(1),
                                      m_pExtractFormat->button(2),
                                      m_pExtractFormat->button(3),
                                      m_pExtract,
                                      m_pAbout,
                                      m_pExit};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(m_pGifPath, &QLineEdit::textChanged, this, &CQuorvelDlg::UpdatePreview);
    connect(m_pBrowseInputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseInputFolder);
    connect(m_pBrowseGif, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseGif);
    connect(m_pChangeOutputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnChangeOutputFolder);
    connect(m_pBatch, &QCheckBox::clicked, this, &CQuorvelDlg::OnBatchToggled);
    connect(m_pGifTiming, &QCheckBox::toggled, this, &CQuorvelDlg::OnGifTimingToggled);
    OnGifTimingToggled();
    connect(m_pBackground, &QPushButton::clicked, this, &CQuorvelDlg::OnChooseBackground);
    connect(m_pConvert, &QPushButton::clicked, this, &CQuorvelDlg::OnConvert);
    connect(m_pExtract, &QPushButton::clicked, this, &CQuorvelDlg::OnExtract);
    connect(m_pAbout, &QPushButton::clicked, this, &CQuorvelDlg::OnAbout);
    connect(m_pExit, &QPushButton::clicked, this, &QDialog::accept);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CQuorvelDlg::OnAbout);

    // The dialog grows in width only; heights stay those of the controls.
    setFixedHeight(sizeHint().height());
}

bool CQuorvelDlg::ControlsToSettings() {
    m_settings.m_strGifPath = PathFromText(m_pGifPath->text());
    m_settings.m_strGifTitle = GifTitleFromPath(m_settings.m_strGifPath);
    m_settings.m_strOutputFolder = PathFromText(m_pOutputFolder->text());
    m_pFps->interpretText();
    const bool gifTiming = m_pGifTiming->isChecked();
    m_settings.m_bFpsGiven = m_pFps->value() != 0;
    m_settings.m_nFps = m_settings.m_bFpsGiven ? m_pFps->value() : kDefaultFps;
    m_settings.m_timing = gifTiming ? Timing::Gif : Timing::Fixed;
    m_settings.m_loop = LoopOption{gifTiming ? LoopOption::Kind::Gif : LoopOption::Kind::Forever, 1};
    // Lossless keeps the JPEG quality last chosen.
    if (m_pQuality->checkedId() == kLosslessButton) {
        m_settings.m_bitmaps = BitmapKind::Lossless;
    } else {
        m_settings.m_bitmaps = BitmapKind::Jpeg;
        m_settings.m_nQuality = static_cast<Quality>(m_pQuality->checkedId());
    }
    m_settings.m_bChangedAreas = m_pChangedAreas->isChecked();
    m_settings.m_background = m_background;
    m_settings.m_bTransparent = m_pTransparent->isChecked();
    m_settings.m_strInputFolder = PathFromText(m_pInputFolder->text());
    m_settings.m_strTargetUrl = m_pTargetUrl->text().toStdString();
    m_settings.m_bBatch = m_pBatch->isChecked();
    m_settings.m_nExtractFormat = static_cast<ExtractFormat>(m_pExtractFormat->checkedId());
    return true;
}

void CQuorvelDlg::SettingsToControls() {
    m_pGifPath->setText(TextFromPath(m_settings.m_strGifPath));
    m_pOutputFolder->setText(TextFromPath(m_settings.m_strOutputFolder));
    m_pGifTiming->setChecked(m_settings.m_timing == Timing::Gif);
    m_pFps->setValue(m_settings.m_timing == Timing::Gif && !m_settings.m_bFpsGiven ? 0
                                                                                  : m_settings.m_nFps);
    const int qualityButton = m_settings.m_bitmaps == BitmapKind::Lossless
                                  ? kLosslessButton
                                  : static_cast<int>(m_settings.m_nQuality);
    if (QAbstractButton* quality = m_pQuality->button(qualityButton)) quality->setChecked(true);
    m_pChangedAreas->setChecked(m_settings.m_bChangedAreas);
    ShowBackground(m_settings.m_background);
    m_pTransparent->setChecked(m_settings.m_bTransparent);
    m_pInputFolder->setText(TextFromPath(m_settings.m_strInputFolder));
    m_pTargetUrl->setText(QString::fromStdString(m_settings.m_strTargetUrl));
    m_pBatch->setChecked(m_settings.m_bBatch);
    if (QAbstractButton* format = m_pExtractFormat->button(static_cast<int>(m_settings.m_nExtractFormat)))
        format->setChecked(true);
    UpdateControlStates();
}

void CQuorvelDlg::OnGifTimingToggled() {
    const bool gifTiming = m_pGifTiming->isChecked();
    m_pFps->setMinimum(gifTiming ? 0 : kMinFps);
    m_pFps->setSpecialValueText(gifTiming ? tr("auto") : QString());
    if (gifTiming) {
        m_pFps->setValue(0);
        m_pFps->setToolTip(tr("Optional: a fixed frame rate for the GIF's own timing. At \"auto\", "
                              "the lowest rate up to 50 that shows every delay exactly."));
    } else {
        if (m_pFps->value() == 0) m_pFps->setValue(kDefaultFps);
        m_pFps->setToolTip(tr("Frames per second of the movie; every GIF frame is one frame."));
    }
}

void CQuorvelDlg::OnChooseBackground() {
    if (!m_pColorDialog) {
        m_pColorDialog = new QColorDialog(this);
        m_pColorDialog->setObjectName(QStringLiteral("backgroundColorDialog"));
        m_pColorDialog->setWindowTitle(tr("Stage colour"));
        m_pColorDialog->setOption(QColorDialog::DontUseNativeDialog);
        connect(m_pColorDialog, &QColorDialog::colorSelected, this, [this](const QColor& color) {
            ShowBackground(static_cast<RgbColor>(color.rgb() & 0xFFFFFF));
        });
    }
    m_pColorDialog->setCurrentColor(QColor::fromRgb(m_background));
    m_pColorDialog->open();  // returns at once; the dialog answers through colorSelected
}

void CQuorvelDlg::ShowBackground(RgbColor color) {
    m_background = color;
    QPixmap swatch(m_pBackground->iconSize());
    swatch.fill(QColor::fromRgb(color));
    m_pBackground->setIcon(QIcon(swatch));
    m_pBackground->setToolTip(tr("Colour of the stage, and what the frames are composed on: %1")
                                  .arg(QString::fromStdString(ColorName(color))));
}

void CQuorvelDlg::UpdateControlStates() {
    const bool idle = !IsJobRunning();
    const bool batch = m_pBatch->isChecked();
    using Widgets = std::initializer_list<QWidget*>;
    for (QWidget* batchOnly : Widgets{m_pInputFolder, m_pBrowseInputFolder})
        batchOnly->setEnabled(idle && batch);
    for (QWidget* singleOnly : Widgets{m_pGifPath, m_pBrowseGif, m_pExtract})
        singleOnly->setEnabled(idle && !batch);
    for (QWidget* input :
         Widgets{m_pOutputFolder, m_pChangeOutputFolder, m_pFps, m_pTargetUrl, m_pGifTiming,
                 m_pChangedAreas, m_pBackground, m_pTransparent, m_pBatch})
        input->setEnabled(idle);
    for (QAbstractButton* button : m_pQuality->buttons()) button->setEnabled(idle);
    for (QAbstractButton* button : m_pExtractFormat->buttons()) button->setEnabled(idle);
    m_pConvert->setText(idle ? tr("C&onvert...") : tr("Cancel"));
}

void CQuorvelDlg::OnBrowseGif() {
    ControlsToSettings();
    const QString current = m_pGifPath->text();
    const QString start = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString path = CPrompts::OpenFile(this, tr("Open"), GifFileFilter(), start);
    if (path.isEmpty()) return;
    m_settings.m_strGifPath = PathFromText(path);
    m_settings.m_strGifTitle = GifTitleFromPath(m_settings.m_strGifPath);
    m_pGifPath->setText(path);
    SuggestOutputFolder(path);
}

void CQuorvelDlg::SuggestOutputFolder(const QString& path) {
    if (!m_pOutputFolder->text().trimmed().isEmpty()) return;
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    m_pOutputFolder->setText(folder);
    m_settings.m_strOutputFolder = PathFromText(folder);
}

void CQuorvelDlg::UpdatePreview() {
    m_pMovie->stop();
    m_pPreview->clear();
    const QString path = m_pGifPath->text();
    if (path.trimmed().isEmpty()) {
        m_pGifInfo->clear();
        return;
    }
    const GifInfo info = ScanGifFile(PathFromText(path));
    m_pGifInfo->setText(DescribeGif(info));
    if (!info.opened || info.width <= 0 || info.height <= 0) return;
    // Shown whole, never enlarged beyond twice its size.
    const QSize box = m_pPreview->contentsRect().size();
    QSize size(info.width, info.height);
    size.scale(box.boundedTo(size * 2), Qt::KeepAspectRatio);
    m_pMovie->setFileName(path);
    m_pMovie->setScaledSize(size);
    m_pPreview->setMovie(m_pMovie);
    m_pMovie->start();
}

void CQuorvelDlg::LoadPath(const QString& path) {
    if (IsJobRunning() || path.isEmpty()) return;
    const QFileInfo info(path);
    const bool folder = info.isDir();
    if (m_pBatch->isChecked() != folder) {
        m_pBatch->setChecked(folder);
        OnBatchToggled();
    }
    if (folder) {
        m_pInputFolder->setText(info.absoluteFilePath());
        m_settings.m_strInputFolder = PathFromText(info.absoluteFilePath());
        ListBatchFiles(m_settings.m_strInputFolder);
    } else {
        m_pGifPath->setText(info.absoluteFilePath());
        m_settings.m_strGifPath = PathFromText(info.absoluteFilePath());
        m_settings.m_strGifTitle = GifTitleFromPath(m_settings.m_strGifPath);
    }
    SuggestOutputFolder(path);
}

void CQuorvelDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled()) button->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

namespace {

// The first local file or folder of a drag, or an empty string.
QString DroppedPath(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

}  // namespace

void CQuorvelDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!IsJobRunning() && !DroppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CQuorvelDlg::dropEvent(QDropEvent* event) {
    const QString path = DroppedPath(event->mimeData());
    if (IsJobRunning() || path.isEmpty()) return;
    event->acceptProposedAction();
    LoadPath(path);
}

void CQuorvelDlg::OnChangeOutputFolder() {
    ControlsToSettings();
    const QString folder =
        CPrompts::ChooseFolder(this, tr("Select output folder:"), m_pOutputFolder->text());
    if (folder.isEmpty()) return;
    m_settings.m_strOutputFolder = PathFromText(folder);
    m_pOutputFolder->setText(folder);
}

void CQuorvelDlg::OnBrowseInputFolder() {
    ControlsToSettings();
    const QString folder =
        CPrompts::ChooseFolder(this, tr("Select input folder:"), m_pInputFolder->text());
    if (folder.isEmpty()) return;
    m_settings.m_strInputFolder = PathFromText(folder);
    m_pInputFolder->setText(folder);
    ListBatchFiles(m_settings.m_strInputFolder);
    SuggestOutputFolder(folder);
}

bool CQuorvelDlg::ListBatchFiles(const std::string& folder) {
    std::string error;
    m_batchFiles = ListGifFiles(folder, &error);
    m_strListedFolder = folder;
    if (!error.empty()) {
        // The cause names the folder already.
        CPrompts::Warning(
            this, QString::fromUtf8(kWarningCaption),
            tr("The input folder cannot be read.\n\n%1").arg(QString::fromStdString(error)));
        return false;
    }
    // An empty folder leaves the bar as it was: a range of 0 to 0 would make it a busy bar.
    if (!m_batchFiles.empty()) {
        m_progress->setRange(0, static_cast<int>(m_batchFiles.size()));
        m_progress->setValue(0);
    }
    return true;
}

void CQuorvelDlg::OnBatchToggled() {
    ControlsToSettings();
    UpdateControlStates();
}

bool CQuorvelDlg::RejectField(QWidget* field, const QString& text) {
    CPrompts::Warning(this, QString::fromUtf8(kWarningCaption), text);
    field->setFocus();
    return false;
}

void CQuorvelDlg::OnConvert() {
    if (IsJobRunning()) {
        m_bCancel.store(true);
        return;
    }
    ControlsToSettings();
    const ConversionSettings& s = m_settings;
    if (s.m_bBatch) {
        if (s.m_strInputFolder.empty()) {
            RejectField(m_pInputFolder, tr("Please enter the input folder."));
            return;
        }
    } else if (s.m_strGifPath.empty()) {
        RejectField(m_pGifPath, tr("Please enter the path to the GIF file."));
        return;
    }
    if (s.m_strOutputFolder.empty()) {
        RejectField(m_pOutputFolder, tr("Please enter the output folder."));
        return;
    }

    if (!s.m_bBatch) {
        StartJob(Job::Convert, [gif = s.m_strGifPath,
                                movie = MoviePath(s.m_strOutputFolder, s.m_strGifPath),
                                options = ConvertOptionsFrom(s)](const JobControl& control,
                                                                 quint64) {
            Outcome outcome;
            outcome.single = ConvertFile(gif, movie, options, control);
            return outcome;
        });
        return;
    }

    // The list comes from the folder the user picked; a folder typed by hand is listed now.
    if (s.m_strInputFolder != m_strListedFolder && !ListBatchFiles(s.m_strInputFolder)) return;
    if (m_batchFiles.empty()) {
        RejectField(m_pInputFolder, tr("The input folder contains no GIF files.\n\n%1")
                                        .arg(TextFromPath(s.m_strInputFolder)));
        return;
    }
    m_nBatchSize = m_batchFiles.size();
    BatchRequest request{m_batchFiles, s.m_strOutputFolder, ConvertOptionsFrom(s)};
    StartJob(Job::Batch, [this, request = std::move(request)](const JobControl& control,
                                                              quint64 serial) {
        // The bar counts frames: a quick scan of every file gives the total first.
        BatchProgress progress(BatchProgress::ScanTotals(request.files, control));
        const auto report = [&](const BatchProgress::State& state) {
            emit BatchFrames(serial, state.run.done, state.run.total);
        };
        report(progress.Current());
        const auto onFrame = [&](std::size_t index, int frames) {
            report(progress.Frames(index, frames));
        };
        const auto onFileDone = [&](std::size_t index, const JobResult&) {
            report(progress.FileDone(index));
        };
        Outcome outcome;
        outcome.batch = ConvertBatch(request, control, onFileDone, onFrame);
        return outcome;
    });
}

void CQuorvelDlg::OnExtract() {
    if (IsJobRunning()) return;
    ControlsToSettings();  // the frame rate plays no part in an extraction
    if (m_settings.m_strGifPath.empty()) {
        RejectField(m_pGifPath, tr("Please enter the path to the GIF file."));
        return;
    }
    if (m_settings.m_strOutputFolder.empty()) {
        RejectField(m_pOutputFolder, tr("Please enter the output folder."));
        return;
    }
    StartJob(Job::Extract, [gif = m_settings.m_strGifPath, folder = m_settings.m_strOutputFolder,
                            options = ExtractOptionsFrom(m_settings)](const JobControl& control,
                                                                      quint64) {
        Outcome outcome;
        outcome.single = ExtractFrames(gif, folder, options, control);
        return outcome;
    });
}

void CQuorvelDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuorvelDlg::StartJob(Job job, std::function<Outcome(const JobControl&, quint64)> work) {
    ForgetListedFolders();  // each job is a run: it looks for leftovers afresh
    m_bCancel.store(false);
    m_runningJob = job;
    m_nFramesDone = 0;
    m_nBatchFilesDone = 0;
    m_nBatchFramesDone = 0;
    m_strJobOutputFolder = m_settings.m_strOutputFolder;
    const quint64 serial = ++m_nJobSerial;

    JobControl control;
    control.cancel = &m_bCancel;
    control.threads = 0;  // one per core
    control.progress = [this, serial](int done) { emit JobProgress(serial, done); };

    if (job == Job::Batch) {
        // Busy until the scan of the files has given the frames to do.
        m_progress->setRange(0, 0);
    } else {
        // The scan tells how many frames the job will make; a file that turns out to hold more
        // stretches the bar.
        const GifInfo info = ScanGifFile(m_settings.m_strGifPath);
        m_progress->setRange(0, std::max(info.frames, 1));
        m_progress->setValue(0);
        m_progress->setFormat(tr("%v of %m frames"));
        m_progress->setTextVisible(true);
    }
    UpdateControlStates();
    m_watcher.setFuture(QtConcurrent::run(
        [work = std::move(work), control, serial] { return work(control, serial); }));
}

void CQuorvelDlg::OnJobProgress(quint64 job, int done) {
    if (job != m_nJobSerial || !IsJobRunning()) return;
    if (m_runningJob == Job::Batch) {
        // Files finish on several threads; a late report must not move the count back.
        m_nBatchFilesDone = std::max(m_nBatchFilesDone, done);
        ShowBatchProgress();
    } else {
        m_nFramesDone = std::max(m_nFramesDone, done);
        if (m_nFramesDone > m_progress->maximum()) m_progress->setMaximum(m_nFramesDone);
        m_progress->setValue(m_nFramesDone);
    }
}

void CQuorvelDlg::OnBatchFrames(quint64 job, qint64 done, qint64 total) {
    if (job != m_nJobSerial || m_runningJob != Job::Batch) return;
    const int maximum = static_cast<int>(std::clamp<qint64>(std::max(total, done), 1, INT_MAX));
    if (m_progress->maximum() != maximum) m_progress->setRange(0, maximum);
    m_nBatchFramesDone = std::max(m_nBatchFramesDone, done);
    ShowBatchProgress();
}

void CQuorvelDlg::ShowBatchProgress() {
    if (m_progress->maximum() == 0) return;  // the total is not known yet
    m_progress->setValue(static_cast<int>(std::min<qint64>(m_nBatchFramesDone, m_progress->maximum())));
    m_progress->setFormat(tr("%1 of %2 files, %3 of %4 frames")
                              .arg(m_nBatchFilesDone)
                              .arg(m_nBatchSize)
                              .arg(m_nBatchFramesDone)
                              .arg(m_progress->maximum()));
    m_progress->setTextVisible(true);
}

void CQuorvelDlg::OnJobFinished() {
    if (!IsJobRunning()) return;
    const Job job = m_runningJob;
    const Outcome outcome = m_watcher.result();
    m_runningJob = Job::None;

    JobMessage message;
    if (job == Job::Batch) {
        message = DescribeBatch(outcome.batch, m_nBatchSize);
    } else {
        message = job == Job::Convert ? DescribeConversion(outcome.single)
                                      : DescribeExtraction(outcome.single);
    }
    // Whatever the outcome, the bar is empty again for the next job.
    if (m_progress->maximum() == 0) m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    UpdateControlStates();

    if (!m_bQuiet) {
        if (message.icon == JobMessage::Icon::Information) {
            if (CPrompts::InformationWithAction(this, QString::fromUtf8(kInfoCaption), message.text,
                                                tr("Open Folder")))
                CPrompts::OpenFolder(TextFromPath(m_strJobOutputFolder));
        } else if (message.icon == JobMessage::Icon::Warning)
            CPrompts::Warning(this, QString::fromUtf8(kWarningCaption), message.text);
    }
    emit JobEnded();
}

void CQuorvelDlg::CancelAndWait() {
    if (!IsJobRunning()) return;
    m_bCancel.store(true);
    m_watcher.waitForFinished();
    m_bQuiet = true;
    OnJobFinished();
    m_bQuiet = false;
}

void CQuorvelDlg::done(int result) {
    if (IsJobRunning() &&
        !CPrompts::Question(this, QString::fromUtf8(kWarningCaption),
                            tr("A conversion is running. Stop it and close?")))
        return;
    CancelAndWait();
    QDialog::done(result);
}

#include "app/CQuorvelDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/CAboutDlg.h"
#include "app/CPrompts.h"
#include "app/DialogText.h"
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

    BuildControls();
    SettingsToControls();

    connect(this, &CQuorvelDlg::JobProgress, this, &CQuorvelDlg::OnJobProgress,
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

    // Conversion options: frame rate and URL, JPEG quality, batch mode and the Convert button.
    m_pFps = Named(new QLineEdit, "IDC_FPS", IDC_FPS);
    m_pFps->setAlignment(Qt::AlignCenter);
    m_pFps->setFixedWidth(du.X(40));
    m_pTargetUrl = lineEdit("IDC_TARGET_URL", IDC_TARGET_URL);

    auto* generalBox = new QGroupBox(tr("General"));
    auto* generalRow = new QHBoxLayout(generalBox);
    generalRow->addWidget(FieldLabel(tr("FPS:"), m_pFps));
    generalRow->addWidget(m_pFps);
    generalRow->addSpacing(du.X(12));
    generalRow->addWidget(FieldLabel(tr("Target URL:"), m_pTargetUrl));
    generalRow->addWidget(m_pTargetUrl, 1);

    m_pQuality = new QButtonGroup(this);
    auto* qualityBox = new QGroupBox(tr("Quality"));
    auto* qualityRow = new QHBoxLayout(qualityBox);
    qualityRow->addWidget(
        radio(tr("Low quality"), "IDC_QUALITY_LOW", IDC_QUALITY_LOW, m_pQuality, int(Quality::Low)));
    qualityRow->addWidget(
        radio(tr("Normal quality"), "IDC_QUALITY_NORMAL", IDC_QUALITY_NORMAL, m_pQuality, int(Quality::Normal)));
    qualityRow->addWidget(
        radio(tr("High quality"), "IDC_QUALITY_HIGH", IDC_QUALITY_HIGH, m_pQuality, int(Quality::High)));
    qualityRow->addWidget(
        radio(tr("Lossless"), "IDC_QUALITY_LOSSLESS", IDC_QUALITY_LOSSLESS, m_pQuality, kLosslessButton));
    m_pChangedAreas = Named(new QCheckBox(tr("Only store what changes")), "IDC_CHANGED_AREAS",
                            IDC_CHANGED_AREAS);

    m_pBatch = Named(new QCheckBox(tr("Batch conversion")), "IDC_BATCH", IDC_BATCH);
    m_pConvert = pushButton(tr("C&onvert..."), "IDC_CONVERT", IDC_CONVERT, commandWidth);
    auto* convertColumn = new QVBoxLayout;
    convertColumn->addWidget(m_pChangedAreas);
    convertColumn->addWidget(m_pBatch, 0, Qt::AlignHCenter);
    convertColumn->addWidget(m_pConvert);

    auto* conversionBox = new QGroupBox(tr("Conversion options"));
    auto* conversionColumn = new QVBoxLayout(conversionBox);
    conversionColumn->addWidget(generalBox);
    auto* qualityLine = new QHBoxLayout;
    qualityLine->addWidget(qualityBox);
    qualityLine->addStretch(1);
    qualityLine->addLayout(convertColumn);
    conversionColumn->addLayout(qualityLine);

    // Extraction options: the image format and the Extract button.
    m_pExtractFormat = new QButtonGroup(this);
    auto* extractionBox = new QGroupBox(tr("Extraction options"));
    auto* extractionRow = new QHBoxLayout(extractionBox);
    extractionRow->addWidget(
        radio(tr("BMP file"), "IDC_FORMAT_BMP", IDC_FORMAT_BMP, m_pExtractFormat, int(ExtractFormat::Bmp)));
    extractionRow->addWidget(
        radio(tr("PNG file"), "IDC_FORMAT_PNG", IDC_FORMAT_PNG, m_pExtractFormat, int(ExtractFormat::Png)));
    extractionRow->addWidget(
        radio(tr("JPG file"), "IDC_FORMAT_JPG", IDC_FORMAT_JPG, m_pExtractFormat, int(ExtractFormat::Jpg)));
    extractionRow->addWidget(
        radio(tr("TGA file"), "IDC_FORMAT_TGA", IDC_FORMAT_TGA, m_pExtractFormat, int(ExtractFormat::Tga)));
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
    m_pExit->setDefault(true);
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
                                      m_pQuality->button(0),
                                      m_pQuality->button(1),
                                      m_pQuality->button(2),
                                      m_pQuality->button(kLosslessButton),
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

    connect(m_pBrowseInputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseInputFolder);
    connect(m_pBrowseGif, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseGif);
    connect(m_pChangeOutputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnChangeOutputFolder);
    connect(m_pBatch, &QCheckBox::clicked, this, &CQuorvelDlg::OnBatchToggled);
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
    const std::optional<int> fps = ParseFps(m_pFps->text());
    if (fps) m_settings.m_nFps = *fps;
    // Lossless keeps the JPEG quality last chosen.
    if (m_pQuality->checkedId() == kLosslessButton) {
        m_settings.m_bitmaps = BitmapKind::Lossless;
    } else {
        m_settings.m_bitmaps = BitmapKind::Jpeg;
        m_settings.m_nQuality = static_cast<Quality>(m_pQuality->checkedId());
    }
    m_settings.m_bChangedAreas = m_pChangedAreas->isChecked();
    m_settings.m_strInputFolder = PathFromText(m_pInputFolder->text());
    m_settings.m_strTargetUrl = m_pTargetUrl->text().toStdString();
    m_settings.m_bBatch = m_pBatch->isChecked();
    m_settings.m_nExtractFormat = static_cast<ExtractFormat>(m_pExtractFormat->checkedId());
    return fps.has_value();
}

void CQuorvelDlg::SettingsToControls() {
    m_pGifPath->setText(TextFromPath(m_settings.m_strGifPath));
    m_pOutputFolder->setText(TextFromPath(m_settings.m_strOutputFolder));
    m_pFps->setText(QString::number(m_settings.m_nFps));
    const int qualityButton = m_settings.m_bitmaps == BitmapKind::Lossless
                                  ? kLosslessButton
                                  : static_cast<int>(m_settings.m_nQuality);
    if (QAbstractButton* quality = m_pQuality->button(qualityButton)) quality->setChecked(true);
    m_pChangedAreas->setChecked(m_settings.m_bChangedAreas);
    m_pInputFolder->setText(TextFromPath(m_settings.m_strInputFolder));
    m_pTargetUrl->setText(QString::fromStdString(m_settings.m_strTargetUrl));
    m_pBatch->setChecked(m_settings.m_bBatch);
    if (QAbstractButton* format = m_pExtractFormat->button(static_cast<int>(m_settings.m_nExtractFormat)))
        format->setChecked(true);
    UpdateControlStates();
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
         Widgets{m_pOutputFolder, m_pChangeOutputFolder, m_pFps, m_pTargetUrl, m_pChangedAreas,
                 m_pBatch})
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
    const bool fpsValid = ControlsToSettings();
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
    if (!fpsValid) {
        RejectField(m_pFps, tr("FPS must be a whole number from %1 to %2.").arg(kMinFps).arg(kMaxFps));
        return;
    }

    if (!s.m_bBatch) {
        StartJob(Job::Convert, [settings = s](const JobControl& control) {
            Outcome outcome;
            outcome.single = ConvertFile(settings, control);
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
    StartJob(Job::Batch, [settings = s, files = m_batchFiles](const JobControl& control) {
        Outcome outcome;
        outcome.batch = ConvertBatch(settings, files, control);
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
    StartJob(Job::Extract, [settings = m_settings](const JobControl& control) {
        Outcome outcome;
        outcome.single = ExtractFrames(settings, control);
        return outcome;
    });
}

void CQuorvelDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuorvelDlg::StartJob(Job job, std::function<Outcome(const JobControl&)> work) {
    m_bCancel.store(false);
    m_runningJob = job;
    m_nFramesDone = 0;
    const quint64 serial = ++m_nJobSerial;

    JobControl control;
    control.cancel = &m_bCancel;
    control.threads = 0;  // one per core
    control.progress = [this, serial](int done) { emit JobProgress(serial, done); };

    if (job == Job::Batch) {
        m_progress->setRange(0, static_cast<int>(m_nBatchSize));
        m_progress->setValue(0);
    } else {
        // How many frames a GIF has is known only at its end: a busy bar until then.
        m_progress->setRange(0, 0);
    }
    UpdateControlStates();
    m_watcher.setFuture(
        QtConcurrent::run([work = std::move(work), control] { return work(control); }));
}

void CQuorvelDlg::OnJobProgress(quint64 job, int done) {
    if (job != m_nJobSerial || !IsJobRunning()) return;
    if (m_runningJob == Job::Batch) {
        // Files finish on several threads; a late report must not move the bar back.
        m_progress->setValue(std::max(m_progress->value(), done));
    } else {
        m_nFramesDone = std::max(m_nFramesDone, done);
    }
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
        // A finished single job shows its frames as a full bar, an unfinished one an empty bar.
        const bool finished = outcome.single.status != JobResult::Status::Cancelled &&
                              outcome.single.status != JobResult::Status::Failed;
        const int frames = finished ? m_nFramesDone : 0;
        m_progress->setRange(0, std::max(frames, 1));
        m_progress->setValue(frames);
    }
    UpdateControlStates();

    if (!m_bQuiet) {
        if (message.icon == JobMessage::Icon::Information)
            CPrompts::Information(this, QString::fromUtf8(kInfoCaption), message.text);
        else if (message.icon == JobMessage::Icon::Warning)
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
    CancelAndWait();
    QDialog::done(result);
}

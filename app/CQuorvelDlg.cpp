#include "app/CQuorvelDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QUrl>
#include <initializer_list>

#include "app/CAboutDlg.h"
#include "app/CGifPreview.h"
#include "app/CPrompts.h"
#include "app/CQuorvelForm.h"
#include "app/DialogText.h"
#include "app/ConversionSettings.h"
#include "jobs/convert/ConversionPlan.h"

namespace {

// Typing pauses this long before the path is scanned; changes of the options this long before
// the movie's size is worked out again.
constexpr int kInputPauseMs = 300;
constexpr int kEstimatePauseMs = 200;
// The most the window takes when it opens: a 1280 x 900 screen at twice the pixels per point.
constexpr QSize kOpeningSize(640, 450);

// What the window takes from a drag: a folder, or a file named like a GIF.
bool Acceptable(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isDir() || (info.isFile() && HasGifName(path));
}

// The local files and folders of a drag that the window takes, in order.
QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && Acceptable(url.toLocalFile())) paths << url.toLocalFile();
    return paths;
}

}  // namespace

CQuorvelDlg::CQuorvelDlg(QWidget* parent) : QDialog(parent) {
    static const bool resourcesLoaded = [] {
        Q_INIT_RESOURCE(quorvel_gui);
        return true;
    }();
    (void)resourcesLoaded;

    setWindowTitle(WindowTitle(std::nullopt));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorvel.png")));
    setAcceptDrops(true);

    m_form = std::make_unique<CQuorvelForm>(this, ConversionSettings{});
    m_pDropHint = new QLabel(this);
    m_pDropHint->setObjectName(QStringLiteral("dropHint"));
    m_pDropHint->setAlignment(Qt::AlignCenter);
    m_pDropHint->setWordWrap(true);
    m_pDropHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    const QColor highlight = palette().color(QPalette::Highlight);
    m_pDropHint->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(%1, %2, %3, 40); border: 3px solid %4; "
                       "font-size: 16pt; }")
            .arg(highlight.red())
            .arg(highlight.green())
            .arg(highlight.blue())
            .arg(highlight.name()));
    m_pDropHint->hide();

    m_inputPause.setSingleShot(true);
    m_inputPause.setInterval(kInputPauseMs);
    m_estimatePause.setSingleShot(true);
    m_estimatePause.setInterval(kEstimatePauseMs);
    Connect();
    OnGifTimingToggled();
    ScanInput();
    // It opens at the size its controls need, small enough for a small screen, and grows as the
    // user likes.
    resize(sizeHint().boundedTo(kOpeningSize).expandedTo(minimumSizeHint()));
}

CQuorvelDlg::~CQuorvelDlg() = default;  // the runner waits for its worker

void CQuorvelDlg::Connect() {
    const CQuorvelForm& f = *m_form;
    for (QLineEdit* input : {f.m_pGifPath, f.m_pInputFolder})
        connect(input, &QLineEdit::textChanged, this, &CQuorvelDlg::OnInputEdited);
    connect(&m_inputPause, &QTimer::timeout, this, &CQuorvelDlg::ScanInput);
    connect(f.m_pOutputFolder, &QLineEdit::textChanged, this, [this] {
        m_strOutcome.clear();
        UpdateControlStates();
    });
    connect(f.m_pFps, &QSpinBox::valueChanged, this, &CQuorvelDlg::ShowTimes);
    connect(f.m_pQuality, &QButtonGroup::idToggled, this, &CQuorvelDlg::ScheduleSizeEstimate);
    for (QCheckBox* box : {f.m_pChangedAreas, f.m_pTransparent})
        connect(box, &QCheckBox::toggled, this, &CQuorvelDlg::ScheduleSizeEstimate);
    connect(&m_estimatePause, &QTimer::timeout, this, &CQuorvelDlg::EstimateSize);
    connect(&m_estimator, &CSizeEstimator::Estimated, this, &CQuorvelDlg::OnSizeEstimated);
    connect(f.m_pBrowseInputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseInputFolder);
    connect(f.m_pBrowseGif, &QPushButton::clicked, this, &CQuorvelDlg::OnBrowseGif);
    connect(f.m_pChangeOutputFolder, &QPushButton::clicked, this, &CQuorvelDlg::OnChangeOutputFolder);
    connect(f.m_pBatch, &QCheckBox::clicked, this, &CQuorvelDlg::OnBatchToggled);
    connect(f.m_pGifTiming, &QCheckBox::toggled, this, &CQuorvelDlg::OnGifTimingToggled);
    connect(f.m_pUseGifTiming, &QPushButton::clicked, this, &CQuorvelDlg::OnUseGifTiming);
    connect(f.m_pBackground, &QPushButton::clicked, this, &CQuorvelDlg::OnChooseBackground);
    connect(f.m_pConvert, &QPushButton::clicked, this, &CQuorvelDlg::OnConvert);
    connect(f.m_pExtract, &QPushButton::clicked, this, &CQuorvelDlg::OnExtract);
    connect(f.m_pAbout, &QPushButton::clicked, this, &CQuorvelDlg::OnAbout);
    connect(f.m_pExit, &QPushButton::clicked, this, &QDialog::accept);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CQuorvelDlg::OnAbout);

    connect(&m_scanner, &CInputScanner::Scanned, this, &CQuorvelDlg::OnInputScanned);
    connect(&m_runner, &CJobRunner::Progress, this, &CQuorvelDlg::OnJobProgress);
    connect(&m_runner, &CJobRunner::Finished, this, &CQuorvelDlg::OnJobFinished);
}

void CQuorvelDlg::OnInputEdited() {
    m_strOutcome.clear();
    m_chosenFiles.clear();
    m_scanner.Forget();
    const bool batch = m_form->m_pBatch->isChecked();
    m_facts = InputFacts{};
    m_facts.batch = batch;
    const QString path = (batch ? m_form->m_pInputFolder : m_form->m_pGifPath)->text();
    if (!path.trimmed().isEmpty()) m_facts.path = path;
    m_form->m_pGifInfo->clear();
    m_form->m_pTimes->clear();
    m_form->m_pUseGifTiming->hide();
    m_form->m_pPreview->ShowText(QString());
    ShowTimes();
    m_inputPause.start();
    UpdateControlStates();
}

void CQuorvelDlg::ScanInput() {
    m_inputPause.stop();
    const ConversionSettings s = SettingsFromForm(*m_form);
    m_facts = InputFacts{};
    m_facts.batch = s.m_bBatch;
    const QString path = TextFromPath(s.m_bBatch ? s.m_strInputFolder : s.m_strGifPath);
    if (!path.trimmed().isEmpty()) m_facts.path = path;
    ScheduleSizeEstimate();
    if (s.m_bBatch && !m_chosenFiles.isEmpty()) {
        m_scanner.ScanFiles(m_chosenFiles);
    } else if (m_facts.path.isEmpty()) {
        m_scanner.Forget();
        OnInputScanned(m_facts);
    } else if (s.m_bBatch) {
        m_scanner.ScanFolder(m_facts.path);
    } else {
        m_scanner.ScanGif(m_facts.path, ConvertOptionsFrom(s).Rules());
    }
    UpdateControlStates();
}

bool CQuorvelDlg::Scanning() const { return m_inputPause.isActive() || m_scanner.Busy(); }

QString CQuorvelDlg::InputProblemNow() const {
    return InputProblem(m_facts, Scanning(), !m_form->m_pOutputFolder->text().trimmed().isEmpty());
}

void CQuorvelDlg::OnInputScanned(const InputFacts& facts) {
    m_facts = facts;
    m_form->m_pGifInfo->setText(DescribeInput(facts));
    const bool usable = facts.batch ? !facts.files.empty()
                                    : facts.gif.opened && facts.gif.frames > 0;
    if (!usable) {
        m_form->m_pPreview->ShowText(QString());
    } else if (facts.batch) {
        const int side = style()->pixelMetric(QStyle::PM_LargeIconSize) * 2;
        m_form->m_pPreview->ShowText(QString());
        m_form->m_pPreview->setPixmap(style()->standardIcon(QStyle::SP_DirIcon).pixmap(side));
    } else {
        ComposePreview();
    }
    // A path typed (or pasted) gives the output folder as Browse does.
    if (usable) SuggestOutputFolder(facts.chosen ? TextFromPath(facts.files.front()) : facts.path);
    ShowTimes();
    UpdateControlStates();
    emit InputScanned();
}

void CQuorvelDlg::ComposePreview() {
    if (m_facts.batch || !m_facts.gif.opened || m_facts.gif.frames == 0) return;
    const ConvertOptions options = ConvertOptionsFrom(SettingsFromForm(*m_form));
    m_form->m_pPreview->Compose(m_facts.path, options.Rules(), options.background,
                                m_facts.gif.frames);
}

void CQuorvelDlg::ShowTimes() {
    const bool shown = !Scanning() && !m_facts.batch && m_facts.gif.frames > 0;
    m_form->m_pTimes->setVisible(shown);
    ScheduleSizeEstimate();
    if (!shown) {
        m_form->m_pUseGifTiming->hide();
        return;
    }
    // The plan the conversion will make of this scan.
    const ConversionPlan plan =
        PlanConversion(m_facts.gif, ConvertOptionsFrom(SettingsFromForm(*m_form)));
    const JobPlan times = plan.Summary();
    m_form->m_pTimes->setText(DescribeTimes(times));
    m_form->m_pUseGifTiming->setVisible(TimesDiffer(times));
    std::vector<int> schedule = plan.schedule;
    schedule.resize(m_facts.gif.delaysMs.size(), 1);
    m_form->m_pPreview->SetTiming(std::move(schedule), plan.fps, plan.passes);
}

void CQuorvelDlg::ScheduleSizeEstimate() {
    // What was said about another input or other options is not left on show.
    m_estimator.Forget();
    m_form->m_pMovieSize->clear();
    m_form->m_pMovieSize->hide();
    if (!Scanning() && !m_facts.batch && m_facts.gif.frames > 0) m_estimatePause.start();
    else m_estimatePause.stop();
}

void CQuorvelDlg::EstimateSize() {
    if (Scanning() || m_facts.batch || m_facts.gif.frames == 0) return;
    ConversionPlan plan =
        PlanConversion(m_facts.gif, ConvertOptionsFrom(SettingsFromForm(*m_form)));
    plan.gif = PathFromText(m_facts.path);
    m_estimator.Estimate(plan);
}

void CQuorvelDlg::OnSizeEstimated(const SizeEstimate& estimate) {
    if (!estimate.ok) return;
    m_form->m_pMovieSize->setText(
        DescribeMovieSize(estimate.bytes, m_form->m_pChangedAreas->isChecked()));
    m_form->m_pMovieSize->show();
}

void CQuorvelDlg::UpdateControlStates() {
    const CQuorvelForm& f = *m_form;
    const bool idle = !IsJobRunning();
    const bool batch = f.m_pBatch->isChecked();
    using Widgets = std::initializer_list<QWidget*>;
    for (QWidget* batchOnly : Widgets{f.m_pInputFolder, f.m_pBrowseInputFolder})
        batchOnly->setEnabled(idle && batch);
    for (QWidget* singleOnly : Widgets{f.m_pGifPath, f.m_pBrowseGif})
        singleOnly->setEnabled(idle && !batch);
    for (QWidget* input : Widgets{f.m_pOutputFolder, f.m_pChangeOutputFolder, f.m_pFps,
                                  f.m_pTargetUrl, f.m_pGifTiming, f.m_pUseGifTiming,
                                  f.m_pChangedAreas, f.m_pBackground, f.m_pTransparent, f.m_pBatch,
                                  f.m_pLibrary, f.m_pCompression})
        input->setEnabled(idle);
    for (QAbstractButton* button : f.m_pQuality->buttons()) button->setEnabled(idle);
    for (QAbstractButton* button : f.m_pExtractFormat->buttons()) button->setEnabled(idle);

    const QString problem = InputProblemNow();
    // While a job runs, the button that started it is its Cancel button.
    const bool extracting = !idle && m_job == Job::Extract;
    f.m_pConvert->setEnabled(idle ? problem.isEmpty() : !extracting);
    f.m_pConvert->setText(idle || extracting ? tr("C&onvert...") : tr("Cancel"));
    f.m_pExtract->setEnabled(idle ? !batch && problem.isEmpty() : extracting);
    f.m_pExtract->setText(extracting ? tr("Cancel") : tr("E&xtract..."));
    for (QWidget* command : Widgets{f.m_pConvert, f.m_pExtract})
        command->setToolTip(idle ? problem : QString());
    if (idle) f.m_pStatus->setText(problem.isEmpty() ? m_strOutcome : problem);
}

void CQuorvelDlg::OnGifTimingToggled() {
    QSpinBox* fps = m_form->m_pFps;
    const bool gifTiming = m_form->m_pGifTiming->isChecked();
    const QSignalBlocker quiet(fps);  // one update of the times, after the scan
    fps->setMinimum(gifTiming ? 0 : kMinFps);
    fps->setSpecialValueText(gifTiming ? tr("auto") : QString());
    if (gifTiming) {
        fps->setValue(0);
        fps->setToolTip(tr("Optional: a fixed frame rate for the GIF's own timing. At \"auto\", "
                           "the lowest rate up to 50 that shows every delay exactly."));
    } else {
        if (fps->value() == 0) fps->setValue(kDefaultFps);
        fps->setToolTip(tr("Frames per second of the movie; every GIF frame is one frame."));
    }
    // The frames themselves change with the timing: every image becomes one.
    if (!m_form->m_pBatch->isChecked() && !m_facts.path.isEmpty()) ScanInput();
}

void CQuorvelDlg::OnUseGifTiming() {
    m_form->m_pGifTiming->setChecked(true);
    m_form->m_pFps->setValue(0);  // "auto": the rate the delays pick
}

void CQuorvelDlg::OnChooseBackground() {
    if (!m_pColorDialog) {
        m_pColorDialog = new QColorDialog(this);
        m_pColorDialog->setObjectName(QStringLiteral("backgroundColorDialog"));
        m_pColorDialog->setWindowTitle(tr("Stage colour"));
        m_pColorDialog->setOption(QColorDialog::DontUseNativeDialog);
        connect(m_pColorDialog, &QColorDialog::colorSelected, this, [this](const QColor& color) {
            m_form->ShowBackground(static_cast<RgbColor>(color.rgb() & 0xFFFFFF));
            ComposePreview();
            ScheduleSizeEstimate();
        });
    }
    m_pColorDialog->setCurrentColor(QColor::fromRgb(m_form->Background()));
    m_pColorDialog->open();  // returns at once; the dialog answers through colorSelected
}

void CQuorvelDlg::OnBrowseGif() {
    const QString current = m_form->m_pGifPath->text();
    const QString start = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString path = CPrompts::OpenFile(this, tr("Open"), GifFileFilter(), start);
    if (path.isEmpty()) return;
    m_form->m_pGifPath->setText(path);
    ScanInput();
    SuggestOutputFolder(path);
}

void CQuorvelDlg::OnChangeOutputFolder() {
    const QString folder =
        CPrompts::ChooseFolder(this, tr("Select output folder:"), m_form->m_pOutputFolder->text());
    if (!folder.isEmpty()) m_form->m_pOutputFolder->setText(folder);
}

void CQuorvelDlg::OnBrowseInputFolder() {
    const QString folder =
        CPrompts::ChooseFolder(this, tr("Select input folder:"), m_form->m_pInputFolder->text());
    if (folder.isEmpty()) return;
    m_form->m_pInputFolder->setText(folder);
    ScanInput();
    SuggestOutputFolder(folder);
}

void CQuorvelDlg::OnBatchToggled() {
    m_strOutcome.clear();
    if (!m_form->m_pBatch->isChecked()) m_chosenFiles.clear();
    ScanInput();
}

void CQuorvelDlg::SuggestOutputFolder(const QString& path) {
    if (!m_form->m_pOutputFolder->text().trimmed().isEmpty()) return;
    const QFileInfo info(path);
    m_form->m_pOutputFolder->setText(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

void CQuorvelDlg::LoadPath(const QString& path) {
    if (IsJobRunning() || path.isEmpty()) return;
    const QFileInfo info(path);
    const bool folder = info.isDir();
    m_form->m_pBatch->setChecked(folder);
    (folder ? m_form->m_pInputFolder : m_form->m_pGifPath)->setText(info.absoluteFilePath());
    m_chosenFiles.clear();
    ScanInput();
    SuggestOutputFolder(path);
}

void CQuorvelDlg::LoadPaths(const QStringList& paths) {
    if (paths.size() < 2) {
        if (!paths.isEmpty()) LoadPath(paths.front());
        return;
    }
    if (IsJobRunning()) return;
    QStringList files;
    for (const QString& path : paths) files << QFileInfo(path).absoluteFilePath();
    m_form->m_pBatch->setChecked(true);
    m_form->m_pInputFolder->setText(QFileInfo(files.front()).absolutePath());
    m_chosenFiles = files;  // after the edit, which forgets the files chosen before
    ScanInput();
}

void CQuorvelDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
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

void CQuorvelDlg::dragEnterEvent(QDragEnterEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    if (IsJobRunning() || paths.isEmpty()) return;  // the cursor says it is refused
    event->acceptProposedAction();
    const QFileInfo info(paths.front());
    m_pDropHint->setText(paths.size() > 1 ? tr("Drop to convert these %1 GIF files").arg(paths.size())
                         : info.isDir()   ? tr("Drop to convert the GIF files in %1").arg(info.fileName())
                                          : tr("Drop to load %1").arg(info.fileName()));
    m_pDropHint->setGeometry(rect());
    m_pDropHint->raise();
    m_pDropHint->show();
}

void CQuorvelDlg::dragLeaveEvent(QDragLeaveEvent* event) {
    m_pDropHint->hide();
    QDialog::dragLeaveEvent(event);
}

void CQuorvelDlg::dropEvent(QDropEvent* event) {
    m_pDropHint->hide();
    const QStringList paths = DroppedPaths(event->mimeData());
    if (IsJobRunning() || paths.isEmpty()) return;
    event->acceptProposedAction();
    LoadPaths(paths);
}

void CQuorvelDlg::resizeEvent(QResizeEvent* event) {
    m_pDropHint->setGeometry(rect());
    QDialog::resizeEvent(event);
}

bool CQuorvelDlg::ConfirmStop() {
    const QString stop = tr("Stop and Close");
    m_bAskingToClose = true;
    const bool agreed = CPrompts::Choose(this, QString::fromUtf8(kWarningCaption),
                                         tr("A conversion is running. Stop it and close?"),
                                         {stop, tr("Cancel")}) == stop;
    m_bAskingToClose = false;
    if (!m_endedWhileAsking) return agreed;
    // Nothing is left to stop: the job's end is shown, and the dialog stays.
    const CJobRunner::Outcome outcome = std::move(*m_endedWhileAsking);
    m_endedWhileAsking.reset();
    OnJobFinished(outcome);
    return false;
}

void CQuorvelDlg::done(int result) {
    if (IsJobRunning() && !ConfirmStop()) return;
    if (IsJobRunning()) {
        m_runner.Abandon();
        m_job = Job::None;
        ResetProgress();
        UpdateControlStates();
        emit JobEnded();
    }
    QDialog::done(result);
}

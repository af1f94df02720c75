#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/BatchJob.h"
#include "jobs/ConversionSettings.h"
#include "jobs/JobResult.h"

class QButtonGroup;
class QCheckBox;
class QColorDialog;
class QLabel;
class QLineEdit;
class QMovie;
class QProgressBar;
class QPushButton;
class QSpinBox;

// Control ids of the main dialog. Each control's object name is the id's name (IDC_GIF_PATH,
// IDOK, ...) and its "controlId" property the number.
enum QuorvelControlId : int {
    IDOK = 1,
    IDC_GIF_PATH = 1000,
    IDC_BROWSE_GIF = 1001,
    IDC_OUTPUT_FOLDER = 1002,
    IDC_CHANGE_OUTPUT_FOLDER = 1003,
    IDC_CONVERT = 1004,
    IDC_ABOUT = 1005,
    IDC_FPS = 1006,
    IDC_QUALITY_LOW = 1007,
    IDC_QUALITY_NORMAL = 1008,
    IDC_QUALITY_HIGH = 1009,
    IDC_EXTRACT = 1010,
    IDC_INPUT_FOLDER = 1011,
    IDC_BROWSE_INPUT_FOLDER = 1012,
    IDC_BATCH = 1013,
    IDC_PROGRESS = 1019,
    IDC_FORMAT_BMP = 1020,
    IDC_FORMAT_PNG = 1021,
    IDC_FORMAT_JPG = 1022,
    IDC_FORMAT_TGA = 1023,
    IDC_TARGET_URL = 1024,
    IDC_QUALITY_LOSSLESS = 1025,
    IDC_CHANGED_AREAS = 1026,
    IDC_GIF_TIMING = 1030,
    IDC_BACKGROUND = 1031,
    IDC_TRANSPARENT = 1032,
};

// The main window: input and output folders, conversion and extraction options, and the
// buttons that run the jobs. Jobs run on a worker thread, one at a time; while one runs, the
// controls that would start another or change its inputs are disabled and "C&onvert..." turns
// into "Cancel".
class CQuorvelDlg : public QDialog {
    Q_OBJECT

public:
    // The Lossless button's id in the quality group, after those of the Quality values.
    static constexpr int kLosslessButton = 3;

    explicit CQuorvelDlg(QWidget* parent = nullptr);
    ~CQuorvelDlg() override;

    // Data exchange. ControlsToSettings copies what the controls show into the settings; the
    // FPS spin box holds only whole numbers from kMinFps to kMaxFps, so it always succeeds.
    // SettingsToControls shows the settings in the controls.
    bool ControlsToSettings();
    void SettingsToControls();

    const ConversionSettings& Settings() const { return m_settings; }
    const std::vector<std::string>& BatchFiles() const { return m_batchFiles; }
    bool IsJobRunning() const { return m_runningJob != Job::None; }

    // Loads what the user handed over (a drop, the command line): a folder switches to batch
    // mode with it as the input folder, anything else becomes the GIF to convert. Either fills
    // an empty output folder with its own folder. Ignored while a job runs.
    void LoadPath(const QString& path);

    // Command handlers, one per button.
    void OnBrowseGif();
    void OnChangeOutputFolder();
    void OnBrowseInputFolder();
    void OnBatchToggled();
    // The GIF's own timing makes the frame rate optional: "auto" (0) in the FPS box.
    void OnGifTimingToggled();
    // Opens the colour picker for the stage without waiting for it; a colour chosen there
    // shows on the button.
    void OnChooseBackground();
    void OnConvert();  // starts a conversion or batch; while a job runs, cancels it
    void OnExtract();
    void OnAbout();

    // Closing the dialog (Exit, Escape, the close box) while a job runs asks first; when the
    // user agrees, it cancels the job and waits for its worker before the dialog goes.
    void done(int result) override;

signals:
    // Emitted on the worker thread; delivered queued. job tells stale reports from current ones.
    // done counts frames of a single job, files of a batch.
    void JobProgress(quint64 job, int done);
    // A batch's frames: done so far of total (the total comes first, with done 0).
    void BatchFrames(quint64 job, qint64 done, qint64 total);
    // A job has ended and its message, if any, has been shown.
    void JobEnded();

protected:
    // Enter in a field does nothing (it used to close the dialog); on a button it presses it.
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class Job { None, Convert, Extract, Batch };

    // What a worker hands back: the single job's result or the batch's.
    struct Outcome {
        JobResult single;
        BatchResult batch;
    };

    void BuildControls();
    void UpdateControlStates();
    void ShowBackground(RgbColor color);
    // Lists the GIF files of folder into the batch list; the progress bar goes to 0 of N.
    // Returns false (after saying why) when the folder cannot be read.
    bool ListBatchFiles(const std::string& folder);
    // Shows a warning naming the field and moves the focus to it. Always returns false.
    bool RejectField(QWidget* field, const QString& text);
    void StartJob(Job job, std::function<Outcome(const JobControl&, quint64 serial)> work);
    void OnJobProgress(quint64 job, int done);
    void OnBatchFrames(quint64 job, qint64 done, qint64 total);
    // Scans the GIF named in the path box and shows it playing with its facts, or says why it
    // cannot be read.
    void UpdatePreview();
    // Fills an empty output folder with the folder of path.
    void SuggestOutputFolder(const QString& path);
    void ShowBatchProgress();
    void OnJobFinished();
    // Ends the running job: cancels it, waits for the worker, shows no message.
    void CancelAndWait();

    ConversionSettings m_settings;
    std::vector<std::string> m_batchFiles;
    std::string m_strListedFolder;  // the folder m_batchFiles was listed from

    Job m_runningJob = Job::None;
    std::size_t m_nBatchSize = 0;
    int m_nFramesDone = 0;  // frames a single job has reported
    int m_nBatchFilesDone = 0;
    qint64 m_nBatchFramesDone = 0;
    std::string m_strJobOutputFolder;  // where the running job writes
    quint64 m_nJobSerial = 0;
    bool m_bQuiet = false;  // the job ends because the dialog closes: no message
    std::atomic<bool> m_bCancel{false};
    QFutureWatcher<Outcome> m_watcher;

    QLineEdit* m_pInputFolder = nullptr;
    QPushButton* m_pBrowseInputFolder = nullptr;
    QLineEdit* m_pGifPath = nullptr;
    QPushButton* m_pBrowseGif = nullptr;
    QLineEdit* m_pOutputFolder = nullptr;
    QPushButton* m_pChangeOutputFolder = nullptr;
    QLabel* m_pPreview = nullptr;
    QLabel* m_pGifInfo = nullptr;
    QMovie* m_pMovie = nullptr;
    QSpinBox* m_pFps = nullptr;
    QLineEdit* m_pTargetUrl = nullptr;
    // Low, normal and high JPEG quality under their Quality values; Lossless under
    // kLosslessButton.
    QButtonGroup* m_pQuality = nullptr;
    QCheckBox* m_pChangedAreas = nullptr;
    QPushButton* m_pBackground = nullptr;  // shows m_background
    RgbColor m_background = kWhiteRgb;
    QColorDialog* m_pColorDialog = nullptr;  // made when first needed
    QCheckBox* m_pTransparent = nullptr;
    QCheckBox* m_pBatch = nullptr;
    QCheckBox* m_pGifTiming = nullptr;
    QPushButton* m_pConvert = nullptr;
    QButtonGroup* m_pExtractFormat = nullptr;
    QPushButton* m_pExtract = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_pAbout = nullptr;
    QPushButton* m_pExit = nullptr;
};

#pragma once

#include <QDialog>
#include <QTimer>
#include <cstddef>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

#include "app/CInputScanner.h"
#include "app/CJobRunner.h"
#include "app/CSizeEstimator.h"
#include "app/InputFacts.h"

class CQuorvelForm;
class QColorDialog;
class QLabel;
struct ConversionSettings;

// The main window: it wires the form's controls to the jobs. What the input holds is scanned off
// the GUI thread and shown with the movie playing as it will play; Convert and Extract stay
// disabled, with the reason in the status line, while the input cannot be used. A job reads the
// form once, when it starts, asks before replacing files, and runs on a worker (CJobRunner), one
// at a time; while it runs the controls that would start another or change its inputs are
// disabled, and the button that started it ("C&onvert..." or "E&xtract...") turns into
// "Cancel". The window grows, and the preview with it.
class CQuorvelDlg : public QDialog {
    Q_OBJECT

public:
    explicit CQuorvelDlg(QWidget* parent = nullptr);
    ~CQuorvelDlg() override;

    bool IsJobRunning() const { return m_runner.IsRunning(); }

    // Loads what the user handed over (a drop, the command line): a folder switches to batch
    // mode with it as the input folder, anything else becomes the GIF to convert. Either fills
    // an empty output folder with its own folder. Ignored while a job runs.
    void LoadPath(const QString& path);
    // Several files (and folders) at once, as a file manager hands them over: a batch of just
    // those files (and the GIFs of the folders), the first one's folder as the input and the
    // output folder. One path is LoadPath's.
    void LoadPaths(const QStringList& paths);

    // Command handlers, one per button.
    void OnBrowseGif();
    void OnChangeOutputFolder();
    void OnBrowseInputFolder();
    void OnBatchToggled();
    // The GIF's own timing makes the frame rate optional: "auto" (0) in the FPS box.
    void OnGifTimingToggled();
    // The one-click fix when the movie would play far from the GIF's length.
    void OnUseGifTiming();
    // Opens the colour picker for the stage without waiting for it; a colour chosen there
    // shows on the button and in the preview.
    void OnChooseBackground();
    void OnConvert();  // starts a conversion or batch; while a job runs, cancels it
    void OnExtract();
    void OnAbout();

    // Closing the dialog (Exit, Escape, the close box) while a job runs asks first; when the
    // user agrees, it cancels the job and waits for its worker before the dialog goes. A job
    // that ends while the question is up takes the question back, and its message follows.
    void done(int result) override;

signals:
    // The input's facts have come back from their scan and are shown.
    void InputScanned();
    // A job has ended and its message, if any, has been shown.
    void JobEnded();

protected:
    // Enter in a field does nothing (it used to close the dialog); on a button it presses it.
    void keyPressEvent(QKeyEvent* event) override;
    // GIF files and folders are taken, and the window shows it while they are dragged over it;
    // several make a batch of them (LoadPaths).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Job { None, Convert, Extract, Batch };

    void Connect();
    // The input changed: its facts are stale until a scan, started after a short pause in
    // typing, brings them back.
    void OnInputEdited();
    void ScanInput();
    void OnInputScanned(const InputFacts& facts);
    bool Scanning() const;
    QString InputProblemNow() const;
    void ComposePreview();
    // How long the GIF and its movie play, the fix when they differ, and the preview's timing.
    void ShowTimes();
    void UpdateControlStates();
    void SuggestOutputFolder(const QString& path);
    // About how large the movie will be, worked out again after a pause in changes.
    void ScheduleSizeEstimate();
    void EstimateSize();
    void OnSizeEstimated(const SizeEstimate& estimate);
    // Asks whether to stop the running job and close; false when the dialog stays.
    bool ConfirmStop();

    // Jobs (CQuorvelDlgJobs.cpp).
    bool PrepareOutputFolder(const std::string& folder);
    void StartConversion(const ConversionSettings& settings);
    void StartExtraction(const ConversionSettings& settings);
    void StartBatch(const ConversionSettings& settings);
    void StartJob(Job job, const std::string& outputFolder, CJobRunner::Work work);
    void OnJobProgress(const BatchProgress::State& state);
    void OnJobFinished(const CJobRunner::Outcome& outcome);
    void ShowJobMessage(Job job, const CJobRunner::Outcome& outcome);
    void ResetProgress();
    void ReportOpenFailure(const QString& what);

    std::unique_ptr<CQuorvelForm> m_form;
    CJobRunner m_runner;
    CInputScanner m_scanner;
    QTimer m_inputPause;
    InputFacts m_facts;
    QStringList m_chosenFiles;  // a batch of files handed over, not a folder's
    CSizeEstimator m_estimator;
    QTimer m_estimatePause;
    QColorDialog* m_pColorDialog = nullptr;  // made when first needed
    QLabel* m_pDropHint = nullptr;           // over the window while a drop would be taken

    Job m_job = Job::None;
    std::string m_strJobOutputFolder;  // where the running job writes
    std::string m_strJobMovie;         // a single conversion's movie
    std::size_t m_nBatchFiles = 0;     // the files a batch was given, skipped ones included
    std::size_t m_nBatchSkipped = 0;   // left out because their movie exists
    QString m_strOutcome;  // how the last job ended, for the status line while nothing changes
    bool m_bAskingToClose = false;
    std::optional<CJobRunner::Outcome> m_endedWhileAsking;
};

// The dialog's jobs: what it asks before one starts, starting it on the runner, and what it
// shows while it runs and once it has ended.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <filesystem>

#include "app/CPrompts.h"
#include "app/CQuorvelDlg.h"
#include "app/CQuorvelForm.h"
#include "app/DesktopOpener.h"
#include "app/DialogText.h"
#include "base/Leftovers.h"
#include "app/ConversionSettings.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"

namespace fs = std::filesystem;

namespace {

QString Caption() { return QString::fromUtf8(kWarningCaption); }

// The frame files an extraction of the GIF would write into folder that are there already:
// "<title>_f<index>.<format>".
int ExistingFrameFiles(const ConversionSettings& s) {
    const QString title = TextFromPath(s.m_strGifTitle);
    const QString extension = QString::fromLatin1(NameOf(kExtractFormatNames, s.m_nExtractFormat));
    const QRegularExpression frameName(QStringLiteral("^%1_f[0-9]+\\.%2$")
                                           .arg(QRegularExpression::escape(title), extension));
    const QStringList names = QDir(TextFromPath(s.m_strOutputFolder)).entryList(QDir::Files);
    return static_cast<int>(std::count_if(names.begin(), names.end(), [&](const QString& name) {
        return frameName.match(name).hasMatch();
    }));
}

// A batch's events, counted by the run.
BatchEvents RunEvents(CJobRunner::Run& run) {
    BatchEvents events;
    events.planned = [&run](std::size_t index, const JobPlan& plan) { run.Planned(index, plan); };
    events.frames = [&run](std::size_t index, int frames) { run.Frames(index, frames); };
    events.fileDone = [&run](std::size_t index, const JobResult&) { run.FileDone(index); };
    return events;
}

std::size_t FilesWritten(const CJobRunner::Outcome& outcome) {
    std::size_t written = outcome.single.outputs.size();
    for (const JobResult& file : outcome.batch.results) written += file.outputs.size();
    return written;
}

}  // namespace

bool CQuorvelDlg::PrepareOutputFolder(const std::string& folder) {
    const QString text = TextFromPath(folder);
    const QFileInfo info(text);
    if (info.isDir()) return true;
    if (info.exists()) {
        CPrompts::Warning(this, Caption(), tr("The output folder %1 is a file.").arg(text));
        return false;
    }
    const QString create = tr("Create Folder");
    if (CPrompts::Choose(this, Caption(), tr("The output folder %1 does not exist. Create it?").arg(text),
                         {create, tr("Cancel")}) != create)
        return false;
    if (QDir().mkpath(text)) return true;
    CPrompts::Warning(this, Caption(), tr("The output folder %1 could not be created.").arg(text));
    return false;
}

void CQuorvelDlg::OnConvert() {
    if (IsJobRunning()) {
        if (m_job != Job::Extract) m_runner.Cancel();
        return;
    }
    if (!InputProblemNow().isEmpty()) return;
    const ConversionSettings s = SettingsFromForm(*m_form);
    if (!PrepareOutputFolder(s.m_strOutputFolder)) return;
    if (s.m_bBatch)
        StartBatch(s);
    else
        StartConversion(s);
}

void CQuorvelDlg::OnExtract() {
    if (IsJobRunning()) {
        if (m_job == Job::Extract) m_runner.Cancel();
        return;
    }
    if (m_form->m_pBatch->isChecked() || !InputProblemNow().isEmpty()) return;
    const ConversionSettings s = SettingsFromForm(*m_form);
    if (PrepareOutputFolder(s.m_strOutputFolder)) StartExtraction(s);
}

void CQuorvelDlg::StartConversion(const ConversionSettings& s) {
    const BatchRequest one{{s.m_strGifPath}, s.m_strOutputFolder, ConvertOptionsFrom(s)};
    const fs::path movie = MovieOf(one, 0);
    const QString shown = TextFromPath(movie.string());
    if (!ExistingMovies(one).empty()) {
        const QString choice = CPrompts::Choose(this, Caption(), tr("%1 exists already. Replace it?").arg(shown),
                                                {tr("Replace"), tr("Skip"), tr("Cancel")});
        if (choice == tr("Cancel")) return;
        if (choice == tr("Skip")) {
            m_strOutcome = tr("Skipped: %1 exists").arg(shown);
            UpdateControlStates();
            return;
        }
    }
    m_strJobMovie = movie.string();
    StartJob(Job::Convert, s.m_strOutputFolder,
             [one](CJobRunner::Run& run) {
                 run.Expect(1);
                 // Through the batch, which also writes a library of one GIF.
                 BatchResult batch = ConvertBatch(one, run.Control(), RunEvents(run));
                 CJobRunner::Outcome outcome;
                 if (batch.results.empty())
                     outcome.single.status = JobResult::Status::Cancelled;
                 else
                     outcome.single = std::move(batch.results.front());
                 return outcome;
             });
}

void CQuorvelDlg::StartExtraction(const ConversionSettings& s) {
    ExtractOptions options = ExtractOptionsFrom(s);
    if (const int existing = ExistingFrameFiles(s); existing > 0) {
        const QString choice = CPrompts::Choose(
            this, Caption(),
            tr("%1 frame files of %2 exist already in %3. Replace them?")
                .arg(existing)
                .arg(TextFromPath(s.m_strGifTitle), TextFromPath(s.m_strOutputFolder)),
            {tr("Replace All"), tr("Skip Existing"), tr("Cancel")});
        if (choice == tr("Cancel")) return;
        if (choice == tr("Skip Existing")) options.existing = Existing::Keep;
    }
    StartJob(Job::Extract, s.m_strOutputFolder,
             [gif = s.m_strGifPath, folder = s.m_strOutputFolder, options](CJobRunner::Run& run) {
                 run.Expect(1);
                 JobControl control = run.Control();
                 control.planned = [&run](const JobPlan& plan) { run.Planned(0, plan); };
                 control.progress = [&run](int done) { run.Frames(0, done); };
                 CJobRunner::Outcome outcome;
                 outcome.single = ExtractFrames(gif, folder, options, control);
                 return outcome;
             });
}

void CQuorvelDlg::StartBatch(const ConversionSettings& s) {
    BatchRequest request{m_facts.files, s.m_strOutputFolder, ConvertOptionsFrom(s)};
    m_nBatchFiles = request.files.size();
    m_nBatchSkipped = ExistingMovies(request).size();
    if (m_nBatchSkipped > 0) {
        const QString choice = CPrompts::Choose(
            this, Caption(),
            tr("%1 of the %2 movies exist already in %3. Replace them?")
                .arg(m_nBatchSkipped)
                .arg(m_nBatchFiles)
                .arg(TextFromPath(s.m_strOutputFolder)),
            {tr("Replace All"), tr("Skip Existing"), tr("Cancel")});
        if (choice == tr("Cancel")) return;
        if (choice == tr("Replace All")) m_nBatchSkipped = 0;
        if (choice == tr("Skip Existing")) request.existing = Existing::Keep;
    }
    if (m_nBatchSkipped == m_nBatchFiles) {
        m_strOutcome = tr("Skipped: all %1 movies exist").arg(m_nBatchFiles);
        UpdateControlStates();
        return;
    }
    StartJob(Job::Batch, s.m_strOutputFolder, [request = std::move(request)](CJobRunner::Run& run) {
        // The bar counts frames: the batch plans every file before it converts any.
        run.Expect(request.files.size());
        CJobRunner::Outcome outcome;
        outcome.batch = ConvertBatch(request, run.Control(), RunEvents(run));
        return outcome;
    });
}

void CQuorvelDlg::StartJob(Job job, const std::string& outputFolder, CJobRunner::Work work) {
    ForgetListedFolders();  // each job is a run: it looks for leftovers afresh
    m_job = job;
    m_strJobOutputFolder = outputFolder;
    m_strOutcome.clear();
    // Busy until the job has counted the frames to do.
    m_form->m_pProgress->setRange(0, 0);
    m_form->m_pStatus->setText(job == Job::Extract ? tr("Extracting the frames...")
                                                   : tr("Converting..."));
    m_runner.Start(std::move(work));
    UpdateControlStates();
}

void CQuorvelDlg::OnJobProgress(const BatchProgress::State& state) {
    QProgressBar* bar = m_form->m_pProgress;
    const int total = static_cast<int>(std::clamp<int64_t>(state.run.total, 1, INT_MAX));
    if (bar->maximum() != total) bar->setRange(0, total);
    bar->setValue(static_cast<int>(std::min<int64_t>(state.run.done, total)));
    // The text never holds the bar's own %p, %v or %m.
    bar->setFormat(DescribeProgress(state, m_job == Job::Batch));
    bar->setTextVisible(true);
    setWindowTitle(WindowTitle(state.run.Percent()));
}

void CQuorvelDlg::ResetProgress() {
    // Whatever the outcome, the bar is empty again for the next job.
    m_form->m_pProgress->setRange(0, 1);
    m_form->m_pProgress->setValue(0);
    m_form->m_pProgress->setTextVisible(false);
    setWindowTitle(WindowTitle(std::nullopt));
}

void CQuorvelDlg::OnJobFinished(const CJobRunner::Outcome& outcome) {
    if (m_bAskingToClose) {
        // The question whether to stop it goes first; its end is shown once it has.
        m_endedWhileAsking = outcome;
        CPrompts::Withdraw();
        return;
    }
    const Job job = m_job;
    m_job = Job::None;
    ResetProgress();
    const JobResult& single = outcome.single;
    if (single.status == JobResult::Status::Cancelled || outcome.batch.cancelled) {
        m_strOutcome = DescribeCancel(FilesWritten(outcome));
    } else if (job == Job::Batch) {
        m_strOutcome = tr("%1 of %2 files converted")
                           .arg(outcome.batch.Converted())
                           .arg(m_nBatchFiles - m_nBatchSkipped);
    } else if (single.Succeeded()) {
        m_strOutcome = job == Job::Convert
                           ? tr("Wrote %1").arg(TextFromPath(m_strJobMovie))
                           : tr("Wrote %1 frame files in %2")
                                 .arg(single.outputs.size())
                                 .arg(TextFromPath(m_strJobOutputFolder));
    } else {
        m_strOutcome = tr("Failed: %1").arg(QString::fromStdString(single.error));
    }
    UpdateControlStates();
    ShowJobMessage(job, outcome);
    emit JobEnded();
}

void CQuorvelDlg::ShowJobMessage(Job job, const CJobRunner::Outcome& outcome) {
    const JobMessage message =
        job == Job::Batch     ? DescribeBatch(outcome.batch, m_nBatchFiles, m_nBatchSkipped)
        : job == Job::Convert ? DescribeConversion(outcome.single)
                              : DescribeExtraction(outcome.single);
    if (message.icon == JobMessage::Icon::None) return;
    // What was written can be opened from the message, whatever else it says.
    const QString openFolder = tr("Open Folder");
    const QString play = tr("Play");
    QStringList actions;
    if (FilesWritten(outcome) > 0) actions << openFolder;
    if (job == Job::Convert && outcome.single.Succeeded()) actions << play;
    const QString chosen =
        message.icon == JobMessage::Icon::Warning
            ? CPrompts::Warning(this, Caption(), message.text, actions)
            : CPrompts::Information(this, QString::fromUtf8(kInfoCaption), message.text, actions);
    const auto failed = [this](const QString& what) { ReportOpenFailure(what); };
    if (chosen == openFolder)
        DesktopOpener::Open(DesktopOpener::Kind::Folder, TextFromPath(m_strJobOutputFolder), this, failed);
    else if (chosen == play)
        DesktopOpener::Open(DesktopOpener::Kind::Movie, TextFromPath(m_strJobMovie), this, failed);
}

void CQuorvelDlg::ReportOpenFailure(const QString& what) {
    CPrompts::Warning(this, Caption(), tr("It could not be opened.\n\n%1").arg(what));
}

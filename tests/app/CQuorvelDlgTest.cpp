// The main dialog driven through its buttons, offscreen, with the prompts answered and the
// desktop stood in for by a recorder.

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QKeySequence>
#include <QRadioButton>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <set>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <functional>
#include <memory>
#include <set>

#include "PromptRecorder.h"
#include "app/CGifPreview.h"
#include "app/CQuorvelDlg.h"
#include "app/DialogText.h"
#include "support/GifBuilder.h"
#include "support/TestJob.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kJobTimeoutMs = 120000;

QString Text(const fs::path& path) { return QString::fromStdString(path.string()); }

// `frames` full-screen frames of `delay` hundredths cycling through four colours, looping.
bool WriteAnimation(const fs::path& path, int frames, int width = 8, int height = 6, int delay = 10) {
    GifBuilder gif(width, height);
    gif.GlobalColors({kRed, kGreen, kBlue, kWhite}).Loop(0);
    for (int i = 0; i < frames; ++i)
        gif.Solid(0, 0, width, height, static_cast<uint8_t>(i % 4), delay);
    return gif.Write(path);
}

// `frames` frames of 16 colours in a pattern that changes from frame to frame, so that every
// picture costs its JPEG some bytes.
bool WriteBusyAnimation(const fs::path& path, int frames, int width = 96, int height = 64) {
    GifBuilder gif(width, height);
    std::vector<GifRgb> colours;
    for (int i = 0; i < 16; ++i)
        colours.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 13), static_cast<uint8_t>(i * 97)});
    gif.GlobalColors(colours).Loop(0);
    uint32_t state = 12345;
    for (int f = 0; f < frames; ++f) {
        GifImage image;
        image.width = width;
        image.height = height;
        image.control = true;
        image.delay = 10;
        for (int i = 0; i < width * height; ++i) {
            state = state * 1103515245u + 12345u;
            // Runs of a colour, broken now and then: neither flat nor pure noise.
            image.pixels.push_back(static_cast<uint8_t>((i / 7 + f + ((state >> 16) % 5 == 0 ? (state >> 20) : 0)) % 16));
        }
        gif.Image(std::move(image));
    }
    return gif.Write(path);
}

// Enough work that a cancel set right after the start always lands before the end.
bool WriteLongAnimation(const fs::path& path) { return WriteAnimation(path, 150, 320, 240); }

// The offscreen platform says this each time a window's size limits change; it means nothing.
QtMessageHandler g_previousHandler = nullptr;
void DropSizeHintNotice(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QStringLiteral("does not support propagateSizeHints"))) return;
    g_previousHandler(type, context, text);
}

}  // namespace

class CQuorvelDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PromptRecorder> m_prompts;
    std::unique_ptr<CQuorvelDlg> m_dlg;
    std::unique_ptr<ScratchDir> m_in;   // the test's GIFs
    std::unique_ptr<ScratchDir> m_out;  // the output folder

    template <class T = QWidget>
    T* Control(const char* name) const {
        T* widget = m_dlg->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* Edit(const char* name) const { return Control<QLineEdit>(name); }
    QString Label(const char* name) const { return Control<QLabel>(name)->text(); }
    QAbstractButton* Button(const char* name) const { return Control<QAbstractButton>(name); }
    void Click(const char* name) const { QTest::mouseClick(Button(name), Qt::LeftButton); }

    // Types text into a path field and waits until the dialog has scanned it.
    bool Enter(const char* field, const QString& text) {
        QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
        Edit(field)->setText(text);
        return scanned.wait(10000);
    }
    bool LoadGif(const fs::path& gif) {
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(m_out->Path()));
        return Enter("IDC_GIF_PATH", Text(gif));
    }
    bool LoadFolder(const fs::path& folder) {
        Click("IDC_BATCH");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(m_out->Path()));
        return Enter("IDC_INPUT_FOLDER", Text(folder));
    }

    // Clicks the button and waits until the job it started has ended.
    bool RunJob(const char* button) {
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click(button);
        if (!m_dlg->IsJobRunning()) return false;
        return ended.wait(kJobTimeoutMs) || ended.count() == 1;
    }

    // Hands the dialog a drag of local paths, as a file manager does; true when taken.
    bool Drag(const QStringList& paths, bool drop) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint at = m_dlg->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &enter);
        if (!drop || !enter.isAccepted()) return enter.isAccepted();
        QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &dropped);
        return scanned.wait(10000);
    }

    // Opens a modal dialog with `open`, and hands it to inspect before closing it.
    static bool WithModal(const std::function<void()>& open,
                          const std::function<void(QDialog*)>& inspect) {
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal) return;
            seen = true;
            poll.stop();
            inspect(modal);
            modal->accept();
        });
        poll.start(10);
        open();
        return seen;
    }

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(DropSizeHintNotice); }

    void init() {
        m_in = std::make_unique<ScratchDir>();
        m_out = std::make_unique<ScratchDir>();
        m_prompts = std::make_unique<PromptRecorder>();
        m_dlg = std::make_unique<CQuorvelDlg>();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }

    void cleanup() {
        m_dlg.reset();
        QVERIFY(m_prompts);
        QCOMPARE(m_prompts->Unexpected(), 0);
        m_prompts.reset();
    }

    // The movie at the FPS box's rate plays far from the GIF's length: the window says so
    // before converting, and one click gives the movie the GIF's own timing.
    void timingFix_data() {
        QTest::addColumn<int>("delay");  // hundredths of a second
        QTest::addColumn<QString>("times");
        QTest::addColumn<bool>("fix");
        QTest::newRow("20 fps GIF") << 5 << "GIF 0.6 s \u00b7 movie 1.2 s at 10 fps" << true;
        QTest::newRow("10 fps GIF") << 10 << "GIF 1.2 s \u00b7 movie 1.2 s at 10 fps" << false;
    }

    void timingFix() {
        QFETCH(int, delay);
        QFETCH(QString, times);
        QFETCH(bool, fix);
        QVERIFY(WriteAnimation(*m_in / "clip.gif", 12, 8, 6, delay));
        QVERIFY(LoadGif(*m_in / "clip.gif"));
        QCOMPARE(Label("gifInfo"), QStringLiteral("8 x 6 pixels, 12 frames, loops forever"));
        QCOMPARE(Label("movieTimes"), times);
        QCOMPARE(Button("useGifTiming")->isVisible(), fix);
        if (!fix) return;

        QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
        Click("useGifTiming");
        QVERIFY(scanned.wait(10000));
        QVERIFY(Button("IDC_GIF_TIMING")->isChecked());
        QCOMPARE(Control<QSpinBox>("IDC_FPS")->text(), QStringLiteral("auto"));
        QCOMPARE(Label("movieTimes"), QStringLiteral("GIF 0.6 s \u00b7 movie 0.6 s at 20 fps"));
        QVERIFY(!Button("useGifTiming")->isVisible());
        QVERIFY(RunJob("IDC_CONVERT"));
        const swftest::SwfFile swf = swftest::ReadSwfFile(*m_out / "clip.swf");
        QCOMPARE(int(swf.frameRate), 20 * 256);
        // Played at its own pace, the movie needs no note about its length.
        QCOMPARE(m_prompts->Texts(CPrompts::Kind::Information),
                 QStringList{QStringLiteral("The conversion finished successfully !!!")});
    }

    void convertWaitsForAUsableInput_data() {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("input");  // under the scratch folder
        QTest::addColumn<bool>("output");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no GIF") << false << "" << true << "Choose a GIF file.";
        QTest::newRow("not a GIF") << false << "page.gif" << true << "This is not a GIF file.";
        QTest::newRow("missing") << false << "gone.gif" << true
                                 << "The GIF cannot be read: No such file or directory";
        QTest::newRow("output folder cleared") << false << "anim.gif" << false << "Choose the output folder.";
        QTest::newRow("folder without GIFs") << true << "empty" << true << "The folder holds no GIF files.";
        QTest::newRow("usable GIF") << false << "anim.gif" << true << "";
        QTest::newRow("usable folder") << true << "." << true << "";
    }

    void convertWaitsForAUsableInput() {
        QFETCH(bool, batch);
        QFETCH(QString, input);
        QFETCH(bool, output);
        QFETCH(QString, problem);
        QVERIFY(WriteAnimation(*m_in / "anim.gif", 2));
        QVERIFY(WriteBytes(*m_in / "page.gif", {'<', 'h', 't', 'm', 'l', '>'}));
        fs::create_directory(*m_in / "empty");
        if (batch) Click("IDC_BATCH");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(m_out->Path()));
        if (!input.isEmpty())
            QVERIFY(Enter(batch ? "IDC_INPUT_FOLDER" : "IDC_GIF_PATH", Text(*m_in / input.toStdString())));
        if (!output) Edit("IDC_OUTPUT_FOLDER")->clear();
        QCOMPARE(Label("status"), problem);
        QCOMPARE(Button("IDC_CONVERT")->isEnabled(), problem.isEmpty());
        QCOMPARE(Button("IDC_EXTRACT")->isEnabled(), problem.isEmpty() && !batch);
        QCOMPARE(Button("IDC_CONVERT")->toolTip(), problem);
        if (input == QLatin1String("page.gif")) QCOMPARE(Label("gifInfo"), problem);
        if (input == QLatin1String(".")) QCOMPARE(Label("gifInfo"), QStringLiteral("2 GIF files in the folder"));
        Click("IDC_CONVERT");  // a disabled button does nothing
        QCOMPARE(m_dlg->IsJobRunning(), problem.isEmpty());
    }

    // Files and folders are taken from a drag only when they are GIFs or folders, and the
    // window shows that it would take them.
    void dropsTakeGifsAndFolders() {
        QVERIFY(WriteAnimation(*m_in / "a.GIF", 2) && WriteAnimation(*m_in / "b.gif", 1));
        QVERIFY(WriteBytes(*m_in / "page.html", {'<', 'p', '>'}));
        auto* hint = Control<QLabel>("dropHint");
        QVERIFY(!Drag({Text(*m_in / "page.html")}, false));
        QVERIFY(!hint->isVisible());
        QVERIFY(Drag({Text(*m_in / "a.GIF")}, false));
        QVERIFY(hint->isVisible() && hint->text().contains(QStringLiteral("a.GIF")));

        QVERIFY(Drag({Text(*m_in / "a.GIF")}, true));
        QVERIFY(!hint->isVisible());
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), Text(*m_in / "a.GIF"));
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(m_in->Path()));
        QVERIFY(Drag({Text(m_in->Path())}, true));
        QVERIFY(Button("IDC_BATCH")->isChecked());
        QCOMPARE(Label("gifInfo"), QStringLiteral("2 GIF files in the folder"));
        QVERIFY(Label("movieTimes").isEmpty() || !Control("movieTimes")->isVisible());
        // Several at once: a batch of the GIFs among them.
        QVERIFY(Drag({Text(*m_in / "page.html"), Text(*m_in / "b.gif"), Text(*m_in / "a.GIF")}, false));
        QCOMPARE(hint->text(), QStringLiteral("Drop to convert these 2 GIF files"));
        QVERIFY(Drag({Text(*m_in / "page.html"), Text(*m_in / "b.gif"), Text(*m_in / "a.GIF")}, true));
        QVERIFY(Button("IDC_BATCH")->isChecked());
        QCOMPARE(Label("gifInfo"), QStringLiteral("2 GIF files chosen"));
        QVERIFY(m_prompts->Requests().isEmpty());
    }

    // Outputs that exist are replaced only when the user says so: one question per job.
    void replaceOrSkip_data() {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("kept");     // still the old bytes
        QTest::addColumn<QStringList>("written");  // new
        const QStringList one = {"Replace", "Skip", "Cancel"};
        const QStringList many = {"Replace All", "Skip Existing", "Cancel"};
        QTest::newRow("movie, replace") << "convert" << "Replace" << one << QStringList() << QStringList{"a.swf"};
        QTest::newRow("movie, skip") << "convert" << "Skip" << one << QStringList{"a.swf"} << QStringList();
        QTest::newRow("movie, Escape") << "convert" << "" << one << QStringList{"a.swf"} << QStringList();
        QTest::newRow("movie, cancel") << "convert" << "Cancel" << one << QStringList{"a.swf"} << QStringList();
        QTest::newRow("frames, replace all")
            << "extract" << "Replace All" << many << QStringList() << QStringList{"a_f0.bmp", "a_f1.bmp"};
        QTest::newRow("frames, skip existing")
            << "extract" << "Skip Existing" << many << QStringList{"a_f0.bmp"} << QStringList{"a_f1.bmp"};
        QTest::newRow("batch, replace all")
            << "batch" << "Replace All" << many << QStringList() << QStringList{"a.swf", "b.swf"};
        QTest::newRow("batch, skip existing")
            << "batch" << "Skip Existing" << many << QStringList{"a.swf"} << QStringList{"b.swf"};
        QTest::newRow("batch, cancel") << "batch" << "Cancel" << many << QStringList{"a.swf"} << QStringList();
    }

    void replaceOrSkip() {
        QFETCH(QString, job);
        QFETCH(QString, answer);
        QFETCH(QStringList, choices);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, written);
        QVERIFY(WriteAnimation(*m_in / "a.gif", 2) && WriteAnimation(*m_in / "b.gif", 2));
        const std::vector<uint8_t> old = {'o', 'l', 'd'};
        QVERIFY(WriteBytes(*m_out / (job == QLatin1String("extract") ? "a_f0.bmp" : "a.swf"), old));
        QVERIFY(job == QLatin1String("batch") ? LoadFolder(m_in->Path()) : LoadGif(*m_in / "a.gif"));

        m_prompts->QueueAnswer(answer);
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click(job == QLatin1String("extract") ? "IDC_EXTRACT" : "IDC_CONVERT");
        if (!written.isEmpty()) QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::Choice).size(), 1);
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::Choice)[0].choices, choices);
        QCOMPARE(ended.count(), written.isEmpty() ? 0 : 1);
        for (const QString& name : kept) QCOMPARE(ReadFileBytes(*m_out / name.toStdString()), old);
        for (const QString& name : written) {
            const auto bytes = ReadFileBytes(*m_out / name.toStdString());
            QVERIFY2(bytes && bytes->size() > old.size(), qPrintable(name));
        }
        QCOMPARE(m_out->List().size(), std::size_t(kept.size() + written.size()));
        // Skip says what was left; Cancel (and Escape) leave everything as it was.
        QCOMPARE(Label("status").startsWith(QStringLiteral("Skipped: ")),
                 written.isEmpty() && answer.startsWith(QStringLiteral("Skip")));
    }

    void missingOutputFolderIsOffered() {
        QVERIFY(WriteAnimation(*m_in / "a.gif", 2));
        QVERIFY(LoadGif(*m_in / "a.gif"));
        const fs::path folder = *m_out / "new" / "movies";
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(folder));
        m_prompts->QueueAnswer(QStringLiteral("Cancel"));
        Click("IDC_CONVERT");
        QVERIFY(!m_dlg->IsJobRunning() && !fs::exists(folder));
        m_prompts->QueueAnswer(QStringLiteral("Create Folder"));
        QVERIFY(RunJob("IDC_CONVERT"));
        QVERIFY(m_prompts->Texts(CPrompts::Kind::Choice)[0].contains(QStringLiteral("does not exist")));
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::Choice)[1].choices,
                 (QStringList{"Create Folder", "Cancel"}));
        QVERIFY(fs::exists(folder / "a.swf"));
    }

    // The button that started a job is its Cancel button while it runs, and the other one
    // starts nothing; the status line says what the cancelled job had written.
    void cancelOnTheButtonThatStarted_data() {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("cancel");  // the button that shows "Cancel"
        QTest::addColumn<QString>("other");   // the other, disabled with its own caption
        QTest::addColumn<QString>("caption");
        QTest::newRow("one GIF") << "convert" << "IDC_CONVERT" << "IDC_EXTRACT" << "E&xtract...";
        QTest::newRow("a folder") << "batch" << "IDC_CONVERT" << "IDC_EXTRACT" << "E&xtract...";
        QTest::newRow("frames") << "extract" << "IDC_EXTRACT" << "IDC_CONVERT" << "C&onvert...";
    }

    void cancelOnTheButtonThatStarted() {
        QFETCH(QString, job);
        QFETCH(QString, cancel);
        QFETCH(QString, other);
        QFETCH(QString, caption);
        for (const char* name : {"a.gif", "b.gif", "c.gif"}) QVERIFY(WriteLongAnimation(*m_in / name));
        QVERIFY(job == QLatin1String("batch") ? LoadFolder(m_in->Path()) : LoadGif(*m_in / "a.gif"));
        const QByteArray cancelName = cancel.toLatin1();
        const QByteArray otherName = other.toLatin1();
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click(job == QLatin1String("extract") ? "IDC_EXTRACT" : "IDC_CONVERT");
        QCOMPARE(Button(cancelName)->text(), QStringLiteral("Cancel"));
        QVERIFY(Button(cancelName)->isEnabled());
        QCOMPARE(Button(otherName)->text(), caption);
        QVERIFY(!Button(otherName)->isEnabled());
        Click(otherName);  // disabled: the job runs on
        QVERIFY(m_dlg->IsJobRunning());
        Click(cancelName);
        QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);
        // A movie appears only when complete; frames written before the cancel stay.
        const std::size_t written = m_out->List().size();
        if (job != QLatin1String("extract")) QCOMPARE(written, std::size_t(0));
        QCOMPARE(Label("status"), written == 0 ? QStringLiteral("Cancelled: nothing was written")
                                               : written == 1
                                                   ? QStringLiteral("Cancelled: 1 file was written before")
                                                   : QStringLiteral("Cancelled: %1 files were written before").arg(written));
        QVERIFY(m_prompts->Requests().isEmpty());
        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("C&onvert..."));
        QCOMPARE(Button("IDC_EXTRACT")->text(), QStringLiteral("E&xtract..."));
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Quorvel"));
    }

    // A conversion through the buttons: the bar and the title count the frames with the percent,
    // the movie is the job's own, and Play and Open Folder hand it to the desktop.
    void conversionThroughTheButtons() {
        QVERIFY(WriteLongAnimation(*m_in / "anim.gif"));
        QVERIFY(LoadGif(*m_in / "anim.gif"));
        Control<QSpinBox>("IDC_FPS")->setValue(12);
        Edit("IDC_TARGET_URL")->setText(QStringLiteral(" http://example.org/ "));
        Click("IDC_QUALITY_HIGH");
        QStringList bar;
        QStringList titles;
        auto* progress = Control<QProgressBar>("IDC_PROGRESS");
        connect(progress, &QProgressBar::valueChanged, this, [&] {
            bar << progress->text();
            titles << m_dlg->windowTitle();
        });
        m_prompts->PressAction(QStringLiteral("Play"));
        QVERIFY(RunJob("IDC_CONVERT"));

        const QList<CPrompts::Request> info = m_prompts->OfKind(CPrompts::Kind::Information);
        QCOMPARE(info.size(), 1);
        QCOMPARE(info[0].caption, QStringLiteral("Info..."));
        QVERIFY(info[0].text.startsWith(QStringLiteral("The conversion finished successfully !!!")));
        QCOMPARE(info[0].choices, (QStringList{"Open Folder", "Play"}));
        QCOMPARE(m_prompts->OpenedItems().size(), 1);
        QCOMPARE(m_prompts->OpenedItems()[0].kind, DesktopOpener::Kind::Movie);
        QCOMPARE(m_prompts->OpenedItems()[0].target, Text(*m_out / "anim.swf"));
        QVERIFY2(!bar.filter(QRegularExpression("^150 of 150 frames, 100%(, 0:00 left)?$")).isEmpty(), qPrintable(bar.join('|')));
        QVERIFY2(!titles.filter(QRegularExpression("^[0-9]+% \u00b7 Quorvel$")).isEmpty(), qPrintable(titles.join('|')));
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Quorvel"));
        QCOMPARE(progress->value(), 0);
        QCOMPARE(Label("status"), QStringLiteral("Wrote %1").arg(Text(*m_out / "anim.swf")));

        TestJob job;  // the same options given to the job directly
        job.gif = (*m_in / "anim.gif").string();
        job.output = m_in->Path().string();
        job.convert.fps = 12;
        job.convert.quality = Quality::High;
        job.convert.targetUrl = "http://example.org/";
        QVERIFY(ConvertFile(job).Succeeded());
        QCOMPARE(ReadFileBytes(*m_out / "anim.swf"), ReadFileBytes(*m_in / "anim.swf"));

        // What cannot be opened is said, whichever way it fails.
        m_prompts->FailOpening(QStringLiteral("xdg-open: no file manager"));
        m_prompts->PressAction(QStringLiteral("Open Folder"));
        m_prompts->QueueAnswer(QStringLiteral("Replace"));
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(m_prompts->OpenedItems().last().kind, DesktopOpener::Kind::Folder);
        QCOMPARE(m_prompts->OpenedItems().last().target, Text(m_out->Path()));
        const QStringList warnings = m_prompts->Texts(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(QStringLiteral("xdg-open: no file manager")), qPrintable(warnings[0]));
    }

    void conversionMatchesTheCommandLine_data() {
        QTest::addColumn<bool>("gifTiming");
        QTest::addColumn<int>("fps");  // 0 leaves the box as it is
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("stage");  // a stage colour of its own, and transparency kept
        QTest::newRow("fixed rate")
            << false << 25 << QStringList{"--timing", "fixed", "--fps", "25"} << false;
        QTest::newRow("GIF timing, auto rate") << true << 0 << QStringList{"--like-gif"} << false;
        QTest::newRow("GIF timing, given rate")
            << true << 20 << QStringList{"--like-gif", "--fps", "20"} << false;
        QTest::newRow("stage colour, transparent")
            << false << 0
            << QStringList{"--timing", "fixed", "--background", "#336699", "--transparent"} << true;
    }

    void conversionMatchesTheCommandLine() {
#ifndef QUORVEL_CLI_PATH
        QSKIP("the quorvel command line is not built");
#else
        QFETCH(bool, gifTiming);
        QFETCH(int, fps);
        QFETCH(QStringList, options);
        QFETCH(bool, stage);
        ScratchDir cli;
        QVERIFY(WriteAnimation(*m_in / "loop.gif", 4, 9, 5));
        QVERIFY(LoadGif(*m_in / "loop.gif"));
        if (gifTiming) {  // a click on its check mark
            QAbstractButton* box = Button("IDC_GIF_TIMING");
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        }
        if (fps != 0) Control<QSpinBox>("IDC_FPS")->setValue(fps);
        if (stage) {
            Click("IDC_BACKGROUND");  // the picker opens without holding up the window
            auto* picker = m_dlg->findChild<QColorDialog*>();
            QVERIFY(picker && picker->isVisible());
            picker->setCurrentColor(QColor(0x33, 0x66, 0x99));
            picker->accept();
            Click("IDC_TRANSPARENT");
        }
        Edit("IDC_TARGET_URL")->setText(QStringLiteral("http://example.org/x"));
        Click("IDC_QUALITY_LOW");
        QTRY_VERIFY(Button("IDC_CONVERT")->isEnabled());
        QVERIFY(RunJob("IDC_CONVERT"));

        QProcess quorvel;
        quorvel.start(QStringLiteral(QUORVEL_CLI_PATH),
                      QStringList{"convert", "-q", "--quality", "low", "--url", "http://example.org/x",
                                  "-o", Text(cli.Path()), Text(*m_in / "loop.gif")} +
                          options);
        QVERIFY(quorvel.waitForFinished(kJobTimeoutMs));
        QVERIFY2(quorvel.exitStatus() == QProcess::NormalExit && quorvel.exitCode() == 0,
                 quorvel.readAllStandardError().constData());
        const auto cliBytes = ReadFileBytes(cli / "loop.swf");
        QVERIFY(cliBytes.has_value());
        QCOMPARE(ReadFileBytes(*m_out / "loop.swf"), cliBytes);
#endif
    }

    // The group for Flash projects writes what the command line's --library and --compress
    // write: here an ActionScript 3 library, compressed with zlib.
    void flashProjectOptionsMatchTheCommandLine() {
#ifndef QUORVEL_CLI_PATH
        QSKIP("the quorvel command line is not built");
#else
        ScratchDir cli;
        QVERIFY(WriteAnimation(*m_in / "walk.gif", 4, 9, 5));
        QVERIFY(LoadGif(*m_in / "walk.gif"));
        auto* library = Control<QComboBox>("IDC_LIBRARY");
        library->setCurrentIndex(library->findData(int(LibraryKind::As3)));
        auto* compression = Control<QComboBox>("IDC_COMPRESSION");
        compression->setCurrentIndex(compression->findData(int(SwfCompression::Zlib)));
        QTRY_VERIFY(Button("IDC_CONVERT")->isEnabled());
        QVERIFY(RunJob("IDC_CONVERT"));

        QProcess quorvel;
        quorvel.start(QStringLiteral(QUORVEL_CLI_PATH),
                      QStringList{"convert", "-q", "--timing", "fixed", "--library", "--compress",
                                  "zlib", "-o", Text(cli.Path()), Text(*m_in / "walk.gif")});
        QVERIFY(quorvel.waitForFinished(kJobTimeoutMs));
        QVERIFY2(quorvel.exitStatus() == QProcess::NormalExit && quorvel.exitCode() == 0,
                 quorvel.readAllStandardError().constData());
        const auto ours = ReadFileBytes(*m_out / "walk.swf");
        QVERIFY(ours.has_value() && ours->size() > 8);
        QCOMPARE(std::string(ours->begin(), ours->begin() + 3), std::string("CWS"));
        QCOMPARE(ours, ReadFileBytes(cli / "walk.swf"));
#endif
    }

    // The preview is our compositor's frame on the stage colour, scaled into its box.
    void previewComposesOnTheStage() {
        GifBuilder gif(4, 4);
        gif.GlobalColors({kRed, kGreen}).Solid(0, 0, 2, 4, 0, 10).Solid(2, 0, 2, 4, 1, 10, 0, 1);
        QVERIFY(gif.Write(*m_in / "half.gif"));
        auto* preview = Control<CGifPreview>("preview");
        QSignalSpy composed(preview, &CGifPreview::Composed);
        QVERIFY(LoadGif(*m_in / "half.gif"));
        QVERIFY(composed.wait(10000));
        QCOMPARE(preview->ComposedFrames(), 2);
        const QImage shown = preview->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(8, 8));  // at most twice the GIF's size
        QCOMPARE(shown.pixelColor(1, 4), QColor(Qt::red));
        QCOMPARE(shown.pixelColor(6, 4), QColor(Qt::white));  // transparent: the stage
    }

    void extractionThroughTheButtons() {
        QVERIFY(WriteAnimation(*m_in / "anim.gif", 3, 10, 7));
        QVERIFY(LoadGif(*m_in / "anim.gif"));
        Click("IDC_FORMAT_PNG");
        QVERIFY(RunJob("IDC_EXTRACT"));
        QCOMPARE(m_prompts->Texts(CPrompts::Kind::Information),
                 QStringList{QStringLiteral("The extraction finished successfully !!!")});
        QCOMPARE(m_out->List(), (std::vector<std::string>{"anim_f0.png", "anim_f1.png", "anim_f2.png"}));
        QCOMPARE(QImage(Text(*m_out / "anim_f1.png")).pixelColor(9, 6), QColor(0, 255, 0));
    }

    // A batch counts the frames of all its files; its message lists each file's failure and
    // warning, the timing note naming the dialog's own fix.
    void batchListsEachFileWhenItEnds() {
        QVERIFY(WriteAnimation(*m_in / "a.gif", 2) && WriteAnimation(*m_in / "fast.gif", 12, 8, 6, 5));
        QVERIFY(WriteBytes(*m_in / "bad.gif", {'G', 'I', 'F', '8', '9', 'a'}));
        QVERIFY(LoadFolder(m_in->Path()));
        QStringList bar;
        auto* progress = Control<QProgressBar>("IDC_PROGRESS");
        connect(progress, &QProgressBar::valueChanged, this, [&] { bar << progress->text(); });
        m_prompts->PressAction(QStringLiteral("Open Folder"));
        QVERIFY(RunJob("IDC_CONVERT"));
        QVERIFY2(!bar.filter(QRegularExpression("^[0-3] of 3 files, 14 of 14 frames, 100%(, 0:00 left)?$")).isEmpty(),
                 qPrintable(bar.join('|')));
        const QStringList warnings = m_prompts->Texts(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(QStringLiteral("2 of 3 files converted.")), qPrintable(warnings[0]));
        QVERIFY(warnings[0].contains(Text(*m_in / "bad.gif") + QStringLiteral(": ")));
        QVERIFY(warnings[0].contains(Text(*m_in / "fast.gif") +
                                     QStringLiteral(": plays in 1.2 s; the GIF lasts 0.6 s "
                                                    "(\"Use the GIF's timing\" keeps it)")));
        QCOMPARE(m_out->List(), (std::vector<std::string>{"a.swf", "fast.swf"}));
        QCOMPARE(Label("status"), QStringLiteral("2 of 3 files converted"));
        // Its summary opens the output folder too.
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::Warning)[0].choices, QStringList{"Open Folder"});
        QCOMPARE(m_prompts->OpenedItems().size(), 1);
        QCOMPARE(m_prompts->OpenedItems()[0].kind, DesktopOpener::Kind::Folder);
        QCOMPARE(m_prompts->OpenedItems()[0].target, Text(m_out->Path()));
    }

    // The bar's total is the frames the batch writes under the dialog's rules: with the GIF's
    // timing every image is a frame, images with delay 0 too.
    void batchCountsTheFramesOfItsTimingRules() {
        GifBuilder gif(320, 240);
        gif.GlobalColors({kRed, kGreen});
        for (int pass = 0; pass < 20; ++pass)
            for (const int delay : {0, 0, 10, 0, 2, 2, 30, 0})
                gif.Solid(0, 0, 320, 240, static_cast<uint8_t>(delay % 2), delay);
        QVERIFY(gif.Write(*m_in / "zero.gif"));
        QVERIFY(LoadFolder(m_in->Path()));
        QAbstractButton* box = Button("IDC_GIF_TIMING");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QVERIFY(box->isChecked());
        std::set<QString> totals;
        auto* progress = Control<QProgressBar>("IDC_PROGRESS");
        connect(progress, &QProgressBar::valueChanged, this, [&] {
            const QRegularExpressionMatch total =
                QRegularExpression(" of ([0-9]+) frames").match(progress->text());
            if (total.hasMatch()) totals.insert(total.captured(1));
        });
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(totals, std::set<QString>{QStringLiteral("160")});  // 50 fps shows every image
        QCOMPARE(m_out->List(), (std::vector<std::string>{"zero.swf"}));
    }

    // Closing while a job runs asks whether to stop it. A job that ends while the question is
    // up takes the question back: its message comes after it, never over it, and nothing is
    // left up with nothing running.
    void closingDuringAJobAsksFirst_data() {
        QTest::addColumn<bool>("endsWhileAsking");
        QTest::addColumn<QStringList>("answers");  // to each question, in turn
        QTest::addColumn<bool>("closed");
        QTest::newRow("cancel, then stop") << false << QStringList{"", "Stop and Close"} << true;
        QTest::newRow("cancel twice") << false << QStringList{"Cancel", "Cancel"} << false;
        QTest::newRow("ends while asking") << true << QStringList{"Stop and Close"} << false;
    }

    void closingDuringAJobAsksFirst() {
        QFETCH(bool, endsWhileAsking);
        QFETCH(QStringList, answers);
        QFETCH(bool, closed);
        QVERIFY(endsWhileAsking ? WriteAnimation(*m_in / "long.gif", 3) : WriteLongAnimation(*m_in / "long.gif"));
        QVERIFY(LoadGif(*m_in / "long.gif"));
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");
        QVERIFY(m_dlg->IsJobRunning());
        if (endsWhileAsking)  // the user reads the question while the job ends behind it
            m_prompts->WhileChoosing([&] { QVERIFY(QTest::qWaitFor([&] { return !m_dlg->IsJobRunning(); }, kJobTimeoutMs)); });
        for (const QString& answer : answers) {
            m_prompts->QueueAnswer(answer);
            QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
            QVERIFY(m_dlg->isVisible() || closed);
        }
        QCOMPARE(m_dlg->isVisible(), !closed);
        if (!endsWhileAsking && !closed) {
            QVERIFY(m_dlg->IsJobRunning());
            Click("IDC_CONVERT");  // cancels
            QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);
        }
        QVERIFY(!m_dlg->IsJobRunning());  // a close came back after the worker had ended
        QCOMPARE(ended.count(), 1);
        QCoreApplication::processEvents();
        const QList<CPrompts::Request>& requests = m_prompts->Requests();
        QCOMPARE(requests.size(), answers.size() + (endsWhileAsking ? 1 : 0));
        for (qsizetype i = 0; i < answers.size(); ++i) {
            QCOMPARE(requests[i].text, QStringLiteral("A conversion is running. Stop it and close?"));
            QCOMPARE(requests[i].choices, (QStringList{"Stop and Close", "Cancel"}));
        }
        if (endsWhileAsking) {
            QCOMPARE(requests.last().kind, CPrompts::Kind::Information);
            QCOMPARE(m_prompts->Over(requests.size() - 1), 0);
            QCOMPARE(m_out->List(), std::vector<std::string>{"long.swf"});
            QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("C&onvert..."));
        } else {
            QVERIFY(m_out->List().empty());
        }
    }

    void destroyingDuringAJobIsSafe() {
        QVERIFY(WriteLongAnimation(*m_in / "long.gif"));
        QVERIFY(LoadGif(*m_in / "long.gif"));
        Click("IDC_CONVERT");
        QVERIFY(m_dlg->IsJobRunning());
        m_dlg.reset();  // waits for the worker; the sanitizer build checks nothing is touched
        QCoreApplication::processEvents();
        QVERIFY(m_out->List().empty());
    }

    void enterInAFieldLeavesTheWindowOpen() {
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        for (const char* name : {"IDC_GIF_PATH", "IDC_OUTPUT_FOLDER", "IDC_TARGET_URL", "IDC_FPS"}) {
            Control(name)->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY2(m_dlg->isVisible(), name);
        }
        Button("IDOK")->setFocus();  // Enter on a button presses it
        QTest::keyClick(Button("IDOK"), Qt::Key_Return);
        QVERIFY(!m_dlg->isVisible());
    }

    // Escape closes every kind of message box, and Enter presses its default: both answer what
    // changes nothing. Each button says what it does.
    void everyMessageBoxAnswersSafely_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("buttons");
        const QStringList info = {"Open Folder", "Play", "Close"};
        const QStringList choice = {"Replace", "Skip", "Cancel"};
        for (const auto& [name, key] : {std::pair{"Escape", int(Qt::Key_Escape)}, std::pair{"Enter", int(Qt::Key_Return)}}) {
            QTest::addRow("warning, %s", name) << "warning" << key << "" << QStringList{"Open Folder", "Close"};
            QTest::addRow("information, %s", name) << "information" << key << "" << info;
            QTest::addRow("choice, %s", name) << "choice" << key << "Cancel" << choice;
        }
        // Taken back by the program (0: no key): as if Cancel was pressed.
        QTest::newRow("choice, withdrawn") << "choice" << 0 << "Cancel" << choice;
    }

    void everyMessageBoxAnswersSafely() {
        QFETCH(QString, box);
        QFETCH(int, key);
        QFETCH(QString, answer);
        QFETCH(QStringList, buttons);
        m_prompts.reset();  // the real boxes
        QStringList shown;
        bool closed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!open) return;
            poll.stop();
            for (QAbstractButton* button : open->buttons()) shown << button->text();
            if (key == 0)
                CPrompts::Withdraw();
            else
                QTest::keyClick(open, Qt::Key(key));
            closed = !open->isVisible();
            if (!closed) open->reject();
        });
        poll.start(10);
        QWidget* parent = m_dlg.get();
        QString got;
        if (box == QLatin1String("warning")) got = CPrompts::Warning(parent, "Quorvel", "text", {"Open Folder"});
        if (box == QLatin1String("information")) got = CPrompts::Information(parent, "Info...", "text", {"Open Folder", "Play"});
        if (box == QLatin1String("choice")) got = CPrompts::Choose(parent, "Quorvel", "?", {"Replace", "Skip", "Cancel"});
        m_prompts = std::make_unique<PromptRecorder>();
        QVERIFY(closed);
        QCOMPARE(got, answer);
        std::sort(shown.begin(), shown.end());
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(shown, buttons);
    }

    // What the window showed of one input goes when another comes that cannot be shown: no
    // picture stays, none comes late, and no length or size is left.
    void noStalePreview_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("missing path") << "gone.gif";
        QTest::newRow("not a GIF") << "page.gif";
        QTest::newRow("batch, no folder yet") << "batch";
        QTest::newRow("batch, folder without GIFs") << "empty";
    }

    void noStalePreview() {
        QFETCH(QString, change);
        QVERIFY(WriteAnimation(*m_in / "anim.gif", 4, 40, 30));
        QVERIFY(WriteBytes(*m_in / "page.gif", {'<', 'h', 't', 'm', 'l', '>'}));
        fs::create_directory(*m_in / "empty");
        auto* preview = Control<CGifPreview>("preview");
        QSignalSpy composed(preview, &CGifPreview::Composed);
        QVERIFY(LoadGif(*m_in / "anim.gif"));
        QVERIFY(composed.wait(10000));
        QTRY_VERIFY(Control("movieSize")->isVisible());
        QVERIFY(!preview->pixmap().isNull() && preview->ShownFrame() >= 0);

        QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
        if (change == QLatin1String("batch") || change == QLatin1String("empty")) Click("IDC_BATCH");
        if (change == QLatin1String("empty")) Edit("IDC_INPUT_FOLDER")->setText(Text(*m_in / "empty"));
        else if (change != QLatin1String("batch")) Edit("IDC_GIF_PATH")->setText(Text(*m_in / change.toStdString()));
        QVERIFY(scanned.count() > 0 || scanned.wait(10000));
        QTest::qWait(400);  // a composing or a guess under way would have come back by now
        QVERIFY(preview->pixmap().isNull());
        QCOMPARE(preview->ComposedFrames(), 0);
        QCOMPARE(preview->ShownFrame(), -1);
        QVERIFY(!Control("movieTimes")->isVisible());
        QVERIFY(!Control("movieSize")->isVisible());
        QVERIFY(!Button("IDC_CONVERT")->isEnabled());
    }

    // A path typed (or pasted) fills an empty output folder with its own folder once it turns
    // out usable, as Browse does; a folder given already stays.
    void typedPathFillsTheOutputFolder_data() {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("input");   // under the scratch folder
        QTest::addColumn<bool>("given");      // an output folder given before
        QTest::addColumn<QString>("output");  // "": empty; "out": the one given; else under the scratch folder
        QTest::newRow("GIF") << false << "anim.gif" << false << ".";
        QTest::newRow("GIF, output given") << false << "anim.gif" << true << "out";
        QTest::newRow("GIF in a subfolder") << false << "gifs/b.gif" << false << "gifs";
        QTest::newRow("missing GIF") << false << "gone.gif" << false << "";
        QTest::newRow("not a GIF") << false << "page.gif" << false << "";
        QTest::newRow("folder") << true << "gifs" << false << "gifs";
        QTest::newRow("folder, output given") << true << "gifs" << true << "out";
        QTest::newRow("folder without GIFs") << true << "empty" << false << "";
    }

    void typedPathFillsTheOutputFolder() {
        QFETCH(bool, batch);
        QFETCH(QString, input);
        QFETCH(bool, given);
        QFETCH(QString, output);
        fs::create_directory(*m_in / "gifs");
        fs::create_directory(*m_in / "empty");
        QVERIFY(WriteAnimation(*m_in / "anim.gif", 2) && WriteAnimation(*m_in / "gifs" / "b.gif", 2));
        QVERIFY(WriteBytes(*m_in / "page.gif", {'<', 'h', 't', 'm', 'l', '>'}));
        if (batch) Click("IDC_BATCH");
        if (given) Edit("IDC_OUTPUT_FOLDER")->setText(Text(m_out->Path()));
        QVERIFY(Enter(batch ? "IDC_INPUT_FOLDER" : "IDC_GIF_PATH", Text(*m_in / input.toStdString())));
        const QString expected = output.isEmpty()                 ? QString()
                                 : output == QLatin1String("out") ? Text(m_out->Path())
                                 : output == QLatin1String(".")   ? Text(m_in->Path())
                                                                  : Text(*m_in / output.toStdString());
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), expected);
        QCOMPARE(Button("IDC_CONVERT")->isEnabled(), !output.isEmpty());
    }

    // Several files from the file manager (its %F) open as a batch of just those, the GIFs of a
    // folder among them included; one file opens as before.
    void severalFilesOpenAsABatch_data() {
        QTest::addColumn<QStringList>("given");  // under the scratch folder
        QTest::addColumn<QString>("info");
        QTest::addColumn<QStringList>("movies");  // written beside the GIFs' first folder
        QTest::newRow("two of three files") << QStringList{"a.gif", "c.gif"} << "2 GIF files chosen"
                                            << QStringList{"a.swf", "c.swf"};
        QTest::newRow("a file and a folder") << QStringList{"c.gif", "more"} << "3 GIF files chosen"
                                             << QStringList{"c.swf", "d.swf", "e.swf"};
        QTest::newRow("one file") << QStringList{"b.gif"} << "8 x 6 pixels, 2 frames, loops forever"
                                  << QStringList{"b.swf"};
    }

    void severalFilesOpenAsABatch() {
        QFETCH(QStringList, given);
        QFETCH(QString, info);
        QFETCH(QStringList, movies);
        fs::create_directory(*m_in / "more");
        for (const char* name : {"a.gif", "b.gif", "c.gif", "more/d.gif", "more/e.gif"})
            QVERIFY(WriteAnimation(*m_in / name, 2));
        QStringList paths;
        for (const QString& name : given) paths << Text(*m_in / name.toStdString());
        QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
        m_dlg->LoadPaths(paths);
        QVERIFY(scanned.wait(10000));
        QCOMPARE(Label("gifInfo"), info);
        QCOMPARE(Button("IDC_BATCH")->isChecked(), given.size() > 1);
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(m_in->Path()));
        QVERIFY(RunJob("IDC_CONVERT"));
        for (const char* movie : {"a.swf", "b.swf", "c.swf", "d.swf", "e.swf"})
            QCOMPARE(fs::exists(*m_in / movie), movies.contains(QLatin1String(movie)));
        if (given.size() < 2) return;
        // The folder typed anew is a folder again: the files chosen are forgotten.
        QVERIFY(Enter("IDC_INPUT_FOLDER", Text(*m_in / "more")));
        QCOMPARE(Label("gifInfo"), QStringLiteral("2 GIF files in the folder"));
    }

    // Every control is reached by one mnemonic of its own: a button's or check box's, its
    // label's, or its group's for radio buttons; no other control shares it, and none has two.
    void everyControlHasItsOwnMnemonic_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("focused");  // Alt and the letter move the focus to it (or its group)
        for (const char* name : {"IDC_INPUT_FOLDER", "IDC_GIF_PATH", "IDC_OUTPUT_FOLDER", "IDC_FPS",
                                 "IDC_TARGET_URL", "IDC_BACKGROUND", "IDC_LIBRARY", "IDC_COMPRESSION",
                                 "IDC_QUALITY_NORMAL", "IDC_FORMAT_BMP"})
            QTest::newRow(name) << name << true;
        for (const char* name : {"IDC_BROWSE_INPUT_FOLDER", "IDC_BROWSE_GIF", "IDC_CHANGE_OUTPUT_FOLDER",
                                 "IDC_GIF_TIMING", "IDC_TRANSPARENT", "IDC_CHANGED_AREAS", "IDC_BATCH",
                                 "IDC_CONVERT", "useGifTiming", "IDC_EXTRACT", "IDC_ABOUT", "IDOK"})
            QTest::newRow(name) << name << false;
    }

    void everyControlHasItsOwnMnemonic() {
        QFETCH(QString, control);
        QFETCH(bool, focused);
        // What each mnemonic reaches: a label's buddy, a button, a group of radio buttons.
        std::map<QString, std::vector<QWidget*>> reaches;
        const auto add = [&](const QString& text, QWidget* target) {
            const int marks = int(text.count('&')) - 2 * int(text.count(QStringLiteral("&&")));
            QVERIFY2(marks <= 1, qPrintable(text));
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (!key.isEmpty()) reaches[key.toString()].push_back(target);
        };
        for (QLabel* label : m_dlg->findChildren<QLabel*>())
            if (label->buddy()) add(label->text(), label->buddy());
        for (QAbstractButton* button : m_dlg->findChildren<QAbstractButton*>())
            if (!qobject_cast<QRadioButton*>(button)) add(button->text(), button);
        for (QGroupBox* group : m_dlg->findChildren<QGroupBox*>()) add(group->title(), group);
        QWidget* widget = Control(control.toLatin1().constData());
        QWidget* target = qobject_cast<QRadioButton*>(widget) ? widget->parentWidget() : widget;
        QStringList keys;
        for (const auto& [key, targets] : reaches)
            if (std::find(targets.begin(), targets.end(), target) != targets.end()) keys << key;
        QCOMPARE(keys.size(), 1);
        QCOMPARE(reaches[keys[0]].size(), std::size_t(1));
        if (!focused) return;
        if (!widget->isEnabled()) Click("IDC_BATCH");  // the input folder is the batch's
        QVERIFY(widget->isEnabled());
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        Button("IDOK")->setFocus();
        QTest::keySequence(m_dlg.get(), QKeySequence(keys[0]));
        QWidget* now = QApplication::focusWidget();
        QVERIFY2(now && (now == target || target->isAncestorOf(now)), qPrintable(keys[0]));
    }

    // The GIF's length is how long one pass plays in a browser, every image shown: the same with
    // the GIF's timing ticked or not, and what `quorvel info` says, images with delay 0 too.
    void gifLengthIsTheBrowsers_data() {
        QTest::addColumn<bool>("gifTiming");
        QTest::newRow("fixed rate") << false;
        QTest::newRow("the GIF's timing") << true;
    }

    void gifLengthIsTheBrowsers() {
#ifndef QUORVEL_CLI_PATH
        QSKIP("the quorvel command line is not built");
#else
        QFETCH(bool, gifTiming);
        GifBuilder gif(16, 16);
        gif.GlobalColors({kRed, kGreen});
        for (int pass = 0; pass < 3; ++pass)
            for (const int delay : {0, 0, 10, 0, 2, 2, 30, 1})
                gif.Solid(0, 0, 16, 16, static_cast<uint8_t>(delay % 2), delay);
        QVERIFY(gif.Write(*m_in / "zero.gif"));
        QVERIFY(LoadGif(*m_in / "zero.gif"));
        if (gifTiming) {
            QSignalSpy scanned(m_dlg.get(), &CQuorvelDlg::InputScanned);
            Click("IDC_GIF_TIMING");
            QVERIFY(scanned.wait(10000));
        }
        const QRegularExpressionMatch shown =
            QRegularExpression("^GIF ([0-9.]+) s \u00b7 ").match(Label("movieTimes"));
        QVERIFY2(shown.hasMatch(), qPrintable(Label("movieTimes")));

        QProcess quorvel;
        quorvel.start(QStringLiteral(QUORVEL_CLI_PATH), {"info", Text(*m_in / "zero.gif")});
        QVERIFY(quorvel.waitForFinished(kJobTimeoutMs));
        const QString info = QString::fromUtf8(quorvel.readAllStandardOutput());
        const QRegularExpressionMatch told = QRegularExpression("duration +([0-9.]+) s").match(info);
        QVERIFY2(told.hasMatch(), qPrintable(info));
        QCOMPARE(shown.captured(1), QString::number(told.captured(1).toDouble(), 'f', 1));
#endif
    }

    // Before converting, the window says about how large the movie will be at the chosen
    // quality; what it said goes as soon as an option changes, and the guess is near the movie
    // the conversion writes.
    void movieSizeBeforeConverting_data() {
        QTest::addColumn<QString>("quality");
        QTest::addColumn<bool>("changedAreas");
        QTest::newRow("low") << "IDC_QUALITY_LOW" << false;
        QTest::newRow("high") << "IDC_QUALITY_HIGH" << false;
        QTest::newRow("lossless") << "IDC_QUALITY_LOSSLESS" << false;
        QTest::newRow("changed areas") << "IDC_QUALITY_NORMAL" << true;
    }

    void movieSizeBeforeConverting() {
        QFETCH(QString, quality);
        QFETCH(bool, changedAreas);
        QVERIFY(WriteBusyAnimation(*m_in / "busy.gif", 40));
        QVERIFY(LoadGif(*m_in / "busy.gif"));
        QLabel* size = Control<QLabel>("movieSize");
        QTRY_VERIFY(size->isVisible());
        const QString before = size->text();
        Click(quality.toLatin1().constData());
        if (changedAreas) Click("IDC_CHANGED_AREAS");
        QVERIFY(!size->isVisible() && size->text().isEmpty());  // nothing stale meanwhile
        QTRY_VERIFY(size->isVisible());
        const QRegularExpressionMatch guess =
            QRegularExpression(QStringLiteral("^Movie file (up to )?about ([0-9.]+) (KB|MB)$")).match(size->text());
        QVERIFY2(guess.hasMatch(), qPrintable(size->text()));
        QCOMPARE(!guess.captured(1).isEmpty(), changedAreas);
        if (!changedAreas) QVERIFY2(size->text() != before, qPrintable(before));
        const double guessed = guess.captured(2).toDouble() * (guess.captured(3) == QLatin1String("MB") ? 1 << 20 : 1 << 10);

        QVERIFY(RunJob("IDC_CONVERT"));
        const auto movie = ReadFileBytes(*m_out / "busy.swf");
        QVERIFY(movie.has_value());
        const double actual = static_cast<double>(movie->size());
        const QByteArray said = QStringLiteral("guessed %1, wrote %2").arg(guessed).arg(actual).toLatin1();
        if (changedAreas)
            QVERIFY2(actual <= guessed * 1.1, said.constData());
        else
            QVERIFY2(std::abs(actual - guessed) <= 0.2 * actual, said.constData());
    }

    // The window opens small enough for a 1280 x 900 screen at twice the pixels per point, and
    // grows: the preview with it, its frames composed anew for the larger box.
    void windowFitsAndGrows() {
        QVERIFY(m_dlg->width() <= 640 && m_dlg->height() <= 450);
        QVERIFY(m_dlg->minimumSizeHint().width() <= 640 && m_dlg->minimumSizeHint().height() <= 450);
        QVERIFY(WriteAnimation(*m_in / "big.gif", 3, 320, 240));
        auto* preview = Control<CGifPreview>("preview");
        QSignalSpy composed(preview, &CGifPreview::Composed);
        QVERIFY(LoadGif(*m_in / "big.gif"));
        QVERIFY(composed.wait(10000));
        const QSize small = preview->pixmap().size();
        const QSize box = preview->size();
        m_dlg->resize(1200, 850);
        QVERIFY(composed.wait(10000));
        QVERIFY(preview->width() > box.width() && preview->height() > box.height());
        const QSize grown = preview->pixmap().size();
        QVERIFY2(grown.width() > small.width() && grown.height() > small.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(grown.width()).arg(grown.height())));
        QVERIFY(grown.width() <= preview->contentsRect().width() && grown.width() <= 640);
    }

    void aboutBox() {
        QStringList labels;
        Qt::WindowFlags flags;
        auto inspect = [&](QDialog* about) {
            flags = about->windowFlags();
            for (QLabel* label : about->findChildren<QLabel*>())
                if (!label->text().isEmpty()) labels << label->text();
        };
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        QVERIFY(WithModal([&] { QTest::keyClick(m_dlg.get(), Qt::Key_F1); }, inspect));
        QCOMPARE(labels.value(0), QStringLiteral("Quorvel Version " QUORVEL_VERSION));
        QVERIFY(labels.value(1).startsWith(QStringLiteral("Licence: ")));
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        // The libraries it is made with, by name and licence; no address kept for examples.
        const QString all = labels.join('\n');
        for (const char* named : {"giflib (MIT)", "libjpeg-turbo (IJG, BSD-3-Clause and zlib)",
                                  "FreeImage (GPLv2, GPLv3 or the FreeImage Public License)",
                                  "Qt (LGPLv3)", "Ruffle (MIT or Apache-2.0)", "libwebp (BSD-3-Clause)",
                                  "libpng (libpng licence)", "zlib (zlib licence)"})
            QVERIFY2(all.contains(QLatin1String(named)), named);
        for (const QString& label : labels) QVERIFY2(!IsPlaceholderAddress(label) || !label.contains("://"), qPrintable(label));
    }
};

QTEST_MAIN(CQuorvelDlgTest)
#include "CQuorvelDlgTest.moc"

// The main dialog driven through its buttons, offscreen, with the prompts answered and the
// desktop stood in for by a recorder.

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
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
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "PromptRecorder.h"
#include "app/CGifPreview.h"
#include "app/CQuorvelDlg.h"
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

    // Hands the dialog a drag of one local path, as a file manager does; true when taken.
    bool Drag(const QString& path, bool drop) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
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
        QTest::newRow("no output folder") << false << "anim.gif" << false << "Choose the output folder.";
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
        Edit("IDC_OUTPUT_FOLDER")->setText(output ? Text(m_out->Path()) : QString());
        if (!input.isEmpty())
            QVERIFY(Enter(batch ? "IDC_INPUT_FOLDER" : "IDC_GIF_PATH", Text(*m_in / input.toStdString())));
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
        QVERIFY(!Drag(Text(*m_in / "page.html"), false));
        QVERIFY(!hint->isVisible());
        QVERIFY(Drag(Text(*m_in / "a.GIF"), false));
        QVERIFY(hint->isVisible() && hint->text().contains(QStringLiteral("a.GIF")));

        QVERIFY(Drag(Text(*m_in / "a.GIF"), true));
        QVERIFY(!hint->isVisible());
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), Text(*m_in / "a.GIF"));
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(m_in->Path()));
        QVERIFY(Drag(Text(m_in->Path()), true));
        QVERIFY(Button("IDC_BATCH")->isChecked());
        QCOMPARE(Label("gifInfo"), QStringLiteral("2 GIF files in the folder"));
        QVERIFY(Label("movieTimes").isEmpty() || !Control("movieTimes")->isVisible());
        QVERIFY(m_prompts->Requests().isEmpty());
    }

    // Outputs that exist are replaced only when the user says so: one question per job.
    void replaceOrSkip_data() {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("kept");     // still the old bytes
        QTest::addColumn<QStringList>("written");  // new
        const QStringList one = {"Replace", "Skip"};
        const QStringList many = {"Replace All", "Skip Existing", "Cancel"};
        QTest::newRow("movie, replace") << "convert" << "Replace" << one << QStringList() << QStringList{"a.swf"};
        QTest::newRow("movie, skip") << "convert" << "Skip" << one << QStringList{"a.swf"} << QStringList();
        QTest::newRow("movie, Escape") << "convert" << "" << one << QStringList{"a.swf"} << QStringList();
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
        if (written.isEmpty() && answer != QLatin1String("Cancel"))
            QVERIFY2(Label("status").startsWith(QStringLiteral("Skipped: ")), qPrintable(Label("status")));
    }

    void missingOutputFolderIsOffered() {
        QVERIFY(WriteAnimation(*m_in / "a.gif", 2));
        QVERIFY(LoadGif(*m_in / "a.gif"));
        const fs::path folder = *m_out / "new" / "movies";
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(folder));
        m_prompts->QueueAnswer(QStringLiteral("Cancel"));
        Click("IDC_CONVERT");
        QVERIFY(!m_dlg->IsJobRunning() && !fs::exists(folder));
        m_prompts->QueueAnswer(QStringLiteral("Create"));
        QVERIFY(RunJob("IDC_CONVERT"));
        QVERIFY(m_prompts->Texts(CPrompts::Kind::Choice)[0].contains(QStringLiteral("does not exist")));
        QVERIFY(fs::exists(folder / "a.swf"));
    }

    void cancelSaysNothingWasWritten_data() {
        QTest::addColumn<bool>("batch");
        QTest::newRow("one GIF") << false;
        QTest::newRow("a folder") << true;
    }

    void cancelSaysNothingWasWritten() {
        QFETCH(bool, batch);
        for (const char* name : {"a.gif", "b.gif", "c.gif"}) QVERIFY(WriteLongAnimation(*m_in / name));
        QVERIFY(batch ? LoadFolder(m_in->Path()) : LoadGif(*m_in / "a.gif"));
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");
        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("Cancel"));
        Click("IDC_CONVERT");
        QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);
        QCOMPARE(Label("status"), QStringLiteral("Cancelled: nothing was written"));
        QVERIFY(m_out->List().empty());
        QVERIFY(m_prompts->Requests().isEmpty());
        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("C&onvert..."));
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

    void closingDuringAJobAsksFirst() {
        QVERIFY(WriteLongAnimation(*m_in / "long.gif"));
        QVERIFY(LoadGif(*m_in / "long.gif"));
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");
        m_prompts->QueueAnswer(QString());  // No: the job runs on
        QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        QVERIFY(m_dlg->isVisible() && m_dlg->IsJobRunning());
        m_prompts->QueueAnswer(QStringLiteral("Yes"));
        QVERIFY(m_dlg->close());
        QVERIFY(!m_dlg->IsJobRunning());  // close() came back after the worker had ended
        QCOMPARE(ended.count(), 1);
        QCOMPARE(m_prompts->Texts(CPrompts::Kind::Question),
                 QStringList(2, QStringLiteral("A conversion is running. Stop it and close?")));
        QCoreApplication::processEvents();
        QVERIFY(m_out->List().empty());
        QCOMPARE(m_prompts->Requests().size(), 2);
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

    // Escape closes every kind of message box, answering what changes nothing.
    void everyMessageBoxClosesOnEscape() {
        m_prompts.reset();  // the real boxes
        QStringList answers;
        const auto escape = [](const std::function<void()>& open) {
            bool closed = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!box) return;
                poll.stop();
                QTest::keyClick(box, Qt::Key_Escape);
                closed = !box->isVisible();
                if (!closed) box->reject();
            });
            poll.start(10);
            open();
            return closed;
        };
        QWidget* parent = m_dlg.get();
        QVERIFY(escape([&] { CPrompts::Warning(parent, "Quorvel", "text"); }));
        QVERIFY(escape([&] { answers << CPrompts::Information(parent, "Info...", "text", {"Open Folder", "Play"}); }));
        QVERIFY(escape([&] { answers << (CPrompts::Question(parent, "Quorvel", "?") ? "Yes" : "No"); }));
        QVERIFY(escape([&] { answers << CPrompts::Choose(parent, "Quorvel", "?", {"Replace", "Skip"}); }));
        QCOMPARE(answers, (QStringList{"", "No", "Skip"}));
        m_prompts = std::make_unique<PromptRecorder>();
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
        QVERIFY(labels.value(2).contains(QStringLiteral("https://")));
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    }
};

QTEST_MAIN(CQuorvelDlgTest)
#include "CQuorvelDlgTest.moc"

// The main dialog driven through its buttons, offscreen, with the prompts answered by a
// recorder instead of a user.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMovie>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "PromptRecorder.h"
#include "app/CQuorvelDlg.h"
#include "support/SettingsJobs.h"
#include "jobs/ConvertJob.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kJobTimeoutMs = 120000;

QString Text(const fs::path& path) { return QString::fromStdString(path.string()); }

// An animation of `frames` full-screen frames cycling through four colours.
bool WriteAnimation(const fs::path& path, int frames, int width = 8, int height = 6) {
    GifBuilder gif(width, height);
    gif.GlobalColors({kRed, kGreen, kBlue, kWhite}).Loop(0);
    for (int i = 0; i < frames; ++i)
        gif.Solid(0, 0, width, height, static_cast<uint8_t>(i % 4), 10);
    return gif.Write(path);
}

// Enough work that a cancel set right after the start always lands before the end.
bool WriteLongAnimation(const fs::path& path) { return WriteAnimation(path, 150, 320, 240); }

// The titles of the group boxes around a widget, innermost first, joined by " / ".
QString Groups(const QWidget* widget) {
    QStringList titles;
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
        if (const auto* box = qobject_cast<const QGroupBox*>(w)) titles << box->title();
    return titles.join(QStringLiteral(" / "));
}

// The offscreen platform says this each time a window's size limits change; it means nothing.
QtMessageHandler g_previousHandler = nullptr;
void DropSizeHintNotice(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QStringLiteral("does not support propagateSizeHints"))) return;
    g_previousHandler(type, context, text);
}

// The values a progress bar took, with its maximum at each.
struct BarRecord {
    QList<int> values;
    QList<int> maximums;
    QStringList texts;  // what the bar said, where it shows text
    explicit BarRecord(QProgressBar* bar) {
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [this, bar](int v) {
            values << v;
            maximums << bar->maximum();
            if (bar->isTextVisible()) texts << bar->text();
        });
    }
    int Peak() const { return values.isEmpty() ? -1 : *std::max_element(values.begin(), values.end()); }
};

// Every output file is a complete movie: nothing half written, no temporary files.
void VerifyOnlyCompleteMovies(const ScratchDir& dir) {
    for (const std::string& name : dir.List()) {
        QVERIFY2(fs::path(name).extension() == ".swf", name.c_str());
        const swftest::SwfFile swf = swftest::ReadSwfFile(dir / name);
        QVERIFY2(swf.ok, (name + ": " + swf.error).c_str());
    }
}

}  // namespace

class CQuorvelDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PromptRecorder> m_prompts;
    std::unique_ptr<CQuorvelDlg> m_dlg;

    template <class T = QWidget>
    T* Control(const char* name) const {
        T* widget = m_dlg->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* Edit(const char* name) const { return Control<QLineEdit>(name); }
    QSpinBox* Fps() const { return Control<QSpinBox>("IDC_FPS"); }
    QAbstractButton* Button(const char* name) const { return Control<QAbstractButton>(name); }
    QProgressBar* Progress() const { return Control<QProgressBar>("IDC_PROGRESS"); }
    void Click(const char* name) const { QTest::mouseClick(Button(name), Qt::LeftButton); }

    // Picks colour with the stage colour button's picker, as the user would.
    bool PickStageColour(const QColor& colour) const {
        Click("IDC_BACKGROUND");  // returns while the picker is open
        auto* picker = m_dlg->findChild<QColorDialog*>();
        if (!picker || !picker->isVisible()) return false;
        picker->setCurrentColor(colour);
        picker->accept();
        return !picker->isVisible();
    }
    // The colour in the middle of the stage colour button's swatch.
    QColor SwatchColour() const {
        const QImage image = Button("IDC_BACKGROUND")->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    }

    // Starts converting a long animation from in into out; true while it runs.
    bool StartLongConversion(const ScratchDir& in, const ScratchDir& out) {
        if (!WriteLongAnimation(in / "long.gif")) return false;
        Edit("IDC_GIF_PATH")->setText(Text(in / "long.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        Click("IDC_CONVERT");
        return m_dlg->IsJobRunning();
    }

    // Clicks the button and waits until the job it started has ended.
    bool RunJob(const char* button) {
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click(button);
        if (!m_dlg->IsJobRunning()) return false;
        return ended.wait(kJobTimeoutMs) || ended.count() == 1;
    }

    QStringList Messages(CPrompts::Kind kind) const {
        QStringList texts;
        for (const CPrompts::Request& r : m_prompts->OfKind(kind)) texts << r.text;
        return texts;
    }

    // Runs an action that opens a modal dialog, and hands that dialog to inspect before
    // closing it. Returns false when no modal dialog came up.
    static bool WithModal(const std::function<void()>& open,
                          const std::function<void(QDialog*)>& inspect) {
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal) return;
            seen = true;
            poll.stop();
            inspect(modal);
            modal->accept();
        });
        poll.start();
        open();
        return seen;
    }

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(DropSizeHintNotice); }

    void init() {
        m_prompts = std::make_unique<PromptRecorder>();
        m_dlg = std::make_unique<CQuorvelDlg>();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }

    void cleanup() {
        m_dlg.reset();
        QCOMPARE(m_prompts->Unexpected(), 0);
        m_prompts.reset();
    }

    void startState_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("checked");

        const QString input = QStringLiteral("Input options");
        const QString general = QStringLiteral("General / Conversion options");
        const QString quality = QStringLiteral("Quality / Conversion options");
        const QString conversion = QStringLiteral("Conversion options");
        const QString extraction = QStringLiteral("Extraction options");
        auto row = [](const char* name, int id, const char* kind, const char* caption,
                      const QString& groups, bool enabled, bool checked = false) {
            QTest::newRow(name) << QString::fromLatin1(name) << id << QString::fromLatin1(kind)
                                << QString::fromLatin1(caption) << groups << enabled << checked;
        };
        row("IDC_INPUT_FOLDER", 1011, "QLineEdit", "", input, false);
        row("IDC_BROWSE_INPUT_FOLDER", 1012, "QPushButton", "&Browse...", input, false);
        row("IDC_GIF_PATH", 1000, "QLineEdit", "", input, true);
        row("IDC_BROWSE_GIF", 1001, "QPushButton", "&Browse...", input, true);
        row("IDC_OUTPUT_FOLDER", 1002, "QLineEdit", "", input, true);
        row("IDC_CHANGE_OUTPUT_FOLDER", 1003, "QPushButton", "&Change...", input, true);
        row("IDC_FPS", 1006, "QSpinBox", "10", general, true);
        row("IDC_TARGET_URL", 1024, "QLineEdit", "", general, true);
        row("IDC_QUALITY_LOW", 1007, "QRadioButton", "Low quality", quality, true);
        row("IDC_QUALITY_NORMAL", 1008, "QRadioButton", "Normal quality", quality, true, true);
        row("IDC_QUALITY_HIGH", 1009, "QRadioButton", "High quality", quality, true);
        row("IDC_QUALITY_LOSSLESS", 1025, "QRadioButton", "Lossless", quality, true);
        row("IDC_CHANGED_AREAS", 1026, "QCheckBox", "Only store what changes", conversion, true);
        row("IDC_BACKGROUND", 1031, "QPushButton", "", conversion, true);
        row("IDC_TRANSPARENT", 1032, "QCheckBox", "Keep transparency", conversion, true);
        row("IDC_BATCH", 1013, "QCheckBox", "Batch conversion", conversion, true);
        row("IDC_CONVERT", 1004, "QPushButton", "C&onvert...", conversion, true);
        row("IDC_FORMAT_BMP", 1020, "QRadioButton", "BMP file", extraction, true, true);
        row("IDC_FORMAT_PNG", 1021, "QRadioButton", "PNG file", extraction, true);
        row("IDC_FORMAT_JPG", 1022, "QRadioButton", "JPG file", extraction, true);
        row("IDC_FORMAT_TGA", 1023, "QRadioButton", "TGA file", extraction, true);
        row("IDC_EXTRACT", 1010, "QPushButton", "E&xtract...", extraction, true);
        row("IDC_PROGRESS", 1019, "QProgressBar", "", QString(), true);
        row("IDC_ABOUT", 1005, "QPushButton", "&About...", QString(), true);
        row("IDOK", 1, "QPushButton", "&Exit", QString(), true);
    }

    void startState() {
        QFETCH(QString, name);
        QFETCH(int, id);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(QString, groups);
        QFETCH(bool, enabled);
        QFETCH(bool, checked);

        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Quorvel"));
        QWidget* control = Control(qPrintable(name));
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
        QCOMPARE(control->property("controlId").toInt(), id);
        QCOMPARE(Groups(control), groups);
        QCOMPARE(control->isEnabled(), enabled);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) QCOMPARE(edit->text(), caption);
        if (auto* spin = qobject_cast<QSpinBox*>(control)) QCOMPARE(spin->text(), caption);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->isChecked(), checked);
        }
    }

    void startSettingsAndFrame() {
        QVERIFY(m_dlg->ControlsToSettings());
        const ConversionSettings& s = m_dlg->Settings();
        QCOMPARE(s.m_nFps, 10);
        QCOMPARE(s.m_nQuality, Quality::Normal);
        QCOMPARE(s.m_nExtractFormat, ExtractFormat::Bmp);
        QVERIFY(!s.m_bBatch);
        QVERIFY(s.m_strGifPath.empty() && s.m_strOutputFolder.empty());
        QVERIFY(s.m_strInputFolder.empty() && s.m_strTargetUrl.empty());
        QCOMPARE(Progress()->value(), 0);

        QCOMPARE(Fps()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QCOMPARE(Fps()->minimum(), kMinFps);
        QCOMPARE(Fps()->maximum(), kMaxFps);
        // No button takes Enter pressed elsewhere.
        for (QPushButton* button : m_dlg->findChildren<QPushButton*>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
        QVERIFY(!(m_dlg->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(m_dlg->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void tabOrderFollowsTheTemplate() {
        const QStringList expected = {"IDC_INPUT_FOLDER",  "IDC_BROWSE_INPUT_FOLDER",
                                      "IDC_GIF_PATH",      "IDC_BROWSE_GIF",
                                      "IDC_OUTPUT_FOLDER", "IDC_CHANGE_OUTPUT_FOLDER",
                                      "IDC_FPS",           "IDC_TARGET_URL",
                                      "IDC_GIF_TIMING",    "IDC_QUALITY_LOW",   "IDC_QUALITY_NORMAL",
                                      "IDC_QUALITY_HIGH",  "IDC_QUALITY_LOSSLESS",
                                      "IDC_BACKGROUND",    "IDC_TRANSPARENT",
                                      "IDC_CHANGED_AREAS", "IDC_BATCH",
                                      "IDC_CONVERT",       "IDC_FORMAT_BMP",
                                      "IDC_FORMAT_PNG",    "IDC_FORMAT_JPG",
                                      "IDC_FORMAT_TGA",    "IDC_EXTRACT",
                                      "IDC_ABOUT",         "IDOK"};
        QStringList chain;
        QWidget* w = m_dlg.get();
        do {
            w = w->nextInFocusChain();
            if (w->property("controlId").isValid() && (w->focusPolicy() & Qt::TabFocus))
                chain << w->objectName();
        } while (w != m_dlg.get());
        QCOMPARE(chain, expected);
    }

    void batchModeSwitchesExactlyItsControls() {
        const QStringList batchOnly = {"IDC_INPUT_FOLDER", "IDC_BROWSE_INPUT_FOLDER"};
        const QStringList singleOnly = {"IDC_GIF_PATH", "IDC_BROWSE_GIF", "IDC_EXTRACT"};
        QStringList always;
        for (QWidget* w : m_dlg->findChildren<QWidget*>())
            if (w->property("controlId").isValid() && !batchOnly.contains(w->objectName()) &&
                !singleOnly.contains(w->objectName()))
                always << w->objectName();
        QCOMPARE(always.size(), 21);

        for (const bool batch : {true, false, true}) {
            Click("IDC_BATCH");
            QCOMPARE(Button("IDC_BATCH")->isChecked(), batch);
            QCOMPARE(m_dlg->Settings().m_bBatch, batch);
            for (const QString& name : batchOnly)
                QVERIFY2(Control(qPrintable(name))->isEnabled() == batch, qPrintable(name));
            for (const QString& name : singleOnly)
                QVERIFY2(Control(qPrintable(name))->isEnabled() == !batch, qPrintable(name));
            for (const QString& name : always)
                QVERIFY2(Control(qPrintable(name))->isEnabled(), qPrintable(name));
        }
    }

    void losslessAndChangedAreasReachTheSettings() {
        Click("IDC_QUALITY_HIGH");
        QVERIFY(m_dlg->ControlsToSettings());
        Click("IDC_QUALITY_LOSSLESS");
        Click("IDC_CHANGED_AREAS");
        QVERIFY(m_dlg->ControlsToSettings());
        QCOMPARE(m_dlg->Settings().m_bitmaps, BitmapKind::Lossless);
        QCOMPARE(m_dlg->Settings().m_nQuality, Quality::High);  // kept for JPEG
        QVERIFY(m_dlg->Settings().m_bChangedAreas);

        Click("IDC_QUALITY_LOW");
        Click("IDC_CHANGED_AREAS");
        QVERIFY(m_dlg->ControlsToSettings());
        QCOMPARE(m_dlg->Settings().m_bitmaps, BitmapKind::Jpeg);
        QCOMPARE(m_dlg->Settings().m_nQuality, Quality::Low);
        QVERIFY(!m_dlg->Settings().m_bChangedAreas);
    }

    // The colour picker opens without waiting for the user; a colour chosen there paints the
    // button and reaches the settings, a cancelled one changes nothing.
    void stageColourAndTransparencyReachTheSettings() {
        QVERIFY(m_dlg->ControlsToSettings());
        QCOMPARE(m_dlg->Settings().m_background, kWhiteRgb);
        QVERIFY(!m_dlg->Settings().m_bTransparent);
        QCOMPARE(SwatchColour(), QColor(Qt::white));
        QVERIFY(PickStageColour(QColor(0x33, 0x66, 0x99)));
        QCOMPARE(SwatchColour(), QColor(0x33, 0x66, 0x99));
        Click("IDC_TRANSPARENT");
        QVERIFY(m_dlg->ControlsToSettings());
        QCOMPARE(m_dlg->Settings().m_background, RgbColor{0x336699});
        QVERIFY(m_dlg->Settings().m_bTransparent);

        Click("IDC_BACKGROUND");
        auto* picker = m_dlg->findChild<QColorDialog*>();
        QTRY_VERIFY(picker && picker->isVisible());
        QCOMPARE(picker->currentColor(), QColor(0x33, 0x66, 0x99));
        picker->setCurrentColor(Qt::black);
        picker->reject();
        QVERIFY(m_dlg->ControlsToSettings());
        QCOMPARE(m_dlg->Settings().m_background, RgbColor{0x336699});
    }

    void gifPickerConfirmedAndCancelled() {
        m_prompts->QueueAnswer(QStringLiteral("/data/a/b.gif"));
        Click("IDC_BROWSE_GIF");
        const QList<CPrompts::Request> asked = m_prompts->OfKind(CPrompts::Kind::OpenFile);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].text.contains(QStringLiteral("GIF")));
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), QStringLiteral("/data/a/b.gif"));
        QCOMPARE(m_dlg->Settings().m_strGifPath, std::string("/data/a/b.gif"));
        QCOMPARE(m_dlg->Settings().m_strGifTitle, std::string("b"));

        m_prompts->QueueAnswer(QString());  // the user cancels
        Click("IDC_BROWSE_GIF");
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::OpenFile).size(), 2);
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), QStringLiteral("/data/a/b.gif"));
        QCOMPARE(m_dlg->Settings().m_strGifTitle, std::string("b"));
    }

    // Hands the dialog a drag of one local path, as a file manager does.
    void Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at = m_dlg->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &drop);
    }

    void enterInAFieldLeavesTheWindowOpen() {
        Click("IDC_BATCH");  // the input folder takes focus only in batch mode
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        for (const char* name : {"IDC_INPUT_FOLDER", "IDC_OUTPUT_FOLDER", "IDC_TARGET_URL",
                                 "IDC_FPS", "IDC_QUALITY_HIGH", "IDC_BATCH", "IDC_GIF_PATH"}) {
            if (QByteArray(name) == "IDC_GIF_PATH") Click("IDC_BATCH");
            QWidget* field = Control(name);
            field->setFocus();
            QCOMPARE(QApplication::focusWidget(), field);
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
                QTest::keyClick(QApplication::focusWidget(), key);
                QVERIFY2(m_dlg->isVisible(), name);
                QVERIFY2(!m_dlg->IsJobRunning(), name);
            }
        }
        QVERIFY(m_prompts->Requests().isEmpty());
        // Enter on a button presses that button.
        Button("IDOK")->setFocus();
        QTest::keyClick(Button("IDOK"), Qt::Key_Return);
        QVERIFY(!m_dlg->isVisible());
    }

    void closingDuringAJobAsksFirst() {
        ScratchDir in;
        ScratchDir out;
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        QVERIFY(StartLongConversion(in, out));

        // Escape, the close box and "&Exit": each asks, and "No" leaves the job running.
        const std::function<void()> ways[] = {
            [&] { QTest::keyClick(m_dlg.get(), Qt::Key_Escape); },
            [&] { m_dlg->close(); },
            [&] { Click("IDOK"); },
        };
        for (const auto& close : ways) {
            m_prompts->QueueAnswer(QString());  // No
            close();
            QVERIFY(m_dlg->isVisible());
            QVERIFY(m_dlg->IsJobRunning());
        }
        const QList<CPrompts::Request> asked = m_prompts->OfKind(CPrompts::Kind::Question);
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].text, QStringLiteral("A conversion is running. Stop it and close?"));
        QCOMPARE(ended.count(), 0);

        m_prompts->QueueAnswer(QStringLiteral("Yes"));
        QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        QVERIFY(!m_dlg->isVisible());
        QVERIFY(!m_dlg->IsJobRunning());
        QCOMPARE(ended.count(), 1);
        QVERIFY(out.List().empty());
        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
    }

    void previewShowsTheGif_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("picked") << "picked";
        QTest::newRow("typed") << "typed";
        QTest::newRow("dropped") << "dropped";
    }

    void previewShowsTheGif() {
        QFETCH(QString, how);
        ScratchDir in;
        QVERIFY(WriteAnimation(in / "anim.gif", 3, 10, 7));
        QVERIFY(WriteBytes(in / "text.gif", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'}));
        auto load = [&](const fs::path& path) {
            if (how == QLatin1String("picked")) {
                m_prompts->QueueAnswer(Text(path));
                Click("IDC_BROWSE_GIF");
            } else if (how == QLatin1String("typed")) {
                Edit("IDC_GIF_PATH")->clear();
                QTest::keyClicks(Edit("IDC_GIF_PATH"), Text(path));
            } else {
                Drop(Text(path));
            }
        };
        auto* info = Control<QLabel>("gifInfo");
        auto* preview = Control<QLabel>("preview");
        QVERIFY(info->text().isEmpty());

        load(in / "anim.gif");
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), Text(in / "anim.gif"));
        QCOMPARE(info->text(), QStringLiteral("10 x 7 pixels, 3 frames, 0.3 s, loops forever"));
        QVERIFY(preview->movie() && preview->movie()->isValid());
        QCOMPARE(preview->movie()->state(), QMovie::Running);
        QCOMPARE(preview->movie()->frameCount(), 3);

        load(in / "text.gif");
        QCOMPARE(info->text(), QStringLiteral("This is not a GIF file."));
        QVERIFY(!preview->movie());
        QVERIFY(!m_dlg->IsJobRunning());
    }

    void droppedFolderSwitchesToBatchAndFillsTheOutput() {
        ScratchDir in;
        QVERIFY(WriteAnimation(in / "a.gif", 1) && WriteAnimation(in / "b.gif", 2));
        Drop(Text(in.Path()));
        QVERIFY(Button("IDC_BATCH")->isChecked());
        QVERIFY(Control("IDC_INPUT_FOLDER")->isEnabled() && !Control("IDC_GIF_PATH")->isEnabled());
        QCOMPARE(Edit("IDC_INPUT_FOLDER")->text(), Text(in.Path()));
        QCOMPARE(m_dlg->BatchFiles().size(), std::size_t{2});
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(in.Path()));

        // A GIF dropped next goes back to single mode; the output folder, now set, stays.
        ScratchDir other;
        QVERIFY(WriteAnimation(other / "c.gif", 1));
        Drop(Text(other / "c.gif"));
        QVERIFY(!Button("IDC_BATCH")->isChecked());
        QCOMPARE(Edit("IDC_GIF_PATH")->text(), Text(other / "c.gif"));
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(in.Path()));
    }

    void pickedGifFillsAnEmptyOutputFolder() {
        ScratchDir in;
        QVERIFY(WriteAnimation(in / "a.gif", 1));
        m_prompts->QueueAnswer(Text(in / "a.gif"));
        Click("IDC_BROWSE_GIF");
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), Text(in.Path()));
        QCOMPARE(m_dlg->Settings().m_strOutputFolder, in.Path().string());

        Edit("IDC_OUTPUT_FOLDER")->setText(QStringLiteral("/data/out"));
        m_prompts->QueueAnswer(Text(in / "a.gif"));
        Click("IDC_BROWSE_GIF");
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), QStringLiteral("/data/out"));
    }

    void outputPickerConfirmedAndCancelled() {
        Fps()->setValue(7);
        m_prompts->QueueAnswer(QStringLiteral("/data/out"));
        Click("IDC_CHANGE_OUTPUT_FOLDER");
        const QList<CPrompts::Request> asked = m_prompts->OfKind(CPrompts::Kind::ChooseFolder);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].caption, QStringLiteral("Select output folder:"));
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), QStringLiteral("/data/out"));
        QCOMPARE(m_dlg->Settings().m_strOutputFolder, std::string("/data/out"));
        QCOMPARE(m_dlg->Settings().m_nFps, 7);  // the pick copied the other controls too

        m_prompts->QueueAnswer(QString());
        Click("IDC_CHANGE_OUTPUT_FOLDER");
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::ChooseFolder).size(), 2);
        QCOMPARE(Edit("IDC_OUTPUT_FOLDER")->text(), QStringLiteral("/data/out"));
        QCOMPARE(m_dlg->Settings().m_strOutputFolder, std::string("/data/out"));
    }

    void inputPickerListsTheFolder() {
        ScratchDir in;
        ScratchDir other;
        QVERIFY(WriteAnimation(in / "b.GIF", 1) && WriteAnimation(in / "a.gif", 1));
        QVERIFY(WriteBytes(in / "notes.txt", {'x'}));
        fs::create_directory(in / "folder.gif");
        QVERIFY(WriteAnimation(other / "z.gif", 1));

        Click("IDC_BATCH");
        m_prompts->QueueAnswer(Text(in.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::ChooseFolder).at(0).caption,
                 QStringLiteral("Select input folder:"));
        QCOMPARE(Edit("IDC_INPUT_FOLDER")->text(), Text(in.Path()));
        const std::vector<std::string> listed = {(in / "a.gif").string(), (in / "b.GIF").string()};
        QCOMPARE(m_dlg->BatchFiles(), listed);
        QCOMPARE(Progress()->minimum(), 0);
        QCOMPARE(Progress()->maximum(), 2);
        QCOMPARE(Progress()->value(), 0);

        // Cancelling keeps the folder and its list.
        m_prompts->QueueAnswer(QString());
        Click("IDC_BROWSE_INPUT_FOLDER");
        QCOMPARE(Edit("IDC_INPUT_FOLDER")->text(), Text(in.Path()));
        QCOMPARE(m_dlg->BatchFiles(), listed);

        // A second folder replaces the list.
        m_prompts->QueueAnswer(Text(other.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        QCOMPARE(m_dlg->BatchFiles(), std::vector<std::string>{(other / "z.gif").string()});
        QCOMPARE(Progress()->maximum(), 1);

        // A folder without GIFs empties the list and leaves the bar alone.
        ScratchDir empty;
        m_prompts->QueueAnswer(Text(empty.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        QVERIFY(m_dlg->BatchFiles().empty());
        QCOMPARE(Progress()->maximum(), 1);
        QVERIFY(Messages(CPrompts::Kind::Warning).isEmpty());
    }

    void unreadableInputFolderIsReported() {
        Click("IDC_BATCH");
        m_prompts->QueueAnswer(QStringLiteral("/nonexistent/quorvel/folder"));
        Click("IDC_BROWSE_INPUT_FOLDER");
        const QStringList warnings = Messages(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains(QStringLiteral("/nonexistent/quorvel/folder")));
        QVERIFY(m_dlg->BatchFiles().empty());
    }

    void conversionThroughTheButtons() {
        ScratchDir in;
        ScratchDir out;
        ScratchDir reference;
        QVERIFY(WriteAnimation(in / "anim.gif", 3, 10, 7));

        m_prompts->QueueAnswer(Text(in / "anim.gif"));
        Click("IDC_BROWSE_GIF");
        m_prompts->QueueAnswer(Text(out.Path()));
        Click("IDC_CHANGE_OUTPUT_FOLDER");
        Fps()->setValue(12);
        Edit("IDC_TARGET_URL")->setText(QStringLiteral(" http://example.org/ "));
        Click("IDC_QUALITY_HIGH");

        BarRecord bar(Progress());
        m_prompts->TakeActions(true);
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(Messages(CPrompts::Kind::Warning), QStringList());
        const QList<CPrompts::Request> info = m_prompts->OfKind(CPrompts::Kind::Information);
        QCOMPARE(info.size(), 1);
        QCOMPARE(info[0].caption, QStringLiteral("Info..."));
        QCOMPARE(info[0].text, QStringLiteral("The conversion finished successfully !!!"));
        // "Open Folder" shows the output folder.
        QCOMPARE(info[0].action, QStringLiteral("Open Folder"));
        const QList<CPrompts::Request> opened = m_prompts->OfKind(CPrompts::Kind::OpenFolder);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].text, Text(out.Path()));

        QCOMPARE(out.List(), std::vector<std::string>{"anim.swf"});
        const swftest::SwfFile swf = swftest::ReadSwfFile(out / "anim.swf");
        QVERIFY2(swf.ok, swf.error.c_str());
        QCOMPARE(int(swf.frameCount), 3);
        QCOMPARE(int(swf.frameRate), 12 * 256);
        QCOMPARE(swf.CountTags(swftest::kTagDefineButton2), 1);

        // The scan's frame count made the bar determinate; it filled, then emptied at the end.
        QCOMPARE(bar.Peak(), 3);
        QCOMPARE(bar.maximums.count(3), bar.maximums.size());
        QVERIFY(bar.texts.contains(QStringLiteral("3 of 3 frames")));
        QCOMPARE(Progress()->value(), 0);

        // The same options given to the job directly give the same bytes.
        ConversionSettings settings;
        settings.m_strGifPath = (in / "anim.gif").string();
        settings.m_strGifTitle = "anim";
        settings.m_strOutputFolder = reference.Path().string();
        settings.m_nFps = 12;
        settings.m_nQuality = Quality::High;
        settings.m_strTargetUrl = "http://example.org/";
        QVERIFY(ConvertFile(settings).Succeeded());
        QCOMPARE(ReadFileBytes(out / "anim.swf"),
                 ReadFileBytes(reference / "anim.swf"));
    }

    void conversionMatchesTheCommandLine_data() {
        QTest::addColumn<bool>("gifTiming");
        QTest::addColumn<int>("fps");  // 0 leaves the box as it is
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("stage");  // a stage colour of its own, and transparency kept
        QTest::newRow("fixed rate") << false << 25 << QStringList{"--fps", "25"} << false;
        QTest::newRow("GIF timing, auto rate") << true << 0 << QStringList{"--like-gif"} << false;
        QTest::newRow("GIF timing, given rate")
            << true << 20 << QStringList{"--like-gif", "--fps", "20"} << false;
        QTest::newRow("stage colour, transparent")
            << false << 0 << QStringList{"--background", "#336699", "--transparent"} << true;
    }

    void conversionMatchesTheCommandLine() {
#ifndef QUORVEL_CLI_PATH
        QSKIP("the quorvel command line is not built");
#else
        QFETCH(bool, gifTiming);
        QFETCH(int, fps);
        QFETCH(QStringList, options);
        QFETCH(bool, stage);
        ScratchDir in;
        ScratchDir out;
        ScratchDir cli;
        QVERIFY(WriteAnimation(in / "loop.gif", 4, 9, 5));
        Edit("IDC_GIF_PATH")->setText(Text(in / "loop.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        if (gifTiming) {
            QAbstractButton* box = Button("IDC_GIF_TIMING");  // a click on its check mark
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            QCOMPARE(Fps()->text(), QStringLiteral("auto"));  // the rate is optional now
        }
        if (fps != 0) Fps()->setValue(fps);
        if (stage) {
            QVERIFY(PickStageColour(QColor(0x33, 0x66, 0x99)));
            Click("IDC_TRANSPARENT");
        }
        Edit("IDC_TARGET_URL")->setText(QStringLiteral("http://example.org/x"));
        Click("IDC_QUALITY_LOW");
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(m_prompts->OfKind(CPrompts::Kind::Information).size(), 1);

        QProcess quorvel;
        quorvel.start(QStringLiteral(QUORVEL_CLI_PATH),
                      QStringList{"convert", "-q", "--quality", "low", "--url",
                                  "http://example.org/x", "-o", Text(cli.Path()),
                                  Text(in / "loop.gif")} +
                          options);
        QVERIFY(quorvel.waitForFinished(kJobTimeoutMs));
        QVERIFY2(quorvel.exitStatus() == QProcess::NormalExit && quorvel.exitCode() == 0,
                 quorvel.readAllStandardError().constData());
        const auto cliBytes = ReadFileBytes(cli / "loop.swf");
        QVERIFY(cliBytes.has_value());
        QCOMPARE(ReadFileBytes(out / "loop.swf"), cliBytes);
#endif
    }

    void typedPathNamesTheOutput() {
        ScratchDir in;
        ScratchDir out;
        QVERIFY(WriteAnimation(in / "first.gif", 1) && WriteAnimation(in / "second.gif", 2));
        m_prompts->QueueAnswer(Text(in / "first.gif"));
        Click("IDC_BROWSE_GIF");
        Edit("IDC_GIF_PATH")->setText(Text(in / "second.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(out.List(), std::vector<std::string>{"second.swf"});
        QCOMPARE(int(swftest::ReadSwfFile(out / "second.swf").frameCount), 2);
    }

    void extractionThroughTheButtons() {
        ScratchDir in;
        ScratchDir out;
        QVERIFY(WriteAnimation(in / "anim.gif", 3, 10, 7));
        Edit("IDC_GIF_PATH")->setText(Text(in / "anim.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        Click("IDC_FORMAT_PNG");

        BarRecord bar(Progress());
        QVERIFY(RunJob("IDC_EXTRACT"));
        QCOMPARE(Messages(CPrompts::Kind::Warning), QStringList());
        const QList<CPrompts::Request> info = m_prompts->OfKind(CPrompts::Kind::Information);
        QCOMPARE(info.size(), 1);
        QCOMPARE(info[0].caption, QStringLiteral("Info..."));
        QCOMPARE(info[0].text, QStringLiteral("The extraction finished successfully !!!"));

        const std::vector<std::string> expected = {"anim_f0.png", "anim_f1.png", "anim_f2.png"};
        QCOMPARE(out.List(), expected);
        const QImage first(Text(out / "anim_f0.png"));
        QCOMPARE(first.size(), QSize(10, 7));
        QCOMPARE(first.pixelColor(3, 3), QColor(255, 0, 0));
        QCOMPARE(QImage(Text(out / "anim_f1.png")).pixelColor(9, 6), QColor(0, 255, 0));
        QCOMPARE(bar.Peak(), 3);
        QCOMPARE(Progress()->value(), 0);
    }

    void failingConversionWarnsAndWritesNothing() {
        ScratchDir in;
        ScratchDir out;
        QVERIFY(WriteBytes(in / "broken.gif", {'n', 'o', 't', ' ', 'a', ' ', 'G', 'I', 'F'}));
        Edit("IDC_GIF_PATH")->setText(Text(in / "broken.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));

        QVERIFY(RunJob("IDC_CONVERT"));
        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
        const QStringList warnings = Messages(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(Text(in / "broken.gif")), qPrintable(warnings[0]));
        QVERIFY(!warnings[0].contains(QStringLiteral("successfully")));
        QVERIFY(out.List().empty());
        QCOMPARE(Progress()->value(), 0);
        QVERIFY(Control("IDC_CONVERT")->isEnabled() && Control("IDC_GIF_PATH")->isEnabled());
        QVERIFY(!Control<QLabel>("gifInfo")->text().isEmpty());
    }

    // The FPS box holds only whole numbers from 1 to 255: what the keyboard cannot turn into
    // one is refused as it is typed, and the conversion gets what the box shows.
    void fpsBoxHoldsOnlyValidRates_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("fps");
        QTest::newRow("valid") << "25" << 25;
        QTest::newRow("too high") << "256" << 25;
        QTest::newRow("letters") << "abc" << 10;
        QTest::newRow("fraction") << "1.5" << 15;
        QTest::newRow("negative") << "-3" << 3;
        QTest::newRow("highest") << "255" << 255;
    }

    void fpsBoxHoldsOnlyValidRates() {
        QFETCH(QString, typed);
        QFETCH(int, fps);
        ScratchDir in;
        ScratchDir out;
        QVERIFY(WriteAnimation(in / "anim.gif", 1));
        Edit("IDC_GIF_PATH")->setText(Text(in / "anim.gif"));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        Fps()->setFocus();
        Fps()->selectAll();
        QTest::keyClicks(Fps(), typed);
        QTest::keyClick(Fps(), Qt::Key_Tab);
        QCOMPARE(Fps()->value(), fps);

        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(Messages(CPrompts::Kind::Warning), QStringList());
        QCOMPARE(m_dlg->Settings().m_nFps, fps);
        QCOMPARE(int(swftest::ReadSwfFile(out / "anim.swf").frameRate), fps * 256);
    }

    void emptyFieldsStopTheCommand_data() {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("gif");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("focus");
        QTest::newRow("convert without GIF") << false << "IDC_CONVERT"
                                             << ""
                                             << "/tmp"
                                             << "path to the GIF file"
                                             << "IDC_GIF_PATH";
        QTest::newRow("convert without output") << false << "IDC_CONVERT"
                                                << "/tmp/a.gif"
                                                << ""
                                                << "output folder"
                                                << "IDC_OUTPUT_FOLDER";
        QTest::newRow("extract without GIF") << false << "IDC_EXTRACT"
                                             << ""
                                             << "/tmp"
                                             << "path to the GIF file"
                                             << "IDC_GIF_PATH";
        QTest::newRow("extract without output") << false << "IDC_EXTRACT"
                                                << "/tmp/a.gif"
                                                << ""
                                                << "output folder"
                                                << "IDC_OUTPUT_FOLDER";
        QTest::newRow("batch without input folder") << true << "IDC_CONVERT"
                                                    << ""
                                                    << "/tmp"
                                                    << "input folder"
                                                    << "IDC_INPUT_FOLDER";
    }

    void emptyFieldsStopTheCommand() {
        QFETCH(bool, batch);
        QFETCH(QString, button);
        QFETCH(QString, gif);
        QFETCH(QString, output);
        QFETCH(QString, named);
        QFETCH(QString, focus);
        Edit("IDC_GIF_PATH")->setText(gif);
        Edit("IDC_OUTPUT_FOLDER")->setText(output);
        if (batch) Click("IDC_BATCH");
        Click(qPrintable(button));
        QVERIFY(!m_dlg->IsJobRunning());
        const QStringList warnings = Messages(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(named), qPrintable(warnings[0]));
        QCOMPARE(QApplication::focusWidget(), Control(qPrintable(focus)));
        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
    }

    void batchWithoutGifsStops() {
        ScratchDir in;
        ScratchDir out;
        Click("IDC_BATCH");
        Edit("IDC_INPUT_FOLDER")->setText(Text(in.Path()));
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        Click("IDC_CONVERT");
        QVERIFY(!m_dlg->IsJobRunning());
        const QStringList warnings = Messages(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains(QStringLiteral("no GIF files")));
        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
    }

    void batchProgressReachesAllFiles() {
        ScratchDir in;
        ScratchDir out;
        for (const char* name : {"a.gif", "b.GIF", "c.gif"}) QVERIFY(WriteAnimation(in / name, 2));
        Click("IDC_BATCH");
        m_prompts->QueueAnswer(Text(in.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        QCOMPARE(Progress()->maximum(), 3);

        BarRecord bar(Progress());
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");

        // While the batch runs only Cancel, About and Exit can be used.
        QVERIFY(m_dlg->IsJobRunning());
        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("Cancel"));
        for (const char* name : {"IDC_INPUT_FOLDER", "IDC_BROWSE_INPUT_FOLDER", "IDC_OUTPUT_FOLDER",
                                 "IDC_CHANGE_OUTPUT_FOLDER", "IDC_FPS", "IDC_TARGET_URL",
                                 "IDC_QUALITY_HIGH", "IDC_QUALITY_LOSSLESS", "IDC_CHANGED_AREAS",
                                 "IDC_BATCH", "IDC_FORMAT_PNG"})
            QVERIFY2(!Control(name)->isEnabled(), name);
        for (const char* name : {"IDC_CONVERT", "IDC_ABOUT", "IDOK"})
            QVERIFY2(Control(name)->isEnabled(), name);

        QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);
        // The bar counted the frames of all three files, never going back, then emptied.
        QCOMPARE(bar.Peak(), 6);
        QVERIFY(bar.maximums.contains(6));
        QCOMPARE(bar.values.last(), 0);
        QVERIFY(std::is_sorted(bar.values.begin(), bar.values.end() - 1));
        QCOMPARE(Progress()->value(), 0);
        QVERIFY2(!bar.texts.filter(QRegularExpression("^[0-3] of 3 files, 6 of 6 frames$")).isEmpty(),
                 qPrintable(bar.texts.join('|')));
        const std::vector<std::string> movies = {"a.swf", "b.swf", "c.swf"};
        QCOMPARE(out.List(), movies);
        QCOMPARE(Messages(CPrompts::Kind::Information),
                 QStringList{QStringLiteral("The conversion finished successfully !!!")});

        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("C&onvert..."));
        QVERIFY(Control("IDC_INPUT_FOLDER")->isEnabled() && Control("IDC_BATCH")->isEnabled());
        QVERIFY(!Control("IDC_GIF_PATH")->isEnabled());

        // A second batch counts again from an empty bar.
        bar.values.clear();
        QVERIFY(RunJob("IDC_CONVERT"));
        QCOMPARE(bar.Peak(), 6);
        QCOMPARE(Progress()->value(), 0);
    }

    void batchReportsFailedFiles() {
        ScratchDir in;
        ScratchDir out;
        QVERIFY(WriteAnimation(in / "good.gif", 2));
        QVERIFY(WriteBytes(in / "bad.gif", {'G', 'I', 'F', '8', '9', 'a'}));
        Click("IDC_BATCH");
        m_prompts->QueueAnswer(Text(in.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));
        QVERIFY(RunJob("IDC_CONVERT"));

        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
        const QStringList warnings = Messages(CPrompts::Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(QStringLiteral("1 of 2 files converted.")),
                 qPrintable(warnings[0]));
        QVERIFY(warnings[0].contains(Text(in / "bad.gif")));
        QCOMPARE(out.List(), std::vector<std::string>{"good.swf"});
        QCOMPARE(Progress()->value(), 0);
    }

    void cancelStopsASingleConversion() {
        ScratchDir in;
        ScratchDir out;
        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        QVERIFY(StartLongConversion(in, out));
        QCOMPARE(Progress()->maximum(), 150);  // the scan gave the frame count
        Click("IDC_CONVERT");                // now "Cancel"
        QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);

        QVERIFY(m_prompts->Requests().isEmpty());
        QVERIFY(out.List().empty());
        QCOMPARE(Progress()->value(), 0);
        QCOMPARE(Button("IDC_CONVERT")->text(), QStringLiteral("C&onvert..."));
        QVERIFY(Control("IDC_EXTRACT")->isEnabled());
    }

    void cancelStopsABatch() {
        ScratchDir in;
        ScratchDir out;
        for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"})
            QVERIFY(WriteLongAnimation(in / name));
        Click("IDC_BATCH");
        m_prompts->QueueAnswer(Text(in.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));

        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");
        Click("IDC_CONVERT");
        QVERIFY(ended.wait(kJobTimeoutMs) || ended.count() == 1);

        QVERIFY(m_prompts->OfKind(CPrompts::Kind::Information).isEmpty());
        QVERIFY(out.List().size() < 4);
        QVERIFY(Progress()->value() < 4);
        VerifyOnlyCompleteMovies(out);
        QVERIFY(Control("IDC_BATCH")->isEnabled());
    }

    void closingDuringABatchWaitsForTheWorker() {
        ScratchDir in;
        ScratchDir out;
        for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"})
            QVERIFY(WriteLongAnimation(in / name));
        Click("IDC_BATCH");
        m_prompts->QueueAnswer(Text(in.Path()));
        Click("IDC_BROWSE_INPUT_FOLDER");
        Edit("IDC_OUTPUT_FOLDER")->setText(Text(out.Path()));

        QSignalSpy ended(m_dlg.get(), &CQuorvelDlg::JobEnded);
        Click("IDC_CONVERT");
        QVERIFY(m_dlg->IsJobRunning());
        m_prompts->QueueAnswer(QStringLiteral("Yes"));  // stop it and close
        QVERIFY(m_dlg->close());

        // close() came back only after the worker had ended.
        QVERIFY(!m_dlg->isVisible());
        QVERIFY(!m_dlg->IsJobRunning());
        QCOMPARE(ended.count(), 1);
        const std::vector<std::string> before = out.List();
        VerifyOnlyCompleteMovies(out);
        QVERIFY(before.size() < 4);

        // Nothing arrives late: no message, no further file.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(m_prompts->Requests().size() == 2);  // the folder pick and the question only
        QCOMPARE(out.List(), before);
        QCOMPARE(ended.count(), 1);
    }

    void exitAndEscapeCloseTheDialog() {
        Click("IDOK");
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_dlg->result(), int(QDialog::Accepted));

        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_dlg->result(), int(QDialog::Rejected));
    }

    void destroyingDuringAJobIsSafe() {
        ScratchDir in;
        ScratchDir out;
        QVERIFY(StartLongConversion(in, out));
        m_dlg.reset();  // waits for the worker; the sanitizer build checks nothing is touched
        QCoreApplication::processEvents();
        QVERIFY(out.List().empty());
    }

    void aboutBox() {
        QString title;
        QStringList labels;
        auto inspect = [&](QDialog* about) {
            title = about->windowTitle();
            for (QLabel* label : about->findChildren<QLabel*>())
                if (!label->text().isEmpty()) labels << label->text();
        };
        QVERIFY(WithModal([&] { Click("IDC_ABOUT"); }, inspect));
        QCOMPARE(title, QStringLiteral("About Quorvel"));
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0], QStringLiteral("Quorvel Version 1.0"));
        QVERIFY(!labels[1].isEmpty());
        QVERIFY(m_dlg->isVisible());

        // F1 opens the same box.
        title.clear();
        labels.clear();
        m_dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
        QVERIFY(WithModal([&] { QTest::keyClick(m_dlg.get(), Qt::Key_F1); }, inspect));
        QCOMPARE(title, QStringLiteral("About Quorvel"));
        QCOMPARE(labels.value(0), QStringLiteral("Quorvel Version 1.0"));
    }
};

QTEST_MAIN(CQuorvelDlgTest)
#include "CQuorvelDlgTest.moc"

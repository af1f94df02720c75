// The dialog's texts and input conversions, apart from any window.

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include "app/DialogText.h"
#include "app/GuiCommandLine.h"

namespace {

JobResult Result(JobResult::Status status, std::string input, std::string error = {},
                 std::vector<std::string> warnings = {}) {
    JobResult result;
    result.status = status;
    result.input = std::move(input);
    result.error = std::move(error);
    result.warnings = std::move(warnings);
    return result;
}

}  // namespace

class DialogTextTest : public QObject {
    Q_OBJECT

private slots:
    void gifFilterMatchesAnyLetterCase() {
        // The patterns are what Qt's file dialogs take from between the parentheses.
        const QRegularExpression inParens(QStringLiteral("\\(([^)]*)\\)"));
        const QRegularExpressionMatch match = inParens.match(GifFileFilter());
        QVERIFY(match.hasMatch());
        const QStringList patterns = match.captured(1).split(QLatin1Char(' '));
        for (const char* name : {"a.gif", "B.GIF", "c.Gif", "d.gIF", "e.webp", "f.WebP", "g.png",
                                 "h.PNG", "i.apng", "j.APng"})
            QVERIFY2(QDir::match(patterns, QString::fromLatin1(name)), name);
        for (const char* name : {"a.gifx", "b.jpg", "gif", "c.gi", "d.web", "e.pngs"})
            QVERIFY2(!QDir::match(patterns, QString::fromLatin1(name)), name);
    }

    void pathsKeepTheirBytes() {
        const std::string path = "/tmp/\xc3\xa9t\xc3\xa9 anim.gif";  // UTF-8 "été anim.gif"
        QCOMPARE(TextFromPath(path), QString::fromUtf8("/tmp/\u00e9t\u00e9 anim.gif"));
        QCOMPARE(PathFromText(TextFromPath(path)), path);
    }

    void singleJobMessages() {
        const JobMessage converted =
            DescribeConversion(Result(JobResult::Status::Succeeded, "/in/a.gif"));
        QCOMPARE(converted.icon, JobMessage::Icon::Information);
        QCOMPARE(converted.text, QStringLiteral("The conversion finished successfully !!!"));

        const JobMessage extracted =
            DescribeExtraction(Result(JobResult::Status::Succeeded, "/in/a.gif"));
        QCOMPARE(extracted.icon, JobMessage::Icon::Information);
        QCOMPARE(extracted.text, QStringLiteral("The extraction finished successfully !!!"));

        const JobMessage failed =
            DescribeConversion(Result(JobResult::Status::Failed, "/in/bad.gif", "not a GIF file"));
        QCOMPARE(failed.icon, JobMessage::Icon::Warning);
        QVERIFY(failed.text.contains(QStringLiteral("/in/bad.gif: not a GIF file")));
        QVERIFY(!failed.text.contains(QStringLiteral("successfully")));

        const JobMessage failedExtraction = DescribeExtraction(
            Result(JobResult::Status::Failed, "/in/bad.gif", "cannot write /out/bad_f0.png"));
        QCOMPARE(failedExtraction.icon, JobMessage::Icon::Warning);
        QVERIFY(failedExtraction.text.startsWith(QStringLiteral("The extraction failed.")));
        QVERIFY(failedExtraction.text.contains(QStringLiteral("cannot write /out/bad_f0.png")));

        const JobMessage warned = DescribeConversion(
            Result(JobResult::Status::Succeeded, "/in/cut.gif", {}, {"truncated after 2 frames"}));
        QCOMPARE(warned.icon, JobMessage::Icon::Warning);
        QVERIFY(warned.text.contains(QStringLiteral("/in/cut.gif: truncated after 2 frames")));
        QVERIFY(!warned.text.contains(QStringLiteral("successfully")));

        QCOMPARE(DescribeConversion(Result(JobResult::Status::Cancelled, "/in/a.gif")).icon,
                 JobMessage::Icon::None);
        QCOMPARE(DescribeExtraction(Result(JobResult::Status::Cancelled, "/in/a.gif")).icon,
                 JobMessage::Icon::None);
    }

    void batchMessages() {
        BatchResult allGood;
        allGood.results = {Result(JobResult::Status::Succeeded, "/in/a.gif"),
                           Result(JobResult::Status::Succeeded, "/in/b.gif")};
        const JobMessage good = DescribeBatch(allGood, 2);
        QCOMPARE(good.icon, JobMessage::Icon::Information);
        QCOMPARE(good.text, QStringLiteral("The conversion finished successfully !!!"));

        BatchResult oneFailed;
        oneFailed.results = {Result(JobResult::Status::Succeeded, "/in/a.gif"),
                             Result(JobResult::Status::Failed, "/in/b.gif", "not a GIF file"),
                             Result(JobResult::Status::Succeeded, "/in/c.gif", {}, {"cut short"})};
        const JobMessage failed = DescribeBatch(oneFailed, 3);
        QCOMPARE(failed.icon, JobMessage::Icon::Warning);
        QVERIFY2(failed.text.contains(QStringLiteral("2 of 3 files converted.")),
                 qPrintable(failed.text));
        QVERIFY(failed.text.contains(QStringLiteral("/in/b.gif: not a GIF file")));
        QVERIFY(failed.text.contains(QStringLiteral("/in/c.gif: cut short")));
        QVERIFY(!failed.text.contains(QStringLiteral("/in/a.gif")));

        BatchResult cancelled;
        cancelled.cancelled = true;
        cancelled.results = {Result(JobResult::Status::Succeeded, "/in/a.gif"),
                             Result(JobResult::Status::Cancelled, "/in/b.gif")};
        QCOMPARE(DescribeBatch(cancelled, 4).icon, JobMessage::Icon::None);

        BatchResult cancelledAfterFailure = cancelled;
        cancelledAfterFailure.results.push_back(
            Result(JobResult::Status::Failed, "/in/c.gif", "cannot open"));
        const JobMessage late = DescribeBatch(cancelledAfterFailure, 4);
        QCOMPARE(late.icon, JobMessage::Icon::Warning);
        QVERIFY(late.text.contains(QStringLiteral("cancelled")));
        QVERIFY(late.text.contains(QStringLiteral("1 of 4 files converted.")));
        QVERIFY(late.text.contains(QStringLiteral("/in/c.gif: cannot open")));
    }
    // The times side by side, and when the movie is far enough from the GIF to offer the fix.
    void playingTimes() {
        const struct {
            JobPlan times;
            const char* text;
            bool differ;
        } cases[] = {
            {{.fps = 10, .movieMs = 60000, .gifMs = 30000}, "GIF 30.0 s \u00b7 movie 60.0 s at 10 fps", true},
            {{.fps = 20, .movieMs = 30000, .gifMs = 30000}, "GIF 30.0 s \u00b7 movie 30.0 s at 20 fps", false},
            {{.fps = 10, .movieMs = 3300, .gifMs = 3000}, "GIF 3.0 s \u00b7 movie 3.3 s at 10 fps", false},  // a tenth exactly
            {{.fps = 10, .movieMs = 2699, .gifMs = 3000}, "GIF 3.0 s \u00b7 movie 2.7 s at 10 fps", true},
        };
        for (const auto& c : cases) {
            QCOMPARE(DescribeTimes(c.times), QString::fromUtf8(c.text));
            QCOMPARE(TimesDiffer(c.times), c.differ);
        }
    }

    void progressAndTitle() {
        BatchProgress::State state;
        state.files = 3;
        state.filesDone = 1;
        state.run = {86, 600, 0.1};  // too soon to tell the time left
        QCOMPARE(DescribeProgress(state, false), QStringLiteral("86 of 600 frames, 14%"));
        state.run.seconds = 2.0;
        QCOMPARE(DescribeProgress(state, true),
                 QStringLiteral("1 of 3 files, 86 of 600 frames, 14%, 0:12 left"));
        state.run = {1, 4000, 1.0};
        QCOMPARE(DescribeProgress(state, false), QStringLiteral("1 of 4000 frames, 0%, 1:06:39 left"));
        state.run = {0, 0, 0};
        QCOMPARE(DescribeProgress(state, false), QStringLiteral("0 of 0 frames"));
        QCOMPARE(WindowTitle(14), QStringLiteral("14% \u00b7 Quorvel"));
        QCOMPARE(WindowTitle(std::nullopt), QStringLiteral("Quorvel"));
        QCOMPARE(DescribeCancel(0), QStringLiteral("Cancelled: nothing was written"));
        QCOMPARE(DescribeCancel(3), QStringLiteral("Cancelled: 3 files were written before"));
    }

    // The timing note names the dialog's own fix rather than the command line's option.
    void timingNoteNamesTheFix() {
        JobResult noted = Result(JobResult::Status::Succeeded, "/in/a.gif");
        noted.notes = {"plays in 60.0 s; the GIF lasts 30.0 s" + std::string(kGifTimingHint)};
        const QString expected = QStringLiteral(
            "/in/a.gif: plays in 60.0 s; the GIF lasts 30.0 s (\"Use the GIF's timing\" keeps it)");
        QCOMPARE(DescribeConversion(noted).text,
                 QStringLiteral("The conversion finished successfully !!!\n") + expected);
        QCOMPARE(DescribeConversion(noted).icon, JobMessage::Icon::Information);  // a note is no warning
        BatchResult batch;
        batch.results = {noted, Result(JobResult::Status::Succeeded, "/in/b.gif")};
        const JobMessage message = DescribeBatch(batch, 3, 1);
        QCOMPARE(message.icon, JobMessage::Icon::Information);
        QCOMPARE(message.text, QStringLiteral("The conversion finished successfully !!!\n"
                                              "1 of 3 files skipped: their movies exist.\n\n") +
                                   expected);
    }

    // About how large the movie will be, in KB below a thousand of them, else in MB.
    void movieSize_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("atMost");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << qint64(0) << false << "Movie file about 1 KB";
        QTest::newRow("rounds to the nearest") << qint64(1536) << false << "Movie file about 2 KB";
        QTest::newRow("rounds down") << qint64(1535) << false << "Movie file about 1 KB";
        QTest::newRow("KB") << qint64(120 * 1024) << false << "Movie file about 120 KB";
        QTest::newRow("last KB") << qint64(999 * 1024) << false << "Movie file about 999 KB";
        QTest::newRow("first MB") << qint64(1000 * 1024) << false << "Movie file about 1.0 MB";
        QTest::newRow("MB") << qint64(5767168) << false << "Movie file about 5.5 MB";
        QTest::newRow("changed areas") << qint64(120 * 1024) << true << "Movie file up to about 120 KB";
    }

    void movieSize() {
        QFETCH(qint64, bytes);
        QFETCH(bool, atMost);
        QFETCH(QString, text);
        QCOMPARE(DescribeMovieSize(bytes, atMost), text);
    }

    // The About box names no address kept for examples.
    void placeholderAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("placeholder");
        QTest::newRow("none") << "" << true;
        QTest::newRow(".example") << "https://quorvel.example" << true;
        QTest::newRow("example.org") << "https://example.org/quorvel" << true;
        QTest::newRow("under example.com") << "http://www.example.com" << true;
        QTest::newRow(".test") << "https://quorvel.test/" << true;
        QTest::newRow(".invalid") << "https://a.invalid" << true;
        QTest::newRow("localhost") << "http://localhost:8080/" << true;
        QTest::newRow("a real name") << "https://quorvel.org" << false;
        QTest::newRow("a project page") << "https://codeberg.org/quorvel/quorvel" << false;
        QTest::newRow("like example, but not") << "https://examples.org" << false;
        QTest::newRow("ends like it, but not") << "https://myexample.com" << false;
    }

    void placeholderAddresses() {
        QFETCH(QString, address);
        QFETCH(bool, placeholder);
        QCOMPARE(IsPlaceholderAddress(address), placeholder);
    }

    // A file manager hands over every file chosen; each is taken, in order.
    void commandLineTakesEveryPath_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("status");
        QTest::newRow("none") << QStringList{} << QStringList{} << -1;
        QTest::newRow("one") << QStringList{"a.gif"} << QStringList{"a.gif"} << -1;
        QTest::newRow("several") << QStringList{"a.gif", "b.gif", "dir"} << QStringList{"a.gif", "b.gif", "dir"} << -1;
        QTest::newRow("after --") << QStringList{"--", "-x.gif", "b.gif"} << QStringList{"-x.gif", "b.gif"} << -1;
        QTest::newRow("unknown option") << QStringList{"a.gif", "-q"} << QStringList{"a.gif"} << 2;
    }

    void commandLineTakesEveryPath() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, paths);
        QFETCH(int, status);
        std::vector<std::string> strings{"quorvel-gui"};
        for (const QString& arg : args) strings.push_back(arg.toStdString());
        std::vector<const char*> argv;
        for (const std::string& arg : strings) argv.push_back(arg.c_str());
        const GuiCommandLine parsed = ParseGuiCommandLine(static_cast<int>(argv.size()), argv.data());
        QCOMPARE(parsed.exitStatus, status);
        QStringList got;
        for (const std::string& path : parsed.paths) got << QString::fromStdString(path);
        QCOMPARE(got, paths);
    }
};

QTEST_GUILESS_MAIN(DialogTextTest)
#include "DialogTextTest.moc"

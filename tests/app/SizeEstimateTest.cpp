// The guess at a movie's size that the dialog shows before converting (jobs/SizeEstimate.h).

#include <QTest>
#include <atomic>
#include <filesystem>

#include "anim/AnimationScan.h"
#include "jobs/SizeEstimate.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

// `frames` frames of width x height, each of one colour; `repeat`: all the same colour.
bool WriteFrames(const fs::path& path, int frames, int width, int height, bool repeat) {
    GifBuilder gif(width, height);
    gif.GlobalColors({kRed, kGreen, kBlue, kWhite}).Loop(0);
    for (int i = 0; i < frames; ++i)
        gif.Solid(0, 0, width, height, static_cast<uint8_t>(repeat ? 0 : i % 4), 10);
    return gif.Write(path);
}

ConversionPlan PlanFor(const fs::path& gif) {
    const ConvertOptions options;
    ConversionPlan plan = PlanConversion(ScanAnimationFile(gif.string(), options.Rules()), options);
    plan.gif = gif.string();
    return plan;
}

}  // namespace

class SizeEstimateTest : public QObject {
    Q_OBJECT

private slots:
    void guesses_data() {
        QTest::addColumn<QString>("input");  // "missing", "broken", or "frames x width x height"
        QTest::addColumn<int>("sample");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("sampled");  // -1: no guess
        QTest::newRow("fewer frames than asked") << "3x32x24" << 8 << false << 3;
        QTest::newRow("more frames than asked") << "20x32x24" << 4 << false << 4;
        QTest::newRow("very large frames: one") << "3x4096x2048" << 8 << false << 1;
        QTest::newRow("cancelled") << "20x32x24" << 8 << true << -1;
        QTest::newRow("file gone since the scan") << "missing" << 8 << false << -1;
        QTest::newRow("not a GIF") << "broken" << 8 << false << -1;
    }

    void guesses() {
        QFETCH(QString, input);
        QFETCH(int, sample);
        QFETCH(bool, cancel);
        QFETCH(int, sampled);
        ScratchDir dir;
        const fs::path gif = dir / "a.gif";
        const QStringList size = input.split('x');
        QVERIFY(size.size() == 3 ? WriteFrames(gif, size[0].toInt(), size[1].toInt(), size[2].toInt(), false)
                                 : WriteFrames(gif, 2, 8, 8, false));
        ConversionPlan plan = PlanFor(gif);
        QVERIFY(plan.error.empty());
        if (input == QLatin1String("missing")) fs::remove(gif);
        if (input == QLatin1String("broken")) QVERIFY(WriteBytes(gif, {'<', 'p', '>'}));
        const std::atomic<bool> stop{cancel};
        const SizeEstimate guess = EstimateMovieSize(plan, sample, &stop);
        QCOMPARE(guess.ok, sampled >= 0);
        QCOMPARE(guess.error.empty(), sampled >= 0);
        if (sampled < 0) return;
        QCOMPARE(guess.sampled, sampled);
        QVERIFY(guess.bytes > 0);
    }

    // A plan that cannot be made is no guess either: its error is the guess's.
    void noGuessWithoutAPlan() {
        ConversionPlan plan;
        plan.error = "the GIF has no frames";
        const SizeEstimate guess = EstimateMovieSize(plan, 8);
        QVERIFY(!guess.ok);
        QCOMPARE(guess.error, plan.error);
    }

    // The movie stores a repeated picture once, and so does the guess; more frames cost more.
    void repeatsAndLength() {
        ScratchDir dir;
        QVERIFY(WriteFrames(dir / "same.gif", 8, 64, 48, true));
        QVERIFY(WriteFrames(dir / "changing.gif", 8, 64, 48, false));
        QVERIFY(WriteFrames(dir / "longer.gif", 80, 64, 48, false));
        const SizeEstimate same = EstimateMovieSize(PlanFor(dir / "same.gif"), 8);
        const SizeEstimate changing = EstimateMovieSize(PlanFor(dir / "changing.gif"), 8);
        const SizeEstimate longer = EstimateMovieSize(PlanFor(dir / "longer.gif"), 8);
        QVERIFY(same.ok && changing.ok && longer.ok);
        QVERIFY2(same.bytes < changing.bytes, qPrintable(QStringLiteral("%1 vs %2").arg(same.bytes).arg(changing.bytes)));
        // The first eight frames stand for all eighty.
        QVERIFY(longer.bytes > 9 * (changing.bytes - 128) && longer.bytes < 11 * changing.bytes);
    }
};

QTEST_GUILESS_MAIN(SizeEstimateTest)
#include "SizeEstimateTest.moc"

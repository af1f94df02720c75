#include "app/DialogText.h"

#include "anim/AnimationFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("CQuorvelDlg", text); }

QString Seconds(int64_t ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); }

// "0:42", "1:02:03".
QString Clock(double seconds) {
    const auto s = static_cast<qint64>(seconds + 0.5);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString DescribeGif(const GifInfo& info) {
    if (!info.opened) {
        if (info.notGif) return Tr("This is not a GIF file.");
        return Tr("Cannot read the GIF: %1").arg(QString::fromStdString(info.error));
    }
    QString loops;
    if (!info.loopExtension)
        loops = Tr("plays once");
    else if (*info.loopExtension == 0)
        loops = Tr("loops forever");
    else
        loops = Tr("loop count %1").arg(*info.loopExtension);
    QString text = Tr("%1 x %2 pixels, %3 %4, %5")
                       .arg(info.width)
                       .arg(info.height)
                       .arg(info.frames)
                       .arg(info.frames == 1 ? Tr("frame") : Tr("frames"), loops);
    if (!info.error.empty())
        text += Tr("; breaks off: %1").arg(QString::fromStdString(info.error));
    return text;
}

}  // namespace

QString LibrariesText() {
    const struct {
        const char* name;
        const char* licence;
        const char* use;
    } libraries[] = {
        {"giflib", "MIT", "reads GIF files"},
        {"libwebp", "BSD-3-Clause", "reads WebP files"},
        {"libpng", "libpng licence", "reads PNG and APNG files"},
        {"libjpeg-turbo", "IJG, BSD-3-Clause and zlib", "writes the movies' JPEG pictures"},
        {"zlib", "zlib licence", "compresses movies and lossless pictures"},
        {"liblzma (XZ Utils)", "public domain", "compresses LZMA movies"},
        {"FreeImage", "GPLv2, GPLv3 or the FreeImage Public License", "writes extracted frames"},
        {"Qt", "LGPLv3", "this window"},
        {"Ruffle", "MIT or Apache-2.0", "plays movies in the browser (quorvel play)"},
    };
    QStringList lines{Tr("Made with:")};
    for (const auto& library : libraries)
        lines << Tr("%1 (%2): %3").arg(QString::fromLatin1(library.name), Tr(library.licence),
                                       Tr(library.use));
    return lines.join(QLatin1Char('\n'));
}

bool IsPlaceholderAddress(const QString& address) {
    const QString host = QUrl(address.trimmed()).host().toLower();
    if (host.isEmpty()) return true;
    for (const char* name :
         {"example.com", "example.org", "example.net", "example", "test", "invalid", "localhost"}) {
        const QString reserved = QString::fromLatin1(name);
        if (host == reserved || host.endsWith(QLatin1Char('.') + reserved)) return true;
    }
    return false;
}

QString GifFileFilter() {
    return QStringLiteral("GIF Files (*.[gG][iI][fF] *.[wW][eE][bB][pP] *.[pP][nN][gG] *.[aA][pP][nN][gG])");
}

bool HasGifName(const QString& path) { return HasAnimationExtension(path.toStdString()); }

std::string PathFromText(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString TextFromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString DescribeInput(const InputFacts& facts) {
    if (facts.path.isEmpty()) return {};
    if (!facts.batch) return DescribeGif(facts.gif);
    if (!facts.listError.empty()) return QString::fromStdString(facts.listError);
    const std::size_t n = facts.files.size();
    if (facts.chosen) return n == 1 ? Tr("1 GIF file chosen") : Tr("%1 GIF files chosen").arg(n);
    return n == 1 ? Tr("1 GIF file in the folder") : Tr("%1 GIF files in the folder").arg(n);
}

QString InputProblem(const InputFacts& facts, bool scanning, bool outputGiven) {
    if (facts.path.isEmpty())
        return facts.batch ? Tr("Choose a folder of GIF files.") : Tr("Choose a GIF file.");
    if (scanning) return facts.batch ? Tr("Looking for GIF files...") : Tr("Reading the GIF...");
    if (facts.batch) {
        if (!facts.listError.empty())
            return Tr("The folder cannot be read: %1").arg(QString::fromStdString(facts.listError));
        if (facts.files.empty()) return Tr("The folder holds no GIF files.");
    } else if (!facts.gif.opened || facts.gif.frames == 0) {
        if (facts.gif.opened) return Tr("The GIF has no frames.");
        return facts.gif.notGif ? Tr("This is not a GIF file.")
                                : Tr("The GIF cannot be read: %1")
                                      .arg(QString::fromStdString(facts.gif.error));
    }
    if (!outputGiven) return Tr("Choose the output folder.");
    return {};
}

QString DescribeMovieSize(int64_t bytes, bool atMost) {
    constexpr int64_t kKiB = 1024;
    const QString size = bytes < 1000 * kKiB
                             ? Tr("%1 KB").arg(std::max<int64_t>(1, (bytes + kKiB / 2) / kKiB))
                             : Tr("%1 MB").arg(static_cast<double>(bytes) / (kKiB * kKiB), 0, 'f', 1);
    return (atMost ? Tr("Movie file up to about %1") : Tr("Movie file about %1")).arg(size);
}

QString DescribeTimes(const JobPlan& times) {
    return Tr("GIF %1 s \u00b7 movie %2 s at %3 fps")
        .arg(Seconds(times.gifMs), Seconds(times.movieMs))
        .arg(times.fps);
}

bool TimesDiffer(const JobPlan& times) {
    return 10 * std::llabs(times.movieMs - times.gifMs) > times.gifMs;
}

QString DescribeProgress(const BatchProgress::State& state, bool batch) {
    const BatchProgress::Count& run = state.run;
    QString text = Tr("%1 of %2 frames").arg(run.done).arg(run.total);
    if (const std::optional<int> percent = run.Percent()) text += QStringLiteral(", %1%").arg(*percent);
    if (const std::optional<double> left = run.SecondsLeft())
        text += Tr(", %1 left").arg(Clock(*left));
    if (!batch) return text;
    return Tr("%1 of %2 files, ").arg(state.filesDone).arg(state.files) + text;
}

QString WindowTitle(std::optional<int> percent) {
    const QString name = QStringLiteral("Quorvel");
    return percent ? QStringLiteral("%1% \u00b7 %2").arg(*percent).arg(name) : name;
}

QString DescribeCancel(std::size_t written) {
    if (written == 0) return Tr("Cancelled: nothing was written");
    return written == 1 ? Tr("Cancelled: 1 file was written before")
                        : Tr("Cancelled: %1 files were written before").arg(written);
}

namespace {

// "file: cause", or the cause alone when the job had no file.
QString FileLine(const std::string& file, const std::string& text) {
    const QString what = QString::fromStdString(text);
    if (file.empty()) return what;
    return TextFromPath(file) + QStringLiteral(": ") + what;
}

// A note as the dialog says it: the timing note names the dialog's control, not the command
// line's option.
QString NoteLine(const std::string& file, std::string note) {
    if (note.ends_with(kGifTimingHint)) {
        note.resize(note.size() - kGifTimingHint.size());
        return FileLine(file, note) + Tr(" (\"%1\" keeps it)").arg(Tr(kUseGifTiming));
    }
    return FileLine(file, note);
}

JobMessage DescribeSingle(const JobResult& result, const char* done, const QString& job) {
    switch (result.status) {
        case JobResult::Status::Cancelled:
            return {};
        case JobResult::Status::Failed:
            return {JobMessage::Icon::Warning, Tr("The %1 failed.\n\n%2")
                                                   .arg(job, FileLine(result.input, result.error))};
        case JobResult::Status::Succeeded:
            break;
    }
    if (result.warnings.empty()) {
        QString text = QString::fromUtf8(done);
        for (const std::string& note : result.notes) text += '\n' + NoteLine(result.input, note);
        return {JobMessage::Icon::Information, text};
    }
    QStringList lines;
    for (const std::string& warning : result.warnings) lines << FileLine(result.input, warning);
    for (const std::string& note : result.notes) lines << NoteLine(result.input, note);
    return {JobMessage::Icon::Warning,
            Tr("The %1 finished with warnings.\n\n%2").arg(job, lines.join('\n'))};
}

}  // namespace

JobMessage DescribeConversion(const JobResult& result) {
    return DescribeSingle(result, kConversionDone, Tr("conversion"));
}

JobMessage DescribeExtraction(const JobResult& result) {
    return DescribeSingle(result, kExtractionDone, Tr("extraction"));
}

JobMessage DescribeBatch(const BatchResult& result, std::size_t fileCount, std::size_t skipped) {
    QStringList failed;
    QStringList warned;
    QStringList noted;
    int converted = 0;
    for (const JobResult& file : result.results) {
        if (file.status == JobResult::Status::Failed) failed << FileLine(file.input, file.error);
        if (file.status != JobResult::Status::Succeeded || !file.skipped.empty()) continue;
        ++converted;
        for (const std::string& warning : file.warnings) warned << FileLine(file.input, warning);
        for (const std::string& note : file.notes) noted << NoteLine(file.input, note);
    }
    const QString notes = noted.isEmpty() ? QString() : QStringLiteral("\n\n") + noted.join('\n');
    const QString skips = skipped == 0 ? QString()
                                       : Tr("\n%1 of %2 files skipped: their movies exist.")
                                             .arg(skipped)
                                             .arg(fileCount);
    if (failed.isEmpty() && warned.isEmpty()) {
        if (result.cancelled) return {};
        return {JobMessage::Icon::Information, QString::fromUtf8(kConversionDone) + skips + notes};
    }
    QString text = result.cancelled ? Tr("The conversion was cancelled. ") : QString();
    text += Tr("%1 of %2 files converted.").arg(converted).arg(fileCount) + skips;
    if (!failed.isEmpty()) text += Tr("\n\nFailed:\n") + failed.join('\n');
    if (!warned.isEmpty()) text += Tr("\n\nWarnings:\n") + warned.join('\n');
    return {JobMessage::Icon::Warning, text + notes};
}

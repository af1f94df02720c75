#include "app/DialogText.h"

#include <QFile>
#include <QStringList>


QString VersionMajorMinor(const QString& version) {
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 2) return version;
    return parts[0] + QLatin1Char('.') + parts[1];
}

QString GifFileFilter() { return QStringLiteral("GIF Files (*.[gG][iI][fF])"); }

std::string PathFromText(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString TextFromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

namespace {

// "file: cause", or the cause alone when the job had no file.
QString FileLine(const std::string& file, const std::string& text) {
    const QString what = QString::fromStdString(text);
    if (file.empty()) return what;
    return TextFromPath(file) + QStringLiteral(": ") + what;
}

JobMessage DescribeSingle(const JobResult& result, const char* done, const QString& job) {
    switch (result.status) {
        case JobResult::Status::Cancelled:
            return {};
        case JobResult::Status::Failed:
            return {JobMessage::Icon::Warning, QStringLiteral("The %1 failed.\n\n%2")
                                                   .arg(job, FileLine(result.input, result.error))};
        case JobResult::Status::Succeeded:
            break;
    }
    if (result.warnings.empty()) {
        QString text = QString::fromUtf8(done);
        for (const std::string& note : result.notes) text += '\n' + FileLine(result.input, note);
        return {JobMessage::Icon::Information, text};
    }
    QStringList lines;
    for (const std::string& warning : result.warnings) lines << FileLine(result.input, warning);
    return {JobMessage::Icon::Warning,
            QStringLiteral("The %1 finished with warnings.\n\n%2").arg(job, lines.join('\n'))};
}

}  // namespace

JobMessage DescribeConversion(const JobResult& result) {
    return DescribeSingle(result, kConversionDone, QStringLiteral("conversion"));
}

JobMessage DescribeExtraction(const JobResult& result) {
    return DescribeSingle(result, kExtractionDone, QStringLiteral("extraction"));
}

JobMessage DescribeBatch(const BatchResult& result, std::size_t fileCount) {
    QStringList failed;
    QStringList warned;
    int converted = 0;
    for (const JobResult& file : result.results) {
        if (file.status == JobResult::Status::Failed) failed << FileLine(file.input, file.error);
        if (file.status != JobResult::Status::Succeeded) continue;
        ++converted;
        for (const std::string& warning : file.warnings) warned << FileLine(file.input, warning);
    }
    if (failed.isEmpty() && warned.isEmpty()) {
        if (result.cancelled) return {};
        return {JobMessage::Icon::Information, QString::fromUtf8(kConversionDone)};
    }
    QString text = result.cancelled ? QStringLiteral("The conversion was cancelled. ") : QString();
    text += QStringLiteral("%1 of %2 files converted.").arg(converted).arg(fileCount);
    if (!failed.isEmpty()) text += QStringLiteral("\n\nFailed:\n") + failed.join('\n');
    if (!warned.isEmpty()) text += QStringLiteral("\n\nWarnings:\n") + warned.join('\n');
    return {JobMessage::Icon::Warning, text};
}

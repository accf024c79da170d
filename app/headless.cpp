// The headless runner: the rotation engine under a console application, and its plain report.
#include "app/headless.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

#include "app/startup.h"
#include "app/terminal.h"
#include "engine/durationtext.h"
#include "engine/messagetext.h"
#include "engine/orientationcheck.h"
#include "engine/rotationengine.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

QString trCount(const char *text, int count) {
    return QCoreApplication::translate("Pivotta", text, "", count);
}

void writeLine(std::FILE *stream, const QString &line) {
    std::fputs(qPrintable(line + '\n'), stream);
    std::fflush(stream);
}

// What one run asks for, read from the command line.
struct HeadlessRequest {
    QString folder; // the folder to rotate, or
    QString photo;  // the one photo
    bool dryRun = false;
    int jobs = 0; // 0: as the settings say
};

// Drives one run of the engine and writes its report as it goes.
class HeadlessRun : public QObject {
public:
    explicit HeadlessRun(const HeadlessRequest &request);
    int exec();

private:
    void start();
    void rotateOnePhoto();
    void onReport(const PhotoReport &report);
    void onProgress(int handled, int total);
    void onFinished(const RunSummary &summary);
    void clearProgressLine();

    const HeadlessRequest request;
    RotationEngine engine;
    const bool showProgress = standardOutputIsTerminal();
    QElapsedTimer timer;
    bool progressShown = false;
    int failures = 0;
};

HeadlessRun::HeadlessRun(const HeadlessRequest &headlessRequest)
    : request(headlessRequest) {
    engine.setParallelRotations(request.jobs);
    connect(&engine, &RotationEngine::photoReported, this, &HeadlessRun::onReport);
    connect(&engine, &RotationEngine::progress, this, &HeadlessRun::onProgress);
    connect(&engine, &RotationEngine::runFinished, this, &HeadlessRun::onFinished);
}

int HeadlessRun::exec() {
    QMetaObject::invokeMethod(this, &HeadlessRun::start, Qt::QueuedConnection);
    const int status = QCoreApplication::exec();
    return status != 0 ? status : (failures > 0 ? HeadlessPhotoFailed : HeadlessSuccess);
}

void HeadlessRun::start() {
    timer.start();
    if (!request.folder.isEmpty())
        engine.startUserBatch(request.folder, request.dryRun);
    else
        rotateOnePhoto();
}

// A single photo is looked at like a photo of a folder: its orientation decides the turn.
void HeadlessRun::rotateOnePhoto() {
    const QString folder = QFileInfo(request.photo).absolutePath();
    const OrientationCheck check = engine.checkPhoto(request.photo, folder);
    RunSummary summary;
    summary.kind = RunSummary::SinglePhoto;
    summary.entriesSeen = 1;
    if (check.finding == OrientationCheck::Mirrored || check.finding == OrientationCheck::Unknown ||
        check.finding == OrientationCheck::Changed)
        onReport({request.photo, PhotoReport::Left, Turn::None, check.reason});
    else if (check.finding == OrientationCheck::Unreadable ||
             check.finding == OrientationCheck::NotOpened)
        onReport({request.photo, PhotoReport::Failed, Turn::None,
                  check.reason.isEmpty() ? tr("the photo cannot be read") : check.reason});
    if (check.turn == Turn::None) {
        summary.failed = failures;
        onFinished(summary);
        return;
    }
    if (request.dryRun) {
        summary.photosToRotate = 1;
        onReport({request.photo, PhotoReport::WouldRotate, check.turn, QString()});
        onFinished(summary);
        return;
    }
    engine.rotatePhoto(request.photo, check.turn, folder);
}

void HeadlessRun::onReport(const PhotoReport &report) {
    if (report.outcome == PhotoReport::Failed)
        ++failures;
    clearProgressLine();
    writeLine(stdout, headlessReportLine(report));
}

void HeadlessRun::onProgress(int handled, int total) {
    if (!showProgress)
        return;
    std::fputs(qPrintable(QString("\r%1").arg(tr("%1 of %2 photos").arg(handled).arg(total))),
               stdout);
    std::fflush(stdout);
    progressShown = true;
}

void HeadlessRun::onFinished(const RunSummary &summary) {
    clearProgressLine();
    RunSummary counted = summary;
    if (counted.kind == RunSummary::SinglePhoto) {
        counted.photosToRotate = qMax(counted.photosToRotate, counted.rotated + counted.failed);
        counted.entriesSeen = 1;
        counted.elapsedMs = timer.elapsed();
    }
    counted.failed = failures;
    for (const QString &line : headlessSummaryLines(counted))
        writeLine(stdout, line);
    QCoreApplication::exit(0);
}

void HeadlessRun::clearProgressLine() {
    if (!progressShown)
        return;
    // Back to the line's start, and the rest of the line cleared.
    std::fputs("\r\033[K", stdout);
    progressShown = false;
}

// Reads the command line; on a bad one, says why on standard error and returns false.
bool readRequest(const QCommandLineParser &parser, HeadlessRequest *request) {
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        writeLine(stderr, tr("Pivotta: --headless needs a folder or a photo to rotate."));
        return false;
    }
    const QFileInfo destination(positional.first());
    if (destination.isDir()) {
        request->folder = QDir::cleanPath(destination.absoluteFilePath());
    } else if (destination.isFile()) {
        request->photo = destination.absoluteFilePath();
    } else {
        writeLine(stderr, tr("Pivotta: there is no folder or photo %1.")
                              .arg(QDir::toNativeSeparators(positional.first())));
        return false;
    }
    request->dryRun = parser.isSet("dry-run");
    if (parser.isSet("jobs")) {
        bool isNumber = false;
        request->jobs = parser.value("jobs").toInt(&isNumber);
        if (!isNumber || request->jobs < 1) {
            writeLine(stderr, tr("Pivotta: --jobs needs a whole number of 1 or more, not \"%1\".")
                                  .arg(parser.value("jobs")));
            return false;
        }
    }
    return true;
}
} // namespace

QString headlessReportLine(const PhotoReport &report) {
    const QString path = QDir::toNativeSeparators(report.path);
    switch (report.outcome) {
    case PhotoReport::Rotated:
        if (report.reason.isEmpty())
            return tr("rotated: %1 (%2)").arg(path, turnDescription(report.turn));
        return tr("rotated: %1 (%2; %3)")
            .arg(path, turnDescription(report.turn),
                 report.reason.chopped(report.reason.endsWith('.')));
    case PhotoReport::WouldRotate:
        return tr("would rotate: %1 (%2)").arg(path, turnDescription(report.turn));
    case PhotoReport::Left:
        return tr("left: %1 (%2)").arg(path, report.reason);
    case PhotoReport::Failed:
        return tr("failed: %1 (%2)").arg(path, report.reason);
    }
    return path;
}

QStringList headlessSummaryLines(const RunSummary &summary) {
    QStringList lines;
    if (summary.interrupted)
        lines << tr("Rotating interrupted.");
    lines << trCount("%n image(s) with EXIF orientation metadata were found,",
                     summary.photosToRotate) +
                 trCount(" out of %n photo(s) total.", summary.entriesSeen);
    lines << trCount("%n image(s) were successfully rotated.", summary.rotated);
    if (summary.failed > 0)
        lines << trCount("%n photo(s) could not be rotated.", summary.failed);
    lines << durationText(summary.elapsedMs, tr("The operation took %1 minutes %2 seconds."),
                          tr("The operation took %2 seconds."), QString());
    return lines;
}

int runHeadless(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    QCommandLineParser parser;
    addStartupOptions(parser);
    if (!parser.parse(app.arguments())) {
        writeLine(stderr, "Pivotta: " + parser.errorText());
        return HeadlessBadUsage;
    }
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    HeadlessRequest request;
    if (!readRequest(parser, &request))
        return HeadlessBadUsage;
    HeadlessRun run(request);
    return run.exec();
}

// The headless runner: the rotation engine under a console application, and its plain report.
#include "app/headless.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

#include "app/startup.h"
#include "app/stopsignals.h"
#include "app/terminal.h"
#include "engine/rotationengine.h"
#include "presentation/headlessreport.h"
#include "watcher/folderwatcher.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
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
    bool watch = false; // watch the folder until a signal ends it
    int jobs = 0;       // 0: as the settings say
};

// Drives one run of the engine and writes its report as it goes.
class HeadlessRun : public QObject {
public:
    explicit HeadlessRun(const HeadlessRequest &request);
    int exec();

private:
    void start();
    void startWatching();
    void onWatchedRunFinished(const RunSummary &summary);
    void endWatching();
    void onStopRequested(int signal);
    void onRunEvent(const RunEvent &event);
    void onPhotoFinished(const PhotoOutcome &outcome);
    void onListingProgress(int found);
    void onProgress(int handled, int total);
    void onFinished(const RunSummary &summary);
    void showProgressLine(const QString &text);
    void clearProgressLine();

    const HeadlessRequest request;
    RotationEngine engine;
    FolderWatcher *watcher = nullptr; // with --watch
    RunSummary watched;               // the watcher runs' counts added up
    QElapsedTimer watchedFor;
    StopSignals stopSignals;
    const bool showProgress = standardOutputIsTerminal();
    bool progressShown = false;
    bool anyFailed = false;
    int stoppedBy = 0; // the signal that asked for the end
    bool watchedFolderGone = false;
};

HeadlessRun::HeadlessRun(const HeadlessRequest &headlessRequest)
    : request(headlessRequest) {
    engine.setParallelRotations(request.jobs);
    connect(&engine, &RotationEngine::runEvent, this, &HeadlessRun::onRunEvent);
    connect(&engine, &RotationEngine::photoFinished, this, &HeadlessRun::onPhotoFinished);
    connect(&engine, &RotationEngine::listingProgress, this, &HeadlessRun::onListingProgress);
    connect(&engine, &RotationEngine::progress, this, &HeadlessRun::onProgress);
    connect(&stopSignals, &StopSignals::stopRequested, this, &HeadlessRun::onStopRequested);
    if (request.watch) {
        watcher = new FolderWatcher(&engine, this);
        connect(watcher, &FolderWatcher::watchEvent, this, &HeadlessRun::onRunEvent);
        connect(&engine, &RotationEngine::runFinished, this, &HeadlessRun::onWatchedRunFinished);
    } else {
        connect(&engine, &RotationEngine::runFinished, this, &HeadlessRun::onFinished);
    }
}

int HeadlessRun::exec() {
    QMetaObject::invokeMethod(this, &HeadlessRun::start, Qt::QueuedConnection);
    const int status = QCoreApplication::exec();
    if (status != 0)
        return status;
    // Watching ends by a signal, as asked, or because the watched folder went (a service manager
    // may start it again once the folder is back).
    if (request.watch)
        return watchedFolderGone ? HeadlessPhotoFailed : HeadlessSuccess;
    if (stoppedBy != 0)
        return HeadlessStoppedBySignal + stoppedBy;
    return anyFailed ? HeadlessPhotoFailed : HeadlessSuccess;
}

// A single photo is looked at like a photo of a folder: its orientation decides the turn.
void HeadlessRun::start() {
    if (request.watch)
        startWatching();
    else if (!request.folder.isEmpty())
        engine.startUserBatch(request.folder, request.dryRun);
    else
        engine.rotateByOrientation(request.photo, QFileInfo(request.photo).absolutePath(),
                                   request.dryRun);
}

// Stops as Stop does; the summary follows once the tools have ended. A signal before the run
// began ends the program at once.
void HeadlessRun::onStopRequested(int signal) {
    stoppedBy = signal;
    if (request.watch) {
        endWatching();
        return;
    }
    if (engine.isBusy())
        engine.stop();
    else
        QCoreApplication::exit(0);
}

// Watches the folder and its subfolders; photos that arrive are turned, what was there is left.
void HeadlessRun::startWatching() {
    watched.kind = RunSummary::WatcherRun;
    watched.folder = request.folder;
    watchedFor.start();
    watcher->setCurrentFolder(request.folder);
    watcher->setWatching(true, false);
}

void HeadlessRun::onWatchedRunFinished(const RunSummary &summary) {
    watched.photosToRotate += summary.photosToRotate;
    watched.entriesSeen += summary.entriesSeen;
    watched.rotated += summary.rotated;
    watched.failed += summary.failed;
    watched.notRead += summary.notRead;
    watched.interrupted = watched.interrupted || summary.interrupted;
    for (const QString &trash : summary.trashFolders) {
        if (!watched.trashFolders.contains(trash))
            watched.trashFolders << trash;
    }
    if (stoppedBy != 0 || watchedFolderGone)
        endWatching();
}

// Nothing new is started; a photo in hand is finished or stopped whole, and the summary of all
// the watcher runs ends the report.
void HeadlessRun::endWatching() {
    if (watcher->isWatching())
        watcher->setWatching(false, false);
    if (engine.isBusy()) {
        engine.stop(); // the run's end comes back here
        return;
    }
    clearProgressLine();
    watched.elapsedMs = watchedFor.elapsed();
    for (const QString &line : headlessSummaryLines(watched))
        writeLine(stdout, line);
    QCoreApplication::exit(0);
}

void HeadlessRun::onRunEvent(const RunEvent &event) {
    const QString line = headlessEventLine(event);
    if (line.isEmpty())
        return;
    clearProgressLine();
    writeLine(stdout, line);
    if (request.watch && event.kind == RunEvent::WatchedFolderGone) {
        watchedFolderGone = true;
        endWatching();
    }
}

void HeadlessRun::onPhotoFinished(const PhotoOutcome &outcome) {
    clearProgressLine();
    writeLine(stdout, headlessReportLine(outcome));
}

void HeadlessRun::onListingProgress(int found) {
    showProgressLine(tr("Listing photos… %L1 found").arg(found));
}

void HeadlessRun::onProgress(int handled, int total) {
    showProgressLine(tr("%1 of %2 photos").arg(handled).arg(total));
}

void HeadlessRun::showProgressLine(const QString &text) {
    if (!showProgress)
        return;
    // Back to the line's start, the text, and the rest of the line cleared.
    std::fputs(qPrintable("\r" + text + "\033[K"), stdout);
    std::fflush(stdout);
    progressShown = true;
}

void HeadlessRun::onFinished(const RunSummary &summary) {
    clearProgressLine();
    anyFailed = summary.failed > 0 || summary.notRead > 0;
    for (const QString &line : headlessSummaryLines(summary))
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
    } else if (destination.exists()) {
        // Anything else that is there is looked at as a photo, and says what it is when it is
        // none (a FIFO, a device).
        request->photo = destination.absoluteFilePath();
    } else {
        writeLine(stderr, tr("Pivotta: there is no folder or photo %1.")
                              .arg(QDir::toNativeSeparators(positional.first())));
        return false;
    }
    request->dryRun = parser.isSet("dry-run");
    request->watch = parser.isSet("watch");
    if (request->watch && request->folder.isEmpty()) {
        writeLine(stderr, tr("Pivotta: --headless --watch needs a folder to watch, not a photo."));
        return false;
    }
    if (request->watch && request->dryRun) {
        writeLine(stderr,
                  tr("Pivotta: --watch turns the photos that arrive; it has no --dry-run."));
        return false;
    }
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

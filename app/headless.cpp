// The headless runner: the rotation engine under a console application, and its plain report.
#include "app/headless.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <utility>

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

// A folder or photo named on the command line, as it was found.
struct Destination {
    enum Kind { Folder, Photo, Missing };
    Kind kind = Missing;
    QString path; // absolute for those found, as given for those missing
};

Destination destinationOf(const QString &argument) {
    const QFileInfo info(argument);
    if (info.isDir())
        return {Destination::Folder, QDir::cleanPath(info.absoluteFilePath())};
    // Anything else that is there is looked at as a photo, and says what it is when it is none
    // (a FIFO, a device).
    if (info.exists())
        return {Destination::Photo, info.absoluteFilePath()};
    return {Destination::Missing, argument};
}

// What the command line asks for: the destinations in its order, each rotated as a run of its
// own, and the options for all of them.
struct HeadlessRequest {
    QList<Destination> found;
    QStringList missing;
    bool dryRun = false;
    bool watch = false; // watch the one folder until a signal ends it
    int jobs = 0;       // 0: as the settings say
};

// Drives the engine through one run for each destination, writes the report as it goes, and
// ends with one summary for them all.
class HeadlessRun : public QObject {
public:
    explicit HeadlessRun(const HeadlessRequest &request);
    int exec();

private:
    void start();
    void startNext();
    void finishAll();
    void startWatching();
    void onWatchedRunFinished(const RunSummary &summary);
    void endWatching();
    void onStopRequested(int signal);
    void onRunEvent(const RunEvent &event);
    void onPhotoFinished(const PhotoOutcome &outcome);
    void onPhotoStep(const PhotoStep &step);
    void onListingProgress(int found);
    void onProgress(int handled, int total);
    void onFinished(const RunSummary &summary);
    void showProgressLine(const QString &text);
    void clearProgressLine();

    const HeadlessRequest request;
    RotationEngine engine;
    FolderWatcher *watcher = nullptr; // with --watch
    QElapsedTimer watchedFor;
    StopSignals stopSignals;
    const bool showProgress = standardOutputIsTerminal();
    bool progressShown = false;
    bool anyFailed = false;
    bool anyLeft = false;  // photos left for a later run
    int stoppedBy = 0;     // the signal that asked for the end
    qsizetype started = 0; // destinations whose run has begun
    bool finished = false; // the summary is written
    QList<RunSummary> summaries;
    bool watchedFolderGone = false;
    int stillAwaited = 0; // photos the watcher still awaited when watching ended
};

HeadlessRun::HeadlessRun(const HeadlessRequest &headlessRequest)
    : request(headlessRequest) {
    engine.setParallelRotations(request.jobs);
    connect(&engine, &RotationEngine::runEvent, this, &HeadlessRun::onRunEvent);
    connect(&engine, &RotationEngine::photoFinished, this, &HeadlessRun::onPhotoFinished);
    connect(&engine, &RotationEngine::photoStep, this, &HeadlessRun::onPhotoStep);
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
    if (anyFailed)
        return HeadlessPhotoFailed;
    return anyLeft ? HeadlessPhotosLeft : HeadlessSuccess;
}

void HeadlessRun::start() {
    if (request.watch) {
        startWatching();
        return;
    }
    for (const QString &missing : request.missing)
        writeLine(stdout, headlessNotFoundLine(missing));
    startNext();
}

// A single photo is looked at like a photo of a folder: its orientation decides the turn.
void HeadlessRun::startNext() {
    if (stoppedBy != 0 || started == request.found.size()) {
        finishAll();
        return;
    }
    const Destination &destination = request.found.at(started++);
    const bool begun = destination.kind == Destination::Folder
                           ? engine.startUserBatch(destination.path, request.dryRun)
                           : engine.rotateByOrientation(destination.path,
                                                        QFileInfo(destination.path).absolutePath(),
                                                        request.dryRun);
    // The engine is this run's alone and idle between destinations; should it refuse all the
    // same, no run would end to go on from.
    if (!begun)
        finishAll();
}

void HeadlessRun::finishAll() {
    if (std::exchange(finished, true))
        return;
    clearProgressLine();
    // A destination begun without a summary was refused.
    anyFailed = !request.missing.isEmpty() || summaries.size() < started;
    if (!summaries.isEmpty()) {
        const RunSummary total = combinedSummary(summaries);
        anyFailed = anyFailed || total.failed > 0 || total.notRead > 0;
        anyLeft = total.leftForLater > 0;
        QStringList destinations;
        for (const Destination &destination : request.found)
            destinations << destination.path;
        for (const QString &line :
             headlessSummaryLines(total, destinations, int(request.missing.size())))
            writeLine(stdout, line);
    }
    QCoreApplication::exit(0);
}

// Stops as Stop does; the summary follows once the tools have ended, and the destinations not
// yet begun are left. A signal before the first run began ends the program at once.
void HeadlessRun::onStopRequested(int signal) {
    stoppedBy = signal;
    if (request.watch) {
        endWatching();
        return;
    }
    if (engine.isBusy())
        engine.stop();
    else
        finishAll();
}

// Watches the folder and its subfolders; photos that arrive are turned, what was there is left.
void HeadlessRun::startWatching() {
    watchedFor.start();
    watcher->setCurrentFolder(request.found.first().path);
    watcher->setWatching(true, false);
}

void HeadlessRun::onWatchedRunFinished(const RunSummary &summary) {
    clearProgressLine();
    summaries << summary;
    if (stoppedBy != 0 || watchedFolderGone)
        endWatching();
}

// Nothing new is started; a photo in hand is finished or stopped whole, and the summary of all
// the watcher runs ends the report.
void HeadlessRun::endWatching() {
    // Left for a later run: what is still awaited, not every time a photo was left on its way.
    if (watcher->isWatching()) {
        stillAwaited = int(watcher->photosAwaited().size());
        watcher->setWatching(false, false);
    }
    if (engine.isBusy()) {
        engine.stop(); // the run's end comes back here
        return;
    }
    if (std::exchange(finished, true))
        return;
    clearProgressLine();
    RunSummary total = combinedSummary(summaries);
    total.kind = RunSummary::WatcherRun;
    total.folder = request.found.first().path;
    total.elapsedMs = watchedFor.elapsed();
    total.leftForLater = stillAwaited;
    for (const QString &line : headlessSummaryLines(total))
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

void HeadlessRun::onPhotoStep(const PhotoStep &step) {
    const QString line = headlessStepLine(step);
    if (line.isEmpty())
        return;
    clearProgressLine();
    writeLine(stdout, line);
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

// The next destination begins once the engine has finished with this one.
void HeadlessRun::onFinished(const RunSummary &summary) {
    clearProgressLine();
    summaries << summary;
    QMetaObject::invokeMethod(this, &HeadlessRun::startNext, Qt::QueuedConnection);
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
    for (const QString &argument : positional) {
        const Destination destination = destinationOf(argument);
        if (destination.kind == Destination::Missing)
            request->missing << destination.path;
        else
            request->found << destination;
    }
    // Nothing to do at all is a usage error; some destinations missing among others is a
    // failure the report tells.
    if (request->found.isEmpty()) {
        for (const QString &missing : std::as_const(request->missing))
            writeLine(stderr,
                      tr("Pivotta: there is no folder or photo %1.").arg(reportedPath(missing)));
        return false;
    }
    request->dryRun = parser.isSet("dry-run");
    request->watch = parser.isSet("watch");
    if (request->watch &&
        (positional.size() != 1 || request->found.first().kind != Destination::Folder)) {
        writeLine(stderr, tr("Pivotta: --headless --watch needs one folder to watch."));
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

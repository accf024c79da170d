// The rotation engine: runs, scans in slices, photos side by side, and the rules between runs.
#include "engine/rotationengine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <exception>

#include "common/debuglog.h"
#include "engine/durationtext.h"
#include "engine/messagetext.h"
#include "engine/orientationcheck.h"
#include "engine/photofiles.h"
#include "engine/photorotation.h"
#include "engine/safereplace.h"
#include "engine/tempfileholder.h"
#include "settings/settings.h"

namespace {
QString trCount(const char *text, int count) {
    return QCoreApplication::translate("Pivotta", text, "", count);
}

// The event loop gets control back at least this often while a scan lists or examines photos.
constexpr int sliceMs = 10;
// Progress is told at most this often.
constexpr int progressIntervalMs = 100;

QString timeOfDay() {
    return QTime::currentTime().toString();
}

// A photo whose rotation failed is tried again by watcher runs once any of these changes.
QString failureKey(const QFileInfo &photo) {
    return photo.absoluteFilePath() + '\n' + QString::number(photo.size()) + '\n' +
           QString::number(photo.lastModified().toMSecsSinceEpoch()) + '\n' +
           QString::number(int(photo.permissions()));
}

// A complete JPEG file ends with its end marker; a copy still under way does not (yet).
bool endsWithEndMarker(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 4 || !file.seek(file.size() - 2))
        return false;
    return file.read(2) == QByteArray("\xFF\xD9", 2);
}
} // namespace

struct RotationEngine::ActiveRotation {
    PhotoRotation *rotation = nullptr;
    int slot = 0;
    QString entry;
    QString replacedPath;
    QString failureKey;
    Turn turn = Turn::None;
};

struct RotationEngine::Scan {
    RunSummary summary;
    bool dryRun = false;
    bool fixMirrored = false;
    int parallel = 1;
    Turn presetTurn = Turn::None; // a single photo's turn, given by the caller
    std::unique_ptr<QDirIterator> iterator;
    bool listing = false;
    QStringList entries;
    int next = 0;
    int handled = 0;
    QElapsedTimer timer;
    QElapsedTimer progressShown;
};

RotationEngine::RotationEngine(QObject *parent)
    : QObject(parent) {
    qRegisterMetaType<OutputMessage>();
    qRegisterMetaType<RunSummary>();
    qRegisterMetaType<PhotoReport>();
}

RotationEngine::~RotationEngine() {
    // Deleting a rotation kills its tool and removes its temporary files.
    for (ActiveRotation *rotation : std::as_const(active)) {
        rotation->rotation->disconnect(this);
        delete rotation->rotation;
        delete rotation;
    }
}

bool RotationEngine::isBusy() const {
    return userBatchRunning || watcherRunActive || singlePhotoRunning;
}

bool RotationEngine::isUserBatchRunning() const {
    return userBatchRunning;
}

void RotationEngine::setArrivalTimes(int settleMs, int emptyMs, int incompleteMs) {
    arrivalSettleMs = settleMs;
    emptyPhotoSettleMs = emptyMs;
    incompletePhotoWaitMs = incompleteMs;
}

bool RotationEngine::startUserBatch(const QString &folder, bool dryRun) {
    if (isBusy()) {
        qCDebug(lcPivotta) << "user start refused, a rotation is in progress";
        emit statusMessage(
            tr("Rotating is already in progress. Please wait until it has finished."), 5000);
        return false;
    }
    userBatchRunning = true;
    emit runStarted(RunSummary::UserBatch);
    sayNow(OutputMessage::main(tr("<hr>Folder: %1<br>Scanning folder contents. <br><b>Please wait. "
                                  "A summary will be shown after rotating is finished...</b><br>")
                                   .arg(escapeHtml(folder))));
    qCDebug(lcPivotta) << "no watcher";
    beginScan(RunSummary::UserBatch, folder, dryRun);
    return true;
}

void RotationEngine::startWatcherRun(const QString &folder) {
    qCDebug(lcPivotta) << "watcher";
    followUpScheduled = false;
    const QString notice = tr("%1 Possible folder content change detected, please wait...");
    emit statusMessage(notice.arg(timeOfDay()), 10);
    sayNow(OutputMessage::detailed(notice.arg(timeOfDay()), true));
    pendingWatcherFolder = folder;
    if (userBatchRunning || singlePhotoRunning) {
        qCDebug(lcPivotta) << "watcher postponed, a manual rotation is in progress";
        watcherRunPostponed = true;
        return;
    }
    if (watcherRunActive) {
        moreFilesWaiting = true;
        qCDebug(lcPivotta) << "watcher ongoing,block";
        return;
    }
    watcherRunActive = true;
    watcherRunPostponed = false;
    emit runStarted(RunSummary::WatcherRun);
    beginScan(RunSummary::WatcherRun, folder, false);
}

bool RotationEngine::rotatePhoto(const QString &photoPath, Turn turn, const QString &folder) {
    if (isBusy()) {
        // The running batch may be working on this very photo; two tools must never write the
        // same file at once.
        sayNow(OutputMessage::main(
            tr("Photos are being rotated right now. Please try again when that has finished.")));
        return false;
    }
    singlePhotoRunning = true;
    emit runStarted(RunSummary::SinglePhoto);
    scan = std::make_unique<Scan>();
    scan->summary.kind = RunSummary::SinglePhoto;
    scan->summary.folder = folder;
    scan->presetTurn = turn;
    scan->parallel = 1;
    scan->entries << photoPath;
    scan->timer.start();
    stopRequested = false;
    scheduleSlice(&RotationEngine::examineSlice);
    return true;
}

OrientationCheck RotationEngine::checkPhoto(const QString &photoPath, const QString &folder) {
    OrientationContext context;
    context.folder = folder;
    context.fixMirrored = Settings::fixMirroredOrientations();
    const OrientationCheck check = checkOrientation(photoPath, context);
    for (const OutputMessage &checkMessage : check.messages)
        sayNow(checkMessage);
    return check;
}

void RotationEngine::stop() {
    followUpScheduled = false;
    if (!scan)
        return;
    stopRequested = true;
    scan->summary.interrupted = true;
    // No follow-up: the user asked for an end.
    moreFilesWaiting = false;
    watcherRunPostponed = false;
    for (ActiveRotation *rotation : std::as_const(active))
        rotation->rotation->stop();
    if (active.isEmpty())
        scheduleSlice(&RotationEngine::examineSlice);
}

// One scan of a run; a watcher run that rechecks begins another. The arguments are copies: the
// previous scan they may come from goes here.
void RotationEngine::beginScan(RunSummary::Kind kind, QString folder, bool dryRun) {
    scan = std::make_unique<Scan>();
    scan->summary.kind = kind;
    scan->summary.folder = folder;
    scan->dryRun = dryRun;
    scan->fixMirrored = Settings::fixMirroredOrientations();
    scan->parallel = parallelRotations();
    stopRequested = false;
    qCDebug(lcPivotta) << "rotate while iterating folder start";
    scan->timer.start();

    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        sayNow(OutputMessage::main(tr("Failed opening folder %1, this usually indicates corrupted "
                                      "file system or hardware.")
                                       .arg(escapeHtml(folder))));
        scheduleSlice(&RotationEngine::examineSlice);
        return;
    }
    try {
        scan->iterator = std::make_unique<QDirIterator>(QDir::cleanPath(folder), photoNameFilters(),
                                                        QDir::AllEntries | QDir::NoSymLinks |
                                                            QDir::NoDotAndDotDot,
                                                        QDirIterator::Subdirectories);
    } catch (const std::exception &) {
        sayNow(OutputMessage::main(tr("Failed opening directory %1, this usually indicates "
                                      "corrupted file system or hardware.")
                                       .arg(escapeHtml(folder))));
    } catch (...) {
        sayNow(OutputMessage::main(tr("Failed opening directory %1, this usually indicates "
                                      "corrupted file system or hardware...")
                                       .arg(escapeHtml(folder))));
    }
    scan->listing = scan->iterator != nullptr;
    scheduleSlice(scan->listing ? &RotationEngine::listSlice : &RotationEngine::examineSlice);
}

// Lists the photos first, a slice at a time, so that a user batch can show how far it is.
void RotationEngine::listSlice() {
    if (!scan)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!stopRequested && scan->iterator->hasNext()) {
        const QString entry = scan->iterator->next();
        // Only files are photos; a folder named like one is walked, not counted.
        if (scan->iterator->fileInfo().isFile())
            scan->entries << entry;
        if (slice.elapsed() >= sliceMs) {
            scheduleSlice(&RotationEngine::listSlice);
            return;
        }
    }
    scan->listing = false;
    scan->iterator.reset();
    if (!stopRequested)
        removeLeftoverTempFiles();
    if (scan->summary.kind == RunSummary::UserBatch && !stopRequested)
        emit photosListed(int(scan->entries.size()));
    examineSlice();
}

// Temporary files that a Pivotta left beside photos when it was killed go before a batch starts;
// files that a running Pivotta holds stay.
void RotationEngine::removeLeftoverTempFiles() {
    QSet<QString> folders;
    for (const QString &entry : std::as_const(scan->entries))
        folders.insert(QFileInfo(entry).absolutePath());
    for (const QString &folder : std::as_const(folders)) {
        const QStringList removed = removeStaleTempFiles(folder);
        if (removed.isEmpty())
            continue;
        qCDebug(lcPivotta) << "removed leftover temporary files" << removed;
        sayNow(OutputMessage::detailed(
            trCount("Removed %n temporary file(s) that an earlier Pivotta left in %1.",
                    int(removed.size()))
                .arg(escapeHtml(QDir::toNativeSeparators(folder))),
            false));
    }
}

// Looks at the next photos in scan order and starts their rotations while there is room.
void RotationEngine::examineSlice() {
    if (!scan)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!stopRequested && scan->next < scan->entries.size() && active.size() < scan->parallel) {
        examine(scan->entries.at(scan->next++));
        if (slice.elapsed() >= sliceMs) {
            scheduleSlice(&RotationEngine::examineSlice);
            return;
        }
    }
    if (scanDone())
        finishScan();
}

void RotationEngine::examine(const QString &entry) {
    RunSummary &summary = scan->summary;
    ++summary.entriesSeen;
    const int slot = ordered.open();
    if (summary.kind == RunSummary::SinglePhoto) {
        ++summary.photosToRotate;
        startRotation(entry, scan->presetTurn, slot, FileState());
        return;
    }
    if (summary.kind == RunSummary::WatcherRun && leaveForLater(entry)) {
        entryHandled(slot);
        return;
    }

    OrientationContext context;
    context.folder = summary.folder;
    context.dotBeforeErrors = summary.kind == RunSummary::UserBatch;
    context.fixMirrored = scan->fixMirrored;
    // The turn holds only for the photo it is read from: the rotation compares.
    const FileState examined = fileStateOf(entry);
    const OrientationCheck check = checkOrientation(entry, context);
    for (const OutputMessage &checkMessage : check.messages)
        say(slot, checkMessage);
    if (summary.kind == RunSummary::UserBatch && summary.entriesSeen % 10 == 0) {
        emit statusMessage(tr("%1 photos with EXIF orientation metadata were found, out of %2 "
                              "photos total.")
                               .arg(summary.photosToRotate)
                               .arg(summary.entriesSeen),
                           0);
    }

    if (check.finding == OrientationCheck::Changed && summary.kind == RunSummary::WatcherRun)
        summary.photosArriving << entry;
    if (check.finding == OrientationCheck::Mirrored || check.finding == OrientationCheck::Unknown ||
        check.finding == OrientationCheck::Changed)
        report(slot, {entry, PhotoReport::Left, Turn::None, check.reason});
    else if (check.finding == OrientationCheck::Unreadable)
        report(slot, {entry, PhotoReport::Failed, Turn::None, check.reason});

    if (check.turn == Turn::None) {
        entryHandled(slot);
        return;
    }
    ++summary.photosToRotate;
    if (scan->dryRun) {
        say(slot, OutputMessage::main(rotationReportLine(entry, check.turn, true, summary.folder)));
        say(slot,
            OutputMessage::detailedRaw(rotationDetailLine(entry, check.turn, summary.folder)));
        report(slot, {entry, PhotoReport::WouldRotate, check.turn, QString()});
        entryHandled(slot);
        return;
    }
    qCDebug(lcPivotta) << "go" << entry;
    startRotation(entry, check.turn, slot, examined);
}

// Watcher runs leave photos that may still be being copied in, and photos whose rotation failed
// and that have not changed since.
bool RotationEngine::leaveForLater(const QString &entry) {
    const QFileInfo info(entry);
    if (mayStillBeArriving(info)) {
        qCDebug(lcPivotta) << "may still be arriving" << entry;
        scan->summary.photosArriving << entry;
        return true;
    }
    if (failedPhotoKeys.contains(failureKey(info))) {
        qCDebug(lcPivotta) << "failed before and unchanged since" << entry;
        return true;
    }
    return false;
}

// The folder watcher reports a file as soon as it appears and not when its copy is complete: a
// recent change, an empty young file or a young file without its end marker may be a copy still
// going on (or one that stalled for a while).
bool RotationEngine::mayStillBeArriving(const QFileInfo &photo) const {
    const qint64 age = photo.lastModified().msecsTo(QDateTime::currentDateTime());
    if (qAbs(age) < arrivalSettleMs)
        return true;
    if (age < 0)
        return false;
    if (photo.size() == 0)
        return age < emptyPhotoSettleMs;
    return age < incompletePhotoWaitMs && !endsWithEndMarker(photo.filePath());
}

void RotationEngine::startRotation(const QString &entry, Turn turn, int slot,
                                   const FileState &examined) {
    const QString replacedPath = PhotoRotation::replacedFileOf(entry);
    if (photosInWork.contains(replacedPath)) {
        say(slot,
            OutputMessage::main(tr("Not rotated now: %1 is already being rotated.")
                                    .arg(fileLink(entry, true, false, scan->summary.folder))));
        entryHandled(slot);
        return;
    }
    PhotoRotation::Job job;
    job.photoPath = entry;
    job.turn = turn;
    job.folder = scan->summary.folder;
    job.toolTimeoutMs = toolTimeoutMs;
    job.examinedState = examined;
    auto *rotation = new PhotoRotation(job, this);
    auto *record =
        new ActiveRotation{rotation, slot, entry, replacedPath, failureKey(QFileInfo(entry)), turn};
    active << record;
    photosInWork.insert(replacedPath);
    connect(rotation, &PhotoRotation::message, this,
            [this, slot](const OutputMessage &rotationMessage) { say(slot, rotationMessage); });
    connect(rotation, &PhotoRotation::finished, this,
            [this, rotation](const PhotoRotationOutcome &outcome) {
                onRotationFinished(rotation, outcome);
            });
    rotation->start();
}

void RotationEngine::onRotationFinished(PhotoRotation *rotation,
                                        const PhotoRotationOutcome &outcome) {
    const auto found = std::find_if(active.begin(), active.end(), [rotation](ActiveRotation *a) {
        return a->rotation == rotation;
    });
    if (found == active.end())
        return;
    ActiveRotation *record = *found;
    active.erase(found);
    photosInWork.remove(record->replacedPath);
    rotation->deleteLater();

    RunSummary &summary = scan->summary;
    switch (outcome.kind) {
    case PhotoRotationOutcome::Rotated:
        ++summary.rotated;
        emit photoRotated(record->replacedPath);
        report(record->slot, {record->entry, PhotoReport::Rotated, record->turn, outcome.note});
        break;
    case PhotoRotationOutcome::Failed:
        ++summary.failed;
        failedPhotoKeys.insert(record->failureKey);
        report(record->slot, {record->entry, PhotoReport::Failed, record->turn, outcome.reason});
        break;
    case PhotoRotationOutcome::TryLater:
        if (summary.kind == RunSummary::WatcherRun)
            summary.photosArriving << record->entry;
        report(record->slot, {record->entry, PhotoReport::Left, record->turn, outcome.reason});
        break;
    case PhotoRotationOutcome::Stopped:
        say(record->slot,
            OutputMessage::main(tr("Stopped before %1 was rotated. The photo was left unchanged.")
                                    .arg(fileLink(record->entry, true, false, summary.folder))));
        report(record->slot, {record->entry, PhotoReport::Left, record->turn, outcome.reason});
        break;
    }
    const int slot = record->slot;
    delete record;
    entryHandled(slot);
    scheduleSlice(&RotationEngine::examineSlice);
}

void RotationEngine::entryHandled(int slot) {
    ordered.close(slot);
    ++scan->handled;
    if (scan->summary.kind != RunSummary::UserBatch)
        return;
    // Thousands of quick photos need no thousands of repaints: a few updates a second will do.
    const int total = int(scan->entries.size());
    if (scan->handled == total || !scan->progressShown.isValid() ||
        scan->progressShown.elapsed() >= progressIntervalMs) {
        scan->progressShown.start();
        emit progress(scan->handled, total);
    }
}

void RotationEngine::scheduleSlice(void (RotationEngine::*slice)()) {
    QMetaObject::invokeMethod(this, slice, Qt::QueuedConnection);
}

bool RotationEngine::scanDone() const {
    if (!active.isEmpty() || scan->listing)
        return false;
    return stopRequested || scan->next >= scan->entries.size();
}

void RotationEngine::finishScan() {
    if (!scan || !scanDone())
        return;
    ordered.clear();
    scan->summary.elapsedMs = scan->timer.elapsed();
    if (scan->summary.interrupted)
        sayNow(OutputMessage::main(tr("\n\nRotating interrupted.")));
    if (scan->summary.kind == RunSummary::WatcherRun && moreFilesWaiting) {
        moreFilesWaiting = false;
        sayNow(OutputMessage::main(
            tr("Rechecking for changed photos since start of previous operation... ")));
        beginScan(scan->summary.kind, scan->summary.folder, scan->dryRun);
        return;
    }
    finishRun();
}

void RotationEngine::finishRun() {
    qCDebug(lcPivotta) << "finish";
    const RunSummary summary = scan->summary;
    if (summary.kind == RunSummary::UserBatch)
        writeSummary();
    qCDebug(lcPivotta) << "remaining:" << summary.photosToRotate;
    scan.reset();
    userBatchRunning = false;
    watcherRunActive = false;
    singlePhotoRunning = false;
    stopRequested = false;

    const bool followUp = !summary.interrupted && (moreFilesWaiting || watcherRunPostponed);
    moreFilesWaiting = false;
    watcherRunPostponed = false;
    if (followUp) {
        followUpScheduled = true;
        QTimer::singleShot(0, this, [this] {
            if (followUpScheduled)
                startWatcherRun(pendingWatcherFolder);
        });
    }
    emit runFinished(summary);
}

void RotationEngine::writeSummary() {
    const RunSummary &summary = scan->summary;
    sayNow(OutputMessage::main(trCount("<hr>%n image(s) with EXIF orientation metadata were found,",
                                       summary.photosToRotate) +
                               trCount(" out of %n photo(s) total.", summary.entriesSeen)));
    sayNow(OutputMessage::main(trCount("%n image(s) were successfully rotated.", summary.rotated)));
    sayNow(OutputMessage::main(
        timeOfDay() + " " +
        durationText(summary.elapsedMs,
                     tr("<b>The operation took %1 minutes %2 seconds (%3). </b>"),
                     tr("<b>The operation took  %2 seconds (%3). </b>"), tr("single-process"))));
    sayNow(OutputMessage::main("\n"));
}

void RotationEngine::say(int slot, const OutputMessage &outputMessage) {
    ordered.add(slot, [this, outputMessage] { emit message(outputMessage); });
}

void RotationEngine::sayNow(const OutputMessage &outputMessage) {
    emit message(outputMessage);
}

void RotationEngine::report(int slot, const PhotoReport &photoReport) {
    ordered.add(slot, [this, photoReport] { emit photoReported(photoReport); });
}

int RotationEngine::parallelRotations() const {
    return std::max(1, parallelOverride > 0 ? parallelOverride : Settings::parallelRotations());
}

// The rotation engine: runs, their scans, photos side by side, and the rules between runs.
#include "engine/rotationengine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#include "common/debuglog.h"
#include "engine/orientationcheck.h"
#include "engine/photorotation.h"
#include "engine/photoscan.h"
#include "engine/scanworkers.h"
#include "files/descriptorbudget.h"
#include "files/fileproblem.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "settings/settings.h"

namespace {
// The event loop gets control back at least this often while the engine takes examined photos.
constexpr int sliceMs = 10;
// Progress is told at most this often.
constexpr int progressIntervalMs = 100;

QPair<quint64, quint64> fileKeyOf(const FileStatus &photo) {
    return {photo.key.device, photo.key.inode};
}

RunEvent runEventOf(RunEvent::Kind kind, const QString &folder = QString()) {
    RunEvent event;
    event.kind = kind;
    event.folder = folder;
    return event;
}

// Why a photo was not opened: its own problem, or its folder's.
PhotoReason notOpenedReason(const ExaminedPhoto &examined) {
    PhotoReason reason;
    reason.kind = PhotoReason::NotOpened;
    const FileProblem &problem = examined.problem;
    reason.error =
        problem.path.isEmpty() || problem.path == examined.path ? problem.reason : problem.text();
    return reason;
}
} // namespace

struct RotationEngine::ActiveRotation {
    PhotoRotation *rotation = nullptr;
    int slot = 0;
    FileStatus examined; // the photo as it was examined, remembered if its rotation fails
    QPair<quint64, quint64> file;
    std::shared_ptr<HeldPhoto> photo; // held open until its rotation has ended
};

// The settings a run works with, read once at its start.
struct RotationEngine::RunSettings {
    int parallel = 1;
    bool fixMirrored = false;
    bool perfect = false;
    bool trim = true;
    FileTimeMode fileTimeMode = FileTimeMode::LeaveAlone;
    bool keepOriginals = false;
};

struct RotationEngine::Scan {
    RunSummary summary;
    RunSettings settings;
    bool dryRun = false;
    Turn presetTurn = Turn::None; // a single photo's turn, given by the caller
    int parallel = 1;             // photos in work at once, within the descriptors left
    std::unique_ptr<PhotoScan> photos;
    // The scans before this one in the same run (a watcher run that scanned again): the run's
    // summary counts them all.
    QList<RunSummary> earlierScans;
    int handled = 0;
    QElapsedTimer timer;
    QElapsedTimer progressShown;
    QElapsedTimer countShown;
};

RotationEngine::RotationEngine(QObject *parent)
    : QObject(parent)
    , workers(std::make_unique<ScanWorkers>(this, maxReadsInFlight)) {
    qRegisterMetaType<RunSummary>();
    qRegisterMetaType<RunEvent>();
    qRegisterMetaType<PhotoStep>();
    qRegisterMetaType<PhotoOutcome>();
}

RotationEngine::~RotationEngine() {
    // Deleting a rotation kills its tool and removes its temporary files.
    for (ActiveRotation *rotation : std::as_const(active)) {
        rotation->rotation->disconnect(this);
        delete rotation->rotation;
        delete rotation;
    }
}

void RotationEngine::setArrivalTimes(int settleMs, int emptyMs, int incompleteMs) {
    arrival = {settleMs, emptyMs, incompleteMs};
}

RotationEngine::RunSettings RotationEngine::readSettings() const {
    RunSettings settings;
    settings.parallel =
        std::max(1, parallelOverride > 0 ? parallelOverride : Settings::parallelRotations());
    settings.fixMirrored = Settings::fixMirroredOrientations();
    settings.perfect = Settings::perfect();
    settings.trim = Settings::trim();
    settings.fileTimeMode = Settings::fileTimeMode();
    settings.keepOriginals = Settings::keepOriginalsInTrash();
    return settings;
}

bool RotationEngine::startUserBatch(const QString &folder, bool dryRun) {
    if (isBusy()) {
        qCDebug(lcPivotta) << "user start refused, a rotation is in progress";
        tell(runEventOf(RunEvent::BatchRefused));
        return false;
    }
    state = RunState::UserBatch;
    emit runStarted(RunSummary::UserBatch);
    tell(runEventOf(RunEvent::ScanStarted, folder));
    qCDebug(lcPivotta) << "no watcher";
    beginScan(RunSummary::UserBatch, WatchCandidates::wholeTree(folder), dryRun, readSettings());
    return true;
}

void RotationEngine::startWatcherRun(const QString &folder) {
    startWatcherRun(WatchCandidates::wholeTree(folder));
}

void RotationEngine::startWatcherRun(const WatchCandidates &candidates) {
    qCDebug(lcPivotta) << "watcher";
    RunEvent noticed = runEventOf(RunEvent::ChangeNoticed, candidates.watchedFolder);
    noticed.time = QTime::currentTime();
    tell(noticed);
    pendingCandidates.add(candidates);
    switch (state) {
    case RunState::UserBatch:
    case RunState::SinglePhoto:
        qCDebug(lcPivotta) << "watcher postponed, a manual rotation is in progress";
        watcherRunDue = true;
        return;
    case RunState::WatcherRun:
        qCDebug(lcPivotta) << "watcher ongoing,block";
        watcherRunDue = true;
        return;
    case RunState::Idle:
        break;
    }
    state = RunState::WatcherRun;
    watcherRunDue = false;
    emit runStarted(RunSummary::WatcherRun);
    beginScan(RunSummary::WatcherRun, std::exchange(pendingCandidates, WatchCandidates()), false,
              readSettings());
}

bool RotationEngine::rotateByOrientation(const QString &photoPath, const QString &folder,
                                         bool dryRun) {
    return startSinglePhoto(photoPath, Turn::None, folder, dryRun);
}

bool RotationEngine::rotatePhoto(const QString &photoPath, Turn turn, const QString &folder) {
    return startSinglePhoto(photoPath, turn, folder, false);
}

// One photo as a run of its own: turned by `turn`, or (None) as its orientation says.
bool RotationEngine::startSinglePhoto(const QString &photoPath, Turn turn, const QString &folder,
                                      bool dryRun) {
    if (isBusy()) {
        // The running batch may be working on this very photo; two tools must never write the
        // same file at once.
        tell(runEventOf(RunEvent::SinglePhotoRefused));
        return false;
    }
    state = RunState::SinglePhoto;
    emit runStarted(RunSummary::SinglePhoto);
    scan = std::make_unique<Scan>();
    scan->summary.kind = RunSummary::SinglePhoto;
    scan->summary.folder = folder;
    scan->settings = readSettings();
    scan->summary.dryRun = dryRun;
    scan->dryRun = dryRun;
    scan->presetTurn = turn;
    scan->timer.start();
    PhotoScan::Options options;
    options.examine.readOrientation = turn == Turn::None;
    options.examine.fixMirrored = scan->settings.fixMirrored;
    options.readsInFlight = 1;
    beginPhotoScan(std::make_unique<PhotoScan>(*workers, photoPath, options));
    return true;
}

OrientationCheck RotationEngine::checkPhoto(const QString &photoPath) const {
    return checkOrientation(photoPath, Settings::fixMirroredOrientations());
}

void RotationEngine::stop() {
    // No follow-up: the user asked for an end.
    watcherRunDue = false;
    pendingCandidates = WatchCandidates();
    if (!scan)
        return;
    scan->summary.interrupted = true;
    scan->photos->stop();
    for (ActiveRotation *rotation : std::as_const(active))
        rotation->rotation->stop();
    if (active.isEmpty())
        scheduleSlice(&RotationEngine::examineSlice);
}

// One scan of a run; a watcher run that rechecks begins another. The arguments are copies: the
// previous scan they may come from goes here.
void RotationEngine::beginScan(RunSummary::Kind kind, const WatchCandidates &candidates,
                               bool dryRun, RunSettings settings) {
    scan = std::make_unique<Scan>();
    scan->summary.kind = kind;
    scan->summary.folder = candidates.watchedFolder;
    scan->summary.dryRun = dryRun;
    scan->dryRun = dryRun;
    scan->settings = settings;
    qCDebug(lcPivotta) << "rotate while iterating folder start";
    scan->timer.start();
    // Each photo in work holds descriptors: as many side by side as the system leaves room for,
    // and at least one, whose opens then say when they fail.
    scan->parallel = std::max(1, photosInWorkNow(settings.parallel));
    PhotoScan::Options options;
    options.examine.fixMirrored = settings.fixMirrored;
    options.examine.checkArrival = kind == RunSummary::WatcherRun;
    options.examine.arrival = arrival;
    options.removeStaleTempFiles = !dryRun; // a dry run changes nothing
    options.readsInFlight = readsOverride > 0 ? readsOverride : readsInFlightNow(scan->parallel);
    beginPhotoScan(std::make_unique<PhotoScan>(*workers, candidates, options));
}

void RotationEngine::beginPhotoScan(std::unique_ptr<PhotoScan> photos) {
    scan->photos = std::move(photos);
    PhotoScan *scanned = scan->photos.get();
    connect(scanned, &PhotoScan::listingProgress, this, [this](int found) {
        if (scan && scan->summary.kind == RunSummary::UserBatch)
            emit listingProgress(found);
    });
    connect(scanned, &PhotoScan::listingEvent, this, [this](const RunEvent &event) {
        if (event.kind == RunEvent::EntryNotRead || event.kind == RunEvent::FolderNotOpened)
            ++scan->summary.notRead;
        tell(event);
    });
    connect(scanned, &PhotoScan::listed, this, [this](int count) {
        if (scan->summary.kind == RunSummary::UserBatch && !stopping())
            emit photosListed(count);
    });
    // The engine may end the scan from here: endPhotoScan deletes it later, never while it emits.
    connect(scanned, &PhotoScan::examinedReady, this, &RotationEngine::examineSlice);
    scanned->start();
}

// Ends the current scan's listing and reads: its workers go once it is deleted.
void RotationEngine::endPhotoScan() {
    if (!scan || !scan->photos)
        return;
    PhotoScan *ended = scan->photos.release();
    ended->disconnect(this);
    ended->stop();
    ended->deleteLater();
}

// Takes the examined photos in scan order and starts their rotations while there is room.
void RotationEngine::examineSlice() {
    if (!scan || !scan->photos)
        return;
    QElapsedTimer slice;
    slice.start();
    PhotoScan &photos = *scan->photos;
    while (!stopping() && active.size() < scan->parallel && photos.hasExamined()) {
        examine(photos.takeExamined());
        if (slice.elapsed() >= sliceMs) {
            scheduleSlice(&RotationEngine::examineSlice);
            return;
        }
    }
    if (scanDone())
        finishScan();
}

void RotationEngine::examine(ExaminedPhoto examined) {
    RunSummary &summary = scan->summary;
    const int slot = ordered.open();
    const PhotoRef photo{examined.path, examined.file, summary.folder};
    if (examined.notPhoto) {
        // Named like a photo, but a link (never followed) or no regular file.
        finishPhoto(slot, PhotoOutcome::Left, photo, Turn::None, notOpenedReason(examined));
        entryHandled(slot);
        return;
    }
    ++summary.entriesSeen;
    if (summary.kind == RunSummary::WatcherRun && leaveForLater(examined, slot, photo)) {
        entryHandled(slot);
        return;
    }
    if (examined.problem.kind == FileProblem::Kind::InUse) {
        leaveForLaterRun(slot, photo, PhotoReason::InUse);
        entryHandled(slot);
        return;
    }
    if (!examined.opened()) {
        qCDebug(lcPivotta) << "fail orientation" << examined.path << examined.problem.text();
        const PhotoReason reason = notOpenedReason(examined);
        finishPhoto(slot, PhotoOutcome::Failed, photo, Turn::None, reason);
        if (examined.statusKnown)
            failedPhotos.noteFailure(examined.status, reason);
        entryHandled(slot);
        return;
    }
    if (summary.kind == RunSummary::SinglePhoto && scan->presetTurn != Turn::None) {
        ++summary.photosToRotate;
        startRotation(std::move(examined), photo, scan->presetTurn, slot);
        return;
    }

    const OrientationCheck check = examined.check;
    if (check.askedImageReader) {
        PhotoStep step;
        step.kind = PhotoStep::ExifUnusable;
        step.photo = photo;
        step.check = check;
        step.inUserBatch = summary.kind == RunSummary::UserBatch;
        tell(slot, &RotationEngine::photoStep, step);
    }
    // Every ten photos, and a few times a second at most: the status bar paints at once.
    if (summary.kind == RunSummary::UserBatch && summary.entriesSeen % 10 == 0 &&
        (!scan->countShown.isValid() || scan->countShown.elapsed() >= progressIntervalMs)) {
        scan->countShown.start();
        RunEvent counted = runEventOf(RunEvent::PhotosCounted, summary.folder);
        counted.count = summary.photosToRotate;
        counted.total = summary.entriesSeen;
        tell(counted);
    }

    if (check.finding == OrientationCheck::Changed) {
        ++summary.leftForLater;
        if (summary.kind == RunSummary::WatcherRun)
            summary.photosArriving << examined.path;
    }
    if (check.leavesPhoto()) {
        const bool failed = check.finding == OrientationCheck::Unreadable;
        const PhotoReason reason = reasonOfCheck(check);
        finishPhoto(slot, failed ? PhotoOutcome::Failed : PhotoOutcome::Left, photo, Turn::None,
                    reason);
        if (failed)
            failedPhotos.noteFailure(examined.status, reason);
    }

    if (check.turn == Turn::None) {
        if (summary.kind == RunSummary::SinglePhoto) {
            RunEvent nothing = runEventOf(RunEvent::NoTurnFound, summary.folder);
            nothing.path = examined.path;
            tell(slot, &RotationEngine::runEvent, nothing);
        }
        entryHandled(slot);
        return;
    }
    ++summary.photosToRotate;
    if (scan->dryRun) {
        PhotoStep announced;
        announced.kind = PhotoStep::TurnAnnounced;
        announced.photo = photo;
        announced.turn = check.turn;
        announced.dryRun = true;
        announced.time = QDateTime::currentDateTime();
        tell(slot, &RotationEngine::photoStep, announced);
        ++summary.wouldRotate;
        finishPhoto(slot, PhotoOutcome::WouldRotate, announced.photo, check.turn);
        entryHandled(slot);
        return;
    }
    qCDebug(lcPivotta) << "go" << examined.path;
    startRotation(std::move(examined), photo, check.turn, slot);
}

// Watcher runs leave photos that may still be being copied in, and pass by, with a word, photos
// that made their rotation fail themselves and that have not changed since. A photo that a
// program has open for writing is told once, when it is first left: the watcher awaits it without
// looking again until the writer is done.
bool RotationEngine::leaveForLater(const ExaminedPhoto &examined, int slot, const PhotoRef &photo) {
    if (examined.beingWritten) {
        qCDebug(lcPivotta) << "being written" << examined.path;
        leaveForLaterRun(slot, photo, PhotoReason::StillBeingWritten);
        return true;
    }
    if (examined.mayBeArriving) {
        qCDebug(lcPivotta) << "may still be arriving" << examined.path;
        ++scan->summary.leftForLater;
        scan->summary.photosArriving << examined.path;
        return true;
    }
    if (examined.statusKnown && failedPhotos.failedBefore(examined.status)) {
        qCDebug(lcPivotta) << "failed before and unchanged since" << examined.path;
        PhotoReason failedBefore;
        failedBefore.kind = PhotoReason::FailedBefore;
        finishPhoto(slot, PhotoOutcome::Left, photo, Turn::None, failedBefore);
        return true;
    }
    return false;
}

// The folder watcher reports a file as soon as it appears and not when its copy is complete: a
// photo that a program has open for writing, a recent change, an empty young file or a young
// file without its end marker may be a copy still going on (or one that stalled for a while).
bool RotationEngine::mayStillBeArriving(const QFileInfo &photo) {
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(photo.absolutePath(), &problem);
    const std::unique_ptr<HeldPhoto> held =
        folder ? HeldPhoto::open(folder, QFile::encodeName(photo.fileName()), &problem) : nullptr;
    if (!held) // held by another program's lease: it is not done with; anything else a run tells
        return problem.kind == FileProblem::Kind::InUse;
    // A stalled copy is asked again every poll: its main picture is read once per change.
    const QString key = photo.absoluteFilePath();
    const auto whole = [this, &held, &key] {
        const auto seen = partialCopies.constFind(key);
        if (seen != partialCopies.constEnd() && sameFileUnchanged(*seen, held->status()))
            return false;
        if (mainPictureWhole(*held))
            return true;
        partialCopies.insert(key, held->status());
        return false;
    };
    if (arrivalOf(*held, arrival, whole) != Arrival::Arrived)
        return true;
    partialCopies.remove(key);
    return false;
}

void RotationEngine::startRotation(ExaminedPhoto examined, const PhotoRef &photo, Turn turn,
                                   int slot) {
    // Never two rotations of one file at once (two names of it, hard links).
    const QPair<quint64, quint64> file = fileKeyOf(examined.status);
    const bool alreadyInWork =
        std::any_of(active.cbegin(), active.cend(),
                    [&file](const ActiveRotation *a) { return a->file == file; });
    if (alreadyInWork) {
        PhotoReason inWork;
        inWork.kind = PhotoReason::AlreadyInWork;
        finishPhoto(slot, PhotoOutcome::Left, photo, turn, inWork);
        entryHandled(slot);
        return;
    }
    if (!examined.photo) { // the scan holds every photo it hands on; this is a fault
        PhotoReason notHeld;
        notHeld.kind = PhotoReason::NotOpened;
        finishPhoto(slot, PhotoOutcome::Failed, photo, turn, notHeld);
        entryHandled(slot);
        return;
    }
    PhotoRotation::Job job;
    job.photo = examined.photo; // held since its examination: reached through it only
    job.photoPath = photo.path;
    job.turn = turn;
    job.folder = photo.folder;
    job.toolTimeoutMs = toolTimeoutMs;
    job.photosAtOnce = scan->parallel;
    job.perfect = scan->settings.perfect;
    job.trim = scan->settings.trim;
    job.fileTimeMode = scan->settings.fileTimeMode;
    job.keepOriginal = scan->settings.keepOriginals;
    auto *rotation = new PhotoRotation(job, this);
    active << new ActiveRotation{rotation, slot, examined.status, file, std::move(examined.photo)};
    scan->summary.mostAtOnce = std::max(scan->summary.mostAtOnce, int(active.size()));
    connect(rotation, &PhotoRotation::step, this,
            [this, slot](const PhotoStep &step) { tell(slot, &RotationEngine::photoStep, step); });
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
    const PhotoRef photo = rotation->photo();
    rotation->deleteLater();

    RunSummary &summary = scan->summary;
    switch (outcome.kind) {
    case PhotoRotationOutcome::Rotated:
        ++summary.rotated;
        if (!outcome.trashFolder.isEmpty() && !summary.trashFolders.contains(outcome.trashFolder))
            summary.trashFolders << outcome.trashFolder;
        emit photoRotated(photo.file);
        break;
    case PhotoRotationOutcome::Failed:
        ++summary.failed;
        failedPhotos.noteFailure(record->examined, outcome.reason);
        break;
    case PhotoRotationOutcome::TryLater:
        ++summary.leftForLater;
        if (summary.kind == RunSummary::WatcherRun)
            summary.photosArriving << photo.path;
        break;
    case PhotoRotationOutcome::Stopped:
        break;
    }
    tell(record->slot, &RotationEngine::photoFinished,
         photoOutcomeOf(photo, rotation->turn(), outcome));
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
    const int total = scan->photos->listedCount();
    if (scan->handled == total || !scan->progressShown.isValid() ||
        scan->progressShown.elapsed() >= progressIntervalMs) {
        scan->progressShown.start();
        emit progress(scan->handled, total);
    }
}

void RotationEngine::scheduleSlice(void (RotationEngine::*slice)()) {
    QMetaObject::invokeMethod(this, slice, Qt::QueuedConnection);
}

bool RotationEngine::stopping() const {
    return scan && scan->summary.interrupted;
}

bool RotationEngine::scanDone() const {
    return active.isEmpty() && scan->photos && scan->photos->isDone();
}

void RotationEngine::finishScan() {
    if (!scan || !scanDone())
        return;
    ordered.clear();
    scan->summary.elapsedMs = scan->timer.elapsed();
    // A change noticed while the run was stopping starts nothing: the user asked for an end.
    if (scan->summary.interrupted) {
        tell(runEventOf(RunEvent::Interrupted, scan->summary.folder));
        watcherRunDue = false;
        pendingCandidates = WatchCandidates();
    }
    if (scan->summary.kind == RunSummary::WatcherRun && watcherRunDue) {
        watcherRunDue = false;
        tell(runEventOf(RunEvent::Rechecking, scan->summary.folder));
        endPhotoScan();
        QList<RunSummary> earlier = std::move(scan->earlierScans);
        earlier << scan->summary;
        beginScan(scan->summary.kind, std::exchange(pendingCandidates, WatchCandidates()),
                  scan->dryRun, scan->settings);
        scan->earlierScans = std::move(earlier);
        return;
    }
    finishRun();
}

void RotationEngine::finishRun() {
    qCDebug(lcPivotta) << "finish";
    RunSummary summary = combinedSummary(QList<RunSummary>(scan->earlierScans) << scan->summary);
    summary.endTime = QTime::currentTime();
    qCDebug(lcPivotta) << "remaining:" << summary.photosToRotate;
    endPhotoScan();
    scan.reset();
    state = RunState::Idle;
    if (watcherRunDue) {
        QTimer::singleShot(0, this, [this] {
            if (watcherRunDue)
                startWatcherRun(std::exchange(pendingCandidates, WatchCandidates()));
        });
    }
    emit runFinished(summary);
}

void RotationEngine::tell(const RunEvent &event) {
    emit runEvent(event);
}

// A photo left for a later run before its rotation began: told, counted, and in a watcher run
// listed so that the watcher awaits it.
void RotationEngine::leaveForLaterRun(int slot, const PhotoRef &photo, PhotoReason::Kind kind) {
    PhotoReason reason;
    reason.kind = kind;
    ++scan->summary.leftForLater;
    if (scan->summary.kind == RunSummary::WatcherRun)
        scan->summary.photosArriving << photo.path;
    finishPhoto(slot, PhotoOutcome::Left, photo, Turn::None, reason);
}

// Tells what became of a photo that the engine itself decided about.
void RotationEngine::finishPhoto(int slot, PhotoOutcome::Kind kind, const PhotoRef &photo,
                                 Turn turn, const PhotoReason &reason) {
    if (kind == PhotoOutcome::Failed)
        ++scan->summary.failed;
    PhotoOutcome outcome;
    outcome.kind = kind;
    outcome.photo = photo;
    outcome.turn = turn;
    outcome.reason = reason;
    tell(slot, &RotationEngine::photoFinished, outcome);
}

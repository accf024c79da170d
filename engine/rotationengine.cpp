// The rotation engine: runs, scans in slices, photos side by side, and the rules between runs.
#include "engine/rotationengine.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#include "common/debuglog.h"
#include "engine/orientationcheck.h"
#include "engine/photofiles.h"
#include "engine/photorotation.h"
#include "engine/safereplace.h"
#include "engine/tempfileholder.h"
#include "files/fileproblem.h"
#include "files/heldphoto.h"
#include "settings/settings.h"

namespace {
// The event loop gets control back at least this often while a scan lists or examines photos.
constexpr int sliceMs = 10;
// Progress is told at most this often.
constexpr int progressIntervalMs = 100;

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

RunEvent runEventOf(RunEvent::Kind kind, const QString &folder = QString()) {
    RunEvent event;
    event.kind = kind;
    event.folder = folder;
    return event;
}
} // namespace

struct RotationEngine::ActiveRotation {
    PhotoRotation *rotation = nullptr;
    int slot = 0;
    QString failureKey;
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
    arrivalSettleMs = settleMs;
    emptyPhotoSettleMs = emptyMs;
    incompletePhotoWaitMs = incompleteMs;
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
        tell(RunEvent::BatchRefused);
        return false;
    }
    state = RunState::UserBatch;
    emit runStarted(RunSummary::UserBatch);
    tell(RunEvent::ScanStarted, folder);
    qCDebug(lcPivotta) << "no watcher";
    beginScan(RunSummary::UserBatch, folder, dryRun, readSettings());
    return true;
}

void RotationEngine::startWatcherRun(const QString &folder) {
    qCDebug(lcPivotta) << "watcher";
    RunEvent noticed = runEventOf(RunEvent::ChangeNoticed, folder);
    noticed.time = QTime::currentTime();
    tell(noticed);
    pendingWatcherFolder = folder;
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
    beginScan(RunSummary::WatcherRun, folder, false, readSettings());
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
        tell(RunEvent::SinglePhotoRefused);
        return false;
    }
    state = RunState::SinglePhoto;
    emit runStarted(RunSummary::SinglePhoto);
    scan = std::make_unique<Scan>();
    scan->summary.kind = RunSummary::SinglePhoto;
    scan->summary.folder = folder;
    scan->settings = readSettings();
    scan->settings.parallel = 1;
    scan->dryRun = dryRun;
    scan->presetTurn = turn;
    scan->entries << photoPath;
    scan->timer.start();
    scheduleSlice(&RotationEngine::examineSlice);
    return true;
}

OrientationCheck RotationEngine::checkPhoto(const QString &photoPath) const {
    return checkOrientation(photoPath, Settings::fixMirroredOrientations());
}

void RotationEngine::stop() {
    // No follow-up: the user asked for an end.
    watcherRunDue = false;
    if (!scan)
        return;
    scan->summary.interrupted = true;
    for (ActiveRotation *rotation : std::as_const(active))
        rotation->rotation->stop();
    if (active.isEmpty())
        scheduleSlice(&RotationEngine::examineSlice);
}

// One scan of a run; a watcher run that rechecks begins another. The arguments are copies: the
// previous scan they may come from goes here.
void RotationEngine::beginScan(RunSummary::Kind kind, QString folder, bool dryRun,
                               RunSettings settings) {
    scan = std::make_unique<Scan>();
    scan->summary.kind = kind;
    scan->summary.folder = folder;
    scan->dryRun = dryRun;
    scan->settings = settings;
    qCDebug(lcPivotta) << "rotate while iterating folder start";
    scan->timer.start();

    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        tell(RunEvent::FolderNotOpened, folder);
        scheduleSlice(&RotationEngine::examineSlice);
        return;
    }
    scan->iterator = std::make_unique<QDirIterator>(
        QDir::cleanPath(folder), photoNameFilters(),
        QDir::AllEntries | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    scan->listing = true;
    scheduleSlice(&RotationEngine::listSlice);
}

// Lists the photos first, a slice at a time, so that a user batch can show how far it is.
void RotationEngine::listSlice() {
    if (!scan)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!stopping() && scan->iterator->hasNext()) {
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
    if (!stopping())
        removeLeftoverTempFiles();
    if (scan->summary.kind == RunSummary::UserBatch && !stopping())
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
        RunEvent event = runEventOf(RunEvent::LeftoversRemoved, folder);
        event.count = int(removed.size());
        tell(event);
    }
}

// Looks at the next photos in scan order and starts their rotations while there is room.
void RotationEngine::examineSlice() {
    if (!scan)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!stopping() && scan->next < scan->entries.size() &&
           active.size() < scan->settings.parallel) {
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
    const auto photoOf = [&] {
        return PhotoRef{entry, PhotoRotation::replacedFileOf(entry), summary.folder};
    };
    if (summary.kind == RunSummary::SinglePhoto && scan->presetTurn != Turn::None) {
        ++summary.photosToRotate;
        startRotation(photoOf(), scan->presetTurn, slot, FileState());
        return;
    }
    if (summary.kind == RunSummary::WatcherRun && leaveForLater(entry)) {
        entryHandled(slot);
        return;
    }

    // The turn holds only for the photo it is read from: the rotation compares.
    const FileState examined = fileStateOf(entry);
    const OrientationCheck check = checkOrientation(entry, scan->settings.fixMirrored);
    if (check.askedImageReader) {
        PhotoStep step;
        step.kind = PhotoStep::ExifUnusable;
        step.photo = photoOf();
        step.check = check;
        step.inUserBatch = summary.kind == RunSummary::UserBatch;
        tell(slot, step);
    }
    if (summary.kind == RunSummary::UserBatch && summary.entriesSeen % 10 == 0) {
        RunEvent counted = runEventOf(RunEvent::PhotosCounted, summary.folder);
        counted.count = summary.photosToRotate;
        counted.total = summary.entriesSeen;
        tell(counted);
    }

    if (check.finding == OrientationCheck::Changed && summary.kind == RunSummary::WatcherRun)
        summary.photosArriving << entry;
    // A single photo that cannot be read is a failure; in a folder, such a file is no photo.
    const bool unopenedSingle =
        check.finding == OrientationCheck::NotOpened && summary.kind == RunSummary::SinglePhoto;
    if (check.leavesPhoto() || unopenedSingle) {
        const bool failed = check.finding == OrientationCheck::Unreadable || unopenedSingle;
        finishPhoto(slot, failed ? PhotoOutcome::Failed : PhotoOutcome::Left, photoOf(), Turn::None,
                    reasonOfCheck(check));
    }

    if (check.turn == Turn::None) {
        if (summary.kind == RunSummary::SinglePhoto) {
            RunEvent nothing = runEventOf(RunEvent::NoTurnFound, summary.folder);
            nothing.path = entry;
            tell(slot, nothing);
        }
        entryHandled(slot);
        return;
    }
    ++summary.photosToRotate;
    if (scan->dryRun) {
        PhotoStep announced;
        announced.kind = PhotoStep::TurnAnnounced;
        announced.photo = photoOf();
        announced.turn = check.turn;
        announced.dryRun = true;
        announced.time = QDateTime::currentDateTime();
        tell(slot, announced);
        finishPhoto(slot, PhotoOutcome::WouldRotate, announced.photo, check.turn);
        entryHandled(slot);
        return;
    }
    qCDebug(lcPivotta) << "go" << entry;
    startRotation(photoOf(), check.turn, slot, examined);
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

void RotationEngine::startRotation(const PhotoRef &photo, Turn turn, int slot,
                                   const FileState &examined) {
    if (photosInWork.contains(photo.file)) {
        PhotoReason inWork;
        inWork.kind = PhotoReason::AlreadyInWork;
        finishPhoto(slot, PhotoOutcome::Left, photo, turn, inWork);
        entryHandled(slot);
        return;
    }
    // Held from here on: the rotation reaches the photo through this descriptor only.
    FileProblem problem;
    std::shared_ptr<HeldPhoto> held = HeldPhoto::openChosen(photo.path, &problem);
    const auto asExamined = [&examined](const FileStatus &status) {
        return !examined.exists ||
               (examined.device == status.key.device && examined.inode == status.key.inode &&
                examined.size == status.size &&
                examined.changeTimeNs ==
                    status.changed.seconds * 1000000000 + status.changed.nanoseconds);
    };
    if (!held || !asExamined(held->status())) {
        PhotoReason reason = reasonOfOpenProblem(problem);
        if (held)
            reason.kind = PhotoReason::ChangedWhileExamined;
        if (held && scan->summary.kind == RunSummary::WatcherRun)
            scan->summary.photosArriving << photo.path;
        finishPhoto(slot, held ? PhotoOutcome::Left : PhotoOutcome::Failed, photo, turn, reason);
        entryHandled(slot);
        return;
    }
    PhotoRotation::Job job;
    job.photo = held;
    job.photoPath = photo.path;
    job.turn = turn;
    job.folder = photo.folder;
    job.toolTimeoutMs = toolTimeoutMs;
    job.photosAtOnce = scan->settings.parallel;
    job.perfect = scan->settings.perfect;
    job.trim = scan->settings.trim;
    job.fileTimeMode = scan->settings.fileTimeMode;
    job.keepOriginal = scan->settings.keepOriginals;
    auto *rotation = new PhotoRotation(job, this);
    active << new ActiveRotation{rotation, slot, failureKey(QFileInfo(photo.path))};
    photosInWork.insert(photo.file);
    connect(rotation, &PhotoRotation::step, this,
            [this, slot](const PhotoStep &step) { tell(slot, step); });
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
    photosInWork.remove(photo.file);
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
        failedPhotoKeys.insert(record->failureKey);
        break;
    case PhotoRotationOutcome::TryLater:
        if (summary.kind == RunSummary::WatcherRun)
            summary.photosArriving << photo.path;
        break;
    case PhotoRotationOutcome::Stopped:
        break;
    }
    tell(record->slot, photoOutcomeOf(photo, rotation->turn(), outcome));
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

bool RotationEngine::stopping() const {
    return scan && scan->summary.interrupted;
}

bool RotationEngine::scanDone() const {
    if (!active.isEmpty() || scan->listing)
        return false;
    return stopping() || scan->next >= scan->entries.size();
}

void RotationEngine::finishScan() {
    if (!scan || !scanDone())
        return;
    ordered.clear();
    scan->summary.elapsedMs = scan->timer.elapsed();
    // A change noticed while the run was stopping starts nothing: the user asked for an end.
    if (scan->summary.interrupted) {
        tell(RunEvent::Interrupted, scan->summary.folder);
        watcherRunDue = false;
    }
    if (scan->summary.kind == RunSummary::WatcherRun && watcherRunDue) {
        watcherRunDue = false;
        tell(RunEvent::Rechecking, scan->summary.folder);
        beginScan(scan->summary.kind, scan->summary.folder, scan->dryRun, scan->settings);
        return;
    }
    finishRun();
}

void RotationEngine::finishRun() {
    qCDebug(lcPivotta) << "finish";
    RunSummary summary = scan->summary;
    summary.endTime = QTime::currentTime();
    qCDebug(lcPivotta) << "remaining:" << summary.photosToRotate;
    scan.reset();
    state = RunState::Idle;
    if (watcherRunDue) {
        QTimer::singleShot(0, this, [this] {
            if (watcherRunDue)
                startWatcherRun(pendingWatcherFolder);
        });
    }
    emit runFinished(summary);
}

void RotationEngine::tell(const RunEvent &event) {
    emit runEvent(event);
}

void RotationEngine::tell(RunEvent::Kind kind, const QString &folder) {
    tell(runEventOf(kind, folder));
}

void RotationEngine::tell(int slot, const PhotoStep &step) {
    ordered.add(slot, [this, step] { emit photoStep(step); });
}

void RotationEngine::tell(int slot, const PhotoOutcome &outcome) {
    ordered.add(slot, [this, outcome] { emit photoFinished(outcome); });
}

void RotationEngine::tell(int slot, const RunEvent &event) {
    ordered.add(slot, [this, event] { emit runEvent(event); });
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
    tell(slot, outcome);
}

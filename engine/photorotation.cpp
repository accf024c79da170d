// One photo's rotation chain: the lease or two looks, one read, jpegtran for each picture, the
// assembly, exiv2's reading, and the replacement.
#include "engine/photorotation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QPromise>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include "common/debuglog.h"
#include "engine/photowork.h"
#include "engine/replacementchecks.h"
#include "files/fileproblem.h"
#include "files/filetimes.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "files/heldtempfile.h"
#include "files/leasebreaks.h"
#include "jpeg/exactturn.h"
#include "tools/toolcommands.h"
#include "tools/toolrun.h"

namespace {
// The program's one notifier of lease breaks, made on first use on the chain's thread.
LeaseBreakNotifier *leaseBreaks() {
    static QPointer<LeaseBreakNotifier> notifier;
    if (!notifier)
        notifier = new LeaseBreakNotifier(QCoreApplication::instance());
    return notifier;
}

template <typename Result> QFuture<Result> inPool(std::function<Result()> work) {
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work] {
        promise->addResult(work());
        promise->finish();
    });
    return future;
}

PhotoReason reasonOf(PhotoReason::Kind kind, const QString &error = {}) {
    PhotoReason reason;
    reason.kind = kind;
    reason.error = error;
    return reason;
}

// Photos left for these reasons are not done with: a later run comes back to them.
PhotoRotationOutcome::Kind outcomeKindOf(const PhotoReason &reason) {
    if (reason.kind == PhotoReason::Stopped)
        return PhotoRotationOutcome::Stopped;
    return leftForLater(reason) ? PhotoRotationOutcome::TryLater : PhotoRotationOutcome::Failed;
}

qint64 pixelsOf(const JpegFrame &frame) {
    return qint64(frame.width) * qint64(frame.height);
}

FileLook lookAt(const HeldPhoto &photo) {
    FileLook look;
    photo.statusNow(&look.status, nullptr);
    look.at = FileTime::now();
    return look;
}
} // namespace

PhotoRotation::PhotoRotation(const Job &photoJob, QObject *parent)
    : QObject(parent)
    , job(photoJob)
    , work(std::make_shared<PhotoWork>(photoJob.photo)) {}

// A worker that still has the photo's work ends it by itself: the temporary file goes and the
// lease is let go with the last owner of the work.
PhotoRotation::~PhotoRotation() {
    if (working)
        work->cancelled = true;
    else
        letGo();
}

QString PhotoRotation::replacedFileOf(const QString &photoPath) {
    const QFileInfo info(photoPath);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        return info.canonicalFilePath();
    return info.absoluteFilePath();
}

PhotoRef PhotoRotation::photo() const {
    return {job.photoPath, job.photo->displayPath(), job.folder};
}

void PhotoRotation::setTestHooks(const TestHooks &testHooks) {
    hooks = testHooks;
}

void PhotoRotation::start() {
    if (!checkBeforeStart())
        return;
    connect(leaseBreaks(), &LeaseBreakNotifier::leaseBreaking, this,
            &PhotoRotation::onLeaseBreaking);
    takeLease();
}

void PhotoRotation::stop() {
    if (ended || stopRequested)
        return;
    stopRequested = true;
    work->cancelled = true;
    if (replacing || working)
        return; // the worker's end ends the chain, within moments
    if (tool && tool->isRunning()) {
        tool->stop(); // its done() ends the chain
        return;
    }
    leave(PhotoReason::Stopped);
}

// The photo as it stands now: the one that was examined, still under its name, and one that may
// be replaced.
bool PhotoRotation::checkBeforeStart() {
    HeldPhoto &photo = *job.photo;
    FileStatus now;
    FileProblem problem;
    if (photo.placement(&problem) == HeldPhoto::Placement::Replaced) {
        leave(reasonOfPlacement(photo, problem));
        return false;
    }
    if (!photo.statusNow(&now, nullptr) || !sameFileUnchanged(photo.status(), now)) {
        leave(PhotoReason::ChangedWhileExamined);
        return false;
    }
    FileStatus folder;
    PhotoReason obstacle;
    if (!photo.folder()->status(&folder, &problem))
        obstacle = reasonOf(PhotoReason::NotRead, problem.text());
    else
        obstacle = replacementObstacle(now, folder, currentUser());
    const FileProblem blocker = replacementBlocker(photo);
    if (obstacle.kind == PhotoReason::None && blocker.isProblem())
        obstacle = reasonOf(PhotoReason::Protected, blocker.text());
    // A second name may be one an earlier run left in the trash: looked at once, on a worker.
    if (obstacle.kind == PhotoReason::HardLinks && !secondNameLookedAt) {
        secondNameLookedAt = true;
        runWork<SecondNameLook>(::lookAtSecondName, &PhotoRotation::onSecondNameLookedAt);
        return false;
    }
    if (obstacle.kind != PhotoReason::None) {
        leave(obstacle);
        return false;
    }
    return true;
}

// With its second name taken out of the trash, the photo is checked again and goes on.
void PhotoRotation::onSecondNameLookedAt(const SecondNameLook &look) {
    if (!look.takenOutOfTrash.isEmpty()) {
        PhotoStep takenBack = stepOf(PhotoStep::OriginalTakenBack);
        takenBack.path = look.takenOutOfTrash;
        tell(takenBack);
    }
    if (endIfInterrupted())
        return;
    if (look.reason.kind != PhotoReason::None) {
        leave(look.reason);
        return;
    }
    start();
}

// Another Pivotta turning the photo holds it. A photo that some program has open for writing is
// still being written; readers do not count. Where the system gives no lease, the photo must look
// the same twice a moment apart and have been left alone for a while.
void PhotoRotation::takeLease() {
    if (job.photo->takeRotationLock() == HeldPhoto::RotationLock::TakenElsewhere) {
        leave(PhotoReason::InUse);
        return;
    }
    const HeldPhoto::Lease lease =
        hooks.noLease ? HeldPhoto::Lease::Unavailable : job.photo->takeReadLease();
    if (lease == HeldPhoto::Lease::OpenForWriting) {
        leave(PhotoReason::StillBeingWritten);
        return;
    }
    if (lease == HeldPhoto::Lease::Unavailable) {
        qCDebug(lcPivotta) << "no lease, looking twice" << job.photoPath;
        lookTimer = new QTimer(this);
        lookTimer->setSingleShot(true);
        connect(lookTimer, &QTimer::timeout, this, &PhotoRotation::lookAgain);
        firstLook = lookAt(*job.photo);
        hook(HookPoint::FirstLook);
        lookTimer->start(int(settleLookIntervalMs));
        return;
    }
    hook(HookPoint::LeaseTaken);
    readPhoto();
}

void PhotoRotation::lookAgain() {
    if (endIfInterrupted())
        return;
    const FileLook second = lookAt(*job.photo);
    const SettledVerdict verdict = compareLooks(*firstLook, second);
    switch (verdict.kind) {
    case SettledVerdict::Kind::Changing:
        leave(PhotoReason::StillBeingWritten);
        return;
    case SettledVerdict::Kind::WaitMore:
        lookTimer->start(int(verdict.waitMs));
        return;
    case SettledVerdict::Kind::Settled:
        break;
    }
    if (!sameFileUnchanged(job.photo->status(), second.status)) {
        leave(PhotoReason::ChangedWhileExamined);
        return;
    }
    readPhoto();
}

void PhotoRotation::readPhoto() {
    if (endIfInterrupted())
        return;
    PhotoStep timeRead = stepOf(PhotoStep::TimeRead);
    timeRead.time = job.photo->status().modified.toDateTime();
    timeRead.restoring = job.fileTimeMode == FileTimeMode::RestoreOriginal;
    tell(timeRead);
    runWork<PhotoReason>(::readPhoto, &PhotoRotation::onRead);
}

void PhotoRotation::onRead(const PhotoReason &reason) {
    if (endIfInterrupted())
        return;
    if (reason.kind != PhotoReason::None) {
        leave(reason);
        return;
    }
    hook(HookPoint::PhotoRead);
    if (endIfInterrupted())
        return;
    const PhotoPictures &pictures = work->pictures;
    // A photo whose main picture does not read whole is still given to jpegtran, which says why.
    if (!pictures.isUsable() && pictures.problem != PicturesProblem::PrimaryIncomplete) {
        PhotoReason unreadable = reasonOf(PhotoReason::PicturesUnreadable, pictures.problemDetail);
        unreadable.pictures = pictures.problem;
        const int listed = std::max(pictures.problemIndexEntry, pictures.problemContainerItem);
        unreadable.picture = listed >= 0 ? listed + 1 : 0;
        leave(unreadable);
        return;
    }
    turnPrimary();
}

void PhotoRotation::turnPrimary() {
    const JpegStructure &primary = work->pictures.primary;
    const qint64 length = primary.isComplete() ? primary.imageEnd : work->original.size();
    runTool("jpegtran", jpegtranArguments(job.turn, primary, job.perfect, job.trim),
            pixelsOf(primary.frame), &PhotoRotation::onPrimaryTurned, 0, length);
}

void PhotoRotation::onPrimaryTurned(const ToolResult &result) {
    const JpegStructure &primary = work->pictures.primary;
    if (endIfToolNotRun(result, "jpegtran", pixelsOf(primary.frame)))
        return;
    // Every outcome but a crash is told after the turn: a warning leaves the photo too, since the
    // data it warns about would be baked into the rotated photo.
    if (result.ending != ToolResult::Crashed) {
        PhotoStep announced = stepOf(PhotoStep::TurnAnnounced);
        announced.turn = job.turn;
        announced.time = QDateTime::currentDateTime();
        tell(announced);
    }
    if (ended || pictureRefused(result, 1, primary))
        return;
    if (!work->pictures.isUsable()) {
        PhotoReason unreadable = reasonOf(PhotoReason::PicturesUnreadable, primary.problem);
        unreadable.pictures = work->pictures.problem;
        unreadable.picture = 1;
        leave(unreadable);
        return;
    }
    work->turned.primary = result.output;
    turnThumbnail();
}

// The EXIF thumbnail is turned by the same transform, so that viewers that show it show it
// upright; one that jpegtran cannot turn keeps its old orientation, and the photo goes on.
void PhotoRotation::turnThumbnail() {
    const FileRange &thumbnail = work->pictures.primary.thumbnail;
    if (thumbnail.isEmpty() || thumbnail.end() > work->original.size()) {
        turnNextPicture();
        return;
    }
    runTool("jpegtran", jpegtranThumbnailArguments(job.turn), 0, &PhotoRotation::onThumbnailTurned,
            thumbnail.offset, thumbnail.length);
}

void PhotoRotation::onThumbnailTurned(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped || endIfInterrupted()) {
        leave(PhotoReason::Stopped);
        return;
    }
    work->thumbnailTurned = result.succeeded() && !result.output.isEmpty();
    if (work->thumbnailTurned)
        work->turned.thumbnail = result.output;
    turnNextPicture();
}

// Gain maps and previews are turned alike, each keeping its own coding and metadata. One that no
// lossless turn keeps whole is turned exactly instead, so that it keeps its shape (a gain map must
// have its photo's); with "perfect" the photo is left.
void PhotoRotation::turnNextPicture() {
    if (nextPicture >= int(work->furtherPictures.size())) {
        assemble();
        return;
    }
    const FileRange &range = work->furtherPictures[size_t(nextPicture)];
    const JpegStructure &structure = work->furtherStructures[size_t(nextPicture)];
    if (job.perfect && !isPerfectTurn(structure.frame, job.turn)) {
        PhotoReason reason = reasonOf(PhotoReason::NeedsReencoding);
        reason.picture = nextPicture + 2;
        reason.frame = pictureFrameOf(structure.frame, job.turn);
        reason.perfectRequired = true;
        leave(reason);
        return;
    }
    runTool("jpegtran", jpegtranArguments(job.turn, structure, job.perfect, job.trim),
            pixelsOf(structure.frame), &PhotoRotation::onPictureTurned, range.offset, range.length);
}

// jpegtran runs on a picture that is to be turned exactly too: its verdict on damaged data holds
// for it as for every picture, lest a decoder fill what it cannot read and the new coding keep it.
void PhotoRotation::onPictureTurned(const ToolResult &result) {
    const JpegStructure &structure = work->furtherStructures[size_t(nextPicture)];
    if (endIfToolNotRun(result, "jpegtran", pixelsOf(structure.frame)) ||
        pictureRefused(result, nextPicture + 2, structure))
        return;
    if (!isPerfectTurn(structure.frame, job.turn)) {
        reencodePicture();
        return;
    }
    work->turned.pictures.push_back(result.output);
    ++nextPicture;
    turnNextPicture();
}

// Decoded, turned and encoded anew on a worker.
void PhotoRotation::reencodePicture() {
    const size_t picture = size_t(nextPicture);
    const Turn turn = job.turn;
    runWork<PhotoReason>(
        [picture, turn](PhotoWork &w) { return turnPictureExactly(w, picture, turn); },
        &PhotoRotation::onPictureReencoded);
}

void PhotoRotation::onPictureReencoded(const PhotoReason &reason) {
    if (endIfInterrupted())
        return;
    if (reason.kind != PhotoReason::None) {
        leave(reason);
        return;
    }
    ++nextPicture;
    turnNextPicture();
}

// Ends the chain for a jpegtran run on a picture that did not succeed; true then.
bool PhotoRotation::pictureRefused(const ToolResult &result, int picture,
                                   const JpegStructure &structure) {
    PhotoReason reason = reasonOf(PhotoReason::JpegtranFailed);
    reason.jpegtran =
        jpegtranOutcome(result.exitedNormally(), result.exitCode, result.standardError);
    if (reason.jpegtran == JpegtranOutcome::Success)
        return false;
    reason.tool = traceOf(result, false);
    reason.picture = picture;
    reason.frame = pictureFrameOf(structure.frame, job.turn);
    reason.perfectRequired = job.perfect;
    reason.toolSays = jpegtranMessage(result.standardError);
    // jpegtran takes a frame marker inside the image data for a JPEG process it cannot turn.
    if (reason.jpegtran == JpegtranOutcome::UnsupportedType && structure.hasStrayFrameMarker()) {
        reason.kind = PhotoReason::DamagedImageData;
        reason.marker = structure.strayFrameMarker;
        reason.at = structure.strayFrameMarkerAt;
    }
    leave(reason);
    return true;
}

void PhotoRotation::assemble() {
    if (endIfInterrupted())
        return;
    const Turn turn = job.turn;
    const bool trim = job.trim;
    runWork<Assembly>([turn, trim](PhotoWork &w) { return assembleAndWrite(w, turn, trim); },
                      &PhotoRotation::onAssembled);
}

void PhotoRotation::onAssembled(const Assembly &assembly) {
    if (endIfInterrupted())
        return;
    if (assembly.reason.kind != PhotoReason::None) {
        leave(assembly.reason);
        return;
    }
    tellAssembly(assembly);
    hasOrientation = assembly.hasOrientation;
    hook(HookPoint::ResultWritten);
    readResult();
}

void PhotoRotation::tellAssembly(const Assembly &assembly) {
    const AssemblyReport &report = assembly.report;
    if (job.trim) {
        rotated.trimmed = droppedEdgesOf(trimmedEdges(work->pictures.primary.frame, job.turn));
        PhotoStep edges = stepOf(PhotoStep::EdgesTrimmed);
        edges.trim = rotated.trimmed;
        tell(edges);
    }
    if (!work->pictures.primary.thumbnail.isEmpty()) {
        const bool placed = report.thumbnailGiven && report.thumbnail != ThumbnailPlacement::NoRoom;
        thumbnailKeptItsOwn = !placed;
        if (placed)
            tell(PhotoStep::ThumbnailTurned);
        else if (report.thumbnailGiven)
            tell(PhotoStep::ThumbnailNoRoom);
        else
            tell(PhotoStep::ThumbnailNotTurned);
    }
    if (work->pictures.pictureCount() > 0) {
        PhotoStep pictures = stepOf(PhotoStep::PicturesTurned);
        pictures.count = work->pictures.pictureCount();
        tell(pictures);
    }
    for (const size_t picture : work->reencoded) {
        PhotoStep reencoded = stepOf(PhotoStep::PictureReencoded);
        reencoded.picture = int(picture) + 2;
        reencoded.gainMap = work->pictures.isGainMap(picture);
        reencoded.frame = pictureFrameOf(work->furtherStructures[picture].frame, job.turn);
        reencoded.turn = job.turn;
        reencoded.quality = exactTurnQuality;
        tell(reencoded);
        rotated.reencoded << reencoded.picture;
    }
    if (report.otherBytesKept > 0) {
        PhotoStep kept = stepOf(PhotoStep::TrailingBytesKept);
        kept.bytes = report.otherBytesKept;
        tell(kept);
    }
}

// exiv2, a reader independent of Pivotta's own, reads the temporary file through this process's
// descriptor of the folder: never the photo, which may be leased.
void PhotoRotation::readResult() {
    if (endIfInterrupted())
        return;
    const bool withDate = job.fileTimeMode == FileTimeMode::FromExifDate;
    runTool("exiv2", exiv2ReadingArguments(work->temp->toolPath(), withDate),
            pixelsOf(work->pictures.primary.frame), &PhotoRotation::onResultRead);
}

void PhotoRotation::onResultRead(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped || endIfInterrupted()) {
        leave(PhotoReason::Stopped);
        return;
    }
    // An exiv2 that did not run or did not end confirms nothing: the photo is left, lest it be
    // turned a second time later.
    PhotoReason notReset = reasonOf(PhotoReason::OrientationNotReset);
    notReset.tool = traceOf(result, true);
    if (result.ending == ToolResult::FailedToStart || result.ending == ToolResult::TimedOut) {
        leave(notReset);
        return;
    }
    PhotoStep ran = stepOf(PhotoStep::OrientationToolRan);
    ran.tool = notReset.tool;
    tell(ran);
    const Exiv2Reading reading = readExiv2Reading(result.exitedNormally(), result.exitCode,
                                                  result.outputText(), result.standardError);
    if (!reading.read || (hasOrientation && !reading.has("Exif.Image.Orientation"))) {
        leave(notReset);
        return;
    }
    const QString notUpright = reading.orientationNotUpright(thumbnailKeptItsOwn);
    if (!notUpright.isEmpty()) {
        PhotoReason wrong = reasonOf(PhotoReason::FinishedWrong, notUpright);
        wrong.finishedProblem = PhotoReason::OrientationLeft;
        leave(wrong);
        return;
    }
    tell(PhotoStep::OrientationCleared);
    exifDate = reading.exifDate();
    if (job.fileTimeMode == FileTimeMode::FromExifDate)
        exifTime = fileTimeFromExifDate(exifDate);
    replace();
}

void PhotoRotation::replace() {
    if (endIfInterrupted())
        return;
    ReplacementPlan plan;
    const FileStatus &before = job.photo->status();
    if (job.fileTimeMode == FileTimeMode::RestoreOriginal)
        plan.modified = before.modified;
    else if (job.fileTimeMode == FileTimeMode::FromExifDate)
        plan.modified = exifTime;
    if (plan.modified)
        plan.accessed = before.accessed;
    plan.keepOriginal = job.keepOriginal;
    replacing = true;
    runWork<Replacement>([plan](PhotoWork &w) { return replacePhoto(w, plan); },
                         &PhotoRotation::onReplaced);
}

void PhotoRotation::onReplaced(const Replacement &replacement) {
    replacing = false;
    tellFileTime(replacement.timesSet);
    if (replacement.reason.kind != PhotoReason::None) {
        leave(replacement.reason);
        return;
    }
    if (!replacement.keptOriginal.isEmpty()) {
        PhotoStep kept = stepOf(PhotoStep::OriginalKept);
        kept.path = replacement.keptOriginal;
        tell(kept);
        rotated.keptOriginal = replacement.keptOriginal;
        rotated.trashFolder = replacement.trashFolder;
    }
    qCDebug(lcPivotta) << job.photo->displayPath();
    end(PhotoRotationOutcome::Rotated);
}

void PhotoRotation::tellFileTime(bool set) {
    PhotoStep fileTime = stepOf(PhotoStep::FileTimeFromExif);
    switch (job.fileTimeMode) {
    case FileTimeMode::LeaveAlone:
        return;
    case FileTimeMode::RestoreOriginal:
        fileTime.kind = set ? PhotoStep::FileTimeRestored : PhotoStep::FileTimeNotRestored;
        fileTime.time = job.photo->status().modified.toDateTime();
        break;
    case FileTimeMode::FromExifDate:
        if (exifDate.isEmpty()) {
            fileTime.exifTime = PhotoStep::ExifDateMissing;
        } else if (exifTime && set) {
            fileTime.exifTime = PhotoStep::TimeSet;
            fileTime.time = exifTime->toDateTime();
        }
        break;
    }
    tell(fileTime);
}

// Another program opens the photo for writing (or truncates it): the lease is let go at once, so
// that it goes on, and the chain ends at its next step, leaving the photo as the other program
// makes it.
void PhotoRotation::onLeaseBreaking(int descriptor) {
    if (ended || descriptor != job.photo->descriptor() || !job.photo->holdsLease())
        return;
    qCDebug(lcPivotta) << "another program writes the photo" << job.photoPath;
    leaseLost = true;
    if (!replacing)
        work->cancelled = true;
    if (!working)
        job.photo->releaseLease();
}

// Runs `work` on a worker thread; `onDone` gets its result on this one, unless the chain ended
// meanwhile.
template <typename Result>
void PhotoRotation::runWork(std::function<Result(PhotoWork &)> task,
                            void (PhotoRotation::*onDone)(const Result &)) {
    auto *watcher = new QFutureWatcher<Result>(this);
    working = true;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, onDone] {
        const Result result = watcher->result();
        watcher->deleteLater();
        working = false;
        if (leaseLost && job.photo->holdsLease())
            job.photo->releaseLease();
        if (!ended)
            (this->*onDone)(result);
    });
    std::shared_ptr<PhotoWork> shared = work;
    watcher->setFuture(inPool<Result>([shared, task] { return task(*shared); }));
}

// Ends the chain for a stop or a broken lease; true when it did.
bool PhotoRotation::endIfInterrupted() {
    if (ended)
        return true;
    if (stopRequested)
        leave(PhotoReason::Stopped);
    else if (leaseLost)
        leave(PhotoReason::ChangedWhileRotated);
    return ended;
}

// Ends the chain for a tool run that did not start, did not end or was stopped; true when there
// is no result to use.
bool PhotoRotation::endIfToolNotRun(const ToolResult &result, const QString &toolName,
                                    qint64 pixels) {
    if (endIfInterrupted())
        return true;
    PhotoReason reason;
    reason.toolName = toolName;
    switch (result.ending) {
    case ToolResult::Stopped:
        leave(PhotoReason::Stopped);
        return true;
    case ToolResult::FailedToStart:
        qCDebug(lcPivotta).noquote() << toolName + " launch failed";
        reason.kind = PhotoReason::ToolNotStarted;
        reason.error = result.errorText;
        leave(reason);
        return true;
    case ToolResult::TimedOut:
        qCDebug(lcPivotta).noquote() << toolName + " finish wait out failed";
        reason.kind = PhotoReason::ToolTimedOut;
        reason.timeoutMs = timeoutFor(pixels);
        reason.timeoutScaled = reason.timeoutMs > job.toolTimeoutMs;
        reason.pixels = pixels;
        reason.photosAtOnce = job.photosAtOnce;
        leave(reason);
        return true;
    case ToolResult::Finished:
    case ToolResult::Crashed:
        return false;
    }
    return false;
}

void PhotoRotation::runTool(const QString &toolName, const QStringList &arguments, qint64 pixels,
                            void (PhotoRotation::*onDone)(const ToolResult &), qint64 inputOffset,
                            qint64 inputLength) {
    if (endIfInterrupted())
        return;
    const QString program = toolPath(toolName);
    // The previous run may be the one whose done() led here.
    if (tool)
        tool->deleteLater();
    tool = new ToolRun(this);
    connect(tool, &ToolRun::done, this, [this, onDone](const ToolResult &result) {
        if (!ended)
            (this->*onDone)(result);
    });
    tool->start(program, arguments, timeoutFor(pixels), work->original, inputOffset, inputLength);
}

int PhotoRotation::timeoutFor(qint64 pixels) const {
    return toolTimeoutMs(pixels, job.photosAtOnce, QThread::idealThreadCount(), job.toolTimeoutMs);
}

void PhotoRotation::hook(HookPoint point) {
    if (hooks.at && !ended)
        hooks.at(point);
}

QString PhotoRotation::toolPath(const QString &toolName) {
    const QString path = locateTool(toolName, QCoreApplication::applicationDirPath(),
                                    qEnvironmentVariable(toolsDirEnvironmentVariable));
    if (!QFileInfo::exists(path)) {
        PhotoStep missing = stepOf(PhotoStep::ToolMissing);
        missing.path = path;
        tell(missing);
    }
    return path;
}

// jpegtran's standard output is the turned picture, not words.
ToolTrace PhotoRotation::traceOf(const ToolResult &result, bool withOutput) const {
    const QString workPath = work->temp ? work->temp->toolPath() : QString();
    const QString photoPath = job.photo->displayPath();
    return {result.ending,
            withOutput ? outputNamingPhoto(result.outputText(), workPath, photoPath) : QString(),
            outputNamingPhoto(result.standardError, workPath, photoPath)};
}

PhotoStep PhotoRotation::stepOf(PhotoStep::Kind kind) const {
    PhotoStep photoStep;
    photoStep.kind = kind;
    photoStep.photo = photo();
    return photoStep;
}

// A listener may stop the chain from inside a step; once it has ended, nothing more is told.
void PhotoRotation::tell(const PhotoStep &photoStep) {
    if (!ended)
        emit step(photoStep);
}

void PhotoRotation::tell(PhotoStep::Kind kind) {
    tell(stepOf(kind));
}

void PhotoRotation::leave(const PhotoReason &reason) {
    end(outcomeKindOf(reason), reason);
}

void PhotoRotation::leave(PhotoReason::Kind reason) {
    leave(reasonOf(reason));
}

void PhotoRotation::end(PhotoRotationOutcome::Kind kind, const PhotoReason &reason) {
    if (ended)
        return;
    ended = true;
    if (tool && tool->isRunning())
        tool->stop();
    if (lookTimer)
        lookTimer->stop();
    if (!working)
        letGo();
    PhotoRotationOutcome outcome =
        kind == PhotoRotationOutcome::Rotated ? rotated : PhotoRotationOutcome();
    outcome.kind = kind;
    outcome.reason = reason;
    emit finished(outcome);
}

// The temporary file goes, and the lease and the rotation lock with it; the photo stays held by
// whoever opened it.
void PhotoRotation::letGo() {
    work->temp.reset();
    if (!job.photo)
        return;
    if (job.photo->holdsLease())
        job.photo->releaseLease();
    job.photo->releaseRotationLock();
}

PhotoOutcome photoOutcomeOf(const PhotoRef &photo, Turn turn, const PhotoRotationOutcome &outcome) {
    PhotoOutcome photoOutcome;
    photoOutcome.photo = photo;
    photoOutcome.turn = turn;
    photoOutcome.reason = outcome.reason;
    photoOutcome.trimmed = outcome.trimmed;
    photoOutcome.reencoded = outcome.reencoded;
    photoOutcome.keptOriginal = outcome.keptOriginal;
    photoOutcome.trashFolder = outcome.trashFolder;
    switch (outcome.kind) {
    case PhotoRotationOutcome::Rotated:
        photoOutcome.kind = PhotoOutcome::Rotated;
        break;
    case PhotoRotationOutcome::Failed:
        photoOutcome.kind = PhotoOutcome::Failed;
        break;
    case PhotoRotationOutcome::TryLater:
    case PhotoRotationOutcome::Stopped:
        photoOutcome.kind = PhotoOutcome::Left;
        break;
    }
    return photoOutcome;
}

PhotoReason reasonOfOpenProblem(const FileProblem &problem) {
    switch (problem.kind) {
    case FileProblem::Kind::NotFound:
        return reasonOf(PhotoReason::NoLongerThere);
    case FileProblem::Kind::NotRegularFile:
    case FileProblem::Kind::NotFolder:
        return reasonOf(PhotoReason::NotAFile);
    case FileProblem::Kind::SymbolicLink:
    case FileProblem::Kind::Replaced:
        return reasonOf(PhotoReason::ReplacedMeanwhile, problem.text());
    default:
        return reasonOf(PhotoReason::NotRead, problem.text());
    }
}

// One photo's rotation chain: jpegtran, checks, the kept bytes, exiv2 and the replacement.
#include "engine/photorotation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include "common/debuglog.h"
#include "engine/fileidentity.h"
#include "engine/keptbytes.h"
#include "engine/tempfileholder.h"
#include "engine/toolrun.h"
#include "engine/tools.h"
#include "engine/turnedpicture.h"
#include "exif/orientationreader.h"

namespace {
// A rotated photo whose tag still asks for a turn would be turned again by the next run.
bool orientationTagStillTurns(const QString &path) {
    const uint32_t orientation = storedOrientation(path);
    return orientation >= 2 && orientation <= 8;
}

// File systems store times with different precision (FAT: two seconds).
bool sameFileTime(const QDateTime &a, const QDateTime &b) {
    return a.isValid() && b.isValid() && qAbs(a.msecsTo(b)) < 2000;
}

// The first line of jpegtran's own words about a failure, without its name in front.
QString jpegtranSays(const ToolResult &result) {
    const QStringList lines =
        (result.standardError + "\n" + result.standardOutput).split('\n', Qt::SkipEmptyParts);
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith("libjpeg-turbo version") || line.startsWith("Copyright") ||
            line.isEmpty())
            continue;
        if (line.startsWith("jpegtran: "))
            line.remove(0, 10);
        return line;
    }
    return QString();
}

PhotoReason failure(PhotoReason::Kind kind, const QString &error) {
    PhotoReason reason;
    reason.kind = kind;
    reason.error = error;
    return reason;
}

// Replacing the photo writes the result to the disk first, which can take a while on a slow
// disk: it runs on a worker thread, so that the window goes on answering meanwhile.
QFuture<ReplaceOutcome> replaceInBackground(const QString &replacement, const QString &photo,
                                            const FileState &stateBefore) {
    auto promise = std::make_shared<QPromise<ReplaceOutcome>>();
    QFuture<ReplaceOutcome> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, replacement, photo, stateBefore] {
        promise->addResult(replacePhotoKeepingIdentity(replacement, photo, stateBefore));
        promise->finish();
    });
    return future;
}
} // namespace

PhotoRotation::PhotoRotation(const Job &photoJob, QObject *parent)
    : QObject(parent)
    , job(photoJob)
    , photoPath(replacedFileOf(photoJob.photoPath)) {}

PhotoRotation::~PhotoRotation() {
    removeTemporaryFiles();
}

QString PhotoRotation::replacedFileOf(const QString &photoPath) {
    const QFileInfo info(photoPath);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        return info.canonicalFilePath();
    return info.absoluteFilePath();
}

PhotoRef PhotoRotation::photo() const {
    return {job.photoPath, photoPath, job.folder};
}

void PhotoRotation::start() {
    if (!checkPhotoCanBeReplaced())
        return;
    stateBefore = fileStateOf(photoPath);
    if (job.examinedState.exists && stateBefore != job.examinedState) {
        leave(PhotoRotationOutcome::TryLater, PhotoReason::ChangedWhileExamined);
        return;
    }
    if (!checkIdentityCanBeKept())
        return;
    if (stateBefore.size > maxJpegFileSize) {
        PhotoReason reason;
        reason.kind = PhotoReason::TooLarge;
        reason.size = stateBefore.size;
        end(PhotoRotationOutcome::Failed, reason);
        return;
    }
    original = readJpegStructure(photoPath);
    PhotoStep timeRead = stepOf(PhotoStep::TimeRead);
    timeRead.time = stateBefore.modified;
    timeRead.restoring = job.fileTimeMode == FileTimeMode::RestoreOriginal;
    tell(timeRead);
    startBesidePhoto();
}

void PhotoRotation::stop() {
    if (ended || stopRequested)
        return;
    stopRequested = true;
    if (replacing)
        return; // the rename ends the chain either way, within moments
    if (tool && tool->isRunning()) {
        tool->stop(); // its done() ends the chain
        return;
    }
    leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
}

// The rotated photo is written beside the photo and renamed over it, so the photo must be
// writable and its folder must take a new file: the rename must not get round a protection that
// writing into the photo would have met.
bool PhotoRotation::checkPhotoCanBeReplaced() {
    const QFileInfo photo(photoPath);
    PhotoReason::Kind problem = PhotoReason::None;
    if (!photo.exists())
        problem = PhotoReason::NoLongerThere;
    else if (!photo.isFile())
        problem = PhotoReason::NotAFile;
    else if (!isWritablePhoto(photo))
        problem = PhotoReason::ReadOnly;
    else if (!folderAcceptsNewFiles(photo.absolutePath()))
        problem = PhotoReason::FolderReadOnly;
    if (problem == PhotoReason::None)
        return true;
    leave(PhotoRotationOutcome::Failed, problem);
    return false;
}

// The rotated photo is a new file that takes the photo's name. A photo with several names (hard
// links) is left: the rename would give only this name the rotated photo and split the names,
// and writing the result into the photo itself could leave it half-written if anything failed
// on the way. A photo whose owner the running user cannot give a new file is left too.
bool PhotoRotation::checkIdentityCanBeKept() {
    const FileIdentity identity = fileIdentityOf(photoPath);
    PhotoReason reason;
    if (identity.linkCount > 1) {
        reason.kind = PhotoReason::HardLinks;
        reason.count = int(identity.linkCount);
    } else if (!mayGiveOwnership(identity.owner, identity.group)) {
        reason.kind = PhotoReason::OwnerNotGivable;
        reason.owner = ownerAndGroupText(identity.owner, identity.group);
    } else {
        return true;
    }
    end(PhotoRotationOutcome::Failed, reason);
    return false;
}

void PhotoRotation::startBesidePhoto() {
    route = Route::BesidePhoto;
    // Made empty and held first, so that a folder that takes no new file is told apart from a
    // jpegtran failure, and so that no other Pivotta takes the file for a leftover.
    besideTemp = std::make_unique<TempFileHolder>(photoPath);
    if (!besideTemp->isValid()) {
        const PhotoReason reason = failure(PhotoReason::NoTempFile, besideTemp->errorString());
        besideTemp.reset();
        end(PhotoRotationOutcome::Failed, reason);
        return;
    }
    workPath = besideTemp->path();
    runTool("jpegtran",
            jpegtranArgumentList(QDir::toNativeSeparators(photoPath),
                                 QDir::toNativeSeparators(workPath), job.turn, original,
                                 job.perfect, job.trim),
            &PhotoRotation::onJpegtranDone);
}

// The route for photos that jpegtran cannot open under their own name.
void PhotoRotation::startSystemTempCopy() {
    route = Route::SystemTempCopy;
    systemCopyPath = systemTempCopyPath(QCoreApplication::applicationName());
    PhotoStep copyMade = stepOf(PhotoStep::CopyMade);
    copyMade.path = systemCopyPath;
    tell(copyMade);
    qCDebug(lcPivotta) << systemCopyPath;
    if (!QFile::copy(photoPath, systemCopyPath)) {
        PhotoReason reason;
        reason.kind = PhotoReason::CopyNotMade;
        reason.path = systemCopyPath;
        QFile::remove(systemCopyPath); // a copy cut short by a full disk
        systemCopyPath.clear();
        end(PhotoRotationOutcome::Failed, reason);
        return;
    }
    qCDebug(lcPivotta) << "encoded rotate start" << systemCopyPath << " original:" << photoPath;
    workPath = systemCopyPath;
    runTool("jpegtran",
            jpegtranArgumentList(QDir::toNativeSeparators(systemCopyPath),
                                 QDir::toNativeSeparators(systemCopyPath), job.turn, original,
                                 job.perfect, job.trim),
            &PhotoRotation::onJpegtranDone);
}

void PhotoRotation::onJpegtranDone(const ToolResult &result) {
    if (endIfToolNotRun(result, "jpegtran"))
        return;
    jpegtranTrace = traceOf(result);
    if (!checkJpegtranOutcome(result) || ended)
        return;
    PhotoStep announced = stepOf(PhotoStep::TurnAnnounced);
    announced.turn = job.turn;
    announced.time = QDateTime::currentDateTime();
    tell(announced);
    if (!ended)
        checkTurnedResult();
}

// Ends the chain for a jpegtran run that did not succeed, or takes the second route; true when
// the run succeeded.
bool PhotoRotation::checkJpegtranOutcome(const ToolResult &result) {
    const QFileInfo input(photoPath);
    PhotoReason reason;
    reason.kind = PhotoReason::JpegtranFailed;
    reason.jpegtran = jpegtranOutcome(result.exitedNormally(), result.exitCode,
                                      result.standardOutput + "\n" + result.standardError,
                                      input.exists(), input.isReadable());
    reason.tool = jpegtranTrace;
    switch (reason.jpegtran) {
    case JpegtranOutcome::Success:
        return true;
    case JpegtranOutcome::Crashed:
        end(PhotoRotationOutcome::Failed, reason);
        return false;
    case JpegtranOutcome::CannotOpenName:
        if (route == Route::BesidePhoto) {
            qCDebug(lcPivotta) << "filename is not encoded";
            besideTemp.reset();
            startSystemTempCopy();
            return false;
        }
        qCDebug(lcPivotta) << "filename is encoded";
        break;
    case JpegtranOutcome::NotPerfect:
        // The refusal is about the photo's size, not its metadata, whatever the option's name.
        reason.perfectRequired = job.perfect;
        reason.frame = original.frame;
        break;
    case JpegtranOutcome::Failed:
    case JpegtranOutcome::Warning:
        reason.toolSays = jpegtranSays(result);
        break;
    default:
        break;
    }
    // Every outcome but a crash is told after the turn: a warning leaves the photo too, since the
    // data it warns about would be baked into the rotated photo.
    PhotoStep announced = stepOf(PhotoStep::TurnAnnounced);
    announced.turn = job.turn;
    announced.time = QDateTime::currentDateTime();
    tell(announced);
    end(PhotoRotationOutcome::Failed, reason);
    return false;
}

// The result must be what a lossless turn gives: the expected frame, complete, of about the
// original's size. Where its size leaves doubt, small decodes of both settle it.
void PhotoRotation::checkTurnedResult() {
    const JpegStructure result = readJpegStructure(workPath);
    ResultCheck check = ::checkTurnedResult(original, result, job.turn, job.trim);
    if (check.verdict == ResultVerdict::Doubtful &&
        showsTheOriginalTurned(photoPath, workPath, job.turn))
        check.verdict = ResultVerdict::Sound;
    if (check.verdict != ResultVerdict::Sound) {
        PhotoReason reason;
        reason.kind = PhotoReason::NotLossless;
        reason.error = check.reason;
        reason.tool = jpegtranTrace;
        end(PhotoRotationOutcome::Failed, reason);
        return;
    }
    if (job.trim) {
        trimmed = trimmedEdges(original.frame, job.turn);
        PhotoStep edges = stepOf(PhotoStep::EdgesTrimmed);
        edges.trim = trimmed;
        tell(edges);
    }
    turnThumbnail();
}

// The EXIF thumbnail is turned by the same transform, so that viewers that show it show it
// upright; a photo without one goes on at once.
void PhotoRotation::turnThumbnail() {
    if (original.thumbnail.isEmpty()) {
        keepTrailingBytes();
        return;
    }
    const QByteArray thumbnail = readThumbnail(photoPath, original);
    if (thumbnail.isEmpty()) {
        keepTrailingBytes();
        return;
    }
    runTool("jpegtran", jpegtranThumbnailArguments(job.turn), &PhotoRotation::onThumbnailDone,
            thumbnail);
}

void PhotoRotation::onThumbnailDone(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped) {
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return;
    }
    if (!result.succeeded() || result.output.isEmpty()) {
        // A thumbnail jpegtran cannot turn is no reason to leave the photo itself.
        tell(PhotoStep::ThumbnailNotTurned);
        keepTrailingBytes();
        return;
    }
    QString error;
    switch (putBackThumbnail(workPath, readJpegStructure(workPath), result.output, &error)) {
    case ThumbnailPlacement::SameSlot:
    case ThumbnailPlacement::GrownSegment:
        tell(PhotoStep::ThumbnailTurned);
        break;
    case ThumbnailPlacement::NoRoom:
        tell(PhotoStep::ThumbnailNoRoom);
        break;
    case ThumbnailPlacement::Failed:
        end(PhotoRotationOutcome::Failed, failure(PhotoReason::ThumbnailNotPutBack, error));
        return;
    }
    keepTrailingBytes();
}

// Motion photos, further pictures and gain maps follow the main image; jpegtran does not copy
// them, so they are carried over as they are, and a multi-picture index is told where they now
// lie.
void PhotoRotation::keepTrailingBytes() {
    const qint64 trailing = original.trailingBytes();
    if (trailing > 0) {
        QString error;
        const bool kept =
            appendTrailingBytes(photoPath, original, workPath, &error) &&
            fixMultiPictureOffsets(workPath, original, readJpegStructure(workPath), &error);
        if (!kept) {
            end(PhotoRotationOutcome::Failed, failure(PhotoReason::TrailingBytesNotKept, error));
            return;
        }
        PhotoStep keptBytes = stepOf(PhotoStep::TrailingBytesKept);
        keptBytes.bytes = trailing;
        tell(keptBytes);
    }
    resetOrientation();
}

void PhotoRotation::resetOrientation() {
    if (!QFileInfo::exists(workPath)) {
        qCDebug(lcPivotta) << "target file not found for exiv2" << workPath;
        leave(PhotoRotationOutcome::Failed, PhotoReason::RotatedFileGone);
        return;
    }
    runTool("exiv2", exiv2OrientationResetArguments(workPath, original.xmpOrientation != 0),
            &PhotoRotation::onOrientationResetDone);
}

void PhotoRotation::onOrientationResetDone(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped) {
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return;
    }
    PhotoReason notReset;
    notReset.kind = PhotoReason::OrientationNotReset;
    notReset.tool = traceOf(result);
    if (result.ending == ToolResult::FailedToStart) {
        qCDebug(lcPivotta) << "exiv2 clear orientation launch failed";
        end(PhotoRotationOutcome::Failed, notReset);
        return;
    }
    if (result.ending == ToolResult::TimedOut) {
        qCDebug(lcPivotta) << "exiv2 clear orientation finish wait out failed";
        end(PhotoRotationOutcome::Failed, notReset);
        return;
    }
    PhotoStep ran = stepOf(PhotoStep::OrientationToolRan);
    ran.tool = notReset.tool;
    tell(ran);
    if (!result.succeeded() || orientationTagStillTurns(workPath)) {
        end(PhotoRotationOutcome::Failed, notReset);
        return;
    }
    if (!checkFinishedResult())
        return;
    tell(PhotoStep::OrientationCleared);

    if (job.fileTimeMode == FileTimeMode::FromExifDate) {
        runTool("exiv2", exiv2TimeFromExifArguments(workPath), &PhotoRotation::onTimeFromExifDone);
        return;
    }
    if (job.fileTimeMode == FileTimeMode::RestoreOriginal)
        restoreTimeBeforeRotation();
    placeResult();
}

// exiv2 rewrites the file: what it must have left as it was is checked once more. The XMP
// orientation, where there was one, must say upright too.
bool PhotoRotation::checkFinishedResult() {
    const JpegStructure finished = readJpegStructure(workPath);
    PhotoReason reason;
    reason.kind = PhotoReason::FinishedWrong;
    if (!finished.isComplete())
        reason.finishedProblem = PhotoReason::Incomplete;
    else if (!trailingBytesKept(photoPath, original, workPath, finished))
        reason.finishedProblem = PhotoReason::TrailingBytesChanged;
    else if (original.xmpOrientation != 0 && finished.xmpOrientation != 1)
        reason.finishedProblem = PhotoReason::XmpOrientationLeft;
    else
        return true;
    end(PhotoRotationOutcome::Failed, reason);
    return false;
}

void PhotoRotation::onTimeFromExifDone(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped) {
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return;
    }
    PhotoStep fileTime = stepOf(PhotoStep::FileTimeFromExif);
    fileTime.tool = traceOf(result);
    if (result.ending == ToolResult::FailedToStart)
        qCDebug(lcPivotta) << "exiv2 -T launch failed";
    else if (result.ending == ToolResult::TimedOut)
        qCDebug(lcPivotta) << "exiv2 -T finish wait out failed";
    else if (exiv2ReportsNoExifDate(fileTime.tool.standardOutput + "\n" +
                                    fileTime.tool.standardError))
        // exiv2 0.27 and later say so on the error stream and exit with 1; older builds said it
        // on the standard output.
        fileTime.exifTime = PhotoStep::ExifDateMissing;
    else if (result.succeeded())
        fileTime.exifTime = PhotoStep::TimeSet;
    fileTime.time = QFileInfo(workPath).lastModified();
    tell(fileTime);
    placeResult();
}

void PhotoRotation::restoreTimeBeforeRotation() {
    QFile file(workPath);
    bool restored = file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(stateBefore.modified, QFileDevice::FileModificationTime);
    file.close();
    restored = restored && sameFileTime(QFileInfo(workPath).lastModified(), stateBefore.modified);
    PhotoStep fileTime =
        stepOf(restored ? PhotoStep::FileTimeRestored : PhotoStep::FileTimeNotRestored);
    fileTime.time = stateBefore.modified;
    tell(fileTime);
}

void PhotoRotation::placeResult() {
    if (stopRequested) {
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return;
    }
    if (route == Route::SystemTempCopy && !bringCopyBesidePhoto())
        return;
    replacing = new QFutureWatcher<ReplaceOutcome>(this);
    connect(replacing, &QFutureWatcher<ReplaceOutcome>::finished, this, &PhotoRotation::onReplaced);
    replacing->setFuture(replaceInBackground(besideTemp->path(), photoPath, stateBefore));
}

// The rotated copy comes back from the system's temporary folder into a held file beside the
// photo, from where it is renamed over the photo like any other result; the copy goes.
bool PhotoRotation::bringCopyBesidePhoto() {
    qCDebug(lcPivotta) << QFileInfo(photoPath).fileName() << QFileInfo(photoPath).path();
    besideTemp = std::make_unique<TempFileHolder>(photoPath);
    QString error;
    if (!besideTemp->isValid()) {
        error = besideTemp->errorString();
    } else {
        QFile copy(systemCopyPath);
        QFile beside(besideTemp->path());
        if (!copy.open(QIODevice::ReadOnly) || !beside.open(QIODevice::WriteOnly) ||
            beside.write(copy.readAll()) != copy.size() || !beside.flush()) {
            error =
                beside.error() != QFileDevice::NoError ? beside.errorString() : copy.errorString();
        } else {
            // The copy carries the file time that the finishing gave the rotated photo.
            beside.setFileTime(QFileInfo(systemCopyPath).lastModified(),
                               QFileDevice::FileModificationTime);
        }
    }
    QFile::remove(systemCopyPath);
    systemCopyPath.clear();
    if (error.isEmpty())
        return true;
    end(PhotoRotationOutcome::Failed, failure(PhotoReason::CopyNotBroughtBack, error));
    return false;
}

void PhotoRotation::onReplaced() {
    const ReplaceOutcome outcome = replacing->result();
    replacing->deleteLater();
    replacing = nullptr;
    switch (outcome.result) {
    case ReplaceResult::Replaced:
        besideTemp->release(); // it is the photo now
        qCDebug(lcPivotta) << QFileInfo(photoPath);
        end(PhotoRotationOutcome::Rotated);
        return;
    case ReplaceResult::PhotoChanged:
        leave(PhotoRotationOutcome::TryLater, PhotoReason::ChangedWhileRotated);
        return;
    case ReplaceResult::IdentityNotKept:
        end(PhotoRotationOutcome::Failed, failure(PhotoReason::IdentityNotKept, outcome.errorText));
        return;
    case ReplaceResult::Failed:
        end(PhotoRotationOutcome::Failed, failure(PhotoReason::NotReplaced, outcome.errorText));
        return;
    }
}

// Ends the chain for a tool run that did not start, did not end or was stopped; true when there
// is no result to use.
bool PhotoRotation::endIfToolNotRun(const ToolResult &result, const QString &toolName) {
    PhotoReason reason;
    reason.toolName = toolName;
    switch (result.ending) {
    case ToolResult::Stopped:
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return true;
    case ToolResult::FailedToStart:
        qCDebug(lcPivotta).noquote() << toolName + " launch failed";
        reason.kind = PhotoReason::ToolNotStarted;
        reason.error = result.errorText;
        end(PhotoRotationOutcome::Failed, reason);
        return true;
    case ToolResult::TimedOut:
        qCDebug(lcPivotta).noquote() << toolName + " finish wait out failed";
        reason.kind = PhotoReason::ToolTimedOut;
        reason.timeoutMs = job.toolTimeoutMs;
        end(PhotoRotationOutcome::Failed, reason);
        return true;
    case ToolResult::Finished:
    case ToolResult::Crashed:
        return false;
    }
    return false;
}

void PhotoRotation::runTool(const QString &toolName, const QStringList &arguments,
                            void (PhotoRotation::*onDone)(const ToolResult &),
                            const QByteArray &input) {
    if (stopRequested) {
        leave(PhotoRotationOutcome::Stopped, PhotoReason::Stopped);
        return;
    }
    const QString program = toolPath(toolName);
    // The previous run may be the one whose done() led here.
    if (tool)
        tool->deleteLater();
    tool = new ToolRun(this);
    connect(tool, &ToolRun::done, this, [this, onDone](const ToolResult &result) {
        if (!ended)
            (this->*onDone)(result);
    });
    tool->start(program, arguments, job.toolTimeoutMs, input);
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

ToolTrace PhotoRotation::traceOf(const ToolResult &result) const {
    return {result.ending, outputNamingPhoto(result.standardOutput, workPath, photoPath),
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

// Leaves the photo for a reason that needs no details, and ends the chain.
void PhotoRotation::leave(PhotoRotationOutcome::Kind kind, PhotoReason::Kind reason) {
    PhotoReason photoReason;
    photoReason.kind = reason;
    end(kind, photoReason);
}

void PhotoRotation::end(PhotoRotationOutcome::Kind kind, const PhotoReason &reason) {
    if (ended)
        return;
    ended = true;
    if (tool && tool->isRunning())
        tool->stop();
    removeTemporaryFiles();
    PhotoRotationOutcome outcome;
    outcome.kind = kind;
    outcome.reason = reason;
    if (kind == PhotoRotationOutcome::Rotated)
        outcome.trimmed = trimmed;
    emit finished(outcome);
}

void PhotoRotation::removeTemporaryFiles() {
    if (replacing)
        return; // the worker still uses the held file; the holder goes with this object
    besideTemp.reset();
    if (!systemCopyPath.isEmpty() && QFileInfo::exists(systemCopyPath))
        QFile::remove(systemCopyPath);
    systemCopyPath.clear();
}

PhotoOutcome photoOutcomeOf(const PhotoRef &photo, Turn turn, const PhotoRotationOutcome &outcome) {
    PhotoOutcome photoOutcome;
    photoOutcome.photo = photo;
    photoOutcome.turn = turn;
    photoOutcome.reason = outcome.reason;
    photoOutcome.trimmed = outcome.trimmed;
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

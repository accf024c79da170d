// One photo's rotation chain: jpegtran, checks, the kept bytes, exiv2 and the replacement.
#include "engine/photorotation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <limits>

#include "common/debuglog.h"
#include "engine/fileidentity.h"
#include "engine/keptbytes.h"
#include "engine/losslessturn.h"
#include "engine/messagetext.h"
#include "engine/tempfileholder.h"
#include "engine/toolrun.h"
#include "engine/tools.h"
#include "engine/turnedpicture.h"
#include "exif/orientationreader.h"
#include "settings/settings.h"

namespace {
QString nativePath(const QString &path) {
    return escapeHtml(QDir::toNativeSeparators(path));
}

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

void PhotoRotation::start() {
    perfect = Settings::perfect();
    trim = Settings::trim();
    fileTimeMode = Settings::fileTimeMode();
    if (!checkPhotoCanBeReplaced())
        return;
    stateBefore = fileStateOf(photoPath);
    if (job.examinedState.exists && stateBefore != job.examinedState) {
        leave(PhotoRotationOutcome::TryLater,
              tr("Not rotated: %1 changed while it was being examined. It was left as it is now.")
                  .arg(link()),
              tr("it changed while it was being examined"));
        return;
    }
    if (!checkIdentityCanBeKept())
        return;
    timeBeforeRotation = stateBefore.modified;
    if (stateBefore.size > maxJpegFileSize) {
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 is larger than any photo Pivotta turns (%2 MB). It was left "
                 "unchanged.")
                  .arg(link(), QString::number(stateBefore.size >> 20)),
              tr("the file is too large"));
        return;
    }
    original = readJpegStructure(photoPath);
    reportTimeBeforeRotation();
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
    end(PhotoRotationOutcome::Stopped, tr("stopped"));
}

// The rotated photo is written beside the photo and renamed over it, so the photo must be
// writable and its folder must take a new file: the rename must not get round a protection that
// writing into the photo would have met.
bool PhotoRotation::checkPhotoCanBeReplaced() {
    const QFileInfo photo(photoPath);
    if (!photo.exists()) {
        leave(PhotoRotationOutcome::Failed, tr("Not rotated: %1 is no longer there.").arg(link()),
              tr("the photo is no longer there"));
        return false;
    }
    if (!photo.isFile()) {
        leave(PhotoRotationOutcome::Failed, tr("Not rotated: %1 is not a file.").arg(link()),
              tr("not a file"));
        return false;
    }
    if (!isWritablePhoto(photo)) {
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 is read-only. Pivotta leaves read-only photos as they are.")
                  .arg(link()),
              tr("the photo is read-only"));
        return false;
    }
    if (!folderAcceptsNewFiles(photo.absolutePath())) {
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: the folder of %1 is read-only, so the rotated photo cannot be "
                 "saved there. The photo was left unchanged.")
                  .arg(link()),
              tr("the photo's folder is read-only"));
        return false;
    }
    return true;
}

// The rotated photo is a new file that takes the photo's name. A photo with several names (hard
// links) is left: the rename would give only this name the rotated photo and split the names,
// and writing the result into the photo itself could leave it half-written if anything failed
// on the way. A photo whose owner the running user cannot give a new file is left too.
bool PhotoRotation::checkIdentityCanBeKept() {
    const FileIdentity identity = fileIdentityOf(photoPath);
    if (identity.linkCount > 1) {
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 has %2 names (hard links). Rotating it would give only this name "
                 "the rotated photo, so it was left unchanged.")
                  .arg(link(), QString::number(identity.linkCount)),
              tr("the photo has %1 names (hard links)").arg(identity.linkCount));
        return false;
    }
    if (!mayGiveOwnership(identity.owner, identity.group)) {
        const QString owner = ownerAndGroupText(identity.owner, identity.group);
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 belongs to %2, and Pivotta may not give the rotated photo that "
                 "owner. It was left unchanged.")
                  .arg(link(), escapeHtml(owner)),
              tr("the photo belongs to %1, which Pivotta may not give a new file").arg(owner));
        return false;
    }
    return true;
}

void PhotoRotation::reportTimeBeforeRotation() {
    const QString time = timeBeforeRotation.toString();
    const QFileInfo photo(job.photoPath);
    if (fileTimeMode == FileTimeMode::RestoreOriginal) {
        say("<br><br>" + tr("Reading original modification date for ") +
                escapeHtml(photo.fileName()) + ": " + time,
            true);
    }
    sayDetailed("<br>" + escapeHtml(photo.absoluteFilePath()) +
                    tr("Reading original modification date ") + time,
                false);
}

void PhotoRotation::startBesidePhoto() {
    route = Route::BesidePhoto;
    // Made empty and held first, so that a folder that takes no new file is told apart from a
    // jpegtran failure, and so that no other Pivotta takes the file for a leftover.
    besideTemp = std::make_unique<TempFileHolder>(photoPath);
    if (!besideTemp->isValid()) {
        const QString error = besideTemp->errorString();
        besideTemp.reset();
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: no temporary file could be made beside %1 (%2). The photo was left "
                 "unchanged.")
                  .arg(link(), escapeHtml(error)),
              tr("no temporary file could be made beside it (%1)").arg(error));
        return;
    }
    workPath = besideTemp->path();
    runTool("jpegtran",
            jpegtranArgumentList(QDir::toNativeSeparators(photoPath),
                                 QDir::toNativeSeparators(workPath), job.turn, original, perfect,
                                 trim),
            &PhotoRotation::onJpegtranDone);
}

// The route for photos that jpegtran cannot open under their own name.
void PhotoRotation::startSystemTempCopy() {
    route = Route::SystemTempCopy;
    systemCopyPath = systemTempCopyPath(QCoreApplication::applicationName());
    say(tr("<span style='color:#666'><br><b>Unicode/international characters in file name</b> "
           "%2<br>To complete operation, renaming file temporarily to <br>%1</span>")
            .arg(nativePath(systemCopyPath), nativePath(job.photoPath)));
    qCDebug(lcPivotta) << systemCopyPath;
    if (!QFile::copy(photoPath, systemCopyPath)) {
        const QString failedCopy = systemCopyPath;
        QFile::remove(systemCopyPath); // a copy cut short by a full disk
        systemCopyPath.clear();
        leave(PhotoRotationOutcome::Failed,
              tr("<span style='color:#000'>Failed to create %1 to rotate file with "
                 "unicode/international characters in name.</span>")
                  .arg(nativePath(failedCopy)),
              tr("no copy could be made to rotate"));
        return;
    }
    qCDebug(lcPivotta) << "encoded rotate start" << systemCopyPath << " original:" << photoPath;
    workPath = systemCopyPath;
    runTool("jpegtran",
            jpegtranArgumentList(QDir::toNativeSeparators(systemCopyPath),
                                 QDir::toNativeSeparators(systemCopyPath), job.turn, original,
                                 perfect, trim),
            &PhotoRotation::onJpegtranDone);
}

void PhotoRotation::onJpegtranDone(const ToolResult &result) {
    if (reportToolNotRun(result, "jpegtran"))
        return;
    const QString standardOutput = outputNamingPhoto(result.standardOutput, workPath, photoPath);
    const QString standardError = outputNamingPhoto(result.standardError, workPath, photoPath);
    jpegtranOutputHtml = toolOutputHtml(standardOutput, standardError);
    if (!reportJpegtranOutcome(result) || ended)
        return;
    reportRotation();
    if (!ended)
        checkTurnedResult();
}

// Tells what a jpegtran run that did not succeed means for the photo, and ends the chain or
// takes the second route; true when the run succeeded.
bool PhotoRotation::reportJpegtranOutcome(const ToolResult &result) {
    const QFileInfo input(photoPath);
    const JpegtranOutcome outcome = jpegtranOutcome(
        result.exitedNormally(), result.exitCode,
        result.standardOutput + "\n" + result.standardError, input.exists(), input.isReadable());
    const QString photoLink = fileLink(job.photoPath, true, false, job.folder);
    switch (outcome) {
    case JpegtranOutcome::Success:
        return true;
    case JpegtranOutcome::Crashed:
        leave(PhotoRotationOutcome::Failed, tr("Not rotated, jpegtran crashed") + ": " + photoLink,
              tr("jpegtran crashed"));
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
    case JpegtranOutcome::Truncated:
        reportRotation();
        reportJpegtranFailure(jpegtranOutputHtml, false);
        leave(PhotoRotationOutcome::Failed,
              tr("The photo ends too early (it may be incomplete), so its rotated version would "
                 "be damaged. %1 was left unchanged.")
                  .arg(photoLink),
              tr("the photo ends too early (it may be incomplete)"));
        return false;
    case JpegtranOutcome::NotPerfect:
        reportRotation();
        reportJpegtranFailure(jpegtranOutputHtml, true);
        end(PhotoRotationOutcome::Failed, tr("the turn cannot be perfect for this photo"));
        return false;
    default:
        break;
    }
    // Every other outcome leaves the photo, with jpegtran's own reason: a warning too, since the
    // data it warns about would be baked into the rotated photo.
    reportRotation();
    reportJpegtranFailure(jpegtranOutputHtml, false);
    QString reason = jpegtranOutcomeText(outcome);
    const QString own = jpegtranSays(result);
    if (outcome == JpegtranOutcome::Failed || outcome == JpegtranOutcome::Warning)
        reason += own.isEmpty() ? QString() : ": " + own;
    leave(PhotoRotationOutcome::Failed,
          tr("Not rotated: %1 (%2). The photo was left unchanged.")
              .arg(photoLink, escapeHtml(reason)),
          reason);
    return false;
}

// The result must be what a lossless turn gives: the expected frame, complete, of about the
// original's size. Where its size leaves doubt, small decodes of both settle it.
void PhotoRotation::checkTurnedResult() {
    const JpegStructure result = readJpegStructure(workPath);
    ResultCheck check = ::checkTurnedResult(original, result, job.turn, trim);
    if (check.verdict == ResultVerdict::Doubtful &&
        showsTheOriginalTurned(photoPath, workPath, job.turn))
        check.verdict = ResultVerdict::Sound;
    if (check.verdict != ResultVerdict::Sound) {
        sayDetailedRaw(jpegtranOutputHtml);
        const QString reason = check.reason.isEmpty() ? tr("its picture differs") : check.reason;
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: the rotated version of %1 is not what a lossless turn gives (%2). "
                 "The photo was left unchanged.")
                  .arg(link(), escapeHtml(reason)),
              tr("the rotated version is not what a lossless turn gives (%1)").arg(reason));
        return;
    }
    if (trim) {
        const EdgeTrim dropped = trimmedEdges(original.frame, job.turn);
        if (dropped.isNone()) {
            sayDetailed(escapeHtml(job.photoPath) + ": " + tr("no edge pixels dropped."), false);
        } else {
            const QString text = edgeTrimText(dropped);
            trimNote = text;
            say(tr("%1: %2").arg(fileLink(job.photoPath, false, true, job.folder),
                                 escapeHtml(text)));
            sayDetailed(escapeHtml(job.photoPath) + ": " + escapeHtml(text), false);
        }
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
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
        return;
    }
    if (!result.succeeded() || result.output.isEmpty()) {
        // A thumbnail jpegtran cannot turn is no reason to leave the photo itself.
        say(tr("The EXIF thumbnail of %1 could not be turned, so it keeps its old orientation.")
                .arg(link()));
        keepTrailingBytes();
        return;
    }
    QString error;
    switch (putBackThumbnail(workPath, readJpegStructure(workPath), result.output, &error)) {
    case ThumbnailPlacement::SameSlot:
    case ThumbnailPlacement::GrownSegment:
        sayDetailed(escapeHtml(job.photoPath) + ": " + tr("EXIF thumbnail turned too."), false);
        break;
    case ThumbnailPlacement::NoRoom:
        say(tr("The turned EXIF thumbnail of %1 did not fit its place, so the thumbnail keeps its "
               "old orientation.")
                .arg(link()));
        break;
    case ThumbnailPlacement::Failed:
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: the turned EXIF thumbnail could not be put into the rotated "
                 "version of %1 (%2). The photo was left unchanged.")
                  .arg(link(), escapeHtml(error)),
              tr("the turned thumbnail could not be put back (%1)").arg(error));
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
            leave(PhotoRotationOutcome::Failed,
                  tr("Not rotated: the data that follows the image in %1 could not be carried "
                     "over (%2). The photo was left unchanged.")
                      .arg(link(), escapeHtml(error)),
                  tr("the data after the image could not be carried over (%1)").arg(error));
            return;
        }
        sayDetailed(escapeHtml(job.photoPath) + ": " +
                        tr("kept %n byte(s) that follow the image (such as a motion photo's "
                           "video).",
                           "", int(qMin<qint64>(trailing, std::numeric_limits<int>::max()))),
                    false);
    }
    resetOrientation();
}

void PhotoRotation::resetOrientation() {
    if (!QFileInfo::exists(workPath)) {
        qCDebug(lcPivotta) << "target file not found for exiv2" << workPath;
        end(PhotoRotationOutcome::Failed, tr("the rotated file is gone"));
        return;
    }
    runTool("exiv2", exiv2OrientationResetArguments(workPath, original.xmpOrientation != 0),
            &PhotoRotation::onOrientationResetDone);
}

void PhotoRotation::onOrientationResetDone(const ToolResult &result) {
    const QString unchanged =
        tr("%1 was left unchanged, so that it is not turned a second time later.")
            .arg(fileLink(photoPath, true, false, job.folder));
    if (result.ending == ToolResult::Stopped) {
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
        return;
    }
    if (result.ending == ToolResult::FailedToStart) {
        say(tr("Clear orientation start error  %1 ").arg(int(QProcess::FailedToStart)));
        qCDebug(lcPivotta) << "exiv2 clear orientation launch failed";
        say(tr("Failed clearing EXIF orientation metadata."));
        leave(PhotoRotationOutcome::Failed, unchanged, tr("exiv2 could not be started"));
        return;
    }
    if (result.ending == ToolResult::TimedOut) {
        qCDebug(lcPivotta) << "exiv2 clear orientation finish wait out failed";
        say(tr("Failed clearing EXIF orientation metadata (unable to detect successful finish)."));
        leave(PhotoRotationOutcome::Failed, unchanged, tr("exiv2 did not finish"));
        return;
    }
    if (result.ending == ToolResult::Crashed)
        say(tr("Clear orientation start error  %1 ").arg(int(QProcess::Crashed)));
    sayDetailed(toolOutputHtml(outputNamingPhoto(result.standardOutput, workPath, photoPath),
                               outputNamingPhoto(result.standardError, workPath, photoPath)),
                false);
    if (!result.succeeded() || orientationTagStillTurns(workPath)) {
        say(tr("Failed clearing EXIF orientation metadata."));
        leave(PhotoRotationOutcome::Failed, unchanged,
              tr("exiv2 could not reset the orientation tag"));
        return;
    }
    if (!checkFinishedResult())
        return;
    sayDetailed("<br>" + escapeHtml(photoPath) + " " + tr("Cleared orientation"), true);

    if (fileTimeMode == FileTimeMode::FromExifDate) {
        runTool("exiv2", exiv2TimeFromExifArguments(workPath), &PhotoRotation::onTimeFromExifDone);
        return;
    }
    if (fileTimeMode == FileTimeMode::RestoreOriginal)
        restoreTimeBeforeRotation();
    placeResult();
}

// exiv2 rewrites the file: what it must have left as it was is checked once more. The XMP
// orientation, where there was one, must say upright too.
bool PhotoRotation::checkFinishedResult() {
    const JpegStructure finished = readJpegStructure(workPath);
    QString problem;
    if (!finished.isComplete())
        problem = tr("it is not complete");
    else if (!trailingBytesKept(photoPath, original, workPath, finished))
        problem = tr("the data after the image did not stay as it was");
    else if (original.xmpOrientation != 0 && finished.xmpOrientation != 1)
        problem = tr("its XMP orientation was not reset");
    if (problem.isEmpty())
        return true;
    leave(PhotoRotationOutcome::Failed,
          tr("Not rotated: the finished rotated version of %1 is not right (%2). The photo was "
             "left unchanged.")
              .arg(link(), escapeHtml(problem)),
          tr("the finished rotated version is not right (%1)").arg(problem));
    return false;
}

void PhotoRotation::onTimeFromExifDone(const ToolResult &result) {
    if (result.ending == ToolResult::Stopped) {
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
        return;
    }
    if (result.ending == ToolResult::FailedToStart) {
        say(tr("Timestamp restore start error  %1 ").arg(int(QProcess::FailedToStart)));
        qCDebug(lcPivotta) << "exiv2 -T launch failed";
        placeResult();
        return;
    }
    qCDebug(lcPivotta) << "exiv2 -T started";
    if (result.ending == ToolResult::TimedOut) {
        qCDebug(lcPivotta) << "exiv2 -T finish wait out failed";
        placeResult();
        return;
    }
    qCDebug(lcPivotta) << "exiv2 -T finished";
    if (result.ending == ToolResult::Crashed)
        say(tr("Timestamp restore start error  %1 ").arg(int(QProcess::Crashed)));

    const QString standardOutput = outputNamingPhoto(result.standardOutput, workPath, photoPath);
    const QString standardError = outputNamingPhoto(result.standardError, workPath, photoPath);
    sayDetailed(plainTextAsHtml(standardOutput), false);
    // exiv2 0.27 and later say so on the error stream and exit with 1; older builds said it on
    // the standard output.
    if (exiv2ReportsNoExifDate(standardOutput + "\n" + standardError)) {
        say(toolOutputHtml(standardOutput, standardError));
        say(tr("Couldn't restore file modification date; EXIF date missing."));
    } else if (!result.succeeded()) {
        say(tr("<br>Failed restoring file modification date from EXIF date field for:<br>%1<br>"
               "This is likely because the file does not have a value in the EXIF date field.")
                .arg(escapeHtml(photoPath)));
    } else {
        sayDetailed("<span>" + escapeHtml(photoPath) + " " +
                        tr("Restored file date to EXIF date value: %1.")
                            .arg(QFileInfo(workPath).lastModified().toString()) +
                        "</span>",
                    true);
    }
    placeResult();
}

void PhotoRotation::restoreTimeBeforeRotation() {
    QFile file(workPath);
    bool restored = file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(timeBeforeRotation, QFileDevice::FileModificationTime);
    file.close();
    restored = restored && sameFileTime(QFileInfo(workPath).lastModified(), timeBeforeRotation);
    const QString time = timeBeforeRotation.toString();
    if (!restored) {
        say(tr("Couldn't restore the original file modification date %1 of %2.")
                .arg(time, escapeHtml(photoPath)));
        return;
    }
    sayDetailed("<span>" + escapeHtml(photoPath) + " " +
                    tr("Restored file date to original date value: %1").arg(time) + "</span>",
                true);
    say("\n" + tr("Restored file date to original date value for %1: %2")
                   .arg(escapeHtml(photoPath), time),
        true);
}

void PhotoRotation::placeResult() {
    if (stopRequested) {
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
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
    leave(PhotoRotationOutcome::Failed,
          tr("<span style='color:#000'>Rotating %1 succeeded but restoring original filename %2 "
             "failed.</span>")
                  .arg(link(), escapeHtml(QFileInfo(job.photoPath).fileName())) +
              "<br>" + tr("The photo was left unchanged (%1).").arg(escapeHtml(error)),
          tr("the rotated photo could not be brought back beside it (%1)").arg(error));
    return false;
}

void PhotoRotation::onReplaced() {
    const ReplaceOutcome outcome = replacing->result();
    replacing->deleteLater();
    replacing = nullptr;
    switch (outcome.result) {
    case ReplaceResult::Replaced:
        besideTemp->release(); // it is the photo now
        reportSuccess();
        end(PhotoRotationOutcome::Rotated);
        return;
    case ReplaceResult::PhotoChanged:
        leave(PhotoRotationOutcome::TryLater,
              tr("Not rotated: %1 changed while it was being rotated (it may still be being "
                 "copied). It was left as it is now.")
                  .arg(link()),
              tr("changed while it was being rotated"));
        return;
    case ReplaceResult::IdentityNotKept:
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: the rotated version of %1 could not be given the photo's owner, "
                 "group or attributes (%2). The photo was left unchanged.")
                  .arg(link(), escapeHtml(outcome.errorText)),
              tr("its owner, group or attributes could not be kept (%1)").arg(outcome.errorText));
        return;
    case ReplaceResult::Failed:
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 could not be replaced by its rotated version (%2). The photo was "
                 "left unchanged.")
                  .arg(link(), escapeHtml(outcome.errorText)),
              tr("could not be replaced (%1)").arg(outcome.errorText));
        return;
    }
}

// Reports a tool run that did not start, did not end or was stopped; true when there is no
// result to use and the chain has ended.
bool PhotoRotation::reportToolNotRun(const ToolResult &result, const QString &toolName) {
    switch (result.ending) {
    case ToolResult::Stopped:
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
        return true;
    case ToolResult::FailedToStart:
        qCDebug(lcPivotta).noquote() << toolName + " launch failed";
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 could not be started for %2 (%3).")
                  .arg(toolName, link(), escapeHtml(result.errorText)),
              tr("%1 could not be started").arg(toolName));
        return true;
    case ToolResult::TimedOut:
        qCDebug(lcPivotta).noquote() << toolName + " finish wait out failed";
        leave(PhotoRotationOutcome::Failed,
              tr("Not rotated: %1 did not finish within %2 seconds and was stopped. %3 was left "
                 "unchanged.")
                  .arg(toolName, QString::number(job.toolTimeoutMs / 1000.0), link()),
              tr("%1 did not finish in time").arg(toolName));
        return true;
    case ToolResult::Finished:
    case ToolResult::Crashed:
        return false;
    }
    return false;
}

void PhotoRotation::reportJpegtranFailure(const QString &toolOutput, bool notPerfect) {
    say(tr("Oops, jpegtran says: Failure"));
    sayDetailedRaw(toolOutput);
    if (notPerfect && perfect) {
        // The refusal is about the photo's size, not its metadata, whatever the option's name.
        const QString reason = imperfectionReason(original.frame, job.turn);
        if (reason.isEmpty())
            say(tr("This error is due to non-standard metadata."));
        else
            say(tr("This error is due to the photo's size: %1.").arg(escapeHtml(reason)));
        say(tr("Uncheck the option \"%1\" in Preferences to rotate also files with such "
               "metadata.")
                .arg(tr("Require perfect metadata for rotation")));
    }
}

void PhotoRotation::reportSuccess() {
    sayDetailedRaw(tr("Done with success."));
    qCDebug(lcPivotta) << QFileInfo(photoPath);
}

// Says why the photo is left and ends the chain.
void PhotoRotation::leave(PhotoRotationOutcome::Kind kind, const QString &message,
                          const QString &reason) {
    say(message);
    end(kind, reason);
}

void PhotoRotation::runTool(const QString &toolName, const QStringList &arguments,
                            void (PhotoRotation::*onDone)(const ToolResult &),
                            const QByteArray &input) {
    if (stopRequested) {
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
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
    if (!QFileInfo::exists(path))
        say(tr("Couldn't find %1").arg(escapeHtml(path)), true);
    return path;
}

void PhotoRotation::reportRotation() {
    say(rotationReportLine(job.photoPath, job.turn, false, job.folder));
    sayDetailedRaw(rotationDetailLine(job.photoPath, job.turn, job.folder));
}

QString PhotoRotation::link() const {
    return fileLink(job.photoPath, true, false, job.folder);
}

// A listener may stop the chain from inside a message; once it has ended, nothing more is said.
void PhotoRotation::say(const QString &text, bool checkDuplicate) {
    if (!ended)
        emit message(OutputMessage::main(text, checkDuplicate));
}

void PhotoRotation::sayDetailed(const QString &text, bool checkDuplicate) {
    if (!ended)
        emit message(OutputMessage::detailed(text, checkDuplicate));
}

void PhotoRotation::sayDetailedRaw(const QString &text) {
    if (!ended)
        emit message(OutputMessage::detailedRaw(text));
}

void PhotoRotation::end(PhotoRotationOutcome::Kind kind, const QString &reason) {
    if (ended)
        return;
    ended = true;
    if (tool && tool->isRunning())
        tool->stop();
    removeTemporaryFiles();
    PhotoRotationOutcome outcome;
    outcome.kind = kind;
    if (kind != PhotoRotationOutcome::Rotated)
        outcome.reason = reason;
    else
        outcome.note = trimNote;
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

// One photo's rotation chain: jpegtran, exiv2, checks and the atomic replacement.
#include "engine/photorotation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/debuglog.h"
#include "engine/messagetext.h"
#include "engine/toolrun.h"
#include "engine/tools.h"
#include "exif/orientationreader.h"
#include "settings/preferences.h"
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
    fileTimestampMode = Settings::setFileTimestamp();
    if (!checkPhotoCanBeReplaced())
        return;
    stateBefore = fileStateOf(photoPath);
    timeBeforeRotation = stateBefore.modified;
    reportTimeBeforeRotation();
    startBesidePhoto();
}

void PhotoRotation::stop() {
    if (ended)
        return;
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
        say(tr("Not rotated: %1 is no longer there.").arg(link()));
        end(PhotoRotationOutcome::Failed, tr("the photo is no longer there"));
        return false;
    }
    if (!photo.isFile()) {
        say(tr("Not rotated: %1 is not a file.").arg(link()));
        end(PhotoRotationOutcome::Failed, tr("not a file"));
        return false;
    }
    if (!isWritablePhoto(photo)) {
        say(tr("Not rotated: %1 is read-only. Pivotta leaves read-only photos as they are.")
                .arg(link()));
        end(PhotoRotationOutcome::Failed, tr("the photo is read-only"));
        return false;
    }
    if (!folderAcceptsNewFiles(photo.absolutePath())) {
        say(tr("Not rotated: the folder of %1 is read-only, so the rotated photo cannot be saved "
               "there. The photo was left unchanged.")
                .arg(link()));
        end(PhotoRotationOutcome::Failed, tr("the photo's folder is read-only"));
        return false;
    }
    return true;
}

void PhotoRotation::reportTimeBeforeRotation() {
    const QString time = timeBeforeRotation.toString();
    const QFileInfo photo(job.photoPath);
    if (fileTimestampMode == Preferences::RESTORE) {
        say("<br><br>" + tr("Reading original modification date for ") +
                escapeHtml(photo.fileName()) + ": " + time,
            true);
    }
    sayDetailed("<br>" + escapeHtml(photo.absoluteFilePath()) +
                    tr("Reading original modification date ") + time,
                false);
}

void PhotoRotation::startBesidePhoto() {
    besideTempPath = siblingTempPath(photoPath);
    // Made empty first, so that a folder that takes no new file is told apart from a jpegtran
    // failure, and so that the unique name is ours.
    QFile reserved(besideTempPath);
    if (!reserved.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        say(tr("Not rotated: no temporary file could be made beside %1 (%2). The photo was left "
               "unchanged.")
                .arg(fileLink(job.photoPath, true, false, job.folder),
                     escapeHtml(reserved.errorString())));
        besideTempPath.clear();
        end(PhotoRotationOutcome::Failed, tr("no temporary file could be made beside it"));
        return;
    }
    reserved.close();
    runTool("jpegtran", jpegtranArguments(photoPath, besideTempPath),
            &PhotoRotation::onBesideJpegtranDone);
}

void PhotoRotation::onBesideJpegtranDone(const ToolResult &result) {
    if (reportToolNotRun(result, "jpegtran"))
        return;
    const QString standardOutput =
        outputNamingPhoto(result.standardOutput, besideTempPath, photoPath);
    const QString standardError =
        outputNamingPhoto(result.standardError, besideTempPath, photoPath);
    const QString output = standardOutput + "\n" + standardError;
    jpegtranOutputHtml = toolOutputHtml(standardOutput, standardError);
    jpegtranExitCode = result.exitCode;
    switch (jpegtranVerdict(result.exitedNormally(), result.exitCode, output)) {
    case JpegtranVerdict::Crashed:
        say(tr("Not rotated, jpegtran crashed") + ": " +
            fileLink(job.photoPath, true, false, job.folder));
        end(PhotoRotationOutcome::Failed, tr("jpegtran crashed"));
        return;
    case JpegtranVerdict::Truncated:
        reportRotation();
        reportJpegtranFailure(jpegtranOutputHtml, false);
        say(tr("The photo ends too early (it may be incomplete), so its rotated version would be "
               "damaged. %1 was left unchanged.")
                .arg(fileLink(job.photoPath, true, false, job.folder)));
        end(PhotoRotationOutcome::Failed, tr("the photo ends too early (it may be incomplete)"));
        return;
    case JpegtranVerdict::NotPerfect:
        reportRotation();
        reportJpegtranFailure(jpegtranOutputHtml, true);
        end(PhotoRotationOutcome::Failed, tr("the transformation would not be perfect"));
        return;
    case JpegtranVerdict::Failure:
        qCDebug(lcPivotta) << "filename is not encoded";
        QFile::remove(besideTempPath);
        besideTempPath.clear();
        startSystemTempCopy();
        return;
    case JpegtranVerdict::Success:
    case JpegtranVerdict::SuccessWithWarning:
        break;
    }
    reportRotation();
    route = Route::BesidePhoto;
    finishRotatedResult(besideTempPath);
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
        say(tr("<span style='color:#000'>Failed to create %1 to rotate file with "
               "unicode/international characters in name.</span>")
                .arg(nativePath(systemCopyPath)));
        systemCopyPath.clear();
        end(PhotoRotationOutcome::Failed, tr("no copy could be made to rotate"));
        return;
    }
    qCDebug(lcPivotta) << "encoded rotate start" << systemCopyPath << " original:" << photoPath;
    runTool("jpegtran", jpegtranArguments(systemCopyPath, systemCopyPath),
            &PhotoRotation::onCopyJpegtranDone);
}

void PhotoRotation::onCopyJpegtranDone(const ToolResult &result) {
    if (reportToolNotRun(result, "jpegtran"))
        return;
    const QString standardOutput =
        outputNamingPhoto(result.standardOutput, systemCopyPath, photoPath);
    const QString standardError =
        outputNamingPhoto(result.standardError, systemCopyPath, photoPath);
    const QString output = standardOutput + "\n" + standardError;
    jpegtranOutputHtml = toolOutputHtml(standardOutput, standardError);
    jpegtranExitCode = result.exitCode;
    switch (jpegtranVerdict(result.exitedNormally(), result.exitCode, output)) {
    case JpegtranVerdict::Crashed:
        say(tr("Not rotated, jpegtran crashed") + ": " +
            fileLink(job.photoPath, true, false, job.folder));
        end(PhotoRotationOutcome::Failed, tr("jpegtran crashed"));
        return;
    case JpegtranVerdict::Truncated:
    case JpegtranVerdict::NotPerfect:
    case JpegtranVerdict::Failure:
        qCDebug(lcPivotta) << "filename is encoded";
        reportRotation();
        reportJpegtranFailure(jpegtranOutputHtml, output.contains("transformation is not perfect"));
        end(PhotoRotationOutcome::Failed, tr("jpegtran failed"));
        return;
    case JpegtranVerdict::Success:
    case JpegtranVerdict::SuccessWithWarning:
        break;
    }
    reportRotation();
    finishRotatedResult(systemCopyPath);
}

// A result jpegtran called a success is finished (tag reset, file time) only when it is a
// complete photo; otherwise the photo stays as it is.
void PhotoRotation::finishRotatedResult(const QString &resultPath) {
    if (!looksLikeCompleteJpeg(resultPath)) {
        say(tr("Not rotated: jpegtran reported success but left no complete photo. %1 was left "
               "unchanged.")
                .arg(fileLink(job.photoPath, true, false, job.folder)));
        sayDetailedRaw(jpegtranOutputHtml);
        end(PhotoRotationOutcome::Failed, tr("jpegtran left no complete photo"));
        return;
    }
    workPath = resultPath;
    if (!QFileInfo::exists(workPath)) {
        qCDebug(lcPivotta) << "target file not found for exiv2" << workPath;
        end(PhotoRotationOutcome::Failed, tr("the rotated file is gone"));
        return;
    }
    runTool("exiv2", exiv2OrientationResetArguments(workPath),
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
        say(unchanged);
        end(PhotoRotationOutcome::Failed, tr("exiv2 could not be started"));
        return;
    }
    if (result.ending == ToolResult::TimedOut) {
        qCDebug(lcPivotta) << "exiv2 clear orientation finish wait out failed";
        say(tr("Failed clearing EXIF orientation metadata (unable to detect successful finish)."));
        say(unchanged);
        end(PhotoRotationOutcome::Failed, tr("exiv2 did not finish"));
        return;
    }
    if (result.ending == ToolResult::Crashed)
        say(tr("Clear orientation start error  %1 ").arg(int(QProcess::Crashed)));
    sayDetailed(toolOutputHtml(outputNamingPhoto(result.standardOutput, workPath, photoPath),
                               outputNamingPhoto(result.standardError, workPath, photoPath)),
                false);
    if (!result.succeeded() || orientationTagStillTurns(workPath)) {
        say(tr("Failed clearing EXIF orientation metadata."));
        say(unchanged);
        end(PhotoRotationOutcome::Failed, tr("exiv2 could not reset the orientation tag"));
        return;
    }
    sayDetailed("<br>" + escapeHtml(photoPath) + " " + tr("Cleared orientation"), true);

    if (fileTimestampMode == Preferences::SETFILETOEXIFTIMESTAMP) {
        runTool("exiv2", exiv2TimeFromExifArguments(workPath), &PhotoRotation::onTimeFromExifDone);
        return;
    }
    if (fileTimestampMode == Preferences::RESTORE)
        restoreTimeBeforeRotation();
    placeResult();
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
    if (route == Route::SystemTempCopy) {
        moveCopyBackOverPhoto();
        return;
    }
    const PhotoRotationOutcome::Kind kind = replacePhoto(besideTempPath);
    if (kind == PhotoRotationOutcome::Rotated) {
        besideTempPath.clear(); // it is the photo now
        reportSuccess();
    }
    end(kind, kind == PhotoRotationOutcome::TryLater ? tr("changed while it was being rotated")
                                                     : tr("could not be replaced"));
}

// Brings the rotated copy from the temporary folder back beside the photo, then renames it over
// the photo: at no moment is the photo's name without either the photo or its rotated version.
void PhotoRotation::moveCopyBackOverPhoto() {
    qCDebug(lcPivotta) << QFileInfo(photoPath).fileName() << QFileInfo(photoPath).path();
    PhotoRotationOutcome::Kind kind = PhotoRotationOutcome::Failed;
    besideTempPath = siblingTempPath(photoPath);
    if (!QFileInfo::exists(systemCopyPath)) {
        qCDebug(lcPivotta) << "temp filename not found" << systemCopyPath;
    } else if (!QFile::copy(systemCopyPath, besideTempPath)) {
        qCDebug(lcPivotta) << "failed to copy the processed file beside the original"
                           << besideTempPath;
    } else {
        // The copy carries the file time that the finishing gave the rotated photo.
        QFile beside(besideTempPath);
        if (beside.open(QIODevice::ReadWrite)) {
            beside.setFileTime(QFileInfo(systemCopyPath).lastModified(),
                               QFileDevice::FileModificationTime);
            beside.close();
        }
        kind = replacePhoto(besideTempPath);
    }
    if (kind == PhotoRotationOutcome::Rotated) {
        besideTempPath.clear();
        reportSuccess();
    } else if (kind == PhotoRotationOutcome::Failed) {
        // The photo is as it was; the rotated copy stays where the user is told it is.
        const QString message =
            jpegtranExitCode == 2
                ? tr("<span style='color:#000'>Rotating %1 succeeded, with jpegtran warning code "
                     "2.  This code typically means the image had non-standard dimensions or "
                     "metadata, but the rotation still succeeded. However, restoring original "
                     "filename %2 failed.</span>")
                : tr("<span style='color:#000'>Rotating %1 succeeded but restoring original "
                     "filename %2 failed.</span>");
        say(message.arg(fileLink(systemCopyPath, true, false, job.folder),
                        escapeHtml(QFileInfo(job.photoPath).fileName())));
        say(tr("The photo %1 was left unchanged; its rotated version is %2.")
                .arg(fileLink(job.photoPath, true, false, job.folder), nativePath(systemCopyPath)));
        sayDetailedRaw(jpegtranOutputHtml);
        systemCopyPath.clear(); // kept for the user
    }
    end(kind, kind == PhotoRotationOutcome::TryLater ? tr("changed while it was being rotated")
                                                     : tr("could not be replaced"));
}

PhotoRotationOutcome::Kind PhotoRotation::replacePhoto(const QString &rotatedPath) {
    const QString photoLink = fileLink(job.photoPath, true, false, job.folder);
    if (fileStateOf(photoPath) != stateBefore) {
        say(tr("Not rotated: %1 changed while it was being rotated (it may still be being "
               "copied). It was left as it is now.")
                .arg(photoLink));
        return PhotoRotationOutcome::TryLater;
    }
    if (!looksLikeCompleteJpeg(rotatedPath)) {
        say(tr("Not rotated: the rotated version of %1 is incomplete. The photo was left "
               "unchanged.")
                .arg(photoLink));
        return PhotoRotationOutcome::Failed;
    }
    QString error;
    if (!replaceFileAtomically(rotatedPath, photoPath, &error)) {
        say(tr("Not rotated: %1 could not be replaced by its rotated version (%2). The photo was "
               "left unchanged.")
                .arg(photoLink, escapeHtml(error)));
        return PhotoRotationOutcome::Failed;
    }
    return PhotoRotationOutcome::Rotated;
}

// Reports a tool run that did not start, did not end or was stopped; true when there is no
// result to use and the chain has ended.
bool PhotoRotation::reportToolNotRun(const ToolResult &result, const QString &toolName) {
    const QString photoLink = fileLink(job.photoPath, true, false, job.folder);
    switch (result.ending) {
    case ToolResult::Stopped:
        end(PhotoRotationOutcome::Stopped, tr("stopped"));
        return true;
    case ToolResult::FailedToStart:
        qCDebug(lcPivotta).noquote() << toolName + " launch failed";
        say(tr("Not rotated: %1 could not be started for %2 (%3).")
                .arg(toolName, photoLink, escapeHtml(result.errorText)));
        end(PhotoRotationOutcome::Failed, tr("%1 could not be started").arg(toolName));
        return true;
    case ToolResult::TimedOut:
        qCDebug(lcPivotta).noquote() << toolName + " finish wait out failed";
        say(tr("Not rotated: %1 did not finish within %2 seconds and was stopped. %3 was left "
               "unchanged.")
                .arg(toolName, QString::number(job.toolTimeoutMs / 1000.0), photoLink));
        end(PhotoRotationOutcome::Failed, tr("%1 did not finish in time").arg(toolName));
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
        say(tr("This error is due to non-standard metadata."));
        say(tr("Uncheck the option \"%1\" in Preferences to rotate also files with such "
               "metadata.")
                .arg(tr("Require perfect metadata for rotation")));
    }
}

void PhotoRotation::reportSuccess() {
    if (jpegtranExitCode == 2) {
        say("<span style='color:#666'>" +
            tr("Done: %1; jpegtran says: Warning (return code 2). This typically means the image "
               "had non-standard dimensions or metadata, but the rotation still succeeded. ")
                .arg(fileLink(job.photoPath, false, false, job.folder)) +
            "</span>");
    }
    sayDetailedRaw(tr("Done with success."));
    qCDebug(lcPivotta) << QFileInfo(photoPath);
}

void PhotoRotation::runTool(const QString &toolName, const QStringList &arguments,
                            void (PhotoRotation::*onDone)(const ToolResult &)) {
    const QString program = toolPath(toolName);
    // The previous run may be the one whose done() led here.
    if (tool)
        tool->deleteLater();
    tool = new ToolRun(this);
    connect(tool, &ToolRun::done, this, onDone);
    tool->start(program, arguments, job.toolTimeoutMs);
}

QString PhotoRotation::toolPath(const QString &toolName) {
    const QString path = locateTool(toolName, QCoreApplication::applicationDirPath(),
                                    qEnvironmentVariable(toolsDirEnvironmentVariable));
    if (!QFileInfo::exists(path))
        say(tr("Couldn't find %1").arg(escapeHtml(path)), true);
    return path;
}

QStringList PhotoRotation::jpegtranArguments(const QString &input, const QString &output) const {
    QStringList arguments = jpegtranArgumentList(
        QDir::toNativeSeparators(input), QDir::toNativeSeparators(output), 90, perfect, trim);
    // The list is built for a quarter turn; the turn's own arguments take its place.
    const int at = arguments.indexOf("-rotate");
    arguments.remove(at, 2);
    const QStringList turnArguments = jpegtranTurnArguments(job.turn);
    for (int i = 0; i < turnArguments.size(); ++i)
        arguments.insert(at + i, turnArguments.at(i));
    return arguments;
}

void PhotoRotation::reportRotation() {
    say(rotationReportLine(job.photoPath, job.turn, false, job.folder));
    sayDetailedRaw(rotationDetailLine(job.photoPath, job.turn, job.folder));
}

QString PhotoRotation::link() const {
    return fileLink(job.photoPath, true, false, job.folder);
}

void PhotoRotation::say(const QString &text, bool checkDuplicate) {
    emit message(OutputMessage::main(text, checkDuplicate));
}

void PhotoRotation::sayDetailed(const QString &text, bool checkDuplicate) {
    emit message(OutputMessage::detailed(text, checkDuplicate));
}

void PhotoRotation::sayDetailedRaw(const QString &text) {
    emit message(OutputMessage::detailedRaw(text));
}

void PhotoRotation::end(PhotoRotationOutcome::Kind kind, const QString &reason) {
    if (ended)
        return;
    ended = true;
    removeTemporaryFiles();
    PhotoRotationOutcome outcome;
    outcome.kind = kind;
    if (kind != PhotoRotationOutcome::Rotated)
        outcome.reason = reason;
    emit finished(outcome);
}

void PhotoRotation::removeTemporaryFiles() {
    for (QString *path : {&besideTempPath, &systemCopyPath}) {
        if (!path->isEmpty() && QFileInfo::exists(*path))
            QFile::remove(*path);
        path->clear();
    }
}

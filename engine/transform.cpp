// Lossless rotation of one photo with jpegtran.
//
// The photo itself is never written to. jpegtran writes the rotated photo into a temporary file
// beside it, exiv2 finishes that file (orientation tag, file time), and only a complete result
// takes the photo's place, in one atomic rename and only if the photo did not change meanwhile.
// Whatever fails, the photo stays as it was and the temporary files go.
//
// When jpegtran cannot work on the photo under its own name (it may fail on names with
// international characters), a copy in the system's temporary folder is rotated instead, brought
// back beside the photo and renamed over it the same way.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTime>

#include "app/debuglog.h"
#include "engine/safereplace.h"
#include "engine/tools.h"
#include "mainwindow/outputtext.h"
#include "settings/preferences.h"
#include "settings/settings.h"

// What is known about one photo from the start of its rotation to the end.
struct Pivotta::PhotoTransform {
    QString shownPath; // the path as the caller gave it, used in messages
    QString photoPath; // the file that is replaced: the absolute path, symbolic links followed
    int angle = 0;
    bool watcherInitiated = false;
    FileState stateBefore;
    QDateTime timeBeforeRotation;
};

namespace {
QString nativePath(const QString &path) {
    return escapeHtml(QDir::toNativeSeparators(path));
}

QString photoFileOf(const QString &filePath) {
    const QFileInfo info(filePath);
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        return info.canonicalFilePath();
    return info.absoluteFilePath();
}
} // namespace

bool Pivotta::rotatePhoto(QString filePath, int angle, bool watcherInitiated) {
    return transformPhoto(filePath, angle, watcherInitiated) == RotationOutcome::Rotated;
}

Pivotta::RotationOutcome Pivotta::transformPhoto(const QString &filePath, int angle,
                                                 bool watcherInitiated) {
    PhotoTransform job;
    job.shownPath = filePath;
    job.photoPath = photoFileOf(filePath);
    job.angle = angle;
    job.watcherInitiated = watcherInitiated;

    if (photosInWork.contains(job.photoPath)) {
        appendOutput(tr("Not rotated now: %1 is already being rotated.")
                         .arg(fileLink(filePath, true, false)));
        return RotationOutcome::TryLater;
    }
    photosInWork.insert(job.photoPath);
    const auto done = qScopeGuard([this, &job] { photosInWork.remove(job.photoPath); });

    if (!checkPhotoCanBeReplaced(job))
        return RotationOutcome::Failed;
    job.stateBefore = fileStateOf(job.photoPath);
    job.timeBeforeRotation = job.stateBefore.modified;
    reportTimeBeforeRotation(job);
    return rotateBesidePhoto(job);
}

// The rotated photo is written beside the photo and renamed over it, so the photo must be
// writable and its folder must take a new file: the rename must not get round a protection that
// writing into the photo would have met.
bool Pivotta::checkPhotoCanBeReplaced(const PhotoTransform &job) {
    const QFileInfo photo(job.photoPath);
    const QString link = fileLink(job.shownPath, true, false);
    if (!photo.exists()) {
        appendOutput(tr("Not rotated: %1 is no longer there.").arg(link));
        return false;
    }
    if (!photo.isFile()) {
        appendOutput(tr("Not rotated: %1 is not a file.").arg(link));
        return false;
    }
    if (!isWritablePhoto(photo)) {
        appendOutput(tr("Not rotated: %1 is read-only. Pivotta leaves read-only photos as they "
                        "are.")
                         .arg(link));
        return false;
    }
    if (!folderAcceptsNewFiles(photo.absolutePath())) {
        appendOutput(tr("Not rotated: the folder of %1 is read-only, so the rotated photo cannot "
                        "be saved there. The photo was left unchanged.")
                         .arg(link));
        return false;
    }
    return true;
}

void Pivotta::reportTimeBeforeRotation(const PhotoTransform &job) {
    const QString time = job.timeBeforeRotation.toString();
    const QFileInfo photo(job.shownPath);
    if (Settings::setFileTimestamp() == Preferences::RESTORE) {
        appendOutput("<br><br>" + tr("Reading original modification date for ") +
                         escapeHtml(photo.fileName()) + ": " + time,
                     true, false);
    }
    appendOutputDetailed("<br>" + escapeHtml(photo.absoluteFilePath()) +
                             tr("Reading original modification date ") + time,
                         false);
}

// Runs jpegtran from `input` into `output`; its messages name the photo, not the work file.
Pivotta::ToolRun Pivotta::runJpegtran(const QString &input, const QString &output,
                                      const PhotoTransform &job) {
    ToolRun run = runTool(toolPath("jpegtran"), jpegtranArguments(input, output, job.angle));
    run.standardOutput = outputNamingPhoto(run.standardOutput, output, job.photoPath);
    run.standardError = outputNamingPhoto(run.standardError, output, job.photoPath);
    return run;
}

Pivotta::RotationOutcome Pivotta::rotateBesidePhoto(const PhotoTransform &job) {
    const QString tempPath = siblingTempPath(job.photoPath);
    {
        // Made empty first, so that a folder that takes no new file is told apart from a
        // jpegtran failure, and so that the unique name is ours.
        QFile reserved(tempPath);
        if (!reserved.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            appendOutput(
                tr("Not rotated: no temporary file could be made beside %1 (%2). The "
                   "photo was left unchanged.")
                    .arg(fileLink(job.shownPath, true, false), escapeHtml(reserved.errorString())));
            return RotationOutcome::Failed;
        }
    }
    RemoveFileOnExit removeTemp(tempPath);

    const ToolRun run = runJpegtran(job.photoPath, tempPath, job);
    if (reportToolNotRun(run, job))
        return RotationOutcome::Failed;
    const QString output = run.standardOutput + "\n" + run.standardError;
    const QString toolOutput = toolOutputHtml(run.standardOutput, run.standardError);
    switch (jpegtranVerdict(run.normalExit, run.exitCode, output)) {
    case JpegtranVerdict::Crashed:
        appendOutput(tr("Not rotated, jpegtran crashed") + ": " +
                     fileLink(job.shownPath, true, false));
        return RotationOutcome::Failed;
    case JpegtranVerdict::Truncated:
        reportRotation(job.shownPath, job.angle, false);
        reportJpegtranFailure(toolOutput, false);
        appendOutput(tr("The photo ends too early (it may be incomplete), so its rotated version "
                        "would be damaged. %1 was left unchanged.")
                         .arg(fileLink(job.shownPath, true, false)));
        return RotationOutcome::Failed;
    case JpegtranVerdict::NotPerfect:
        reportRotation(job.shownPath, job.angle, false);
        reportJpegtranFailure(toolOutput, true);
        return RotationOutcome::Failed;
    case JpegtranVerdict::Failure:
        qCDebug(lcPivotta) << "filename is not encoded";
        QFile::remove(tempPath);
        return rotateViaSystemTempCopy(job);
    case JpegtranVerdict::Success:
    case JpegtranVerdict::SuccessWithWarning:
        break;
    }

    reportRotation(job.shownPath, job.angle, false);
    if (!finishRotatedResult(tempPath, job, toolOutput))
        return RotationOutcome::Failed;
    const RotationOutcome outcome = replacePhoto(tempPath, job);
    if (outcome == RotationOutcome::Rotated) {
        removeTemp.release();
        reportSuccess(job, run.exitCode == 2);
    }
    return outcome;
}

// The route for photos that jpegtran cannot open under their own name.
Pivotta::RotationOutcome Pivotta::rotateViaSystemTempCopy(const PhotoTransform &job) {
    const QString copyPath = systemTempCopyPath(QCoreApplication::applicationName());
    appendOutput(tr("<span style='color:#666'><br><b>Unicode/international characters in file "
                    "name</b> %2<br>To complete operation, renaming file temporarily to "
                    "<br>%1</span>")
                     .arg(nativePath(copyPath), nativePath(job.shownPath)));
    qCDebug(lcPivotta) << copyPath;
    if (!QFile::copy(job.photoPath, copyPath)) {
        appendOutput(tr("<span style='color:#000'>Failed to create %1 to rotate file with "
                        "unicode/international characters in name.</span>")
                         .arg(nativePath(copyPath)));
        return RotationOutcome::Failed;
    }
    RemoveFileOnExit removeCopy(copyPath);
    qCDebug(lcPivotta) << "encoded rotate start" << copyPath << " original:" << job.photoPath;

    const ToolRun run = runJpegtran(copyPath, copyPath, job);
    if (reportToolNotRun(run, job))
        return RotationOutcome::Failed;
    const QString output = run.standardOutput + "\n" + run.standardError;
    const QString toolOutput = toolOutputHtml(run.standardOutput, run.standardError);
    switch (jpegtranVerdict(run.normalExit, run.exitCode, output)) {
    case JpegtranVerdict::Crashed:
        appendOutput(tr("Not rotated, jpegtran crashed") + ": " +
                     fileLink(job.shownPath, true, false));
        return RotationOutcome::Failed;
    case JpegtranVerdict::Truncated:
    case JpegtranVerdict::NotPerfect:
    case JpegtranVerdict::Failure:
        qCDebug(lcPivotta) << "filename is encoded";
        reportRotation(job.shownPath, job.angle, false);
        reportJpegtranFailure(toolOutput, output.contains("transformation is not perfect"));
        return RotationOutcome::Failed;
    case JpegtranVerdict::Success:
    case JpegtranVerdict::SuccessWithWarning:
        break;
    }

    reportRotation(job.shownPath, job.angle, false);
    if (!finishRotatedResult(copyPath, job, toolOutput))
        return RotationOutcome::Failed;
    const RotationOutcome outcome = moveCopyBackOverPhoto(copyPath, job);
    if (outcome == RotationOutcome::Rotated) {
        reportSuccess(job, run.exitCode == 2);
    } else if (outcome == RotationOutcome::Failed) {
        // The photo is as it was; the rotated copy stays where the user is told it is.
        removeCopy.release();
        const QString message =
            run.exitCode == 2
                ? tr("<span style='color:#000'>Rotating %1 succeeded, with jpegtran warning code "
                     "2.  This code typically means the image had non-standard dimensions or "
                     "metadata, but the rotation still succeeded. However, restoring original "
                     "filename %2 failed.</span>")
                : tr("<span style='color:#000'>Rotating %1 succeeded but restoring original "
                     "filename %2 failed.</span>");
        appendOutput(message.arg(fileLink(copyPath, true, false),
                                 escapeHtml(QFileInfo(job.shownPath).fileName())));
        appendOutput(tr("The photo %1 was left unchanged; its rotated version is %2.")
                         .arg(fileLink(job.shownPath, true, false), nativePath(copyPath)));
        ui->cmdLineOutput_2->append(toolOutput);
    }
    return outcome;
}

// Brings the rotated copy from the temporary folder back beside the photo, then renames it over
// the photo: at no moment is the photo's name without either the photo or its rotated version.
Pivotta::RotationOutcome Pivotta::moveCopyBackOverPhoto(const QString &copyPath,
                                                        const PhotoTransform &job) {
    qCDebug(lcPivotta) << QFileInfo(job.photoPath).fileName() << QFileInfo(job.photoPath).path();
    if (!QFileInfo::exists(copyPath)) {
        qCDebug(lcPivotta) << "temp filename not found" << copyPath;
        return RotationOutcome::Failed;
    }
    const QString besidePath = siblingTempPath(job.photoPath);
    if (!QFile::copy(copyPath, besidePath)) {
        qCDebug(lcPivotta) << "failed to copy the processed file beside the original" << besidePath;
        return RotationOutcome::Failed;
    }
    RemoveFileOnExit removeBeside(besidePath);
    // The copy carries the file time that the finishing gave the rotated photo.
    QFile beside(besidePath);
    if (beside.open(QIODevice::ReadWrite)) {
        beside.setFileTime(QFileInfo(copyPath).lastModified(), QFileDevice::FileModificationTime);
        beside.close();
    }
    const RotationOutcome outcome = replacePhoto(besidePath, job);
    if (outcome == RotationOutcome::Rotated)
        removeBeside.release();
    return outcome;
}

// A result jpegtran called a success is finished (tag reset, file time) only when it is a
// complete photo; otherwise the photo stays as it is.
bool Pivotta::finishRotatedResult(const QString &resultPath, const PhotoTransform &job,
                                  const QString &toolOutput) {
    if (!looksLikeCompleteJpeg(resultPath)) {
        appendOutput(tr("Not rotated: jpegtran reported success but left no complete photo. %1 "
                        "was left unchanged.")
                         .arg(fileLink(job.shownPath, true, false)));
        ui->cmdLineOutput_2->append(toolOutput);
        return false;
    }
    return finishMetadata(resultPath, job.photoPath, job.timeBeforeRotation);
}

Pivotta::RotationOutcome Pivotta::replacePhoto(const QString &rotatedPath,
                                               const PhotoTransform &job) {
    const QString link = fileLink(job.shownPath, true, false);
    if (fileStateOf(job.photoPath) != job.stateBefore) {
        appendOutput(tr("Not rotated: %1 changed while it was being rotated (it may still be being "
                        "copied). It was left as it is now.")
                         .arg(link));
        return RotationOutcome::TryLater;
    }
    if (!looksLikeCompleteJpeg(rotatedPath)) {
        appendOutput(tr("Not rotated: the rotated version of %1 is incomplete. The photo was left "
                        "unchanged.")
                         .arg(link));
        return RotationOutcome::Failed;
    }
    QString error;
    if (!replaceFileAtomically(rotatedPath, job.photoPath, &error)) {
        appendOutput(tr("Not rotated: %1 could not be replaced by its rotated version (%2). The "
                        "photo was left unchanged.")
                         .arg(link, escapeHtml(error)));
        return RotationOutcome::Failed;
    }
    return RotationOutcome::Rotated;
}

// Reports a jpegtran run that did not start or did not end; true when there is no result to use.
bool Pivotta::reportToolNotRun(const ToolRun &run, const PhotoTransform &job) {
    const QString link = fileLink(job.shownPath, true, false);
    if (!run.started) {
        qCDebug(lcPivotta) << "jpegtran launch failed";
        appendOutput(tr("Not rotated: jpegtran could not be started for %1 (%2).")
                         .arg(link, escapeHtml(run.errorText)));
        return true;
    }
    if (run.timedOut) {
        qCDebug(lcPivotta) << "jpegtran finish wait out failed";
        appendOutput(tr("Not rotated: jpegtran did not finish within %1 seconds and was stopped. "
                        "%2 was left unchanged.")
                         .arg(QString::number(toolFinishTimeoutMs / 1000.0), link));
        return true;
    }
    return false;
}

void Pivotta::reportJpegtranFailure(const QString &toolOutput, bool notPerfect) {
    appendOutput(tr("Oops, jpegtran says: Failure"));
    ui->cmdLineOutput_2->append(toolOutput);
    if (notPerfect && perfectRequired()) {
        appendOutput(tr("This error is due to non-standard metadata."));
        appendOutput(tr("Uncheck the option \"%1\" in Preferences to rotate also files with such "
                        "metadata.")
                         .arg(tr("Require perfect metadata for rotation")));
    }
}

void Pivotta::reportSuccess(const PhotoTransform &job, bool withWarning) {
    if (withWarning) {
        appendOutput("<span style='color:#666'>" +
                     tr("Done: %1; jpegtran says: Warning (return code 2). This typically means "
                        "the image had non-standard dimensions or metadata, but the rotation "
                        "still succeeded. ")
                         .arg(fileLink(job.shownPath, false, false)) +
                     "</span>");
    }
    ui->cmdLineOutput_2->append(tr("Done with success."));
    countSuccess(job.photoPath);
}

void Pivotta::countSuccess(const QString &photoPath) {
    ++rotatedTotal;
    ui->counter->setNum(rotatedTotal);
    ++rotatedThisRun;
    qCDebug(lcPivotta) << QFileInfo(photoPath);
}

// Runs one tool and waits for it. The event loop runs once after the start, so that the window
// stays alive; a tool that outlives its wait is killed, so that nothing writes afterwards.
Pivotta::ToolRun Pivotta::runTool(const QString &program, const QStringList &arguments) {
    ToolRun run;
    QProcess process(this);
    bool started = false;
    bool finished = false;
    connect(&process, &QProcess::started, this, [&started] { started = true; });
    connect(&process, &QProcess::finished, this, [&finished] { finished = true; });
    qCDebug(lcPivotta) << program << arguments;
    process.start(program, arguments, QIODevice::ReadWrite);
    QCoreApplication::processEvents();
    if (!started && !process.waitForStarted(toolStartTimeoutMs) && !started) {
        run.processError = process.error();
        run.errorText = process.errorString();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(toolFinishTimeoutMs);
        }
        return run;
    }
    run.started = true;
    if (!finished && !process.waitForFinished(toolFinishTimeoutMs) && !finished) {
        run.timedOut = true;
        process.kill();
        process.waitForFinished(toolFinishTimeoutMs);
    }
    run.normalExit = !run.timedOut && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.processError = process.error();
    run.errorText = process.errorString();
    run.standardOutput = QString::fromUtf8(process.readAllStandardOutput());
    run.standardError = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void Pivotta::reportRotation(QString filePath, int angle, bool dryRun) {
    const bool clockwise = angle == 90 || angle == 180;
    const QString arrow = clockwise ? QString::fromUtf8("⤾ CW") : QString::fromUtf8("⤿ CCW");
    const int shownAngle = clockwise ? angle : 90;
    appendOutput(QString::fromUtf8("<br><span style='color:#393'>Rotating %2° <span "
                                   "style='font-size:4em;'>%5</span><br>%3 %4</span>")
                     .arg(QString::number(shownAngle), fileLink(filePath, false, true),
                          dryRun ? tr(" (dry run)") : QString(), arrow));
    ui->cmdLineOutput_2->append(QString::fromUtf8("<br>%1 Rotating %2° %3")
                                    .arg(QTime::currentTime().toString(), QString::number(angle),
                                         nativePath(pathRelativeToFolder(filePath))));
}

QString Pivotta::toolPath(QString toolName) {
    const QString path = locateTool(toolName, QCoreApplication::applicationDirPath(),
                                    qEnvironmentVariable(toolsDirEnvironmentVariable));
    if (!QFileInfo::exists(path))
        appendOutput(tr("Couldn't find %1").arg(escapeHtml(path)), true, false);
    return path;
}

QStringList Pivotta::jpegtranArguments(const QString &inputPath, const QString &outputPath,
                                       int angle) {
    return jpegtranArgumentList(QDir::toNativeSeparators(inputPath),
                                QDir::toNativeSeparators(outputPath), angle, perfectRequired(),
                                Settings::trim());
}

bool Pivotta::perfectRequired() {
    return Settings::perfect();
}

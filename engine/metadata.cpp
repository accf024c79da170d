// Finishing a rotated photo with exiv2: the orientation tag back to 1, then the file time as the
// user chose. It works on the rotated file before that takes the photo's place, so a finishing
// that fails leaves the photo untouched; messages name the photo, not that file.
#include "mainwindow/pivotta.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "app/debuglog.h"
#include "engine/tools.h"
#include "exif/exifrecord.h"
#include "exif/orientation.h"
#include "mainwindow/outputtext.h"
#include "settings/preferences.h"
#include "settings/settings.h"

namespace {
// A rotated photo whose tag still asks for a turn would be turned again by the next run.
bool orientationTagStillTurns(const QString &path) {
    try {
        PhotoBytes photo;
        if (!photo.open(path) || !photo.fitsParser())
            return false;
        ExifRecord exif;
        if (exif.readJpeg(photo.data(), photo.size()) != ExifRecord::ExifOk)
            return false;
        return exif.orientation >= 2 && exif.orientation <= 8;
    } catch (...) {
        return false;
    }
}

// File systems store times with different precision (FAT: two seconds).
bool sameFileTime(const QDateTime &a, const QDateTime &b) {
    return a.isValid() && b.isValid() && qAbs(a.msecsTo(b)) < 2000;
}
} // namespace

bool Pivotta::finishMetadata(const QString &workPath, const QString &photoPath,
                             const QDateTime &timeBeforeRotation) {
    const int mode = Settings::setFileTimestamp();
    const QString program = toolPath("exiv2");
    if (!QFileInfo::exists(workPath)) {
        qCDebug(lcPivotta) << "target file not found for exiv2" << workPath;
        return false;
    }
    const QString unchanged =
        tr("%1 was left unchanged, so that it is not turned a second time later.")
            .arg(fileLink(photoPath, true, false));

    const ToolRun run = runTool(program, exiv2OrientationResetArguments(workPath));
    if (run.processError != QProcess::UnknownError)
        appendOutput(tr("Clear orientation start error  %1 ").arg(run.processError));
    if (!run.started) {
        qCDebug(lcPivotta) << "exiv2 clear orientation launch failed";
        appendOutput(tr("Failed clearing EXIF orientation metadata."));
        appendOutput(unchanged);
        return false;
    }
    if (run.timedOut) {
        qCDebug(lcPivotta) << "exiv2 clear orientation finish wait out failed";
        appendOutput(
            tr("Failed clearing EXIF orientation metadata (unable to detect successful finish)."));
        appendOutput(unchanged);
        return false;
    }
    appendOutputDetailed(toolOutputHtml(outputNamingPhoto(run.standardOutput, workPath, photoPath),
                                        outputNamingPhoto(run.standardError, workPath, photoPath)),
                         false);
    if (!run.normalExit || run.exitCode != 0 || orientationTagStillTurns(workPath)) {
        appendOutput(tr("Failed clearing EXIF orientation metadata."));
        appendOutput(unchanged);
        return false;
    }
    appendOutputDetailed("<br>" + escapeHtml(photoPath) + " " + tr("Cleared orientation"), true);

    if (mode == Preferences::SETFILETOEXIFTIMESTAMP)
        setTimeFromExif(workPath, photoPath);
    else if (mode == Preferences::RESTORE)
        restoreTimeBeforeRotation(workPath, photoPath, timeBeforeRotation);
    return true;
}

void Pivotta::setTimeFromExif(const QString &workPath, const QString &photoPath) {
    const ToolRun run = runTool(toolPath("exiv2"), exiv2TimeFromExifArguments(workPath));
    if (run.processError != QProcess::UnknownError)
        appendOutput(tr("Timestamp restore start error  %1 ").arg(run.processError));
    if (!run.started) {
        qCDebug(lcPivotta) << "exiv2 -T launch failed";
        return;
    }
    qCDebug(lcPivotta) << "exiv2 -T started";
    if (run.timedOut) {
        qCDebug(lcPivotta) << "exiv2 -T finish wait out failed";
        return;
    }
    qCDebug(lcPivotta) << "exiv2 -T finished";

    const QString standardOutput = outputNamingPhoto(run.standardOutput, workPath, photoPath);
    const QString standardError = outputNamingPhoto(run.standardError, workPath, photoPath);
    appendOutputDetailed(plainTextAsHtml(standardOutput), false);
    // exiv2 0.27 and later say so on the error stream and exit with 1; older builds said it on
    // the standard output.
    if (exiv2ReportsNoExifDate(standardOutput + "\n" + standardError)) {
        appendOutput(toolOutputHtml(standardOutput, standardError));
        appendOutput(tr("Couldn't restore file modification date; EXIF date missing."));
        return;
    }
    if (!run.normalExit || run.exitCode != 0) {
        appendOutput(tr("<br>Failed restoring file modification date from EXIF date field "
                        "for:<br>%1<br>This is likely because the file does not have a value in "
                        "the EXIF date field.")
                         .arg(escapeHtml(photoPath)));
        return;
    }
    appendOutputDetailed("<span>" + escapeHtml(photoPath) + " " +
                             tr("Restored file date to EXIF date value: %1.")
                                 .arg(QFileInfo(workPath).lastModified().toString()) +
                             "</span>",
                         true);
}

void Pivotta::restoreTimeBeforeRotation(const QString &workPath, const QString &photoPath,
                                        const QDateTime &timeBeforeRotation) {
    QFile file(workPath);
    bool restored = file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(timeBeforeRotation, QFileDevice::FileModificationTime);
    file.close();
    restored = restored && sameFileTime(QFileInfo(workPath).lastModified(), timeBeforeRotation);
    const QString time = timeBeforeRotation.toString();
    if (!restored) {
        appendOutput(tr("Couldn't restore the original file modification date %1 of %2.")
                         .arg(time, escapeHtml(photoPath)));
        return;
    }
    appendOutputDetailed("<span>" + escapeHtml(photoPath) + " " +
                             tr("Restored file date to original date value: %1").arg(time) +
                             "</span>",
                         true);
    appendOutput("\n" + tr("Restored file date to original date value for %1: %2")
                            .arg(escapeHtml(photoPath), time),
                 true, false);
}

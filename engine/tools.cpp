// Location, argument lists and result reading of the external tools jpegtran and exiv2.
#include "engine/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "engine/messagetext.h"

QString toolFileName(const QString &toolName) {
#ifdef Q_OS_WIN
    return toolName + ".exe";
#else
    return toolName;
#endif
}

QString locateTool(const QString &toolName, const QString &applicationDir,
                   const QString &overrideDir) {
    const QString fileName = toolFileName(toolName);
    if (!overrideDir.isEmpty())
        return QDir::toNativeSeparators(overrideDir + "/" + fileName);
    const QString besideApplication = QDir::toNativeSeparators(applicationDir + "/" + fileName);
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(besideApplication)) {
        const QString onPath = QStandardPaths::findExecutable(toolName);
        if (!onPath.isEmpty())
            return QDir::toNativeSeparators(onPath);
    }
#endif
    return besideApplication;
}

QStringList jpegtranArgumentList(const QString &inputPath, const QString &outputPath, int angle,
                                 bool perfect, bool trim) {
    QStringList arguments{"-v", "-rotate", QString::number(angle), "-copy", "all"};
    if (perfect)
        arguments << "-perfect";
    if (trim)
        arguments << "-trim";
    arguments << "-outfile" << outputPath << inputPath;
    return arguments;
}

QStringList exiv2OrientationResetArguments(const QString &path) {
    return {"-v", "-k", "-M", "set Exif.Image.Orientation Short 1", QDir::toNativeSeparators(path)};
}

QStringList exiv2TimeFromExifArguments(const QString &path) {
    return {"-T", "-v", QDir::toNativeSeparators(path)};
}

JpegtranVerdict jpegtranVerdict(bool normalExit, int exitCode, const QString &output) {
    if (!normalExit)
        return JpegtranVerdict::Crashed;
    if (exitCode == 0)
        return JpegtranVerdict::Success;
    if (exitCode == 2) {
        // A warning normally leaves a complete result, but not when the input ran out: then the
        // rest of the picture is missing.
        return output.contains("Premature end of JPEG file") ? JpegtranVerdict::Truncated
                                                             : JpegtranVerdict::SuccessWithWarning;
    }
    if (output.contains("transformation is not perfect"))
        return JpegtranVerdict::NotPerfect;
    return JpegtranVerdict::Failure;
}

bool exiv2ReportsNoExifDate(const QString &output) {
    return output.contains("contains no Exif timestamp") ||
           (output.contains("Neither tag") && output.contains("Exif.Photo.DateTimeOriginal") &&
            output.contains("found"));
}

namespace {
QString asHtmlLines(const QString &text) {
    return escapeHtml(text).replace("\n", "<br>");
}
} // namespace

QString toolOutputHtml(const QString &standardOutput, const QString &standardError) {
    // The outer span makes the panes take the text as rich text even when it has no other tag.
    return "<span>" + asHtmlLines(standardOutput) + "<span style='color:#333'>" +
           asHtmlLines(standardError) + "</span></span>";
}

QString plainTextAsHtml(const QString &text) {
    return "<span>" + asHtmlLines(text) + "</span>";
}

QString outputNamingPhoto(QString text, const QString &workPath, const QString &photoPath) {
    if (workPath.isEmpty() || workPath == photoPath)
        return text;
    const QString nativeWork = QDir::toNativeSeparators(workPath);
    const QString nativePhoto = QDir::toNativeSeparators(photoPath);
    text.replace(nativeWork, nativePhoto);
    text.replace(workPath, photoPath);
    text.replace(QFileInfo(workPath).fileName(), QFileInfo(photoPath).fileName());
    return text;
}

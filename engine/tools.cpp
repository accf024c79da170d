// Location, argument lists and result reading of the external tools jpegtran and exiv2.
#include "engine/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "engine/jpegstructure.h"
#include "engine/losslessturn.h"

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

QStringList jpegtranTransformArguments(Turn transform) {
    switch (transform) {
    case Turn::FlipHorizontal:
        return {"-flip", "horizontal"};
    case Turn::Rotate180:
        return {"-rotate", "180"};
    case Turn::FlipVertical:
        return {"-flip", "vertical"};
    case Turn::Transpose:
        return {"-transpose"};
    case Turn::Rotate90:
        return {"-rotate", "90"};
    case Turn::Transverse:
        return {"-transverse"};
    case Turn::Rotate270:
        return {"-rotate", "270"};
    case Turn::None:
        break;
    }
    return {};
}

QStringList jpegtranCodingArguments(const JpegStructure &input) {
    QStringList arguments;
    if (input.frame.progressive())
        arguments << "-progressive";
    if (input.frame.arithmetic())
        arguments << "-arithmetic";
    if (input.restartInterval > 0) {
        const int blocksPerRow = input.frame.blocksPerRow();
        // In rows the interval stays one marker per so many rows after a turn that changes the
        // row length; an interval that is no whole number of rows is kept in blocks.
        if (blocksPerRow > 0 && input.restartInterval % blocksPerRow == 0)
            arguments << "-restart" << QString::number(input.restartInterval / blocksPerRow);
        else
            arguments << "-restart" << QString::number(input.restartInterval) + "B";
    }
    return arguments;
}

QStringList jpegtranArgumentList(const QString &inputPath, const QString &outputPath,
                                 Turn transform, const JpegStructure &input, bool perfect,
                                 bool trim) {
    QStringList arguments{"-v"};
    arguments << jpegtranTransformArguments(transform) << "-copy"
              << "all" << jpegtranCodingArguments(input);
    if (perfect)
        arguments << "-perfect";
    if (trim)
        arguments << "-trim";
    arguments << "-outfile" << outputPath << inputPath;
    return arguments;
}

QStringList jpegtranThumbnailArguments(Turn transform) {
    return QStringList{"-copy", "none", "-optimize", "-trim"} +
           jpegtranTransformArguments(transform);
}

QStringList exiv2OrientationResetArguments(const QString &path) {
    return exiv2OrientationResetArguments(path, false);
}

QStringList exiv2OrientationResetArguments(const QString &path, bool xmpOrientationToo) {
    QStringList arguments{"-v", "-k", "-M", "set Exif.Image.Orientation Short 1"};
    if (xmpOrientationToo)
        arguments << "-M"
                  << "set Xmp.tiff.Orientation 1";
    arguments << QDir::toNativeSeparators(path);
    return arguments;
}

QStringList exiv2TimeFromExifArguments(const QString &path) {
    return {"-T", "-v", QDir::toNativeSeparators(path)};
}

// The texts are libjpeg-turbo 2.1.5's; the full-disk one is what its data destination says
// when writing fails, and "No space left on device" is what other builds and the C library say.
JpegtranOutcome jpegtranOutcome(bool normalExit, int exitCode, const QString &output,
                                bool inputExists, bool inputReadable) {
    if (!normalExit)
        return JpegtranOutcome::Crashed;
    if (exitCode == 0)
        return JpegtranOutcome::Success;
    if (exitCode == 2) {
        return output.contains("Premature end of JPEG file") ? JpegtranOutcome::Truncated
                                                             : JpegtranOutcome::Warning;
    }
    if (output.contains("transformation is not perfect"))
        return JpegtranOutcome::NotPerfect;
    if (output.contains("Output file write error") || output.contains("No space left on device"))
        return JpegtranOutcome::DiskFull;
    if (output.contains("Unsupported JPEG process") ||
        output.contains("Unsupported JPEG data precision") ||
        output.contains("arithmetic coding is not supported"))
        return JpegtranOutcome::UnsupportedType;
    if (output.contains("can't open") && output.contains("for writing"))
        return JpegtranOutcome::OutputNotOpened;
    if (output.contains("can't open") && output.contains("for reading")) {
        if (!inputExists)
            return JpegtranOutcome::PhotoGone;
        return inputReadable ? JpegtranOutcome::CannotOpenName : JpegtranOutcome::PhotoUnreadable;
    }
    return JpegtranOutcome::Failed;
}

bool exiv2ReportsNoExifDate(const QString &output) {
    return output.contains("contains no Exif timestamp") ||
           (output.contains("Neither tag") && output.contains("Exif.Photo.DateTimeOriginal") &&
            output.contains("found"));
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

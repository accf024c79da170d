// Location, argument lists, result reading and time allowances of the external tools jpegtran
// and exiv2.
#include "tools/toolcommands.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include "jpeg/jpegstructure.h"
#include "jpeg/turn.h"

namespace {
// The orientation tags exiv2 knows in a JPEG file: the picture's, its thumbnail's, and XMP's
// tiff:Orientation, whatever prefix the packet binds to that namespace.
const QStringList orientationKeys{"Exif.Image.Orientation", "Exif.Thumbnail.Orientation",
                                  "Xmp.tiff.Orientation"};
const QString dateTimeOriginalKey = "Exif.Photo.DateTimeOriginal";
const QString dateTimeKey = "Exif.Image.DateTime";

// The lines jpegtran's "-v" adds before and around its messages: libjpeg's trace of the markers
// it reads, its version banner and its copyright lines. Lines that start with blanks are trace
// lines too (components, scan parameters, table values).
const QStringList jpegtranTracePrefixes{
    "libjpeg-turbo version",
    "Copyright",
    "Emulating The Independent JPEG Group's software",
    "Start of Image",
    "End Of Image",
    "JFIF APP0 marker",
    "JFIF extension marker",
    "Adobe APP14 marker",
    "Unknown APP0 marker",
    "Unknown APP14 marker",
    "Miscellaneous marker",
    "Define Quantization Table",
    "Define Huffman Table",
    "Define Arithmetic Table",
    "Define Restart Interval",
    "Start Of Frame",
    "Start Of Scan",
    "Unexpected marker",
    "Unrecognized component IDs",
    "Caution: quantization tables are too coarse",
    "Smoothing not supported",
};

// With "-v" exiv2 notes on its error stream what the file does not hold ("a.jpg: No IPTC data
// found in the file"); anything else there is an error.
bool onlyNotesOfMissingData(const QString &standardError) {
    const QStringList lines = standardError.split('\n', Qt::SkipEmptyParts);
    return std::all_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.trimmed().isEmpty() || line.trimmed().endsWith("data found in the file");
    });
}

bool isTraceLine(const QString &line) {
    if (line.isEmpty() || line.front().isSpace())
        return true;
    if (line.size() <= 3 && line.startsWith("RST"))
        return true;
    return std::any_of(jpegtranTracePrefixes.cbegin(), jpegtranTracePrefixes.cend(),
                       [&line](const QString &prefix) { return line.startsWith(prefix); });
}
} // namespace

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

QStringList jpegtranArguments(Turn transform, const JpegStructure &input, bool perfect, bool trim) {
    QStringList arguments{"-v"};
    arguments << jpegtranTransformArguments(transform) << "-copy"
              << "all" << jpegtranCodingArguments(input);
    if (perfect)
        arguments << "-perfect";
    if (trim)
        arguments << "-trim";
    return arguments;
}

QStringList jpegtranThumbnailArguments(Turn transform) {
    return QStringList{"-copy", "none", "-optimize", "-trim"} +
           jpegtranTransformArguments(transform);
}

QStringList exiv2ReadingArguments(const QString &path, bool withDate) {
    QStringList arguments{"-v", "-Pkv"};
    QStringList keys = orientationKeys;
    if (withDate)
        keys << dateTimeOriginalKey << dateTimeKey;
    for (const QString &key : std::as_const(keys))
        arguments << "-K" << key;
    arguments << "pr" << QDir::toNativeSeparators(path);
    return arguments;
}

QString Exiv2Reading::exifDate() const {
    return dateTimeOriginal.isEmpty() ? dateTime : dateTimeOriginal;
}

QString Exiv2Reading::orientationNotUpright(bool thumbnailKeptItsOwn) const {
    for (const Tag &tag : orientations) {
        if (thumbnailKeptItsOwn && tag.key == "Exif.Thumbnail.Orientation")
            continue;
        if (tag.value != "1")
            return tag.key + " " + tag.value;
    }
    return {};
}

bool Exiv2Reading::has(const QString &key) const {
    return std::any_of(orientations.cbegin(), orientations.cend(),
                       [&key](const Tag &tag) { return tag.key == key; });
}

Exiv2Reading readExiv2Reading(bool normalExit, int exitCode, const QString &standardOutput,
                              const QString &standardError) {
    Exiv2Reading reading;
    reading.read =
        normalExit && (exitCode == 0 || (exitCode == 1 && onlyNotesOfMissingData(standardError)));
    if (!reading.read)
        return reading;
    for (const QString &line : standardOutput.split('\n', Qt::SkipEmptyParts)) {
        const QString key = line.section(' ', 0, 0);
        const QString value = line.section(' ', 1).trimmed();
        if (orientationKeys.contains(key))
            reading.orientations.append({key, value});
        else if (key == dateTimeOriginalKey)
            reading.dateTimeOriginal = value;
        else if (key == dateTimeKey)
            reading.dateTime = value;
    }
    return reading;
}

// The texts are libjpeg-turbo 2.1.5's; "No space left on device" is what other builds and the C
// library say when the output cannot be written.
JpegtranOutcome jpegtranOutcome(bool normalExit, int exitCode, const QString &output) {
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
    return JpegtranOutcome::Failed;
}

QString jpegtranMessage(const QString &output) {
    for (const QString &line : output.split('\n')) {
        if (isTraceLine(line))
            continue;
        const QString message = line.trimmed();
        return message.startsWith("jpegtran: ") ? message.mid(10) : message;
    }
    return {};
}

int toolTimeoutMs(qint64 pixels, int toolsAtOnce, int cores, int floorMs) {
    constexpr double msPerMegapixel = 250.0;
    const double share = std::max(1.0, double(std::max(1, toolsAtOnce)) / std::max(1, cores));
    const double allowance = double(pixels) / 1e6 * msPerMegapixel * share;
    constexpr double longest = 24.0 * 3600 * 1000; // a day: anything longer is no photo
    return int(std::min(longest, std::max(double(floorMs), allowance)));
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

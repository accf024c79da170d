// Test photos cut from the orientation test photos, and tag and pixel checks.
#include "testphotos.h"

#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTransform>

#include <cstdlib>

#include "exif/exifrecord.h"
#include "files/fileidentity.h"
#include "jpeg/turn.h"

namespace TestPhotos {

QString sharedPhoto(int orientation) {
    return QString(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_%1.jpg").arg(orientation);
}

bool writeCroppedPhoto(int orientation, const QString &target) {
    // Tags 5 to 8 are stored turned (1200x1800); the piece is taken from the middle either way,
    // on 16-pixel block boundaries so that the cut and later turns are exact.
    const bool storedTurned = orientation >= 5;
    const QString region = storedTurned ? "320x480+448+656" : "480x320+656+448";
    QProcess jpegtran;
    jpegtran.start("jpegtran",
                   {"-copy", "all", "-crop", region, "-outfile", target, sharedPhoto(orientation)});
    return jpegtran.waitForFinished(30000) && jpegtran.exitStatus() == QProcess::NormalExit &&
           jpegtran.exitCode() == 0 && QFile::exists(target);
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool setModificationTime(const QString &path, const QDateTime &time) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(time, QFileDevice::FileModificationTime);
}

int storedOrientation(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    ExifRecord record;
    if (record.readJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                        uint32_t(bytes.size())) != ExifRecord::ExifOk)
        return -1;
    return record.orientation;
}

quint64 fileNumber(const QString &path) {
    return fileIdentityOf(path).inode;
}

QImage storedPixels(const QString &path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QImage uprightPixels(const QString &path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

double meanDifference(const QImage &a, const QImage &b, int margin) {
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return 1e9;
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    qint64 count = 0;
    for (int y = margin; y < first.height() - margin; ++y) {
        const QRgb *lineA = reinterpret_cast<const QRgb *>(first.constScanLine(y));
        const QRgb *lineB = reinterpret_cast<const QRgb *>(second.constScanLine(y));
        for (int x = margin; x < first.width() - margin; ++x) {
            sum += std::abs(qRed(lineA[x]) - qRed(lineB[x])) +
                   std::abs(qGreen(lineA[x]) - qGreen(lineB[x])) +
                   std::abs(qBlue(lineA[x]) - qBlue(lineB[x]));
            count += 3;
        }
    }
    return count ? sum / double(count) : 1e9;
}

bool samePicture(const QImage &a, const QImage &b) {
    return meanDifference(a, b) < 10.0;
}

QImage referenceRotation(const QString &photo, int angle, bool trim) {
    QTemporaryDir folder;
    const QString reference = folder.filePath("reference.jpg");
    QStringList arguments{"-rotate", QString::number(angle), "-copy", "all"};
    if (trim)
        arguments << "-trim";
    arguments << "-outfile" << reference << photo;
    if (!folder.isValid() || QProcess::execute("/usr/bin/jpegtran", arguments) != 0)
        return QImage();
    return storedPixels(reference);
}

namespace {
// jpegtran's own names, written out here rather than taken from the engine under test.
QStringList jpegtranTransform(Turn transform) {
    switch (transform) {
    case Turn::None:
        break;
    case Turn::Rotate90:
        return {"-rotate", "90"};
    case Turn::Rotate180:
        return {"-rotate", "180"};
    case Turn::Rotate270:
        return {"-rotate", "270"};
    case Turn::FlipHorizontal:
        return {"-flip", "horizontal"};
    case Turn::FlipVertical:
        return {"-flip", "vertical"};
    case Turn::Transpose:
        return {"-transpose"};
    case Turn::Transverse:
        return {"-transverse"};
    }
    return {};
}
} // namespace

QImage referenceTransform(const QString &photo, Turn transform, bool trim) {
    QTemporaryDir folder;
    const QString reference = folder.filePath("reference.jpg");
    QStringList arguments = jpegtranTransform(transform) + QStringList{"-copy", "none"};
    if (trim)
        arguments << "-trim";
    arguments << "-outfile" << reference << photo;
    if (!folder.isValid() || QProcess::execute("/usr/bin/jpegtran", arguments) != 0)
        return QImage();
    return storedPixels(reference);
}

QImage turnedByImageMagick(const QByteArray &jpeg, Turn turn) {
    QStringList operation;
    switch (turn) {
    case Turn::Rotate90:
    case Turn::Rotate180:
    case Turn::Rotate270:
        operation << "-rotate" << QString::number(clockwiseAngle(turn));
        break;
    case Turn::FlipHorizontal:
        operation << "-flop";
        break;
    case Turn::FlipVertical:
        operation << "-flip";
        break;
    case Turn::Transpose:
        operation << "-transpose";
        break;
    case Turn::Transverse:
        operation << "-transverse";
        break;
    case Turn::None:
        break;
    }
    QProcess process;
    process.start("convert", QStringList{"jpeg:-"} + operation + QStringList{"ppm:-"});
    process.write(jpeg);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage::fromData(process.readAllStandardOutput(), "PPM");
}

QImage turnedImage(const QImage &image, Turn transform) {
    switch (transform) {
    case Turn::None:
        return image;
    case Turn::Rotate90:
        return image.transformed(QTransform().rotate(90));
    case Turn::Rotate180:
        return image.transformed(QTransform().rotate(180));
    case Turn::Rotate270:
        return image.transformed(QTransform().rotate(270));
    case Turn::FlipHorizontal:
        return image.mirrored(true, false);
    case Turn::FlipVertical:
        return image.mirrored(false, true);
    case Turn::Transpose:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case Turn::Transverse:
        return image.transformed(QTransform().rotate(270)).mirrored(true, false);
    }
    return QImage();
}

PhotoCondition conditionOf(const QString &photo, const QByteArray &originalBytes,
                           const QImage &rotatedPixels) {
    if (fileBytes(photo) == originalBytes)
        return PhotoCondition::Original;
    if (storedOrientation(photo) == 1 && !rotatedPixels.isNull() &&
        storedPixels(photo) == rotatedPixels)
        return PhotoCondition::Rotated;
    return PhotoCondition::Damaged;
}

QStringList rotationLeftovers(const QStringList &folders) {
    QStringList found;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(".pivotta-") || path.contains("Pivotta_"))
                found << path;
        }
    }
    return found;
}

} // namespace TestPhotos

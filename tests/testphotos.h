// Small test photos cut losslessly from the orientation test photos, and checks on their tags,
// their pixels and what a rotation left behind, shared by the tests.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

enum class Turn;

namespace TestPhotos {

// Writes to `target` a 480x320 piece (as it stands upright) of the landscape test photo whose
// EXIF orientation is `orientation` (0 to 8), cut without re-encoding so that its tag and its
// stored turn are those of the test photo. Returns false when jpegtran fails.
bool writeCroppedPhoto(int orientation, const QString &target);

// The full-size landscape test photo with that orientation.
QString sharedPhoto(int orientation);

// The file's bytes, empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// Sets the file's modification time; false when that fails.
bool setModificationTime(const QString &path, const QDateTime &time);

// The EXIF orientation stored in the photo, or -1 when it has none or cannot be read. Only
// reads: a rotation that holds the photo's lease goes on.
int storedOrientation(const QString &path);

// The number of the file that has the name now (its inode), 0 for none: a rotated photo is a new
// file under the photo's name. Looked up without opening the file.
quint64 fileNumber(const QString &path);

// The photo's pixels as stored, with no orientation applied; null when it cannot be decoded.
QImage storedPixels(const QString &path);

// The photo's pixels with its orientation applied.
QImage uprightPixels(const QString &path);

// The mean absolute difference of two equally sized images over all colour channels, leaving
// out a border of `margin` pixels; a large value when the sizes differ.
double meanDifference(const QImage &a, const QImage &b, int margin = 0);

// Whether two decodes show the same picture: lossless turns and scaled decodes differ by a few
// levels on average, a wrong turn or a mirror image by several tens.
bool samePicture(const QImage &a, const QImage &b);

// The stored pixels of what the real jpegtran makes of the photo turned by `angle` degrees
// clockwise (with "-trim" if asked); null when jpegtran fails.
QImage referenceRotation(const QString &photo, int angle, bool trim = false);

// The same for any of jpegtran's lossless transforms.
QImage referenceTransform(const QString &photo, Turn transform, bool trim = false);

// The JPEG picture decoded and turned by ImageMagick, a reference independent of Qt's turns; null
// when convert fails.
QImage turnedByImageMagick(const QByteArray &jpeg, Turn turn);

// An image turned in memory as a lossless transform turns a picture.
QImage turnedImage(const QImage &image, Turn transform);

// What a photo is after a rotation that may have failed or been stopped: byte for byte the
// original, or completely rotated (tag reset, pixels those of the reference rotation), or
// anything else.
enum class PhotoCondition { Original, Rotated, Damaged };
PhotoCondition conditionOf(const QString &photo, const QByteArray &originalBytes,
                           const QImage &rotatedPixels);

// Temporary files of a rotation (beside a photo, or a copy in the temporary folder) anywhere
// under these folders.
QStringList rotationLeftovers(const QStringList &folders);

} // namespace TestPhotos

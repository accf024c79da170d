// The parts of a photo that jpegtran does not carry over or turn, moved by hand into the turned
// file: the bytes after the main image (motion-photo video, further pictures, gain maps), the
// EXIF thumbnail, and the offsets of a multi-picture index that point past the main image.
#pragma once

#include <QByteArray>
#include <QString>

struct JpegStructure;

// The EXIF thumbnail's bytes, read from the file at the place its structure names; empty when
// it has none or it cannot be read.
QByteArray readThumbnail(const QString &path, const JpegStructure &structure);

// Where a turned thumbnail went.
enum class ThumbnailPlacement {
    SameSlot,     // into the old thumbnail's place, the rest of it filled with zeros
    GrownSegment, // the thumbnail ends the EXIF segment, which grew by the difference
    NoRoom,       // larger and not at the end: the old thumbnail was left as it was
    Failed,       // the file could not be written, or did not parse afterwards
};

// Puts `turnedThumbnail` in the place of the thumbnail in `jpeg`, whose structure is `structure`
// (the turned picture, which still holds the old thumbnail that jpegtran copied over), and
// updates IFD1's length field. Nothing else in the EXIF block moves. A thumbnail that does not
// fit grows the EXIF segment only when nothing can lie behind it in the segment: fewer bytes than
// any value stored outside its directory entry needs. On NoRoom and Failed `jpeg` is as it was;
// on Failed `error` says why.
ThumbnailPlacement putBackThumbnail(QByteArray &jpeg, const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error);
// The same for the file at `path`.
ThumbnailPlacement putBackThumbnail(const QString &path, const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error);

// Appends the photo's bytes after its main image (`photo.trailingBytes()` of them, from
// `photo.imageEnd`) to the end of the file at `resultPath`.
bool appendTrailingBytes(const QString &photoPath, const JpegStructure &photo,
                         const QString &resultPath, QString *error);

// A multi-picture index (MPF, in APP2) locates the further pictures after the main image by
// offsets counted from its own header, so they go wrong when the turned main image is larger or
// smaller. Moves every non-zero offset by the change of the distance from that header to the
// image's end, and gives the first entry (the main image) the main image's new size. `result` is
// the structure of the turned file, trailing bytes appended. Does nothing and returns true for a
// photo without a readable index.
bool fixMultiPictureOffsets(QByteArray &resultBytes, const JpegStructure &original,
                            const JpegStructure &result, QString *error);
// The same for the file at `resultPath`.
bool fixMultiPictureOffsets(const QString &resultPath, const JpegStructure &original,
                            const JpegStructure &result, QString *error);

// Whether the file at `resultPath` ends with exactly the bytes that follow the photo's main
// image (none when it has none), as appendTrailingBytes put them there.
bool trailingBytesKept(const QString &photoPath, const JpegStructure &photo,
                       const QString &resultPath, const JpegStructure &result);

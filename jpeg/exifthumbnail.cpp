// Putting a turned EXIF thumbnail back into a turned picture, in memory.
#include "jpeg/exifthumbnail.h"

#include <QCoreApplication>

#include "jpeg/jpegstructure.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ExifThumbnail", text);
}

bool fail(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}

QByteArray encoded(quint32 value, int size, bool bigEndian) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes[i] = char((value >> shift) & 0xFF);
    }
    return bytes;
}

// The thumbnail that was put back reads back whole from its new place.
bool thumbnailReadsBack(const QByteArray &jpeg, const QByteArray &thumbnail) {
    const JpegStructure after = parseJpegStructure(jpeg);
    return after.isComplete() && after.thumbnail.length == thumbnail.size() &&
           jpeg.mid(after.thumbnail.offset, after.thumbnail.length) == thumbnail;
}

// Any value of a directory entry longer than 4 bytes lives outside the entry, so a tail of at
// most 4 bytes after the thumbnail cannot hold anything that an entry points to.
constexpr qint64 unreferencedTailLimit = 4;
constexpr qint64 maxSegmentPayload = 65535 - 2;

// Where a turned thumbnail would go, decided from the structure alone: SameSlot, GrownSegment,
// NoRoom, or Failed with the reason in `error`.
ThumbnailPlacement plannedPlacement(const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error) {
    if (structure.thumbnail.isEmpty() || structure.thumbnailLengthField < 0) {
        fail(error, tr("the turned file has no thumbnail to replace"));
        return ThumbnailPlacement::Failed;
    }
    if (!parseJpegStructure(turnedThumbnail).isComplete()) {
        fail(error, tr("the turned thumbnail is not a complete JPEG picture"));
        return ThumbnailPlacement::Failed;
    }
    const qint64 oldLength = structure.thumbnail.length;
    const qint64 newLength = turnedThumbnail.size();
    const qint64 tail = structure.exifSegment.end() - structure.thumbnail.end();
    if (newLength <= oldLength)
        return ThumbnailPlacement::SameSlot;
    const bool mayGrow =
        tail <= unreferencedTailLimit &&
        structure.exifSegment.length + newLength - oldLength <= maxSegmentPayload &&
        (structure.thumbnailLengthFieldSize == 4 || newLength <= 0xFFFF);
    return mayGrow ? ThumbnailPlacement::GrownSegment : ThumbnailPlacement::NoRoom;
}

} // namespace

ThumbnailPlacement putBackThumbnail(QByteArray &jpeg, const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error) {
    const ThumbnailPlacement placement = plannedPlacement(structure, turnedThumbnail, error);
    if (placement != ThumbnailPlacement::SameSlot && placement != ThumbnailPlacement::GrownSegment)
        return placement;
    if (structure.exifSegment.end() > jpeg.size()) {
        fail(error, tr("the turned file has no thumbnail to replace"));
        return ThumbnailPlacement::Failed;
    }
    const qint64 oldLength = structure.thumbnail.length;
    const qint64 newLength = turnedThumbnail.size();
    QByteArray placed = jpeg;
    placed.replace(
        structure.thumbnailLengthField, structure.thumbnailLengthFieldSize,
        encoded(quint32(newLength), structure.thumbnailLengthFieldSize, structure.exifBigEndian));
    if (placement == ThumbnailPlacement::SameSlot) {
        placed.replace(structure.thumbnail.offset, oldLength,
                       turnedThumbnail + QByteArray(int(oldLength - newLength), '\0'));
    } else {
        placed.replace(structure.thumbnail.offset, oldLength, turnedThumbnail);
        const qint64 segmentLength = structure.exifSegment.length + newLength - oldLength + 2;
        placed.replace(structure.exifSegment.offset - 2, 2,
                       encoded(quint32(segmentLength), 2, true));
    }
    if (!thumbnailReadsBack(placed, turnedThumbnail)) {
        fail(error, tr("the EXIF block did not read back after its thumbnail was replaced"));
        return ThumbnailPlacement::Failed;
    }
    jpeg = placed;
    return placement;
}

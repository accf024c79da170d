// Moving the thumbnail, the trailing bytes and the multi-picture offsets into a turned file.
// The files written here are Pivotta's own temporary files, never the photo.
#include "engine/keptbytes.h"

#include <QCoreApplication>
#include <QFile>

#include "engine/jpegstructure.h"
#include "engine/multipictureindex.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("KeptBytes", text);
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

bool readWhole(const QString &path, QByteArray *bytes, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, file.errorString());
    *bytes = file.readAll();
    if (bytes->size() != file.size())
        return fail(error, tr("the file changed while it was read"));
    return true;
}

// Pivotta's own temporary file, written anew.
bool writeWhole(const QString &path, const QByteArray &bytes, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        return fail(error, file.errorString());
    return true;
}

} // namespace

QByteArray readThumbnail(const QString &path, const JpegStructure &structure) {
    if (structure.thumbnail.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(structure.thumbnail.offset))
        return {};
    const QByteArray bytes = file.read(structure.thumbnail.length);
    return bytes.size() == structure.thumbnail.length ? bytes : QByteArray();
}

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

ThumbnailPlacement putBackThumbnail(const QString &path, const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error) {
    ThumbnailPlacement placement = plannedPlacement(structure, turnedThumbnail, error);
    if (placement != ThumbnailPlacement::SameSlot && placement != ThumbnailPlacement::GrownSegment)
        return placement;
    QByteArray bytes;
    if (!readWhole(path, &bytes, error))
        return ThumbnailPlacement::Failed;
    placement = putBackThumbnail(bytes, structure, turnedThumbnail, error);
    if ((placement == ThumbnailPlacement::SameSlot ||
         placement == ThumbnailPlacement::GrownSegment) &&
        !writeWhole(path, bytes, error))
        return ThumbnailPlacement::Failed;
    return placement;
}

bool appendTrailingBytes(const QString &photoPath, const JpegStructure &photo,
                         const QString &resultPath, QString *error) {
    if (photo.trailingBytes() <= 0)
        return true;
    QFile source(photoPath);
    QFile target(resultPath);
    if (!source.open(QIODevice::ReadOnly) || !source.seek(photo.imageEnd))
        return fail(error, source.errorString());
    if (!target.open(QIODevice::Append))
        return fail(error, target.errorString());
    constexpr qint64 chunkSize = 1 << 20;
    qint64 left = photo.trailingBytes();
    while (left > 0) {
        const QByteArray chunk = source.read(qMin(left, chunkSize));
        if (chunk.isEmpty())
            return fail(error, tr("the photo ended before its trailing data was read"));
        if (target.write(chunk) != chunk.size())
            return fail(error, target.errorString());
        left -= chunk.size();
    }
    return target.flush() || fail(error, target.errorString());
}

bool fixMultiPictureOffsets(QByteArray &resultBytes, const JpegStructure &original,
                            const JpegStructure &result, QString *error) {
    if (original.mpfSegment.isEmpty() || result.mpfSegment.isEmpty())
        return true;
    const MultiPictureIndex index = readMultiPictureIndex(resultBytes, result.mpfSegment);
    if (index.status != MultiPictureIndex::Read)
        return true;
    const qint64 headerBefore = original.mpfSegment.offset + 4;
    const qint64 shift = (result.imageEnd - index.headerAt) - (original.imageEnd - headerBefore);
    QByteArray fixed = resultBytes;
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const MultiPictureEntry &entry = index.entries[i];
        if (i == 0) {
            if (entry.offset == 0 && result.imageEnd <= 0xFFFFFFFFLL)
                writeMultiPictureEntry(fixed, index, i, quint32(result.imageEnd), 0);
            continue;
        }
        if (entry.offset == 0)
            continue; // no picture in this entry
        const qint64 moved = qint64(entry.offset) + shift;
        if (moved <= 0 || moved > 0xFFFFFFFFLL)
            return fail(error, tr("a picture of the multi-picture index lies outside the file"));
        writeMultiPictureEntry(fixed, index, i, entry.size, quint32(moved));
    }
    resultBytes = fixed;
    return true;
}

bool fixMultiPictureOffsets(const QString &resultPath, const JpegStructure &original,
                            const JpegStructure &result, QString *error) {
    if (original.mpfSegment.isEmpty() || result.mpfSegment.isEmpty())
        return true;
    QByteArray bytes;
    if (!readWhole(resultPath, &bytes, error))
        return false;
    const QByteArray before = bytes;
    if (!fixMultiPictureOffsets(bytes, original, result, error))
        return false;
    return bytes == before || writeWhole(resultPath, bytes, error);
}

bool trailingBytesKept(const QString &photoPath, const JpegStructure &photo,
                       const QString &resultPath, const JpegStructure &result) {
    const qint64 length = photo.trailingBytes();
    if (result.trailingBytes() != length)
        return false;
    if (length == 0)
        return true;
    QFile original(photoPath);
    QFile turned(resultPath);
    if (!original.open(QIODevice::ReadOnly) || !original.seek(photo.imageEnd) ||
        !turned.open(QIODevice::ReadOnly) || !turned.seek(result.imageEnd))
        return false;
    constexpr qint64 chunkSize = 1 << 20;
    for (qint64 left = length; left > 0;) {
        const QByteArray a = original.read(qMin(left, chunkSize));
        const QByteArray b = turned.read(qMin(left, chunkSize));
        if (a.isEmpty() || a != b)
            return false;
        left -= a.size();
    }
    return true;
}

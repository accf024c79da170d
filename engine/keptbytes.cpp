// Moving the thumbnail, the trailing bytes and the multi-picture offsets into a turned file.
// The files written here are Pivotta's own temporary files, never the photo.
#include "engine/keptbytes.h"

#include <QCoreApplication>
#include <QFile>

#include "engine/jpegstructure.h"

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

quint32 decoded(const QByteArray &bytes, qint64 at, int size, bool bigEndian) {
    quint32 value = 0;
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        value |= quint32(uchar(bytes[at + i])) << shift;
    }
    return value;
}

bool writeAt(QFile &file, qint64 offset, const QByteArray &bytes) {
    return file.seek(offset) && file.write(bytes) == bytes.size();
}

// The thumbnail that was put back reads back whole from its new place.
bool thumbnailReadsBack(const QString &path, const QByteArray &thumbnail) {
    const JpegStructure after = readJpegStructure(path);
    return after.isComplete() && after.thumbnail.length == thumbnail.size() &&
           readThumbnail(path, after) == thumbnail;
}

// Any value of a directory entry longer than 4 bytes lives outside the entry, so a tail of at
// most 4 bytes after the thumbnail cannot hold anything that an entry points to.
constexpr qint64 unreferencedTailLimit = 4;
constexpr qint64 maxSegmentPayload = 65535 - 2;

bool growSegment(QFile &file, const JpegStructure &structure, const QByteArray &thumbnail) {
    const qint64 growth = thumbnail.size() - structure.thumbnail.length;
    if (!file.seek(structure.thumbnail.end()))
        return false;
    const QByteArray rest = file.readAll();
    const qint64 segmentLength = structure.exifSegment.length + growth + 2;
    return writeAt(file, structure.exifSegment.offset - 2,
                   encoded(quint32(segmentLength), 2, true)) &&
           writeAt(file, structure.thumbnail.offset, thumbnail + rest);
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

ThumbnailPlacement putBackThumbnail(const QString &path, const JpegStructure &structure,
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
    const bool fits = newLength <= oldLength;
    const bool mayGrow =
        tail <= unreferencedTailLimit &&
        structure.exifSegment.length + newLength - oldLength <= maxSegmentPayload &&
        (structure.thumbnailLengthFieldSize == 4 || newLength <= 0xFFFF);
    if (!fits && !mayGrow)
        return ThumbnailPlacement::NoRoom;

    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        fail(error, file.errorString());
        return ThumbnailPlacement::Failed;
    }
    const QByteArray lengthField =
        encoded(quint32(newLength), structure.thumbnailLengthFieldSize, structure.exifBigEndian);
    const bool written =
        writeAt(file, structure.thumbnailLengthField, lengthField) &&
        (fits ? writeAt(file, structure.thumbnail.offset,
                        turnedThumbnail + QByteArray(int(oldLength - newLength), '\0'))
              : growSegment(file, structure, turnedThumbnail));
    file.close();
    if (!written) {
        fail(error, file.errorString());
        return ThumbnailPlacement::Failed;
    }
    if (!thumbnailReadsBack(path, turnedThumbnail)) {
        fail(error, tr("the EXIF block did not read back after its thumbnail was replaced"));
        return ThumbnailPlacement::Failed;
    }
    return fits ? ThumbnailPlacement::SameSlot : ThumbnailPlacement::GrownSegment;
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

bool fixMultiPictureOffsets(const QString &resultPath, const JpegStructure &original,
                            const JpegStructure &result, QString *error) {
    if (original.mpfSegment.isEmpty() || result.mpfSegment.isEmpty())
        return true;
    const qint64 headerBefore = original.mpfSegment.offset + 4;
    const qint64 headerAfter = result.mpfSegment.offset + 4;
    const qint64 shift = (result.imageEnd - headerAfter) - (original.imageEnd - headerBefore);
    if (shift == 0)
        return true;
    QFile file(resultPath);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(result.mpfSegment.offset))
        return fail(error, file.errorString());
    QByteArray segment = file.read(result.mpfSegment.length);
    // "MPF\0", then a TIFF header; the index directory lists the pictures' entries under tag
    // 0xB002, 16 bytes each: attributes, size, offset, two dependent picture numbers.
    const qint64 size = segment.size();
    const auto has = [&](qint64 at, qint64 count) { return at >= 0 && at + count <= size; };
    const QByteArray byteOrder = segment.mid(4, 4);
    if (!has(0, 12) || (byteOrder != QByteArray("MM\0*", 4) && byteOrder != QByteArray("II*\0", 4)))
        return true;
    const bool bigEndian = segment[4] == 'M';
    const qint64 directory = 4 + qint64(decoded(segment, 8, 4, bigEndian));
    if (!has(directory, 2))
        return true;
    const int entryCount = int(decoded(segment, directory, 2, bigEndian));
    for (int i = 0; i < entryCount && has(directory + 2 + 12 * i, 12); ++i) {
        const qint64 entry = directory + 2 + 12 * i;
        if (decoded(segment, entry, 2, bigEndian) != 0xB002)
            continue;
        const qint64 count = decoded(segment, entry + 4, 4, bigEndian);
        const qint64 values = 4 + qint64(decoded(segment, entry + 8, 4, bigEndian));
        for (qint64 at = values; at + 16 <= values + count && has(at, 16); at += 16) {
            const qint64 offset = decoded(segment, at + 8, 4, bigEndian);
            if (offset == 0)
                continue; // the main image itself
            if (offset + shift <= 0 || offset + shift > 0xFFFFFFFFLL)
                return fail(error,
                            tr("a picture of the multi-picture index lies outside the file"));
            segment.replace(int(at + 8), 4, encoded(quint32(offset + shift), 4, bigEndian));
        }
    }
    return writeAt(file, result.mpfSegment.offset, segment) || fail(error, file.errorString());
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

// Reading and rewriting the entries of a multi-picture index.
#include "jpeg/multipictureindex.h"

#include "exif/tiffreader.h"
#include "jpeg/jpegstructure.h"

namespace {
constexpr quint16 TagEntries = 0xB002;
constexpr quint64 EntrySize = 16;
constexpr qint64 IdentifierLength = 4; // "MPF\0"
} // namespace

MultiPictureIndex readMultiPictureIndex(const QByteArray &jpeg, const FileRange &mpfSegment) {
    MultiPictureIndex index;
    if (mpfSegment.isEmpty() || mpfSegment.length < IdentifierLength ||
        mpfSegment.end() > jpeg.size())
        return index;
    index.status = MultiPictureIndex::Unreadable;
    index.headerAt = mpfSegment.offset + IdentifierLength;
    const Tiff::View tiff =
        Tiff::View::fromHeader(reinterpret_cast<const uint8_t *>(jpeg.constData()) + index.headerAt,
                               quint64(mpfSegment.length - IdentifierLength));
    Tiff::Directory directory;
    if (tiff.isEmpty() || !Tiff::readDirectory(tiff, tiff.firstDirectory(), directory) ||
        !directory.entriesFit(tiff))
        return index;
    index.littleEndian = tiff.littleEndian();
    for (quint64 k = 0; k < directory.count; ++k) {
        const Tiff::Entry entry = Tiff::readEntry(tiff, directory.entryOffset(k));
        if (entry.tag != TagEntries)
            continue;
        const quint64 values = entry.valueField;
        if (entry.count == 0 || entry.count % EntrySize != 0 || !tiff.contains(values, entry.count))
            return index;
        for (quint64 at = values; at < values + entry.count; at += EntrySize) {
            MultiPictureEntry picture;
            picture.attributes = tiff.u32(at);
            picture.size = tiff.u32(at + 4);
            picture.offset = tiff.u32(at + 8);
            picture.firstDependent = tiff.u16(at + 12);
            picture.secondDependent = tiff.u16(at + 14);
            picture.at = index.headerAt + qint64(at);
            index.entries.push_back(picture);
        }
        index.status = MultiPictureIndex::Read;
        return index;
    }
    // An MPF segment without entries describes a further picture, not the file.
    index.status = MultiPictureIndex::Absent;
    return index;
}

void writeMultiPictureEntry(QByteArray &jpeg, const MultiPictureIndex &index, size_t entry,
                            quint32 size, quint32 offset) {
    const Tiff::View order(nullptr, 0, index.littleEndian);
    auto *at = reinterpret_cast<uint8_t *>(jpeg.data()) + index.entries.at(entry).at;
    order.put32(at + 4, size);
    order.put32(at + 8, offset);
}

// The multi-picture index (MPF, in an APP2 segment starting "MPF\0") with which cameras and
// phones list the further pictures of a photo: previews, depth maps, gain maps. Each entry gives
// a picture's attributes, its size and its offset, counted from the index's own TIFF header (the
// first entry is the primary picture, at offset 0). Read in either byte order from untrusted
// bytes, and written back entry by entry in place.
#pragma once

#include <QByteArray>

#include <vector>

struct FileRange;

struct MultiPictureEntry {
    quint32 attributes = 0;
    quint32 size = 0;
    quint32 offset = 0; // from the index's TIFF header; 0 for the primary picture
    quint16 firstDependent = 0;
    quint16 secondDependent = 0;
    qint64 at = -1; // where the entry's 16 bytes stand

    quint32 typeCode() const { return attributes & 0xFFFFFF; }
};

struct MultiPictureIndex {
    enum Status {
        Absent,     // no MPF segment, or one without an index (a further picture's own)
        Read,       // the entries below are the index
        Unreadable, // an MPF segment whose index lies outside it or is not made of entries
    };
    Status status = Absent;
    bool littleEndian = false;
    qint64 headerAt = -1; // the TIFF header in the segment: offsets count from here
    std::vector<MultiPictureEntry> entries;

    // Where the entry's picture starts in the file.
    qint64 startOf(const MultiPictureEntry &entry) const {
        return entry.offset == 0 ? 0 : headerAt + qint64(entry.offset);
    }
};

// The index in the APP2 segment whose payload is `mpfSegment` (empty: Absent).
MultiPictureIndex readMultiPictureIndex(const QByteArray &jpeg, const FileRange &mpfSegment);

// Writes a size and an offset into entry `entry` of `index`, which was read from `jpeg`.
void writeMultiPictureEntry(QByteArray &jpeg, const MultiPictureIndex &index, size_t entry,
                            quint32 size, quint32 offset);

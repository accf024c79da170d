// Reading a TIFF structure held in memory, as EXIF and the multi-picture index (MPF) store their
// directories: the header, directories of 12-byte entries and the link to the next directory,
// and where an entry's values are. Every reader of image file directories in Pivotta reads with
// these. Offsets count from the TIFF header, as the stored offsets do; every one is checked
// against the end of the structure before a byte is read. Standard library only.
#pragma once

#include <cstdint>

namespace Tiff {

constexpr uint64_t HeaderSize = 8;
constexpr uint64_t EntrySize = 12;
constexpr uint16_t Magic = 42;

enum Type : uint16_t {
    Byte = 1,
    Ascii = 2,
    Short = 3,
    Long = 4,
    Rational = 5,
    Undefined = 7,
    SignedLong = 9,
    SignedRational = 10,
};

// The size of one value of the type; 0 for a type that is not one of the above.
uint64_t typeSize(uint16_t type);

// The bytes of a TIFF structure from its header on, read in its byte order.
class View {
public:
    View() = default;
    View(const uint8_t *tiff, uint64_t length, bool littleEndian)
        : data(tiff)
        , size(length)
        , intel(littleEndian) {}

    // The structure at `tiff` when it starts with "II*\0" or "MM\0*"; else an empty view.
    static View fromHeader(const uint8_t *tiff, uint64_t length);

    bool isEmpty() const { return data == nullptr; }
    const uint8_t *bytes() const { return data; }
    uint64_t length() const { return size; }
    bool littleEndian() const { return intel; }

    bool contains(uint64_t offset, uint64_t count) const {
        return offset <= size && count <= size - offset;
    }
    // Unchecked: the caller has made sure that the bytes are there.
    uint16_t u16(uint64_t offset) const {
        const uint8_t *p = data + offset;
        return intel ? uint16_t(p[1] << 8 | p[0]) : uint16_t(p[0] << 8 | p[1]);
    }
    uint32_t u32(uint64_t offset) const {
        const uint32_t first = u16(offset), second = u16(offset + 2);
        return intel ? second << 16 | first : first << 16 | second;
    }
    // The offset of the first directory, stored after the byte order and the magic number.
    uint32_t firstDirectory() const { return u32(4); }

    // Writes in the structure's byte order into `at`, which must be inside it.
    void put16(uint8_t *at, uint16_t value) const;
    void put32(uint8_t *at, uint32_t value) const;

private:
    const uint8_t *data = nullptr;
    uint64_t size = 0;
    bool intel = false;
};

struct Entry {
    uint64_t offset = 0; // where the entry stands
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t valueField = 0; // the values when they fit in 4 bytes, else their offset

    uint64_t valuesSize() const { return count * typeSize(type); }
    // Values that fit stand in the value field itself, in file order.
    uint64_t valuesOffset() const { return valuesSize() <= 4 ? offset + 8 : valueField; }
};

// The entry at `offset`; the caller has made sure that its 12 bytes are there.
Entry readEntry(const View &view, uint64_t offset);

struct Directory {
    uint64_t offset = 0;
    uint16_t count = 0;

    uint64_t entryOffset(uint64_t index) const { return offset + 2 + EntrySize * index; }
    uint64_t linkOffset() const { return entryOffset(count); }
    bool entriesFit(const View &view) const { return view.contains(offset, 2 + EntrySize * count); }
    // The count, the entries and the 4-byte link to the next directory.
    bool fitsWithLink(const View &view) const {
        return view.contains(offset, 2 + EntrySize * count + 4);
    }
};

// The directory at `offset`: false when not even its entry count is there.
bool readDirectory(const View &view, uint64_t offset, Directory &directory);

} // namespace Tiff

// The marker walk to the EXIF segment and the walk through IFD0 to its first orientation entry.
// Every position is a 64-bit sum checked against what is there before a byte is read.
#include "exif/exifwalk.h"

#include <cstring>

namespace ExifWalk {
namespace {

constexpr unsigned char MarkerPrefix = 0xFF;
constexpr unsigned char StartOfImage = 0xD8;
constexpr unsigned char EndOfImage = 0xD9;
constexpr unsigned char StartOfScan = 0xDA;
constexpr unsigned char App1 = 0xE1;
constexpr unsigned char TemporaryMarker = 0x01;
constexpr unsigned char FirstRestart = 0xD0;
constexpr unsigned char LastRestart = 0xD7;

constexpr unsigned char ExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint64_t IdentifierLength = sizeof ExifIdentifier;
// Offsets stored in the segment count from the TIFF header, which follows the identifier.
constexpr uint64_t TiffStart = IdentifierLength;
constexpr uint64_t EntrySize = 12;
constexpr uint16_t TiffMagic = 42;
constexpr uint16_t OrientationTag = 274;
constexpr uint16_t FormatShort = 3;
constexpr uint16_t FormatLong = 4;

uint16_t bigEndian16(const unsigned char *at) {
    return uint16_t(at[0] << 8 | at[1]);
}

// Markers without a length field: they may stand between segments and carry nothing.
bool isStandalone(unsigned char marker) {
    return marker == TemporaryMarker || (marker >= FirstRestart && marker <= LastRestart);
}

// What the walk knows about the bytes up to a position: there, still to be read, or past the
// end of the file.
class Window {
public:
    Window(uint64_t availableBytes, uint64_t fileBytes)
        : available(availableBytes)
        , fileSize(fileBytes) {}

    bool has(uint64_t end) const { return end <= available; }
    // The answer when the bytes up to end are not there yet.
    SegmentSearch missing(uint64_t end) const {
        SegmentSearch search;
        if (end > fileSize) {
            search.status = SegmentSearch::NoExifSegment;
        } else {
            search.status = SegmentSearch::NeedBytes;
            search.neededBytes = end;
        }
        return search;
    }

private:
    uint64_t available;
    uint64_t fileSize;
};

SegmentSearch noExifSegment() {
    SegmentSearch search;
    search.status = SegmentSearch::NoExifSegment;
    return search;
}

class Segment {
public:
    Segment(const unsigned char *segmentBytes, uint64_t segmentLength, bool intelOrder)
        : bytes(segmentBytes)
        , length(segmentLength)
        , intel(intelOrder) {}

    bool contains(uint64_t position, uint64_t size) const {
        return position <= length && size <= length - position;
    }
    uint16_t u16(uint64_t at) const {
        const unsigned char *p = bytes + at;
        return intel ? uint16_t(p[1] << 8 | p[0]) : uint16_t(p[0] << 8 | p[1]);
    }
    uint32_t u32(uint64_t at) const {
        const uint32_t first = u16(at), second = u16(at + 2);
        return intel ? second << 16 | first : first << 16 | second;
    }

private:
    const unsigned char *bytes;
    uint64_t length;
    bool intel;
};

// The value of one orientation entry at position, or 0 when its format or values are unusable.
uint32_t orientationValue(const Segment &segment, uint64_t position) {
    const uint16_t format = segment.u16(position + 2);
    const uint64_t count = segment.u32(position + 4);
    const uint64_t elementSize = format == FormatShort ? 2 : format == FormatLong ? 4 : 0;
    if (elementSize == 0 || count == 0)
        return 0;
    // Values that fit in the 4-byte value field stand there, in file order.
    uint64_t valuesAt = position + 8;
    if (count * elementSize > 4) {
        valuesAt = TiffStart + segment.u32(position + 8);
        if (!segment.contains(valuesAt, count * elementSize))
            return 0;
    }
    return elementSize == 2 ? segment.u16(valuesAt) : segment.u32(valuesAt);
}

} // namespace

SegmentSearch findExifSegment(const unsigned char *bytes, uint64_t available, uint64_t fileSize) {
    const Window window(available, fileSize);
    if (fileSize < 4)
        return SegmentSearch{};
    if (!window.has(4))
        return window.missing(4);
    if (bytes[0] != MarkerPrefix || bytes[1] != StartOfImage)
        return SegmentSearch{};

    uint64_t position = 2;
    while (position < SearchLimit) {
        if (!window.has(position + 1))
            return window.missing(position + 1);
        if (bytes[position] != MarkerPrefix)
            return noExifSegment(); // a broken chain: nothing after it can be trusted
        // Any number of FF fill bytes may stand before the marker code.
        uint64_t code = position + 1;
        for (;; ++code) {
            if (code >= SearchLimit)
                return noExifSegment();
            if (!window.has(code + 1))
                return window.missing(code + 1);
            if (bytes[code] != MarkerPrefix)
                break;
        }
        const unsigned char marker = bytes[code];
        position = code + 1;
        if (isStandalone(marker))
            continue;
        if (marker == EndOfImage || marker == StartOfScan || marker == StartOfImage || marker == 0)
            return noExifSegment();

        if (!window.has(position + 2))
            return window.missing(position + 2);
        const uint64_t length = bigEndian16(bytes + position);
        if (length < 2)
            return noExifSegment();
        if (marker == App1 && length >= 2 + IdentifierLength) {
            const uint64_t payload = position + 2;
            if (!window.has(payload + IdentifierLength))
                return window.missing(payload + IdentifierLength);
            if (std::memcmp(bytes + payload, ExifIdentifier, IdentifierLength) == 0) {
                SegmentSearch found;
                found.status = SegmentSearch::Found;
                found.payloadStart = payload;
                found.declaredLength = length;
                return found;
            }
        }
        position += length;
    }
    return noExifSegment();
}

Ifd0Orientation firstOrientationEntry(const unsigned char *bytes, uint64_t length) {
    Ifd0Orientation result;
    if (bytes == nullptr || length <= 13 ||
        std::memcmp(bytes, ExifIdentifier, IdentifierLength) != 0)
        return result;
    const bool intel = bytes[6] == 'I' && bytes[7] == 'I';
    if (!intel && !(bytes[6] == 'M' && bytes[7] == 'M'))
        return result;
    const Segment segment(bytes, length, intel);
    if (segment.u16(8) != TiffMagic)
        return result;

    const uint64_t ifd0 = TiffStart + segment.u32(10);
    if (!segment.contains(ifd0, 2))
        return result;
    const uint64_t entryCount = segment.u16(ifd0);
    // The count, the entries and the 4-byte link to the next directory.
    if (!segment.contains(ifd0, 2 + EntrySize * entryCount + 4))
        return result;
    result.ifd0Sound = true;

    for (uint64_t k = 0; k < entryCount; ++k) {
        const uint64_t entry = ifd0 + 2 + EntrySize * k;
        if (segment.u16(entry) == OrientationTag) {
            result.tagFound = true;
            result.orientation = orientationValue(segment, entry);
            break;
        }
    }
    return result;
}

} // namespace ExifWalk

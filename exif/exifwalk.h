// The two walks a careful reader makes to find a JPEG photo's orientation: along the chain of
// JPEG markers to the first EXIF APP1 segment, and through IFD0 to its first orientation entry.
// Standard library only and bounded in every step, so that both can be fuzzed on their own.
#pragma once

#include <cstdint>

namespace ExifWalk {

// Segments that start this far into a file or further are not looked at, so that a huge or
// sparse file costs no more than a normal photo. EXIF normally follows the start marker at once.
constexpr uint64_t SearchLimit = 1024 * 1024;

struct SegmentSearch {
    enum Status {
        NotJpeg,       // shorter than 4 bytes, or no start marker FF D8
        NoExifSegment, // the chain reached the image data, the end, a break or the search limit
        NeedBytes,     // the walk must see the bytes up to neededBytes to go on
        Found,         // an APP1 whose payload starts with "Exif\0\0"
    };
    Status status = NotJpeg;
    uint64_t neededBytes = 0;    // NeedBytes: read the file up to here, then walk again
    uint64_t payloadStart = 0;   // Found: position of "Exif"
    uint64_t declaredLength = 0; // Found: the APP1 length field, which counts its own two bytes
};

// Walks the markers from the start marker over the first `available` bytes of a file of
// `fileSize` bytes. Each call starts from the beginning; a caller that is asked for more bytes
// reads them and calls again. The found segment may run past the end of the file.
SegmentSearch findExifSegment(const unsigned char *bytes, uint64_t available, uint64_t fileSize);

struct Ifd0Orientation {
    bool ifd0Sound = false;   // TIFF header and IFD0 (count, entries, next link) lie in the segment
    bool tagFound = false;    // IFD0 has an orientation entry (tag 274)
    uint32_t orientation = 0; // the first value of the first such entry; 0 when unusable
};

// Reads the first orientation entry of IFD0 from an APP1 payload that starts with "Exif\0\0".
// SHORT and LONG entries count; an entry of another format, without values or with values
// outside the segment gives 0. Later orientation entries are ignored, as careful readers do.
Ifd0Orientation firstOrientationEntry(const unsigned char *segment, uint64_t length);

} // namespace ExifWalk

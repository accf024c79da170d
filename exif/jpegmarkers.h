// The chain of JPEG markers, read one marker at a time: the marker that starts at a position (its
// fill bytes and its code), the length field of a segment, and the segments ahead of the image
// data for the readers of metadata. Every reader of JPEG markers in Pivotta walks with these.
// Standard library only, and every read is checked against the bytes that are there, so that the
// walk can be fuzzed on its own and used on a file of which only a part has been read yet.
#pragma once

#include <cstdint>
#include <vector>

namespace JpegMarkers {

enum Code : uint8_t {
    Tem = 0x01,
    Sof0 = 0xC0,
    Dht = 0xC4,
    Jpg = 0xC8,
    Dac = 0xCC,
    Rst0 = 0xD0,
    Rst7 = 0xD7,
    Soi = 0xD8,
    Eoi = 0xD9,
    Sos = 0xDA,
    Dri = 0xDD,
    Dhp = 0xDE,
    App0 = 0xE0,
    App1 = 0xE1,
    App2 = 0xE2,
};

// TEM and the restart markers carry no length field; they may stand between segments.
bool standsAlone(uint8_t code);
bool isRestart(uint8_t code);
// A frame header, SOF0 to SOF15 (the codes among them that are DHT, JPG and DAC are not).
bool isFrame(uint8_t code);
// A frame of a hierarchical file (SOF5 to SOF7, SOF13 to SOF15).
bool isDifferentialFrame(uint8_t code);

struct Marker {
    enum Status {
        Read,      // the code stands at codeAt
        NeedBytes, // the bytes up to neededBytes must be there to go on
        NoMarker,  // no FF where the marker must start: the chain is broken
        PastLimit, // the fill bytes reach the limit
    };
    Status status = NoMarker;
    uint8_t code = 0;
    uint64_t codeAt = 0;
    uint64_t neededBytes = 0;
};

// Reads the marker that starts at `position` in the first `available` bytes: FF, any number of
// FF fill bytes, the code. Fill bytes at or past `limit` are not read.
Marker readMarker(const uint8_t *bytes, uint64_t available, uint64_t position,
                  uint64_t limit = UINT64_MAX);

struct SegmentLength {
    enum Status {
        Read,      // value and payloadAt hold the segment
        NeedBytes, // the length field lies beyond the bytes there
        TooShort,  // the field says less than its own two bytes
    };
    Status status = TooShort;
    uint64_t value = 0; // the field, which counts its own two bytes
    uint64_t payloadAt = 0;
    uint64_t neededBytes = 0;

    uint64_t payloadLength() const { return value - 2; }
    uint64_t end() const { return payloadAt + value - 2; }
};

// Reads the big-endian length field that follows the marker code at `codeAt`. The segment it
// names may run past the bytes there; that is the caller's to judge.
SegmentLength readLength(const uint8_t *bytes, uint64_t available, uint64_t codeAt);

struct Segment {
    uint8_t marker = 0;
    uint64_t codeAt = 0; // the length field follows at codeAt + 1
    uint64_t payloadAt = 0;
    uint64_t payloadLength = 0;

    uint64_t end() const { return payloadAt + payloadLength; }
};

// The segments of a JPEG picture from its start marker up to and including its first scan
// header, each lying whole in the bytes. The walk stops early at a broken chain, an end marker,
// or a segment that runs past the end. Empty when the bytes do not start with FF D8.
std::vector<Segment> headerSegments(const uint8_t *bytes, uint64_t size);

// Whether the payload of `segment` starts with the `length` bytes of `identifier`.
bool payloadStartsWith(const uint8_t *bytes, const Segment &segment, const void *identifier,
                       uint64_t length);

} // namespace JpegMarkers

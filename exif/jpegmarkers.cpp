// Reading the chain of JPEG markers, every position a 64-bit sum checked against what is there.
#include "exif/jpegmarkers.h"

#include <cstring>

namespace JpegMarkers {

namespace {
constexpr uint8_t Prefix = 0xFF;
} // namespace

bool isRestart(uint8_t code) {
    return code >= Rst0 && code <= Rst7;
}

bool standsAlone(uint8_t code) {
    return code == Tem || isRestart(code);
}

bool isFrame(uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != Dht && code != Jpg && code != Dac;
}

bool isDifferentialFrame(uint8_t code) {
    return code == 0xC5 || code == 0xC6 || code == 0xC7 || code == 0xCD || code == 0xCE ||
           code == 0xCF;
}

Marker readMarker(const uint8_t *bytes, uint64_t available, uint64_t position, uint64_t limit) {
    Marker marker;
    if (position >= available) {
        marker.status = Marker::NeedBytes;
        marker.neededBytes = position + 1;
        return marker;
    }
    if (bytes[position] != Prefix)
        return marker;
    for (uint64_t code = position + 1;; ++code) {
        if (code >= limit) {
            marker.status = Marker::PastLimit;
            return marker;
        }
        if (code >= available) {
            marker.status = Marker::NeedBytes;
            marker.neededBytes = code + 1;
            return marker;
        }
        if (bytes[code] != Prefix) {
            marker.status = Marker::Read;
            marker.code = bytes[code];
            marker.codeAt = code;
            return marker;
        }
    }
}

SegmentLength readLength(const uint8_t *bytes, uint64_t available, uint64_t codeAt) {
    SegmentLength length;
    const uint64_t field = codeAt + 1;
    if (field > available || available - field < 2) {
        length.status = SegmentLength::NeedBytes;
        length.neededBytes = field + 2;
        return length;
    }
    length.value = uint64_t(bytes[field]) << 8 | bytes[field + 1];
    if (length.value < 2)
        return length;
    length.status = SegmentLength::Read;
    length.payloadAt = field + 2;
    return length;
}

std::vector<Segment> headerSegments(const uint8_t *bytes, uint64_t size) {
    std::vector<Segment> segments;
    if (bytes == nullptr || size < 2 || bytes[0] != Prefix || bytes[1] != Soi)
        return segments;
    uint64_t position = 2;
    for (;;) {
        const Marker marker = readMarker(bytes, size, position);
        if (marker.status != Marker::Read)
            return segments;
        position = marker.codeAt + 1;
        if (standsAlone(marker.code))
            continue;
        if (marker.code == Eoi || marker.code == Soi || marker.code == 0)
            return segments;
        const SegmentLength length = readLength(bytes, size, marker.codeAt);
        if (length.status != SegmentLength::Read || length.end() > size)
            return segments;
        segments.push_back({marker.code, marker.codeAt, length.payloadAt, length.payloadLength()});
        if (marker.code == Sos)
            return segments;
        position = length.end();
    }
}

bool payloadStartsWith(const uint8_t *bytes, const Segment &segment, const void *identifier,
                       uint64_t length) {
    return segment.payloadLength >= length &&
           std::memcmp(bytes + segment.payloadAt, identifier, size_t(length)) == 0;
}

} // namespace JpegMarkers

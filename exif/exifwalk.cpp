// The marker walk to the EXIF segment and the walk through IFD0 to its first orientation entry,
// both on the shared marker walk and IFD reader.
#include "exif/exifwalk.h"

#include <cstring>

#include "exif/jpegmarkers.h"
#include "exif/tiffreader.h"

namespace ExifWalk {
namespace {

constexpr unsigned char ExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint64_t IdentifierLength = sizeof ExifIdentifier;
constexpr uint16_t OrientationTag = 274;

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

// The value of one orientation entry, or 0 when its format or values are unusable.
uint32_t orientationValue(const Tiff::View &tiff, const Tiff::Entry &entry) {
    if ((entry.type != Tiff::Short && entry.type != Tiff::Long) || entry.count == 0)
        return 0;
    const uint64_t valuesAt = entry.valuesOffset();
    if (!tiff.contains(valuesAt, entry.valuesSize()))
        return 0;
    return entry.type == Tiff::Short ? tiff.u16(valuesAt) : tiff.u32(valuesAt);
}

} // namespace

SegmentSearch findExifSegment(const unsigned char *bytes, uint64_t available, uint64_t fileSize) {
    const Window window(available, fileSize);
    if (fileSize < 4)
        return SegmentSearch{};
    if (!window.has(4))
        return window.missing(4);
    if (bytes[0] != 0xFF || bytes[1] != JpegMarkers::Soi)
        return SegmentSearch{};

    uint64_t position = 2;
    while (position < SearchLimit) {
        const JpegMarkers::Marker marker =
            JpegMarkers::readMarker(bytes, available, position, SearchLimit);
        if (marker.status == JpegMarkers::Marker::NeedBytes)
            return window.missing(marker.neededBytes);
        if (marker.status != JpegMarkers::Marker::Read)
            return noExifSegment(); // a broken chain: nothing after it can be trusted
        position = marker.codeAt + 1;
        if (JpegMarkers::standsAlone(marker.code))
            continue;
        if (marker.code == JpegMarkers::Eoi || marker.code == JpegMarkers::Sos ||
            marker.code == JpegMarkers::Soi || marker.code == 0)
            return noExifSegment();

        const JpegMarkers::SegmentLength length =
            JpegMarkers::readLength(bytes, available, marker.codeAt);
        if (length.status == JpegMarkers::SegmentLength::NeedBytes)
            return window.missing(length.neededBytes);
        if (length.status != JpegMarkers::SegmentLength::Read)
            return noExifSegment();
        if (marker.code == JpegMarkers::App1 && length.value >= 2 + IdentifierLength) {
            if (!window.has(length.payloadAt + IdentifierLength))
                return window.missing(length.payloadAt + IdentifierLength);
            if (std::memcmp(bytes + length.payloadAt, ExifIdentifier, IdentifierLength) == 0) {
                SegmentSearch found;
                found.status = SegmentSearch::Found;
                found.payloadStart = length.payloadAt;
                found.declaredLength = length.value;
                return found;
            }
        }
        position = length.end();
    }
    return noExifSegment();
}

Ifd0Orientation firstOrientationEntry(const unsigned char *bytes, uint64_t length) {
    Ifd0Orientation result;
    if (bytes == nullptr || length <= 13 ||
        std::memcmp(bytes, ExifIdentifier, IdentifierLength) != 0)
        return result;
    const Tiff::View tiff =
        Tiff::View::fromHeader(bytes + IdentifierLength, length - IdentifierLength);
    Tiff::Directory ifd0;
    if (tiff.isEmpty() || !Tiff::readDirectory(tiff, tiff.firstDirectory(), ifd0) ||
        !ifd0.fitsWithLink(tiff))
        return result;
    result.ifd0Sound = true;

    for (uint64_t k = 0; k < ifd0.count; ++k) {
        const uint64_t entry = ifd0.entryOffset(k);
        if (tiff.u16(entry) == OrientationTag) {
            result.tagFound = true;
            result.orientation = orientationValue(tiff, Tiff::readEntry(tiff, entry));
            break;
        }
    }
    return result;
}

} // namespace ExifWalk

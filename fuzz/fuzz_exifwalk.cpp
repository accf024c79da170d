// libFuzzer entry point for the careful walks: every input is walked as a whole file, as a file
// of which only a part has been read yet, and as a bare APP1 payload for the IFD0 walk.
#include "exif/exifwalk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void walk(const uint8_t *data, uint64_t available, uint64_t fileSize) {
    const ExifWalk::SegmentSearch search = ExifWalk::findExifSegment(data, available, fileSize);
    switch (search.status) {
    case ExifWalk::SegmentSearch::NeedBytes:
        require(search.neededBytes > available && search.neededBytes <= fileSize);
        return;
    case ExifWalk::SegmentSearch::Found: {
        require(search.payloadStart + 6 <= available);
        require(search.payloadStart < ExifWalk::SearchLimit + 16);
        // The segment as the reader hands it on: at most what is there.
        uint64_t length = search.declaredLength - 2;
        if (search.payloadStart + length > available)
            length = available - search.payloadStart;
        ExifWalk::firstOrientationEntry(data + search.payloadStart, length);
        return;
    }
    default:
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    walk(data, size, size);
    walk(data, size / 2, size);
    ExifWalk::firstOrientationEntry(data, size);
    return 0;
}

// libFuzzer entry point for the EXIF parser: every input is read as a whole JPEG file and, to
// reach the directory walk without a JPEG wrapper, as a bare APP1 payload too.
#include "exif/exifrecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void requireResultCode(int result) {
    switch (result) {
    case ExifRecord::ExifOk:
    case ExifRecord::ExifNoJpeg:
    case ExifRecord::ExifNoExifHeader:
    case ExifRecord::ExifUnknownByteOrder:
    case ExifRecord::ExifCorrupt:
        return;
    default:
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > UINT32_MAX)
        return 0;
    const auto length = static_cast<uint32_t>(size);

    ExifRecord record;
    requireResultCode(record.readJpeg(data, length));
    ExifRecord segmentRecord;
    requireResultCode(segmentRecord.readExifSegment(data, length));
    return 0;
}

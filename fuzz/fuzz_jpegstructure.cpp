// libFuzzer entry point for the JPEG structure parser: every input is parsed as a whole file, and
// what it reports must lie inside the input. Built with Qt Core for the parser's texts and run by
// run-fuzzer.sh (target jpegstructure).
#include "jpeg/jpegstructure.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto length = static_cast<qint64>(size);
    const JpegStructure structure = parseJpegStructure(data, length);
    const bool inside =
        structure.imageEnd <= length && structure.thumbnail.end() <= length &&
        structure.exifSegment.end() <= length && structure.xmpSegment.end() <= length &&
        structure.mpfSegment.end() <= length && structure.thumbnailLengthField < length &&
        structure.strayFrameMarkerAt < length;
    if (!inside)
        std::abort();
    return 0;
}

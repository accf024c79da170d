// libFuzzer entry point for the JPEG structure parser: every input is parsed as a whole file, and
// what it reports must lie inside the input. Built and run like the EXIF target (see
// run-fuzzer.sh), with Qt Core for the parser's texts:
//   clang++ -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -I. \
//       $(pkg-config --cflags Qt6Core) fuzz/fuzz_jpegstructure.cpp engine/jpegstructure.cpp \
//       $(pkg-config --libs Qt6Core) -o build-fuzz/fuzz_jpegstructure
#include "engine/jpegstructure.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto length = static_cast<qint64>(size);
    const JpegStructure structure = parseJpegStructure(data, length);
    const bool inside = structure.imageEnd <= length && structure.thumbnail.end() <= length &&
                        structure.exifSegment.end() <= length &&
                        structure.xmpSegment.end() <= length &&
                        structure.thumbnailLengthField < length;
    if (!inside)
        std::abort();
    return 0;
}

// Reading TIFF headers, directories and entries in memory.
#include "exif/tiffreader.h"

namespace Tiff {

uint64_t typeSize(uint16_t type) {
    switch (type) {
    case Byte:
    case Ascii:
    case Undefined:
        return 1;
    case Short:
        return 2;
    case Long:
    case SignedLong:
        return 4;
    case Rational:
    case SignedRational:
        return 8;
    default:
        return 0;
    }
}

View View::fromHeader(const uint8_t *tiff, uint64_t length) {
    if (tiff == nullptr || length < HeaderSize)
        return {};
    bool intel = false;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        intel = true;
    else if (!(tiff[0] == 'M' && tiff[1] == 'M'))
        return {};
    const View view(tiff, length, intel);
    return view.u16(2) == Magic ? view : View();
}

void View::put16(uint8_t *at, uint16_t value) const {
    at[intel ? 0 : 1] = uint8_t(value & 0xFF);
    at[intel ? 1 : 0] = uint8_t(value >> 8);
}

void View::put32(uint8_t *at, uint32_t value) const {
    put16(at + (intel ? 0 : 2), uint16_t(value & 0xFFFF));
    put16(at + (intel ? 2 : 0), uint16_t(value >> 16));
}

Entry readEntry(const View &view, uint64_t offset) {
    Entry entry;
    entry.offset = offset;
    entry.tag = view.u16(offset);
    entry.type = view.u16(offset + 2);
    entry.count = view.u32(offset + 4);
    entry.valueField = view.u32(offset + 8);
    return entry;
}

bool readDirectory(const View &view, uint64_t offset, Directory &directory) {
    if (!view.contains(offset, 2))
        return false;
    directory.offset = offset;
    directory.count = view.u16(offset);
    return true;
}

} // namespace Tiff

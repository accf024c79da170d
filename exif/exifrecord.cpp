// The EXIF parser: finds the first APP1 marker of a JPEG file in memory and reads IFD0, the EXIF
// sub-directory and the GPS directory into an ExifRecord in one pass, without copying the buffer.
// Every position is computed in 64 bits and checked against the segment end before it is read.
#include "exif/exifrecord.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "exif/tiffreader.h"

namespace {

// Offsets stored in the file count from the TIFF header, which follows "Exif\0\0".
constexpr uint64_t TiffStart = 6;
// APP1 length field, "Exif\0\0" and an 8-byte TIFF header.
constexpr uint64_t MinimumApp1Length = 16;
// The most values that any table looks at in a numeric entry (the four of the lens entry).
constexpr uint64_t MostValuesUsed = 4;
constexpr uint64_t AllValues = UINT64_MAX;

enum Ifd0Tag : uint16_t {
    TagBitsPerSample = 0x0102,
    TagImageDescription = 0x010E,
    TagMake = 0x010F,
    TagModel = 0x0110,
    TagOrientation = 0x0112,
    TagSoftware = 0x0131,
    TagDateTime = 0x0132,
    TagCopyright = 0x8298,
    TagExifIfdPointer = 0x8769,
    TagGpsIfdPointer = 0x8825,
};

enum ExifTag : uint16_t {
    TagExposureTime = 0x829A,
    TagFNumber = 0x829D,
    TagExposureProgram = 0x8822,
    TagIsoSpeed = 0x8827,
    TagDateTimeOriginal = 0x9003,
    TagDateTimeDigitized = 0x9004,
    TagShutterSpeedValue = 0x9201,
    TagExposureBiasValue = 0x9204,
    TagSubjectDistance = 0x9206,
    TagMeteringMode = 0x9207,
    TagFlash = 0x9209,
    TagFocalLength = 0x920A,
    TagSubSecTimeOriginal = 0x9291,
    TagPixelXDimension = 0xA002,
    TagPixelYDimension = 0xA003,
    TagFocalPlaneXResolution = 0xA20E,
    TagFocalPlaneYResolution = 0xA20F,
    TagFocalPlaneResolutionUnit = 0xA210,
    TagFocalLengthIn35mm = 0xA405,
    TagLensSpecification = 0xA432,
    TagLensMake = 0xA433,
    TagLensModel = 0xA434,
};

enum GpsTag : uint16_t {
    TagGpsLatitudeRef = 1,
    TagGpsLatitude = 2,
    TagGpsLongitudeRef = 3,
    TagGpsLongitude = 4,
    TagGpsAltitudeRef = 5,
    TagGpsAltitude = 6,
    TagGpsDop = 11,
};

bool isRationalFormat(uint16_t format) {
    return format == Tiff::Rational || format == Tiff::SignedRational;
}

// Position just past the last FF D9 end marker, or 0 when there is none after the start marker.
uint64_t usableJpegLength(const unsigned char *bytes, uint32_t length) {
    uint64_t usable = length;
    while (bytes[usable - 2] != 0xFF || bytes[usable - 1] != 0xD9) {
        --usable;
        if (usable == 2)
            return 0;
    }
    return usable;
}

// Position of the first FF E1 pair, or usable - 1 when there is none.
uint64_t findFirstApp1(const unsigned char *bytes, uint64_t usable) {
    for (uint64_t position = 0; position + 1 < usable; ++position) {
        if (bytes[position] == 0xFF && bytes[position + 1] == 0xE1)
            return position;
    }
    return usable - 1;
}

template <typename Value> const Value *firstValue(const ExifRecord::ExifDirectoryEntry &entry) {
    const auto *values = std::get_if<std::vector<Value>>(&entry.values);
    return values != nullptr && !values->empty() ? &values->front() : nullptr;
}

void storeFirstShort(const ExifRecord::ExifDirectoryEntry &entry, uint16_t &field) {
    if (const uint16_t *value = firstValue<uint16_t>(entry))
        field = *value;
}

void storeFirstRational(const ExifRecord::ExifDirectoryEntry &entry, double &field) {
    if (const auto *value = firstValue<ExifRecord::ExifRational>(entry))
        field = value->toDouble();
}

void storeFirstShortOrLong(const ExifRecord::ExifDirectoryEntry &entry, uint32_t &field) {
    if (const uint16_t *shortValue = firstValue<uint16_t>(entry))
        field = *shortValue;
    else if (const uint32_t *longValue = firstValue<uint32_t>(entry))
        field = *longValue;
}

using TextEntries = std::vector<std::pair<std::string *, uint64_t>>;

// Keeps the position of the latest entry for each text field.
void rememberTextEntry(TextEntries &entries, std::string *field, uint64_t position) {
    for (auto &entry : entries) {
        if (entry.first == field) {
            entry.second = position;
            return;
        }
    }
    entries.emplace_back(field, position);
}

ExifRecord::ExifRational rationalAt(const Tiff::View &tiff, uint64_t position) {
    return {tiff.u32(position), tiff.u32(position + 4)};
}

// The directory at position with its count, entries and link to the next directory inside the
// segment; false when they do not all fit. Needs two readable bytes.
bool wholeDirectory(const Tiff::View &tiff, uint64_t position, Tiff::Directory &directory) {
    return Tiff::readDirectory(tiff, position, directory) && directory.fitsWithLink(tiff);
}

} // namespace

double ExifRecord::ExifRational::toDouble() const {
    return denominator == 0 ? 0.0 : double(numerator) / double(denominator);
}

void ExifRecord::reset() {
    *this = ExifRecord();
}

int ExifRecord::readJpeg(const unsigned char *bytes, uint32_t length) {
    if (bytes == nullptr || length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return ExifNoJpeg;
    // Anything after the last end marker is ignored.
    const uint64_t usable = usableJpegLength(bytes, length);
    if (usable == 0)
        return ExifNoJpeg;

    reset();
    // Deliberately lenient: no walk along the marker chain, the first FF E1 pair wins.
    const uint64_t app1 = findFirstApp1(bytes, usable);
    if (app1 + 4 > usable)
        return ExifNoExifHeader;
    const uint64_t app1Length = uint64_t(bytes[app1 + 2]) << 8 | bytes[app1 + 3];
    if (app1 + 2 + app1Length > usable || app1Length < MinimumApp1Length)
        return ExifCorrupt;
    // The segment is given all data up to the end marker, not just the APP1 length.
    return readExifSegment(bytes + app1 + 4, uint32_t(usable - app1 - 4));
}

int ExifRecord::readExifSegment(const unsigned char *bytes, uint32_t length) {
    static const unsigned char exifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (bytes == nullptr || length < 6 || std::memcmp(bytes, exifIdentifier, 6) != 0)
        return ExifNoExifHeader;
    if (length <= 13)
        return ExifCorrupt;

    if (bytes[6] == 'I' && bytes[7] == 'I')
        intelByteOrder = true;
    else if (bytes[6] == 'M' && bytes[7] == 'M')
        intelByteOrder = false;
    else
        return ExifUnknownByteOrder;

    const Tiff::View tiff(bytes + TiffStart, length - TiffStart, intelByteOrder);
    if (tiff.u16(2) != Tiff::Magic)
        return ExifCorrupt;

    Tiff::Directory ifd0;
    if (!wholeDirectory(tiff, tiff.firstDirectory(), ifd0))
        return ExifCorrupt;

    // A position at the segment end means that the directory is absent.
    uint64_t exifIfd = tiff.length();
    uint64_t gpsIfd = tiff.length();
    readTableDirectory(tiff, ifd0, false, exifIfd, gpsIfd);

    if (tiff.contains(exifIfd, 4)) {
        Tiff::Directory exif;
        if (!wholeDirectory(tiff, exifIfd, exif))
            return ExifCorrupt;
        uint64_t unusedPosition = 0;
        readTableDirectory(tiff, exif, true, unusedPosition, unusedPosition);
    }

    if (tiff.contains(gpsIfd, 4)) {
        Tiff::Directory gpsDirectory;
        if (!wholeDirectory(tiff, gpsIfd, gpsDirectory))
            return ExifCorrupt;
        for (uint64_t k = 0; k < gpsDirectory.count; ++k)
            storeGpsEntry(tiff, gpsDirectory.entryOffset(k));
    }
    return ExifOk;
}

void ExifRecord::readTableDirectory(const Tiff::View &tiff, const Tiff::Directory &directory,
                                    bool exifDirectory, uint64_t &exifPosition,
                                    uint64_t &gpsPosition) {
    // Text is copied once per field, from the last entry that fills it, and numeric entries
    // decode only the values that are looked at: a directory repeating an entry whose values
    // span the whole segment would otherwise cost entries times segment length.
    TextEntries lastTextEntries;
    for (uint64_t k = 0; k < directory.count; ++k) {
        const uint64_t position = directory.entryOffset(k);
        std::string *text = textField(exifDirectory, tiff.u16(position));
        const ExifDirectoryEntry entry = readEntry(tiff, position, text ? 0 : MostValuesUsed);
        if (text != nullptr && entry.format == Tiff::Ascii)
            rememberTextEntry(lastTextEntries, text, position);
        else if (exifDirectory)
            storeExifEntry(entry);
        else
            storeIfd0Entry(entry, exifPosition, gpsPosition);
    }
    for (const auto &[field, position] : lastTextEntries) {
        const ExifDirectoryEntry entry = readEntry(tiff, position, AllValues);
        if (const auto *text = std::get_if<std::string>(&entry.values))
            *field = *text;
    }
}

std::string *ExifRecord::textField(bool exifDirectory, uint16_t tag) {
    if (!exifDirectory) {
        switch (tag) {
        case TagImageDescription:
            return &imageDescription;
        case TagMake:
            return &make;
        case TagModel:
            return &model;
        case TagSoftware:
            return &software;
        case TagDateTime:
            return &dateTime;
        case TagCopyright:
            return &rightsNotice;
        }
        return nullptr;
    }
    switch (tag) {
    case TagDateTimeOriginal:
        return &dateTimeOriginal;
    case TagDateTimeDigitized:
        return &dateTimeDigitized;
    case TagSubSecTimeOriginal:
        return &subSecTimeOriginal;
    case TagLensMake:
        return &lens.lensMake;
    case TagLensModel:
        return &lens.lensModel;
    }
    return nullptr;
}

ExifRecord::ExifDirectoryEntry ExifRecord::readEntry(const Tiff::View &tiff, uint64_t position,
                                                     uint64_t valueLimit) {
    ExifDirectoryEntry entry;
    if (!tiff.contains(position, Tiff::EntrySize))
        return ExifDirectoryEntry();

    const Tiff::Entry stored = Tiff::readEntry(tiff, position);
    entry.tag = stored.tag;
    entry.format = stored.type;
    entry.count = stored.count;
    entry.valueField = stored.valueField;

    switch (entry.format) {
    case Tiff::Undefined:
    case Tiff::SignedLong:
    case Tiff::SignedRational:
        return entry;
    case Tiff::Byte:
    case Tiff::Ascii:
    case Tiff::Short:
    case Tiff::Long:
    case Tiff::Rational:
        break;
    default:
        return ExifDirectoryEntry();
    }

    const uint64_t size = stored.valuesSize();
    const uint64_t start = stored.valuesOffset();
    if (!tiff.contains(start, size))
        return ExifDirectoryEntry();

    const uint64_t decoded = std::min<uint64_t>(entry.count, valueLimit);
    const unsigned char *first = tiff.bytes() + start;
    switch (entry.format) {
    case Tiff::Byte:
        entry.values = std::vector<uint8_t>(first, first + decoded);
        break;
    case Tiff::Ascii: {
        std::string text(reinterpret_cast<const char *>(first), decoded);
        if (decoded == entry.count && !text.empty() && text.back() == '\0')
            text.pop_back();
        entry.values = std::move(text);
        break;
    }
    case Tiff::Short: {
        std::vector<uint16_t> shorts(decoded);
        for (uint64_t i = 0; i < decoded; ++i)
            shorts[i] = tiff.u16(start + 2 * i);
        entry.values = std::move(shorts);
        break;
    }
    case Tiff::Long: {
        std::vector<uint32_t> longs(decoded);
        for (uint64_t i = 0; i < decoded; ++i)
            longs[i] = tiff.u32(start + 4 * i);
        entry.values = std::move(longs);
        break;
    }
    case Tiff::Rational: {
        std::vector<ExifRational> rationals(decoded);
        for (uint64_t i = 0; i < decoded; ++i)
            rationals[i] = rationalAt(tiff, start + 8 * i);
        entry.values = std::move(rationals);
        break;
    }
    }
    return entry;
}

void ExifRecord::storeIfd0Entry(const ExifDirectoryEntry &entry, uint64_t &exifPosition,
                                uint64_t &gpsPosition) {
    switch (entry.tag) {
    case TagBitsPerSample:
        storeFirstShort(entry, bitsPerSample);
        break;
    case TagOrientation:
        storeFirstShort(entry, orientation);
        break;
    case TagExifIfdPointer:
        exifPosition = entry.valueField;
        break;
    case TagGpsIfdPointer:
        gpsPosition = entry.valueField;
        break;
    }
}

void ExifRecord::storeExifEntry(const ExifDirectoryEntry &entry) {
    switch (entry.tag) {
    case TagExposureTime:
        storeFirstRational(entry, exposureTime);
        break;
    case TagFNumber:
        storeFirstRational(entry, fNumber);
        break;
    case TagExposureProgram:
        storeFirstShort(entry, exposureProgram);
        break;
    case TagIsoSpeed:
        storeFirstShort(entry, isoSpeed);
        break;
    case TagShutterSpeedValue:
        storeFirstRational(entry, shutterSpeedValue);
        break;
    case TagExposureBiasValue:
        storeFirstRational(entry, exposureBiasValue);
        break;
    case TagSubjectDistance:
        storeFirstRational(entry, subjectDistance);
        break;
    case TagMeteringMode:
        storeFirstShort(entry, meteringMode);
        break;
    case TagFlash:
        if (const uint16_t *flash = firstValue<uint16_t>(entry)) {
            flashFired = char(*flash & 1);
            flashReturnedLight = (*flash >> 1) & 3;
            flashMode = (*flash >> 3) & 3;
        }
        break;
    case TagFocalLength:
        storeFirstRational(entry, focalLength);
        break;
    case TagPixelXDimension:
        storeFirstShortOrLong(entry, imageWidth);
        break;
    case TagPixelYDimension:
        storeFirstShortOrLong(entry, imageHeight);
        break;
    case TagFocalPlaneXResolution:
        storeFirstRational(entry, lens.focalPlaneXResolution);
        break;
    case TagFocalPlaneYResolution:
        storeFirstRational(entry, lens.focalPlaneYResolution);
        break;
    case TagFocalPlaneResolutionUnit:
        storeFirstShort(entry, lens.focalPlaneResolutionUnit);
        break;
    case TagFocalLengthIn35mm:
        storeFirstShort(entry, focalLengthIn35mm);
        break;
    case TagLensSpecification:
        if (const auto *values = std::get_if<std::vector<ExifRational>>(&entry.values)) {
            double *const fields[] = {&lens.minFocalLength, &lens.maxFocalLength, &lens.minFStop,
                                      &lens.maxFStop};
            for (size_t i = 0; i < values->size() && i < 4; ++i)
                *fields[i] = (*values)[i].toDouble();
        }
        break;
    }
}

namespace {

// A reference tag flips the sign of a value already stored, and a value tag applies the
// reference already stored, so that their order in the directory does not matter.
void storeDirection(ExifRecord::ExifDegrees &parts, double &coordinate, char reference,
                    char negativeDirection) {
    parts.direction = reference == 0 ? '?' : reference;
    if (reference == negativeDirection)
        coordinate = -coordinate;
}

} // namespace

void ExifRecord::storeGpsEntry(const Tiff::View &tiff, uint64_t position) {
    const Tiff::Entry stored = Tiff::readEntry(tiff, position);
    const uint16_t tag = stored.tag;
    const uint16_t format = stored.type;
    const uint32_t count = stored.count;
    const uint64_t valueStart = stored.valueField;
    const char reference = char(tiff.bytes()[position + 8]);

    // Degrees, minutes and seconds; left alone when they lie outside the segment.
    auto storeCoordinate = [&](ExifDegrees &parts, double &coordinate, char negativeDirection) {
        if (!isRationalFormat(format) || count != 3 || !tiff.contains(valueStart, 24))
            return;
        parts.degrees = rationalAt(tiff, valueStart).toDouble();
        parts.minutes = rationalAt(tiff, valueStart + 8).toDouble();
        parts.seconds = rationalAt(tiff, valueStart + 16).toDouble();
        coordinate = parts.degrees + parts.minutes / 60 + parts.seconds / 3600;
        if (parts.direction == negativeDirection)
            coordinate = -coordinate;
    };
    auto readSingleRational = [&](double &value) {
        if (!isRationalFormat(format) || !tiff.contains(valueStart, 8))
            return false;
        value = rationalAt(tiff, valueStart).toDouble();
        return true;
    };

    switch (tag) {
    case TagGpsLatitudeRef:
        storeDirection(gps.latitudeParts, gps.latitude, reference, 'S');
        break;
    case TagGpsLatitude:
        storeCoordinate(gps.latitudeParts, gps.latitude, 'S');
        break;
    case TagGpsLongitudeRef:
        storeDirection(gps.longitudeParts, gps.longitude, reference, 'W');
        break;
    case TagGpsLongitude:
        storeCoordinate(gps.longitudeParts, gps.longitude, 'W');
        break;
    case TagGpsAltitudeRef:
        gps.altitudeRef = reference;
        if (reference == 1)
            gps.altitude = -gps.altitude;
        break;
    case TagGpsAltitude: {
        double altitude = 0;
        if (readSingleRational(altitude))
            gps.altitude = gps.altitudeRef == 1 ? -altitude : altitude;
        break;
    }
    case TagGpsDop:
        readSingleRational(gps.dop);
        break;
    }
}

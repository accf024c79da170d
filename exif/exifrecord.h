// ExifRecord: the EXIF metadata of one JPEG photo held in memory, and the lenient parser that
// fills it from IFD0, the EXIF sub-directory and the GPS directory. Standard library only, so
// that the parser can be fuzzed and reused on its own.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace Tiff {
class View;
struct Directory;
} // namespace Tiff

class ExifRecord {
public:
    enum Result : int {
        ExifOk = 0,
        ExifNoJpeg = 1982,
        ExifNoExifHeader = 1983,
        ExifUnknownByteOrder = 1984,
        ExifCorrupt = 1985,
    };

    struct ExifDegrees {
        double degrees = 0;
        double minutes = 0;
        double seconds = 0;
        char direction = '?'; // 'N', 'S', 'E' or 'W' as stored; '?' when the byte is 0
    };

    struct ExifGpsInfo {
        double latitude = 0;  // decimal degrees, negative south
        double longitude = 0; // decimal degrees, negative west
        double altitude = 0;  // metres, negative below sea level
        char altitudeRef = 0; // raw reference byte
        double dop = 0;
        ExifDegrees latitudeParts;
        ExifDegrees longitudeParts;
    };

    struct ExifLensInfo {
        double minFStop = 0;
        double maxFStop = 0;
        double minFocalLength = 0;
        double maxFocalLength = 0;
        double focalPlaneXResolution = 0;
        double focalPlaneYResolution = 0;
        uint16_t focalPlaneResolutionUnit = 0;
        std::string lensMake;
        std::string lensModel;
    };

    struct ExifRational {
        uint32_t numerator = 0;
        uint32_t denominator = 0;
        double toDouble() const;
    };

    // One 12-byte directory entry. An entry whose tag is InvalidTag matches no known tag.
    struct ExifDirectoryEntry {
        static constexpr uint16_t InvalidTag = 255;

        uint16_t tag = InvalidTag;
        uint16_t format = InvalidTag;
        uint32_t count = 0;
        uint32_t valueField = 0; // the values when they fit in 4 bytes, else their offset
        // Formats 1 to 5 decode into the matching alternative; formats 7, 9 and 10 keep none.
        std::variant<std::monostate, std::vector<uint8_t>, std::string, std::vector<uint16_t>,
                     std::vector<uint32_t>, std::vector<ExifRational>>
            values;

        bool isValid() const { return tag != InvalidTag; }
    };

    bool intelByteOrder = false;
    std::string imageDescription;
    std::string make;
    std::string model;
    uint16_t orientation = 0;
    uint16_t bitsPerSample = 0;
    std::string software;
    std::string dateTime;
    std::string dateTimeOriginal;
    std::string dateTimeDigitized;
    std::string subSecTimeOriginal;
    std::string rightsNotice;
    double exposureTime = 0;
    double fNumber = 0;
    uint16_t exposureProgram = 0;
    uint16_t isoSpeed = 0;
    double shutterSpeedValue = 0;
    double exposureBiasValue = 0;
    double subjectDistance = 0;
    double focalLength = 0;
    uint16_t focalLengthIn35mm = 0;
    char flashFired = 0;
    uint16_t flashReturnedLight = 0;
    uint16_t flashMode = 0;
    uint16_t meteringMode = 0;
    uint32_t imageWidth = 0;
    uint32_t imageHeight = 0;
    ExifGpsInfo gps;
    ExifLensInfo lens;

    void reset();

    // Reads a whole JPEG file. ExifNoJpeg leaves the record untouched; any other result comes
    // after a reset, with whatever was read before a failing check kept.
    int readJpeg(const unsigned char *bytes, uint32_t length);

    // Reads an APP1 payload starting at "Exif"; length is the number of bytes available from
    // there on. Does not reset the record.
    int readExifSegment(const unsigned char *bytes, uint32_t length);

private:
    // Positions below count from the TIFF header, as the offsets stored in the segment do.

    // Reads the entry at position and decodes at most valueLimit of its values; the bounds check
    // always covers all of them.
    static ExifDirectoryEntry readEntry(const Tiff::View &tiff, uint64_t position,
                                        uint64_t valueLimit);
    void readTableDirectory(const Tiff::View &tiff, const Tiff::Directory &directory,
                            bool exifDirectory, uint64_t &exifPosition, uint64_t &gpsPosition);
    std::string *textField(bool exifDirectory, uint16_t tag);
    void storeIfd0Entry(const ExifDirectoryEntry &entry, uint64_t &exifPosition,
                        uint64_t &gpsPosition);
    void storeExifEntry(const ExifDirectoryEntry &entry);
    void storeGpsEntry(const Tiff::View &tiff, uint64_t position);
};

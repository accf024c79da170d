// Tests of the EXIF parser: a table of small synthetic JPEG and EXIF buffers built here, the
// fuzzing seed corpus, and the orientation test photos.
#include "exif/exifrecord.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#ifndef PIVOTTA_TESTDATA_DIR
#error "PIVOTTA_TESTDATA_DIR must name the test data folder"
#endif
#ifndef PIVOTTA_FUZZ_CORPUS_DIR
#error "PIVOTTA_FUZZ_CORPUS_DIR must name the fuzzing seed corpus folder"
#endif

Q_DECLARE_METATYPE(ExifRecord)

namespace {

enum class Directory { Ifd0, Exif, Gps };

// Builds an APP1 payload: "Exif\0\0", a TIFF header, IFD0 (with pointers to the EXIF and GPS
// directories when they have entries), the EXIF and GPS directories and then a data area with
// every value that does not fit in its value field, in the order the entries were added.
class ExifBuilder {
public:
    explicit ExifBuilder(bool intel)
        : m_intel(intel) {}

    QByteArray u16(quint16 value) const {
        const char high = char(value >> 8), low = char(value & 0xFF);
        return m_intel ? QByteArray(1, low) + high : QByteArray(1, high) + low;
    }
    QByteArray u32(quint32 value) const {
        const QByteArray high = u16(quint16(value >> 16)), low = u16(quint16(value & 0xFFFF));
        return m_intel ? low + high : high + low;
    }
    QByteArray rational(quint32 numerator, quint32 denominator) const {
        return u32(numerator) + u32(denominator);
    }

    // values are the raw value bytes in file order; count is stored as given.
    ExifBuilder &add(Directory directory, quint16 tag, quint16 format, quint32 count,
                     const QByteArray &values) {
        m_entries[int(directory)].push_back({tag, format, count, values, false, 0});
        return *this;
    }
    // An entry with the given value field and no data of its own.
    ExifBuilder &addRaw(Directory directory, quint16 tag, quint16 format, quint32 count,
                        quint32 valueField) {
        m_entries[int(directory)].push_back({tag, format, count, {}, true, valueField});
        return *this;
    }
    ExifBuilder &ascii(Directory directory, quint16 tag, const QByteArray &text) {
        return add(directory, tag, 2, quint32(text.size()), text);
    }
    ExifBuilder &shortValue(Directory directory, quint16 tag, quint16 value) {
        return add(directory, tag, 3, 1, u16(value));
    }
    ExifBuilder &rationalValue(Directory directory, quint16 tag, quint32 numerator,
                               quint32 denominator) {
        return add(directory, tag, 5, 1, rational(numerator, denominator));
    }
    // The reference byte stands first in the value field.
    ExifBuilder &gpsReference(quint16 tag, char reference) {
        return add(Directory::Gps, tag, 2, 2, QByteArray(1, reference) + '\0');
    }
    ExifBuilder &gpsDegrees(quint16 tag, quint32 degrees, quint32 minutes, quint32 seconds) {
        return add(Directory::Gps, tag, 5, 3,
                   rational(degrees, 1) + rational(minutes, 1) + rational(seconds, 1));
    }

    QByteArray segment() const {
        std::vector<Entry> ifd0 = m_entries[int(Directory::Ifd0)];
        const auto &exif = m_entries[int(Directory::Exif)];
        const auto &gps = m_entries[int(Directory::Gps)];
        const size_t ifd0Count = ifd0.size() + !exif.empty() + !gps.empty();
        const quint32 exifOffset = 8 + directorySize(ifd0Count);
        const quint32 gpsOffset = exifOffset + (exif.empty() ? 0 : directorySize(exif.size()));
        if (!exif.empty())
            ifd0.push_back({0x8769, 4, 1, {}, true, exifOffset});
        if (!gps.empty())
            ifd0.push_back({0x8825, 4, 1, {}, true, gpsOffset});

        QByteArray tiff = (m_intel ? QByteArray("II") : QByteArray("MM")) + u16(42) + u32(8);
        QByteArray data;
        const quint32 dataOffset = gpsOffset + (gps.empty() ? 0 : directorySize(gps.size()));
        const std::vector<Entry> *directories[] = {&ifd0, &exif, &gps};
        for (const auto *directory : directories) {
            if (directory->empty())
                continue;
            tiff += u16(quint16(directory->size()));
            for (const Entry &entry : *directory)
                tiff += entryBytes(entry, dataOffset, data);
            tiff += u32(0);
        }
        return QByteArray("Exif\0\0", 6) + tiff + data;
    }

private:
    struct Entry {
        quint16 tag;
        quint16 format;
        quint32 count;
        QByteArray values;
        bool raw;
        quint32 valueField;
    };

    static quint32 directorySize(size_t entryCount) { return quint32(2 + 12 * entryCount + 4); }

    QByteArray entryBytes(const Entry &entry, quint32 dataOffset, QByteArray &data) const {
        QByteArray bytes = u16(entry.tag) + u16(entry.format) + u32(entry.count);
        if (entry.raw) {
            bytes += u32(entry.valueField);
        } else if (entry.values.size() <= 4) {
            bytes += entry.values + QByteArray(4 - entry.values.size(), '\0');
        } else {
            bytes += u32(dataOffset + quint32(data.size()));
            data += entry.values;
        }
        return bytes;
    }

    bool m_intel;
    std::vector<Entry> m_entries[3];
};

QByteArray app1(const QByteArray &payload, int lengthField = -1) {
    const int length = lengthField >= 0 ? lengthField : int(payload.size()) + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + payload;
}

// A JPEG file around the given APP1 payloads: start marker, a JFIF APP0, the segments and the
// end marker.
QByteArray jpeg(const QByteArray &segments) {
    static const QByteArray jfif("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00",
                                 18);
    return QByteArray("\xFF\xD8", 2) + jfif + segments + QByteArray("\xFF\xD9", 2);
}

QByteArray patched(QByteArray bytes, int position, const QByteArray &replacement) {
    return bytes.replace(position, replacement.size(), replacement);
}

ExifBuilder orientationSix(bool intel) {
    ExifBuilder builder(intel);
    builder.shortValue(Directory::Ifd0, 0x0112, 6);
    return builder;
}

// What a record holds before a read: values no read would produce, so that a field left alone
// stands out from one that was reset.
ExifRecord leftoverRecord() {
    ExifRecord record;
    record.intelByteOrder = true;
    record.make = "left over";
    record.orientation = 99;
    record.exposureTime = 9;
    record.gps.latitude = 9;
    record.gps.latitudeParts.direction = 'X';
    record.lens.lensModel = "left over";
    return record;
}

ExifRecord recordWith(const std::function<void(ExifRecord &)> &change,
                      ExifRecord record = ExifRecord()) {
    change(record);
    return record;
}

QString shown(const std::string &text) {
    const QByteArray escaped = QByteArray::fromStdString(text).toPercentEncoding(" ");
    return QLatin1Char('"') + QString::fromLatin1(escaped) + QLatin1Char('"');
}
QString shown(double value) {
    return QString::number(value, 'g', 17);
}
QString shown(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
QString shown(char value) {
    return QString::number(int(value));
}
QString shown(quint16 value) {
    return QString::number(value);
}
QString shown(quint32 value) {
    return QString::number(value);
}

bool same(double a, double b) {
    return std::abs(a - b) <= 1e-12 * std::max(1.0, std::abs(a));
}
template <typename T> bool same(const T &a, const T &b) {
    return a == b;
}

// Names every field that differs between the two records; empty when they agree.
QString differences(const ExifRecord &actual, const ExifRecord &expected) {
    QString report;
#define COMPARE_FIELD(field)                                                                       \
    if (!same(actual.field, expected.field))                                                       \
        report += QStringLiteral("\n  %1: got %2, expected %3")                                    \
                      .arg(#field, shown(actual.field), shown(expected.field));
    COMPARE_FIELD(intelByteOrder)
    COMPARE_FIELD(imageDescription)
    COMPARE_FIELD(make)
    COMPARE_FIELD(model)
    COMPARE_FIELD(orientation)
    COMPARE_FIELD(bitsPerSample)
    COMPARE_FIELD(software)
    COMPARE_FIELD(dateTime)
    COMPARE_FIELD(dateTimeOriginal)
    COMPARE_FIELD(dateTimeDigitized)
    COMPARE_FIELD(subSecTimeOriginal)
    COMPARE_FIELD(rightsNotice)
    COMPARE_FIELD(exposureTime)
    COMPARE_FIELD(fNumber)
    COMPARE_FIELD(exposureProgram)
    COMPARE_FIELD(isoSpeed)
    COMPARE_FIELD(shutterSpeedValue)
    COMPARE_FIELD(exposureBiasValue)
    COMPARE_FIELD(subjectDistance)
    COMPARE_FIELD(focalLength)
    COMPARE_FIELD(focalLengthIn35mm)
    COMPARE_FIELD(flashFired)
    COMPARE_FIELD(flashReturnedLight)
    COMPARE_FIELD(flashMode)
    COMPARE_FIELD(meteringMode)
    COMPARE_FIELD(imageWidth)
    COMPARE_FIELD(imageHeight)
    COMPARE_FIELD(gps.latitude)
    COMPARE_FIELD(gps.longitude)
    COMPARE_FIELD(gps.altitude)
    COMPARE_FIELD(gps.altitudeRef)
    COMPARE_FIELD(gps.dop)
    COMPARE_FIELD(gps.latitudeParts.degrees)
    COMPARE_FIELD(gps.latitudeParts.minutes)
    COMPARE_FIELD(gps.latitudeParts.seconds)
    COMPARE_FIELD(gps.latitudeParts.direction)
    COMPARE_FIELD(gps.longitudeParts.degrees)
    COMPARE_FIELD(gps.longitudeParts.minutes)
    COMPARE_FIELD(gps.longitudeParts.seconds)
    COMPARE_FIELD(gps.longitudeParts.direction)
    COMPARE_FIELD(lens.minFStop)
    COMPARE_FIELD(lens.maxFStop)
    COMPARE_FIELD(lens.minFocalLength)
    COMPARE_FIELD(lens.maxFocalLength)
    COMPARE_FIELD(lens.focalPlaneXResolution)
    COMPARE_FIELD(lens.focalPlaneYResolution)
    COMPARE_FIELD(lens.focalPlaneResolutionUnit)
    COMPARE_FIELD(lens.lensMake)
    COMPARE_FIELD(lens.lensModel)
#undef COMPARE_FIELD
    return report;
}

int readJpeg(ExifRecord &record, const QByteArray &bytes) {
    return record.readJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                           quint32(bytes.size()));
}

bool isResultCode(int result) {
    return result == ExifRecord::ExifOk || result == ExifRecord::ExifNoJpeg ||
           result == ExifRecord::ExifNoExifHeader || result == ExifRecord::ExifUnknownByteOrder ||
           result == ExifRecord::ExifCorrupt;
}

} // namespace

class TestExifRecord : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void seedCorpusIsReadSafely();
    void testPhotos_data();
    void testPhotos();
};

void TestExifRecord::read_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("wholeFile"); // readJpeg, else readExifSegment
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<ExifRecord>("expected");
    const auto addJpeg = [](const char *name, const QByteArray &file, int result,
                            const ExifRecord &expected) {
        QTest::newRow(name) << file << true << result << expected;
    };
    const auto addSegment = [](const char *name, const QByteArray &segment, int result,
                               const ExifRecord &expected) {
        QTest::newRow(name) << segment << false << result << expected;
    };
    const ExifRecord untouched = leftoverRecord();
    const ExifRecord reset;
    const ExifRecord intelReset = recordWith([](ExifRecord &r) { r.intelByteOrder = true; });
    const auto orientedSix = [](bool intel) {
        return recordWith([intel](ExifRecord &r) {
            r.intelByteOrder = intel;
            r.orientation = 6;
        });
    };
    const QByteArray sixSegment = orientationSix(true).segment();
    const QByteArray sixFile = jpeg(app1(sixSegment));

    // The two JPEG checks, which leave the record alone.
    addJpeg("no start marker", patched(sixFile, 1, "\xD7"), ExifRecord::ExifNoJpeg, untouched);
    addJpeg("three bytes", QByteArray("\xFF\xD8\xFF\xD9", 3), ExifRecord::ExifNoJpeg, untouched);
    addJpeg("no end marker", sixFile.chopped(2), ExifRecord::ExifNoJpeg, untouched);

    // Finding the APP1 segment.
    static const char xmpPayload[] = "http://ns.adobe.com/xap/1.0/\0<x/>";
    addJpeg("start and end marker only", QByteArray("\xFF\xD8\xFF\xD9", 4),
            ExifRecord::ExifNoExifHeader, reset);
    addJpeg("XMP APP1 ahead of the EXIF APP1",
            jpeg(app1(QByteArray(xmpPayload, sizeof xmpPayload - 1)) + app1(sixSegment)),
            ExifRecord::ExifNoExifHeader, reset);
    addJpeg("APP1 length 15", jpeg(app1(sixSegment, 15)), ExifRecord::ExifCorrupt, reset);
    addJpeg("APP1 length past the end marker", jpeg(app1(sixSegment, 0xFFFF)),
            ExifRecord::ExifCorrupt, reset);
    addJpeg("APP1 length 16 but data up to the end marker is read", jpeg(app1(sixSegment, 16)),
            ExifRecord::ExifOk, orientedSix(true));
    {
        // The FF E1 pair is found inside a comment segment, ahead of the real APP1.
        const QByteArray hidden =
            app1(ExifBuilder(false).shortValue(Directory::Ifd0, 0x0112, 3).segment());
        const QByteArray comment =
            QByteArray("\xFF\xFE", 2) + char(0) + char(hidden.size() + 2) + hidden;
        addJpeg("first FF E1 pair wins, even inside other data", jpeg(comment + app1(sixSegment)),
                ExifRecord::ExifOk, recordWith([](ExifRecord &r) { r.orientation = 3; }));
    }
    {
        // The make string starts 4 bytes before the end of the segment and needs 8 bytes: 2 of
        // them are the end marker, the rest would come from the bytes after it.
        ExifBuilder builder = orientationSix(true);
        const int segmentSize = int(builder.segment().size()) + 12; // one more entry to come
        builder.addRaw(Directory::Ifd0, 0x010F, 2, 8, quint32(segmentSize - 6 - 4));
        addJpeg("bytes after the last end marker are ignored",
                jpeg(app1(builder.segment())) + "ABCDEFGH", ExifRecord::ExifOk, orientedSix(true));
    }

    // The TIFF header and IFD0.
    addJpeg("byte order IM", jpeg(app1(patched(sixSegment, 6, "IM"))),
            ExifRecord::ExifUnknownByteOrder, reset);
    addJpeg("TIFF magic 43", jpeg(app1(patched(sixSegment, 8, QByteArray("\x2B\x00", 2)))),
            ExifRecord::ExifCorrupt, intelReset);
    addSegment("segment of 13 bytes", sixSegment.left(13), ExifRecord::ExifCorrupt, untouched);
    addJpeg("IFD0 offset past the end",
            jpeg(app1(patched(sixSegment, 10, ExifBuilder(true).u32(0x7FFFFFF0)))),
            ExifRecord::ExifCorrupt, intelReset);
    addJpeg("IFD0 entries past the end", jpeg(app1(patched(sixSegment, 14, "\x09"))),
            ExifRecord::ExifCorrupt, intelReset);
    {
        // Exif IFD: 3 entries of 12 bytes and a link, of which the last 10 bytes are missing
        // (the end marker stands in for 2 of them).
        ExifBuilder builder = orientationSix(false);
        builder.shortValue(Directory::Exif, 0x8827, 100)
            .shortValue(Directory::Exif, 0x9207, 5)
            .shortValue(Directory::Exif, 0xA405, 28);
        addJpeg("truncated EXIF directory keeps IFD0 fields",
                jpeg(app1(builder.segment().chopped(10))), ExifRecord::ExifCorrupt,
                orientedSix(false));
    }

    // Orientation.
    addJpeg("orientation 6, little-endian", sixFile, ExifRecord::ExifOk, orientedSix(true));
    addJpeg("orientation 6, big-endian", jpeg(app1(orientationSix(false).segment())),
            ExifRecord::ExifOk, orientedSix(false));
    {
        ExifBuilder builder(false);
        builder.add(Directory::Ifd0, 0x0112, 4, 1, builder.u32(6))
            .add(Directory::Ifd0, 0x0112, 3, 0, {})
            .add(Directory::Ifd0, 0x0112, 6, 1, QByteArray("\x06", 1));
        addJpeg("orientation as LONG, without values or of format 6 is ignored",
                jpeg(app1(builder.segment())), ExifRecord::ExifOk, reset);
    }
    {
        ExifBuilder builder(true);
        builder.shortValue(Directory::Ifd0, 0x0112, 3).shortValue(Directory::Ifd0, 0x0112, 8);
        addJpeg("a later entry overwrites an earlier one", jpeg(app1(builder.segment())),
                ExifRecord::ExifOk, recordWith([](ExifRecord &r) {
                    r.intelByteOrder = true;
                    r.orientation = 8;
                }));
    }

    // Strings and values.
    {
        ExifBuilder builder(true);
        builder.ascii(Directory::Ifd0, 0x010F, QByteArray("Canon\0", 6))
            .addRaw(Directory::Ifd0, 0x010F, 2, 16, 0xFFFFFFFA) // wraps to 0 in 32 bits
            .ascii(Directory::Ifd0, 0x0110, "Replaced")
            .ascii(Directory::Ifd0, 0x0110, QByteArray("AB\0\0", 4))
            .ascii(Directory::Ifd0, 0x0131, "X")
            .ascii(Directory::Ifd0, 0x0132, "2000:01:01 00:00:00")
            .add(Directory::Ifd0, 0x0132, 2, 0, {})
            .add(Directory::Ifd0, 0x010E, 1, 4, "Desc"); // BYTE, not ASCII
        addJpeg("ASCII: one terminating zero dropped, last valid entry wins",
                jpeg(app1(builder.segment())), ExifRecord::ExifOk, recordWith([](ExifRecord &r) {
                    r.intelByteOrder = true;
                    r.make = "Canon";
                    r.model = std::string("AB\0", 3);
                    r.software = "X";
                }));
    }
    {
        ExifBuilder builder(true);
        builder.rationalValue(Directory::Exif, 0x829A, 1, 0)
            .rationalValue(Directory::Exif, 0x829D, 28, 10)
            .add(Directory::Exif, 0x9204, 10, 1, builder.rational(1, 3))
            .add(Directory::Exif, 0xA432, 5, 2, builder.rational(24, 1) + builder.rational(70, 1));
        addJpeg("exposure 1/0, signed bias ignored, lens with two values",
                jpeg(app1(builder.segment())), ExifRecord::ExifOk, recordWith([](ExifRecord &r) {
                    r.intelByteOrder = true;
                    r.fNumber = 2.8;
                    r.lens.minFocalLength = 24;
                    r.lens.maxFocalLength = 70;
                }));
    }
    {
        ExifBuilder b(false);
        b.shortValue(Directory::Ifd0, 0x0102, 8)
            .ascii(Directory::Ifd0, 0x010E, QByteArray("Harbour\0", 8))
            .ascii(Directory::Ifd0, 0x010F, "Nikon")
            .ascii(Directory::Ifd0, 0x0110, "Z 6")
            .ascii(Directory::Ifd0, 0x0131, "Editor 2")
            .ascii(Directory::Ifd0, 0x0132, "2021:06:01 10:00:00")
            .ascii(Directory::Ifd0, 0x8298, "(c) Someone")
            .rationalValue(Directory::Exif, 0x829A, 1, 250)
            .rationalValue(Directory::Exif, 0x829D, 56, 10)
            .shortValue(Directory::Exif, 0x8822, 3)
            .shortValue(Directory::Exif, 0x8827, 400)
            .ascii(Directory::Exif, 0x9003, "2021:05:31 09:00:00")
            .ascii(Directory::Exif, 0x9004, "2021:05:31 09:00:01")
            .rationalValue(Directory::Exif, 0x9201, 8, 1)
            .rationalValue(Directory::Exif, 0x9204, 2, 3)
            .rationalValue(Directory::Exif, 0x9206, 35, 10)
            .shortValue(Directory::Exif, 0x9207, 5)
            .shortValue(Directory::Exif, 0x9209, 0x0D) // fired, returned light 2, mode 1
            .rationalValue(Directory::Exif, 0x920A, 50, 1)
            .ascii(Directory::Exif, 0x9291, "42")
            .add(Directory::Exif, 0xA002, 4, 1, b.u32(70000))
            .shortValue(Directory::Exif, 0xA003, 4000)
            .rationalValue(Directory::Exif, 0xA20E, 3000, 1)
            .rationalValue(Directory::Exif, 0xA20F, 3001, 1)
            .shortValue(Directory::Exif, 0xA210, 3)
            .shortValue(Directory::Exif, 0xA405, 75)
            .add(Directory::Exif, 0xA432, 5, 5,
                 b.rational(24, 1) + b.rational(70, 1) + b.rational(28, 10) + b.rational(4, 1) +
                     b.rational(9, 1))
            .ascii(Directory::Exif, 0xA433, "Lensmaker")
            .ascii(Directory::Exif, 0xA434, "24-70");
        addJpeg("every IFD0 and EXIF field, big-endian", jpeg(app1(b.segment())),
                ExifRecord::ExifOk, recordWith([](ExifRecord &r) {
                    r.bitsPerSample = 8;
                    r.imageDescription = "Harbour";
                    r.make = "Nikon";
                    r.model = "Z 6";
                    r.software = "Editor 2";
                    r.dateTime = "2021:06:01 10:00:00";
                    r.rightsNotice = "(c) Someone";
                    r.exposureTime = 0.004;
                    r.fNumber = 5.6;
                    r.exposureProgram = 3;
                    r.isoSpeed = 400;
                    r.dateTimeOriginal = "2021:05:31 09:00:00";
                    r.dateTimeDigitized = "2021:05:31 09:00:01";
                    r.shutterSpeedValue = 8;
                    r.exposureBiasValue = 2.0 / 3;
                    r.subjectDistance = 3.5;
                    r.meteringMode = 5;
                    r.flashFired = 1;
                    r.flashReturnedLight = 2;
                    r.flashMode = 1;
                    r.focalLength = 50;
                    r.subSecTimeOriginal = "42";
                    r.imageWidth = 70000;
                    r.imageHeight = 4000;
                    r.lens.focalPlaneXResolution = 3000;
                    r.lens.focalPlaneYResolution = 3001;
                    r.lens.focalPlaneResolutionUnit = 3;
                    r.focalLengthIn35mm = 75;
                    r.lens.minFocalLength = 24;
                    r.lens.maxFocalLength = 70;
                    r.lens.minFStop = 2.8;
                    r.lens.maxFStop = 4;
                    r.lens.lensMake = "Lensmaker";
                    r.lens.lensModel = "24-70";
                }));
    }

    // The GPS directory: a reference and its value combine in either order.
    const auto southWestBelowSeaLevel = [](bool intel) {
        return recordWith([intel](ExifRecord &r) {
            r.intelByteOrder = intel;
            r.gps.latitudeParts = {10, 30, 36, 'S'};
            r.gps.latitude = -(10 + 30.0 / 60 + 36.0 / 3600);
            r.gps.longitudeParts = {120, 15, 0, 'W'};
            r.gps.longitude = -120.25;
            r.gps.altitudeRef = 1;
            r.gps.altitude = -12.5;
            r.gps.dop = 2.5;
        });
    };
    {
        ExifBuilder b(true);
        b.gpsReference(1, 'S').gpsReference(3, 'W');
        b.add(Directory::Gps, 5, 1, 1, QByteArray("\x01", 1));
        b.gpsDegrees(2, 10, 30, 36).gpsDegrees(4, 120, 15, 0);
        b.rationalValue(Directory::Gps, 6, 125, 10).rationalValue(Directory::Gps, 11, 5, 2);
        addJpeg("GPS references before values", jpeg(app1(b.segment())), ExifRecord::ExifOk,
                southWestBelowSeaLevel(true));
    }
    {
        ExifBuilder b(false);
        b.gpsDegrees(2, 10, 30, 36).gpsDegrees(4, 120, 15, 0);
        b.add(Directory::Gps, 6, 10, 1, b.rational(125, 10));
        b.add(Directory::Gps, 11, 10, 1, b.rational(5, 2));
        b.gpsReference(1, 'S').gpsReference(3, 'W');
        b.add(Directory::Gps, 5, 1, 1, QByteArray("\x01", 1));
        addJpeg("GPS references after values, signed rationals", jpeg(app1(b.segment())),
                ExifRecord::ExifOk, southWestBelowSeaLevel(false));
    }
    {
        ExifBuilder b(true);
        b.gpsReference(1, 'N').gpsReference(3, '\0');
        b.add(Directory::Gps, 5, 1, 1, QByteArray(1, '\0'));
        b.gpsDegrees(2, 1, 2, 0).gpsDegrees(4, 3, 0, 0);
        b.add(Directory::Gps, 2, 5, 2, b.rational(7, 1) + b.rational(8, 1)); // count not 3
        b.rationalValue(Directory::Gps, 6, 100, 1);
        addJpeg("GPS north, zero reference, above sea level", jpeg(app1(b.segment())),
                ExifRecord::ExifOk, recordWith([](ExifRecord &r) {
                    r.intelByteOrder = true;
                    r.gps.latitudeParts = {1, 2, 0, 'N'};
                    r.gps.latitude = 1 + 2.0 / 60;
                    r.gps.longitudeParts = {3, 0, 0, '?'};
                    r.gps.longitude = 3;
                    r.gps.altitude = 100;
                }));
    }
    {
        // In 32 bits the latitude would start at the segment start and the longitude would end
        // inside the TIFF header. The altitude ends one byte past the segment end, the DOP at it.
        const auto gpsSegment = [](quint32 altitudeOffset) {
            ExifBuilder b(true);
            b.gpsReference(1, 'S').addRaw(Directory::Gps, 2, 5, 3, 0xFFFFFFFA);
            b.addRaw(Directory::Gps, 4, 5, 3, 0xFFFFFFF0);
            b.addRaw(Directory::Gps, 6, 5, 1, altitudeOffset);
            return b.rationalValue(Directory::Gps, 11, 3, 1).segment();
        };
        const quint32 tiffSize = quint32(gpsSegment(0).size()) - 6;
        addSegment("GPS rationals outside the segment are left alone", gpsSegment(tiffSize - 7),
                   ExifRecord::ExifOk,
                   recordWith(
                       [](ExifRecord &r) {
                           r.gps.latitudeParts.direction = 'S';
                           r.gps.latitude = -9;
                           r.gps.dop = 3;
                       },
                       untouched));
    }

    // Out-of-line values at the very end of the segment.
    {
        ExifBuilder builder(false);
        builder.ascii(Directory::Ifd0, 0x0110, QByteArray("EOS R5\0", 7));
        const QByteArray segment = builder.segment();
        addSegment("values ending at the last byte are read", segment, ExifRecord::ExifOk,
                   recordWith(
                       [](ExifRecord &r) {
                           r.intelByteOrder = false;
                           r.model = "EOS R5";
                       },
                       untouched));
        addSegment("values ending one byte further are skipped", segment.chopped(1),
                   ExifRecord::ExifOk,
                   recordWith([](ExifRecord &r) { r.intelByteOrder = false; }, untouched));
    }
}

void TestExifRecord::read() {
    QFETCH(QByteArray, input);
    QFETCH(bool, wholeFile);
    QFETCH(int, expectedResult);
    QFETCH(ExifRecord, expected);

    ExifRecord record = leftoverRecord();
    const auto *bytes = reinterpret_cast<const unsigned char *>(input.constData());
    const int result = wholeFile ? record.readJpeg(bytes, quint32(input.size()))
                                 : record.readExifSegment(bytes, quint32(input.size()));
    QCOMPARE(result, expectedResult);
    const QString mismatches = differences(record, expected);
    QVERIFY2(mismatches.isEmpty(), qPrintable(QStringLiteral("fields differ:") + mismatches));
}

void TestExifRecord::seedCorpusIsReadSafely() {
    const QFileInfoList seeds = QDir(PIVOTTA_FUZZ_CORPUS_DIR).entryInfoList(QDir::Files);
    QVERIFY2(!seeds.isEmpty(), PIVOTTA_FUZZ_CORPUS_DIR);
    int readWithoutError = 0;
    for (const QFileInfo &seed : seeds) {
        QFile file(seed.filePath());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(seed.filePath()));
        ExifRecord record;
        const int result = readJpeg(record, file.readAll());
        QVERIFY2(isResultCode(result), qPrintable(seed.fileName()));
        readWithoutError += result == ExifRecord::ExifOk;
    }
    QVERIFY2(readWithoutError > 0, "no seed holds readable EXIF data");
}

void TestExifRecord::testPhotos_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("orientation");
    const QDir folder(QStringLiteral(PIVOTTA_TESTDATA_DIR "/orientation"));
    for (const char *shape : {"Landscape", "Portrait"}) {
        for (int orientation = 0; orientation <= 8; ++orientation) {
            const QString name = QStringLiteral("%1_%2.jpg").arg(shape).arg(orientation);
            QTest::newRow(qPrintable(name)) << folder.filePath(name) << orientation;
        }
    }
}

void TestExifRecord::testPhotos() {
    QFETCH(QString, path);
    QFETCH(int, orientation);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    ExifRecord record = leftoverRecord();
    QCOMPARE(readJpeg(record, file.readAll()), int(ExifRecord::ExifOk));
    QCOMPARE(int(record.orientation), orientation);
}

QTEST_APPLESS_MAIN(TestExifRecord)
#include "tst_exifrecord.moc"

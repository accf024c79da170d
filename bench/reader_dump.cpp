// Prints, file by file, everything the readers of photo metadata return: the EXIF parser (every
// field of ExifRecord and its result code, for the whole file and for the bytes read as a bare
// EXIF segment), the careful walk to the orientation (the segment search on the whole file and on
// its first half, the first orientation entry of the segment found and of the bare bytes), and
// the JPEG structure walk (every field). It uses only the readers' interfaces that stayed the
// same, so bench/compare-orientation.sh builds it once against this tree and once against an
// older one and compares the two outputs line by line.
// Usage: reader_dump FILE...   (or the file names one per line on standard input)
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <string>

#include "exif/exifrecord.h"
#include "exif/exifwalk.h"
#include "jpeg/jpegstructure.h"

namespace {

// Files larger than this (the sparse 3 GB ones) are named but not read.
constexpr qint64 LargestRead = qint64(256) << 20;

QString text(const std::string &value) {
    return QString::fromLatin1(QByteArray::fromStdString(value).toPercentEncoding(" :/.,-_()"));
}

QString number(double value) {
    return QString::number(value, 'g', 17);
}

QString record(const ExifRecord &r) {
    const ExifRecord::ExifGpsInfo &g = r.gps;
    const ExifRecord::ExifLensInfo &l = r.lens;
    auto degrees = [](const ExifRecord::ExifDegrees &d) {
        return QString("%1/%2/%3/%4")
            .arg(number(d.degrees), number(d.minutes), number(d.seconds))
            .arg(int(d.direction));
    };
    QStringList fields;
    fields << QString::number(r.intelByteOrder) << text(r.imageDescription) << text(r.make)
           << text(r.model) << QString::number(r.orientation) << QString::number(r.bitsPerSample)
           << text(r.software) << text(r.dateTime) << text(r.dateTimeOriginal)
           << text(r.dateTimeDigitized) << text(r.subSecTimeOriginal) << text(r.rightsNotice)
           << number(r.exposureTime) << number(r.fNumber) << QString::number(r.exposureProgram)
           << QString::number(r.isoSpeed) << number(r.shutterSpeedValue)
           << number(r.exposureBiasValue) << number(r.subjectDistance) << number(r.focalLength)
           << QString::number(r.focalLengthIn35mm) << QString::number(int(r.flashFired))
           << QString::number(r.flashReturnedLight) << QString::number(r.flashMode)
           << QString::number(r.meteringMode) << QString::number(r.imageWidth)
           << QString::number(r.imageHeight) << number(g.latitude) << number(g.longitude)
           << number(g.altitude) << QString::number(int(g.altitudeRef)) << number(g.dop)
           << degrees(g.latitudeParts) << degrees(g.longitudeParts) << number(l.minFStop)
           << number(l.maxFStop) << number(l.minFocalLength) << number(l.maxFocalLength)
           << number(l.focalPlaneXResolution) << number(l.focalPlaneYResolution)
           << QString::number(l.focalPlaneResolutionUnit) << text(l.lensMake) << text(l.lensModel);
    return fields.join(' ');
}

QString parsed(const uchar *data, qint64 size, bool wholeFile) {
    if (size > qint64(UINT32_MAX))
        return "too large";
    ExifRecord exif;
    int code = 0;
    try {
        code = wholeFile ? exif.readJpeg(data, uint32_t(size))
                         : exif.readExifSegment(data, uint32_t(size));
    } catch (...) {
        return "threw";
    }
    return QString::number(code) + " " + record(exif);
}

QString search(const ExifWalk::SegmentSearch &s) {
    return QString("%1 %2 %3 %4")
        .arg(int(s.status))
        .arg(s.neededBytes)
        .arg(s.payloadStart)
        .arg(s.declaredLength);
}

QString orientationEntry(const ExifWalk::Ifd0Orientation &o) {
    return QString("%1 %2 %3").arg(o.ifd0Sound).arg(o.tagFound).arg(o.orientation);
}

QString walks(const uchar *data, quint64 size) {
    const ExifWalk::SegmentSearch whole = ExifWalk::findExifSegment(data, size, size);
    QString found = "-";
    if (whole.status == ExifWalk::SegmentSearch::Found) {
        // The segment as the orientation reading hands it on: at most what is there.
        quint64 length = whole.declaredLength - 2;
        if (whole.payloadStart + length > size)
            length = size - whole.payloadStart;
        found =
            orientationEntry(ExifWalk::firstOrientationEntry(data + whole.payloadStart, length));
    }
    return QString("search %1 | half %2 | entry %3 | bare entry %4")
        .arg(search(whole), search(ExifWalk::findExifSegment(data, size / 2, size)), found,
             orientationEntry(ExifWalk::firstOrientationEntry(data, size)));
}

QString range(const FileRange &r) {
    return QString("%1+%2").arg(r.offset).arg(r.length);
}

QString structure(const QByteArray &bytes) {
    const JpegStructure s = parseJpegStructure(bytes);
    QStringList components;
    for (const JpegComponent &c : s.frame.components)
        components
            << QString("%1:%2x%3").arg(c.id).arg(c.horizontalSampling).arg(c.verticalSampling);
    return QStringList{
        s.problem,
        QString("frame %1 %2 %3x%4 %5")
            .arg(s.frame.marker)
            .arg(s.frame.precision)
            .arg(s.frame.width)
            .arg(s.frame.height)
            .arg(components.join(',')),
        QString("hierarchical %1").arg(s.hierarchical),
        QString("coding %1 %2 %3 %4 %5")
            .arg(s.restartInterval)
            .arg(s.huffmanTableCount)
            .arg(s.standardHuffmanTables)
            .arg(s.scanCount)
            .arg(s.entropyCodedBytes),
        QString("end %1").arg(s.imageEnd),
        QString("exif %1 thumbnail %2 field %3/%4 %5")
            .arg(range(s.exifSegment), range(s.thumbnail))
            .arg(s.thumbnailLengthField)
            .arg(s.thumbnailLengthFieldSize)
            .arg(s.exifBigEndian),
        QString("xmp %1 orientation %2").arg(range(s.xmpSegment)).arg(s.xmpOrientation),
        QString("mpf %1").arg(range(s.mpfSegment))}
        .join(" | ");
}

void dump(const QString &path) {
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > LargestRead || !file.open(QIODevice::ReadOnly)) {
        std::printf("%s\tnot read\n", qPrintable(path));
        return;
    }
    const QByteArray bytes = file.readAll();
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    std::printf("%s\treadJpeg\t%s\n", qPrintable(path), qPrintable(parsed(data, size, true)));
    std::printf("%s\treadExifSegment\t%s\n", qPrintable(path),
                qPrintable(parsed(data, size, false)));
    std::printf("%s\twalks\t%s\n", qPrintable(path), qPrintable(walks(data, quint64(size))));
    std::printf("%s\tstructure\t%s\n", qPrintable(path), qPrintable(structure(bytes)));
}

} // namespace

int main(int argc, char **argv) {
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths << QString::fromLocal8Bit(argv[i]);
    if (paths.isEmpty()) {
        QTextStream input(stdin);
        for (QString line = input.readLine(); !line.isNull(); line = input.readLine())
            paths << line;
    }
    for (const QString &path : paths)
        dump(path);
    return 0;
}

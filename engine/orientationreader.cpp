// Reading one photo's orientation: EXIF first, the image reader's transformation second.
#include "engine/orientationreader.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QSize>

#include <memory>

#include "common/debuglog.h"
#include "engine/photofile.h"
#include "exif/exifwalk.h"
#include "exif/orientation.h"
#include "files/heldphoto.h"

namespace {

// The first read: enough for the markers before the EXIF segment and for IFD0 of nearly every
// photo; a longer segment is read on once the walk has found it. A small first read keeps the
// kernel's first read-ahead small too: over upright photos, 4 KB scanned about a tenth faster
// than 16 KB (page cache warm or cold), and 16 KB an eighth faster than 64 KB (warm).
constexpr qint64 HeadBytes = 4 * 1024;
// The APP1 length field, "Exif\0\0" and an 8-byte TIFF header.
constexpr uint64_t MinimumApp1Length = 16;

// Fills the EXIF route's fields. False when the file gave fewer bytes than its size promised.
bool readExifRoute(PhotoFile &photo, OrientationReading &reading) {
    if (!photo.load(HeadBytes))
        return false;
    ExifWalk::SegmentSearch search;
    for (;;) {
        search = ExifWalk::findExifSegment(photo.bytes(), uint64_t(photo.loaded()),
                                           uint64_t(photo.size()));
        if (search.status != ExifWalk::SegmentSearch::NeedBytes)
            break;
        if (!photo.load(qMax(qint64(search.neededBytes), photo.loaded() + HeadBytes)))
            return false;
    }
    if (search.status == ExifWalk::SegmentSearch::NotJpeg) {
        reading.exifCode = ExifRecord::ExifNoJpeg;
        return true;
    }
    if (search.status == ExifWalk::SegmentSearch::NoExifSegment) {
        reading.exifCode = ExifRecord::ExifNoExifHeader;
        return true;
    }

    // A segment too short for a TIFF header, or one that the end of the file cuts off.
    const uint64_t payloadLength = search.declaredLength - 2;
    const uint64_t payloadEnd = search.payloadStart + payloadLength;
    if (search.declaredLength < MinimumApp1Length || payloadEnd > uint64_t(photo.size())) {
        reading.exifCode = ExifRecord::ExifCorrupt;
        return true;
    }
    if (!photo.load(qint64(payloadEnd)))
        return false;

    const unsigned char *segment = photo.bytes() + search.payloadStart;
    int parserCode = ExifRecord::ExifOk;
    try {
        ExifRecord exif;
        parserCode = exif.readExifSegment(segment, uint32_t(payloadLength));
    } catch (...) {
        reading.parserThrew = true;
        return true;
    }
    const ExifWalk::Ifd0Orientation ifd0 = ExifWalk::firstOrientationEntry(segment, payloadLength);
    // The parser also fails for a damaged EXIF or GPS sub-directory; IFD0's orientation stands
    // on its own, so only a failure in the TIFF header or IFD0 counts.
    reading.exifCode = ifd0.ifd0Sound ? int(ExifRecord::ExifOk) : parserCode;
    reading.orientation = ifd0.ifd0Sound ? ifd0.orientation : 0;
    reading.ifd0WithoutOrientation = ifd0.ifd0Sound && !ifd0.tagFound;
    return true;
}

// The image reader's answer from the header alone: no pixels are decoded.
void askImageReader(PhotoFile &photo, OrientationReading &reading) {
    reading.askedImageReader = true;
    // Without a format, the reader chooses its handler by the content, as it does for a file
    // named like a JPEG, so its choice and its error strings are the same.
    QImageReader reader(photo.rewoundDevice());
    // The header gives the size; asked first, canRead() then also says no for a file whose
    // header is broken, as it did after a failed decode.
    const bool headerRead = reader.size().isValid();
    reading.imageReaderCannotRead = !reader.canRead();
    if (!headerRead || reading.imageReaderCannotRead) {
        reading.imageReaderFailed = true;
        // Without a format the reader says so itself; with one, decoding would fail with this.
        reading.imageReaderError = reader.error() == QImageReader::UnknownError
                                       ? QImageReader::tr("Unable to read image data")
                                       : reader.errorString();
        if (reading.imageReaderCannotRead)
            qCDebug(lcPivotta) << "cant read";
        qCDebug(lcPivotta) << "fail orientation file read 2" << photo.path();
        return;
    }
    // Qt's JPEG reader looks for an orientation in every directory of the EXIF block in turn.
    if (!reading.ifd0WithoutOrientation)
        reading.transformation = reader.transformation();
}

} // namespace

bool OrientationReading::exifDecides() const {
    return !parserThrew && exifCode == ExifRecord::ExifOk &&
           orientationChoice(orientation).kind != OrientationChoice::AskImageReader;
}

int OrientationReading::angle() const {
    if (status != Read)
        return 0;
    if (exifDecides()) {
        const OrientationChoice choice = orientationChoice(orientation);
        return choice.kind == OrientationChoice::Rotate ? choice.angle : 0;
    }
    if (!askedImageReader || imageReaderFailed)
        return 0;
    QString mirrorWords;
    return transformationAngle(transformation, &mirrorWords);
}

OrientationReading readOrientation(const QString &filePath) {
    const std::unique_ptr<HeldPhoto> held = HeldPhoto::openChosen(filePath, nullptr);
    if (!held) {
        qCDebug(lcPivotta) << "fail orientation" << filePath;
        return {};
    }
    return readOrientation(*held);
}

OrientationReading readOrientation(const HeldPhoto &photo) {
    PhotoFile file(photo);
    return readOrientation(file);
}

OrientationReading readOrientation(const QByteArray &bytes, const QString &name) {
    PhotoFile file(bytes, name);
    return readOrientation(file);
}

OrientationReading readOrientation(PhotoFile &photo) {
    OrientationReading reading;
    reading.status = OrientationReading::Read;
    if (!readExifRoute(photo, reading)) {
        reading.status = OrientationReading::FileChanged;
        return reading;
    }
    if (!reading.exifDecides())
        askImageReader(photo, reading);
    if (!photo.unchangedSinceOpened())
        reading.status = OrientationReading::FileChanged;
    return reading;
}

namespace {
uint32_t storedOrientation(PhotoFile &photo) {
    OrientationReading reading;
    if (!readExifRoute(photo, reading) || reading.parserThrew ||
        reading.exifCode != ExifRecord::ExifOk)
        return 0;
    return reading.orientation;
}
} // namespace

uint32_t storedOrientation(const QString &filePath) {
    const std::unique_ptr<HeldPhoto> held = HeldPhoto::openChosen(filePath, nullptr);
    if (!held)
        return 0;
    PhotoFile photo(*held);
    return storedOrientation(photo);
}

uint32_t storedOrientation(const QByteArray &bytes) {
    PhotoFile photo(bytes, QString());
    return storedOrientation(photo);
}

QString fileChangedMessage(const QString &fileLink) {
    return QCoreApplication::translate(
               "Pivotta", "File %1 changed or shrank while its orientation was being read, so "
                          "it was left as it is. Please try again once the file is complete.")
        .arg(fileLink);
}

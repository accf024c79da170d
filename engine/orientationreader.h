// Reading one photo's orientation without any window: the EXIF route finds the first EXIF
// segment along the JPEG markers and the first orientation entry of its IFD0; when that gives no
// usable value, the image reader is asked for the transformation alone, decoding no pixels.
// The result holds what a caller needs to choose the angle and word its messages.
#pragma once

#include <QImageIOHandler>
#include <QString>

#include <cstdint>

#include "exif/exifrecord.h"

class HeldPhoto;
class PhotoFile;

struct OrientationReading {
    enum Status {
        NotOpened,   // the path names no regular file that can be opened: angle 0
        Read,        // the fields below say what the two routes found
        FileChanged, // the file shrank or changed while it was read: fileChangedMessage()
    };
    Status status = NotOpened;

    // The EXIF route: the parser's result code for the segment found (0, or ExifRecord's
    // ExifNoJpeg to ExifCorrupt) and, with code 0, IFD0's first orientation value (0: none).
    int exifCode = ExifRecord::ExifNoJpeg;
    uint32_t orientation = 0;
    bool parserThrew = false;
    // IFD0 is sound and has no orientation entry: the photo is upright, whatever the thumbnail's
    // directory (IFD1) says. The image reader is still asked, as for any photo without a value,
    // but its transformation does not count: it would take IFD1's orientation for the photo's.
    bool ifd0WithoutOrientation = false;

    // The image reader route, asked only when the EXIF route has no usable value.
    bool askedImageReader = false;
    bool imageReaderFailed = false;
    bool imageReaderCannotRead = false; // the reader's canRead() said no ("cant read")
    QString imageReaderError;           // the reader's error string, when it failed
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;

    // True when the EXIF route decides: no exception, code 0 and a value other than 0 and 9.
    bool exifDecides() const;
    // The clockwise angle to turn by: 0, 90, 180 or 270; 0 for everything that is not a rotation.
    int angle() const;
};

// Reads a held photo through its descriptor. Writes the debug lines "cant read" and "fail
// orientation file read 2" (the image reader failed); nothing for the user.
OrientationReading readOrientation(const HeldPhoto &photo);
// Reads a photo's bytes; `name` is shown in debug lines.
OrientationReading readOrientation(const QByteArray &bytes, const QString &name = QString());
// The same for a file whose reads a test can interrupt.
OrientationReading readOrientation(PhotoFile &photo);
// A photo the user named by its path, opened as HeldPhoto::openChosen opens it; the debug line
// "fail orientation" when it cannot be opened.
OrientationReading readOrientation(const QString &filePath);

// The orientation value that the EXIF route finds, without the image reader: 0 when there is
// none or the photo cannot be read.
uint32_t storedOrientation(const QString &filePath);
uint32_t storedOrientation(const QByteArray &bytes);

// The user's message for a file that changed while it was read; fileLink is the HTML link.
QString fileChangedMessage(const QString &fileLink);

// From an EXIF orientation value or an image reader's transformation to a clockwise angle,
// and the photo bytes the parser reads. No window involved, so tests call these directly.
#pragma once

#include <QByteArray>
#include <QImageIOHandler>
#include <QString>

#include <cstdint>

class QFile;

// What the EXIF orientation value asks for.
struct OrientationChoice {
    enum Kind {
        Rotate,         // a pure rotation (angle 0 for the upright value 1)
        Mirrored,       // a mirror image: reported, left alone
        AskImageReader, // no usable value (0 or 9): the image reader decides
        Unknown         // any other value: reported as possibly corrupt
    };
    Kind kind = Unknown;
    int angle = 0;
    QString mirrorWords; // ", Mirror horizontal" and so on, for Mirrored
};

OrientationChoice orientationChoice(uint16_t orientation);

// The angle for an image reader's transformation; mirrorWords is set for the mirrored ones.
int transformationAngle(QImageIOHandler::Transformations transformation, QString *mirrorWords);

// A photo file's bytes for the parser: mapped into memory so that only the pages the parser
// looks at are read, or read whole when mapping is not possible.
class PhotoBytes {
public:
    // False when the path names no readable regular file.
    bool open(const QString &filePath);
    ~PhotoBytes();

    const unsigned char *data() const { return bytes; }
    // True when the size fits the parser's 32-bit length.
    bool fitsParser() const;
    uint32_t size() const { return static_cast<uint32_t>(length); }

private:
    QFile *file = nullptr;
    QByteArray readCopy;
    const unsigned char *bytes = nullptr;
    qint64 length = 0;
};

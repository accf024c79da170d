// Turning a further picture exactly: decoded, turned in memory, encoded anew, its metadata kept.
#include "jpeg/exactturn.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QTransform>

#include <cstring>
#include <vector>

#include "exif/jpegmarkers.h"
#include "jpeg/jpegstructure.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ExactTurn", text);
}

const uint8_t *dataOf(const QByteArray &bytes) {
    return reinterpret_cast<const uint8_t *>(bytes.constData());
}

bool isAdobeSegment(const QByteArray &bytes, const JpegMarkers::Segment &segment) {
    return segment.marker == 0xEE &&
           JpegMarkers::payloadStartsWith(dataOf(bytes), segment, "Adobe", 5);
}

// The segments that say something about the picture rather than how it is coded.
bool isMetadata(const QByteArray &bytes, const JpegMarkers::Segment &segment) {
    constexpr uint8_t app15 = 0xEF;
    constexpr uint8_t comment = 0xFE;
    const bool application = segment.marker >= JpegMarkers::App0 && segment.marker <= app15;
    return (application && !isAdobeSegment(bytes, segment)) || segment.marker == comment;
}

// A segment's bytes from its marker's FF to its end.
QByteArray segmentBytes(const QByteArray &bytes, const JpegMarkers::Segment &segment) {
    const qint64 from = qint64(segment.codeAt) - 1;
    return bytes.mid(from, qint64(segment.end()) - from);
}

QImage decoded(const QByteArray &picture, QString *problem) {
    QBuffer buffer;
    buffer.setData(picture);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    if (image.isNull())
        *problem = tr("it could not be decoded (%1)").arg(reader.errorString());
    return image;
}

QByteArray encoded(const QImage &image, bool progressive, QString *problem) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(exactTurnQuality);
    writer.setOptimizedWrite(true);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) {
        *problem = tr("it could not be encoded (%1)").arg(writer.errorString());
        return {};
    }
    return buffer.data();
}

} // namespace

QImage turnedImage(const QImage &image, Turn turn) {
    switch (turn) {
    case Turn::Rotate90:
    case Turn::Rotate180:
    case Turn::Rotate270:
        return image.transformed(QTransform().rotate(clockwiseAngle(turn)));
    case Turn::FlipHorizontal:
        return image.mirrored(true, false);
    case Turn::FlipVertical:
        return image.mirrored(false, true);
    case Turn::Transpose: // across the main diagonal: a quarter turn, then left and right swapped
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case Turn::Transverse: // across the other diagonal
        return image.transformed(QTransform().rotate(270)).mirrored(true, false);
    case Turn::None:
        break;
    }
    return image;
}

ExactTurn turnExactly(const QByteArray &picture, const JpegStructure &structure, Turn turn) {
    ExactTurn result;
    const JpegFrame &frame = structure.frame;
    const size_t components = frame.components.size();
    // Qt's writer writes 8-bit grey or YCbCr pictures; anything else would come out another
    // kind of picture.
    if (frame.precision != 8 || (components != 1 && components != 3)) {
        result.problem = tr("it is no 8-bit grey or colour picture");
        return result;
    }
    QImage image = decoded(picture, &result.problem);
    if (image.isNull())
        return result;
    if (image.width() != frame.width || image.height() != frame.height) {
        result.problem = tr("it decodes to %1x%2 pixels instead of %3x%4")
                             .arg(image.width())
                             .arg(image.height())
                             .arg(frame.width)
                             .arg(frame.height);
        return result;
    }
    image =
        image.convertToFormat(components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    const QByteArray coded =
        encoded(turnedImage(image, turn), frame.progressive(), &result.problem);
    if (coded.isEmpty())
        return result;
    result.picture = withMetadataOf(picture, coded);
    if (result.picture.isEmpty())
        result.problem = tr("its metadata could not be carried over");
    return result;
}

QByteArray withMetadataOf(const QByteArray &original, const QByteArray &encoded) {
    using JpegMarkers::Segment;
    const std::vector<Segment> kept =
        JpegMarkers::headerSegments(dataOf(original), original.size());
    const std::vector<Segment> coding =
        JpegMarkers::headerSegments(dataOf(encoded), encoded.size());
    if (kept.empty() || coding.empty() || coding.back().marker != JpegMarkers::Sos)
        return {};
    QByteArray result = encoded.left(2);
    for (const Segment &segment : kept) {
        if (isMetadata(original, segment))
            result += segmentBytes(original, segment);
    }
    for (const Segment &segment : coding) {
        if (!isMetadata(encoded, segment))
            result += segmentBytes(encoded, segment);
    }
    // The coded data and the end marker follow the scan header.
    return result + encoded.mid(qint64(coding.back().end()));
}

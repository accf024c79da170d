// Comparing small decodes of a photo and its turned version.
#include "engine/turnedpicture.h"

#include <QImage>
#include <QImageReader>
#include <QTransform>

#include <cstdlib>

namespace {
// Libjpeg decodes at an eighth of each side from the blocks' first coefficients alone: cheap.
QImage smallDecode(const QString &path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(QSize(qMax(1, size.width() / 8), qMax(1, size.height() / 8)));
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QImage turned(const QImage &image, Turn turn) {
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

// The mean difference per colour channel, the outermost pixels left out (trimmed edges and
// the rounding of the small decodes show there).
double meanDifference(const QImage &a, const QImage &b) {
    const int margin = 1;
    double sum = 0;
    qint64 count = 0;
    for (int y = margin; y < a.height() - margin; ++y) {
        const QRgb *lineA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *lineB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = margin; x < a.width() - margin; ++x) {
            sum += std::abs(qRed(lineA[x]) - qRed(lineB[x])) +
                   std::abs(qGreen(lineA[x]) - qGreen(lineB[x])) +
                   std::abs(qBlue(lineA[x]) - qBlue(lineB[x]));
            count += 3;
        }
    }
    return count > 0 ? sum / double(count) : 0;
}
} // namespace

bool showsTheOriginalTurned(const QString &originalPath, const QString &resultPath, Turn turn) {
    const QImage original = smallDecode(originalPath);
    const QImage result = smallDecode(resultPath);
    if (original.isNull() || result.isNull())
        return false;
    QImage expected = turned(original, turn);
    if (expected.size() != result.size())
        expected = expected.scaled(result.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // A lossless turn differs from an in-memory turn by rounding only; a wrong turn, a mirror
    // image or grey blocks differ by tens of levels.
    return meanDifference(expected, result) < 8.0;
}

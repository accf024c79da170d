// Checking turned pictures: their structure, and small decodes where that leaves doubt.
#include "jpeg/turnedpicture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <cstdlib>

#include "jpeg/exactturn.h"
#include "jpeg/jpegstructure.h"

namespace {
// Libjpeg decodes at an eighth of each side from the blocks' first coefficients alone: cheap. A
// picture whose shorter side is under 2048 pixels is decoded at a half or a quarter, or whole,
// so that at least 256 pixels remain: at an eighth a gain map of 400x300 would keep 37 rows, and
// the partial block at its edge would shift the comparison by a pixel.
QImage smallDecode(QImageReader &reader) {
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid()) {
        int divisor = 8;
        while (divisor > 1 && qMin(size.width(), size.height()) / divisor < 256)
            divisor /= 2;
        reader.setScaledSize(
            QSize(qMax(1, size.width() / divisor), qMax(1, size.height() / divisor)));
    }
    return reader.read().convertToFormat(QImage::Format_RGB32);
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

QImage smallDecode(const QByteArray &jpeg) {
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer, "jpeg");
    return smallDecode(reader);
}

bool showsTurned(const QImage &original, const QImage &result, Turn turn) {
    if (original.isNull() || result.isNull())
        return false;
    // "-trim" drops the original's partial blocks at its right and bottom edges.
    const QSize kept = swapsSides(turn) ? result.size().transposed() : result.size();
    const bool trimmed = kept.width() <= original.width() && kept.height() <= original.height();
    QImage expected =
        turnedImage(trimmed ? original.copy(QRect(QPoint(0, 0), kept)) : original, turn);
    if (expected.size() != result.size())
        expected = expected.scaled(result.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // A lossless turn differs from an in-memory turn by rounding only; a wrong turn, a mirror
    // image or grey blocks differ by tens of levels.
    return meanDifference(expected, result) < 8.0;
}
} // namespace

bool showsTheOriginalTurned(const QByteArray &original, const QByteArray &result, Turn turn) {
    return showsTurned(smallDecode(original), smallDecode(result), turn);
}

ResultCheck checkTurnedPicture(const QByteArray &original, const JpegStructure &originalStructure,
                               const QByteArray &result, Turn turn, bool trim) {
    ResultCheck check =
        checkTurnedResult(originalStructure, parseJpegStructure(result), turn, trim);
    if (check.verdict == ResultVerdict::Doubtful)
        check.verdict = showsTheOriginalTurned(original, result, turn) ? ResultVerdict::Sound
                                                                       : ResultVerdict::Wrong;
    return check;
}

bool isTurnedThumbnail(const QByteArray &original, const QByteArray &result, Turn turn) {
    const JpegStructure before = parseJpegStructure(original);
    const JpegStructure after = parseJpegStructure(result);
    const QSize expected = turnedSize(before.frame, turn, true);
    return before.isComplete() && after.isComplete() && after.frame.width == expected.width() &&
           after.frame.height == expected.height();
}

ResultCheck checkExactlyTurnedPicture(const QByteArray &original,
                                      const JpegStructure &originalStructure,
                                      const QByteArray &result, Turn turn) {
    const JpegStructure after = parseJpegStructure(result);
    const JpegFrame &before = originalStructure.frame;
    ResultCheck check;
    if (!after.isComplete()) {
        check.reason =
            QCoreApplication::translate("TurnedPicture", "the turned picture is not complete (%1)")
                .arg(after.problem);
        return check;
    }
    const QSize expected = turnedSize(before, turn, false);
    if (after.frame.precision != before.precision ||
        after.frame.components.size() != before.components.size() ||
        after.frame.width != expected.width() || after.frame.height != expected.height()) {
        check.reason = QCoreApplication::translate(
                           "TurnedPicture", "the turned picture is %1x%2 pixels instead of %3x%4")
                           .arg(after.frame.width)
                           .arg(after.frame.height)
                           .arg(expected.width())
                           .arg(expected.height());
        return check;
    }
    if (!showsTheOriginalTurned(original, result, turn)) {
        check.reason =
            QCoreApplication::translate("TurnedPicture", "the turned picture shows another image");
        return check;
    }
    check.verdict = ResultVerdict::Sound;
    return check;
}

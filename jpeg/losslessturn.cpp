// Lossless transform geometry and the check of a turned result.
#include "jpeg/losslessturn.h"

#include <QCoreApplication>

#include "jpeg/jpegstructure.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("LosslessTurn", text);
}

// Which partial edge of the original a transform must trim: jpegtran moves whole blocks, and a
// partial block may only stay where it already is, at the right or bottom edge.
bool trimsOriginalRight(Turn transform) {
    return transform == Turn::FlipHorizontal || transform == Turn::Rotate180 ||
           transform == Turn::Transverse || transform == Turn::Rotate270;
}

bool trimsOriginalBottom(Turn transform) {
    return transform == Turn::FlipVertical || transform == Turn::Rotate180 ||
           transform == Turn::Transverse || transform == Turn::Rotate90;
}

// The pixels of the original's partial edge block. jpegtran keeps a side shorter than one block.
int partialBlock(int side, int block) {
    return side >= block ? side % block : 0;
}

double codedBytesPerPixel(const JpegStructure &structure) {
    const double pixels = double(structure.frame.width) * double(structure.frame.height);
    return pixels > 0 ? double(structure.entropyCodedBytes) / pixels : 0.0;
}

bool sameComponentsTurned(const JpegFrame &original, const JpegFrame &result, bool swapped) {
    if (original.components.size() != result.components.size())
        return false;
    for (size_t i = 0; i < original.components.size(); ++i) {
        const JpegComponent &before = original.components[i];
        const JpegComponent &after = result.components[i];
        const int h = swapped ? before.verticalSampling : before.horizontalSampling;
        const int v = swapped ? before.horizontalSampling : before.verticalSampling;
        // A single component is written with 1x1 sampling whatever the original said.
        if (after.id != before.id)
            return false;
        if (original.components.size() > 1 &&
            (after.horizontalSampling != h || after.verticalSampling != v))
            return false;
    }
    return true;
}

ResultCheck wrong(const QString &reason) {
    ResultCheck check;
    check.reason = reason;
    return check;
}

} // namespace

// Unlike "-trim", "-perfect" also refuses a side shorter than one block.
bool widthImperfect(const JpegFrame &frame, Turn transform) {
    return trimsOriginalRight(transform) && frame.width % frame.blockWidth() != 0;
}

bool heightImperfect(const JpegFrame &frame, Turn transform) {
    return trimsOriginalBottom(transform) && frame.height % frame.blockHeight() != 0;
}

EdgeTrim trimmedEdges(const JpegFrame &frame, Turn transform) {
    const int fromWidth =
        trimsOriginalRight(transform) ? partialBlock(frame.width, frame.blockWidth()) : 0;
    const int fromHeight =
        trimsOriginalBottom(transform) ? partialBlock(frame.height, frame.blockHeight()) : 0;
    if (swapsSides(transform))
        return {fromHeight, fromWidth};
    return {fromWidth, fromHeight};
}

QSize turnedSize(const JpegFrame &frame, Turn transform, bool trim) {
    const QSize size =
        swapsSides(transform) ? QSize(frame.height, frame.width) : QSize(frame.width, frame.height);
    if (!trim)
        return size;
    const EdgeTrim dropped = trimmedEdges(frame, transform);
    return {size.width() - dropped.columns, size.height() - dropped.rows};
}

bool isPerfectTurn(const JpegFrame &frame, Turn transform) {
    return !widthImperfect(frame, transform) && !heightImperfect(frame, transform);
}

ResultCheck checkTurnedResult(const JpegStructure &original, const JpegStructure &result,
                              Turn transform, bool trim) {
    if (!result.isComplete())
        return wrong(tr("the turned file is not a complete JPEG file (%1)").arg(result.problem));
    const JpegFrame &before = original.frame;
    const JpegFrame &after = result.frame;
    if (after.precision != before.precision ||
        !sameComponentsTurned(before, after, swapsSides(transform)))
        return wrong(tr("the turned file's colour components differ from the photo's"));
    const QSize expected = turnedSize(before, transform, trim);
    if (after.width != expected.width() || after.height != expected.height()) {
        return wrong(tr("the turned file is %1x%2 pixels instead of %3x%4")
                         .arg(after.width)
                         .arg(after.height)
                         .arg(expected.width())
                         .arg(expected.height()));
    }
    if (after.progressive() != before.progressive() || after.arithmetic() != before.arithmetic())
        return wrong(tr("the turned file is not coded as the photo was"));

    ResultCheck check;
    const double originalDensity = codedBytesPerPixel(original);
    check.sizeRatio = originalDensity > 0 ? codedBytesPerPixel(result) / originalDensity : 0.0;
    if (check.sizeRatio < soundSizeRatioLow || check.sizeRatio > soundSizeRatioHigh) {
        check.verdict = ResultVerdict::Doubtful;
        check.reason =
            tr("the turned image data is %1% of the photo's").arg(qRound(check.sizeRatio * 100));
        return check;
    }
    check.verdict = ResultVerdict::Sound;
    return check;
}

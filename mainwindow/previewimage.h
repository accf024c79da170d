// Decoding a photo for the preview at the size it is shown, as stored or with its orientation
// applied.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The box the raw view fits a photo into: the label's size, narrowed to a square of the label's
// height when the label is wider than high.
QSize rawPreviewBounds(const QSize &labelSize);

struct PreviewImage {
    QImage image;  // null when the photo cannot be decoded
    QString error; // the image reader's reason when it cannot
};

// Reads the photo at `path` scaled into `bounds` (at least one pixel each way), keeping its
// aspect ratio, with smooth filtering; with `applyOrientation` the photo's orientation tag is
// applied, as the image reader understands it. A photo larger than the box is decoded at the
// reduced size directly rather than decoded whole and scaled afterwards.
PreviewImage readPreviewImage(const QString &path, const QSize &bounds, bool applyOrientation);

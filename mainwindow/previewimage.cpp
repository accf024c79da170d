// Scaled decoding of photos for the preview views.
#include "mainwindow/previewimage.h"

#include <QImageIOHandler>
#include <QImageReader>

#include <algorithm>

QSize rawPreviewBounds(const QSize &labelSize) {
    return QSize(std::min(labelSize.width(), labelSize.height()), labelSize.height());
}

PreviewImage readPreviewImage(const QString &path, const QSize &bounds, bool applyOrientation) {
    const QSize box = bounds.expandedTo(QSize(1, 1));
    QImageReader reader(path);
    reader.setAutoTransform(applyOrientation);

    // The reader scales the stored pixels before it applies the orientation, so the decode size
    // is given the way the photo is stored.
    const QSize stored = reader.size();
    if (!stored.isEmpty()) {
        const bool turned = applyOrientation && reader.transformation().testFlag(
                                                    QImageIOHandler::TransformationRotate90);
        const QSize shown = turned ? stored.transposed() : stored;
        const QSize fitted = shown.scaled(box, Qt::KeepAspectRatio);
        if (fitted.width() < shown.width() || fitted.height() < shown.height())
            reader.setScaledSize(turned ? fitted.transposed() : fitted);
    }

    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), reader.errorString()};
    const QSize fitted = image.size().scaled(box, Qt::KeepAspectRatio);
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {image, QString()};
}

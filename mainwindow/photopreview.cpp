// The preview's photo and images.
#include "mainwindow/photopreview.h"

#include <QFileInfo>

#include "engine/rotationengine.h"
#include "mainwindow/previewimage.h"

PhotoPreview::PhotoPreview(RotationEngine *rotationEngine, QObject *parent)
    : QObject(parent)
    , engine(rotationEngine) {}

bool PhotoPreview::select(const QString &path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        selected.clear();
        return false;
    }
    selected = path;
    return true;
}

void PhotoPreview::load(const QString &path, const QSize &rawViewSize,
                        const QSize &orientedViewSize) {
    previewed = path;
    check = engine->checkPhoto(path);
    decode(rawViewSize, orientedViewSize);
}

void PhotoPreview::clear() {
    selected.clear();
    previewed.clear();
    raw = QImage();
    oriented = QImage();
    check = OrientationCheck();
    error.clear();
}

void PhotoPreview::rescale(const QSize &rawViewSize, const QSize &orientedViewSize) {
    if (!previewed.isEmpty())
        decode(rawViewSize, orientedViewSize);
}

void PhotoPreview::decode(const QSize &rawViewSize, const QSize &orientedViewSize) {
    const PreviewImage stored = readPreviewImage(previewed, rawPreviewBounds(rawViewSize), false);
    raw = stored.image;
    error = stored.error;
    oriented = QImage();
    if (hasOrientation() && !raw.isNull())
        oriented = readPreviewImage(previewed, orientedViewSize, true).image;
}

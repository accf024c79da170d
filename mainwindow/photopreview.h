// The single-photo preview without its widgets: which photo is selected, which one is shown,
// and its two images, as stored and as it will look once its orientation is applied, decoded at
// the size of the views that show them. The orientation comes from the rotation engine; what its
// check found is kept for the window to tell.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include "engine/orientationcheck.h"
#include "jpeg/turn.h"

class RotationEngine;

class PhotoPreview : public QObject {
    Q_OBJECT

public:
    explicit PhotoPreview(RotationEngine *rotationEngine, QObject *parent = nullptr);

    // Selects `path` when it names a file and returns true; otherwise clears the selection and
    // keeps the images shown.
    bool select(const QString &path);
    // Reads the photo for views of these sizes, in the screen's pixels.
    void load(const QString &path, const QSize &rawViewSize, const QSize &orientedViewSize);

    // Forgets the selected and the shown photo and their images.
    void clear();

    // Decodes the shown photo again for views of new sizes; its orientation is not read again.
    void rescale(const QSize &rawViewSize, const QSize &orientedViewSize);

    QString selectedFile() const { return selected; }
    QString previewedFile() const { return previewed; }
    QImage rawImage() const { return raw; }
    QImage orientedImage() const { return oriented; }
    // Whether the shown photo needs a turn, and so has an oriented image.
    bool hasOrientation() const { return check.turn != Turn::None; }
    // What the check of the shown photo's orientation found.
    OrientationCheck orientationCheck() const { return check; }
    // The reader's reason when the photo cannot be decoded; empty otherwise.
    QString decodeError() const { return error; }

private:
    void decode(const QSize &rawViewSize, const QSize &orientedViewSize);

    RotationEngine *engine = nullptr;
    QString selected;
    QString previewed;
    QImage raw;
    QImage oriented;
    OrientationCheck check;
    QString error;
};

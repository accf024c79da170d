// From an EXIF orientation value or an image reader's transformation to a clockwise angle. No
// window involved, so tests call these directly.
#pragma once

#include <QImageIOHandler>
#include <QString>

#include <cstdint>

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

// Takes 32 bits: an orientation stored as LONG may hold any value.
OrientationChoice orientationChoice(uint32_t orientation);

// The angle for an image reader's transformation; mirrorWords is set for the mirrored ones.
int transformationAngle(QImageIOHandler::Transformations transformation, QString *mirrorWords);

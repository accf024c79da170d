// Orientation tables.
#include "exif/orientation.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}
} // namespace

OrientationChoice orientationChoice(uint32_t orientation) {
    switch (orientation) {
    case 1:
        return {OrientationChoice::Rotate, 0, {}};
    case 3:
        return {OrientationChoice::Rotate, 180, {}};
    case 6:
        return {OrientationChoice::Rotate, 90, {}};
    case 8:
        return {OrientationChoice::Rotate, 270, {}};
    case 2:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal")};
    case 4:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror vertical")};
    case 5:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal, rotate 270 CW")};
    case 7:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal, rotate 90 CW")};
    case 0:
    case 9:
        return {OrientationChoice::AskImageReader, 0, {}};
    default:
        return {OrientationChoice::Unknown, 0, {}};
    }
}

int transformationAngle(QImageIOHandler::Transformations transformation, QString *mirrorWords) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationRotate180:
        return 180;
    case QImageIOHandler::TransformationRotate90:
        return 90;
    case QImageIOHandler::TransformationRotate270:
        return 270;
    case QImageIOHandler::TransformationMirror:
        *mirrorWords = tr(", Mirror horizontal");
        return 0;
    case QImageIOHandler::TransformationFlip:
        *mirrorWords = tr(", Mirror vertical");
        return 0;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        *mirrorWords = tr(", Mirror horizontal, rotate 90 degrees");
        return 0;
    case QImageIOHandler::TransformationFlipAndRotate90:
        *mirrorWords = tr(", Mirror vertical, rotate 90 degrees");
        return 0;
    default:
        return 0;
    }
}

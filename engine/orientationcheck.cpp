// From a photo's orientation to the turn it needs.
#include "engine/orientationcheck.h"

#include "engine/orientationreader.h"
#include "exif/orientation.h"
#include "files/heldphoto.h"
#include "jpeg/turn.h"

#include <memory>

namespace {
Turn turnForTransformation(QImageIOHandler::Transformations transformation) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationRotate90:
        return Turn::Rotate90;
    case QImageIOHandler::TransformationRotate180:
        return Turn::Rotate180;
    case QImageIOHandler::TransformationRotate270:
        return Turn::Rotate270;
    case QImageIOHandler::TransformationMirror:
        return Turn::FlipHorizontal;
    case QImageIOHandler::TransformationFlip:
        return Turn::FlipVertical;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return Turn::Transpose;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return Turn::Transverse;
    default:
        return Turn::None;
    }
}

OrientationCheck finding(OrientationCheck check, OrientationCheck::Finding found) {
    check.finding = found;
    return check;
}

// Turns `turn`, or leaves a mirroring as it is unless mirrored photos are to be turned too.
OrientationCheck turnTo(OrientationCheck check, Turn turn, bool fixMirrored) {
    if (isMirroring(turn) && !fixMirrored)
        return finding(check, OrientationCheck::Mirrored);
    check.turn = turn;
    return finding(check,
                   turn == Turn::None ? OrientationCheck::Upright : OrientationCheck::NeedsTurn);
}

OrientationCheck fromExifValue(uint32_t orientation, bool fixMirrored) {
    OrientationCheck check;
    check.orientation = int(orientation);
    const OrientationChoice choice = orientationChoice(orientation);
    switch (choice.kind) {
    case OrientationChoice::Rotate:
        return turnTo(check, turnForAngle(choice.angle), fixMirrored);
    case OrientationChoice::Mirrored:
        return turnTo(check, turnForOrientation(int(orientation)), fixMirrored);
    case OrientationChoice::AskImageReader:
        break; // not reached: such values leave the decision to the image reader
    case OrientationChoice::Unknown:
        break;
    }
    return finding(check, OrientationCheck::Unknown);
}

// The second route: the transformation the image reader finds in the photo's metadata.
OrientationCheck fromImageReader(const OrientationReading &reading, bool fixMirrored) {
    OrientationCheck check;
    check.askedImageReader = true;
    check.parserThrew = reading.parserThrew;
    check.exifCode = reading.exifCode;
    check.transformation = reading.transformation;
    if (reading.imageReaderFailed) {
        check.readerError = reading.imageReaderError;
        return finding(check, OrientationCheck::Unreadable);
    }
    return turnTo(check, turnForTransformation(reading.transformation), fixMirrored);
}
} // namespace

OrientationCheck checkOrientation(const HeldPhoto &photo, bool fixMirrored) {
    const OrientationReading reading = readOrientation(photo);
    if (reading.status == OrientationReading::FileChanged)
        return finding(OrientationCheck(), OrientationCheck::Changed);
    if (reading.exifDecides())
        return fromExifValue(reading.orientation, fixMirrored);
    return fromImageReader(reading, fixMirrored);
}

OrientationCheck checkOrientation(const QString &photoPath, bool fixMirrored) {
    OrientationCheck notOpened;
    const std::unique_ptr<HeldPhoto> photo = HeldPhoto::openChosen(photoPath, &notOpened.problem);
    return photo ? checkOrientation(*photo, fixMirrored) : notOpened;
}

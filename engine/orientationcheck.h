// Which turn a photo needs, decided from its EXIF orientation (or, when that gives no answer,
// from the image reader), with what was found on the way: the values read, the parser's code,
// the reader's error. The check says nothing itself; presentation/ tells the user.
#pragma once

#include <QImageIOHandler>
#include <QMetaType>
#include <QString>

#include "files/fileproblem.h"

enum class Turn;

class HeldPhoto;

struct OrientationCheck {
    enum Finding {
        NotOpened,  // no readable file at the path: `problem` says why
        Upright,    // needs no turn
        NeedsTurn,  // `turn` makes it upright
        Mirrored,   // a mirrored orientation, left alone
        Unknown,    // an orientation value no photo should have: possibly corrupt
        Unreadable, // neither the EXIF data nor the image reader could tell
        Changed,    // the file changed or shrank while it was read: left as it is
    };

    Finding finding = NotOpened;
    Turn turn{};         // None
    int orientation = 0; // the EXIF value, when the EXIF route decided

    // The EXIF route gave no usable value and the image reader was asked: the parser's result
    // code (not set when the parser threw), the transformation the reader found, or its error.
    bool askedImageReader = false;
    bool parserThrew = false;
    int exifCode = 0;
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;
    QString readerError;
    FileProblem problem;

    // Whether the finding leaves the photo as it is although it has an orientation to apply.
    bool leavesPhoto() const {
        return finding == Mirrored || finding == Unknown || finding == Unreadable ||
               finding == Changed;
    }
};
Q_DECLARE_METATYPE(OrientationCheck)

// `fixMirrored`: mirrored orientations are turned upright too, instead of being left.
OrientationCheck checkOrientation(const HeldPhoto &photo, bool fixMirrored);
// A photo the user named by its path, opened as HeldPhoto::openChosen opens it.
OrientationCheck checkOrientation(const QString &photoPath, bool fixMirrored);

// Which turn a photo needs, decided from its EXIF orientation (or, when that gives no answer,
// from the image reader), with the messages that tell the user about anything unusual found on
// the way.
#pragma once

#include <QImageIOHandler>
#include <QList>
#include <QString>

#include "engine/outputmessage.h"
#include "engine/turn.h"

struct OrientationCheck {
    enum Finding {
        NotOpened,  // no readable file at the path: nothing is said
        Upright,    // needs no turn
        NeedsTurn,  // `turn` makes it upright
        Mirrored,   // a mirrored orientation, reported and left alone
        Unknown,    // an orientation value no photo should have: possibly corrupt
        Unreadable, // neither the EXIF data nor the image reader could tell
        Changed,    // the file changed or shrank while it was read: left as it is
    };

    Finding finding = NotOpened;
    Turn turn = Turn::None;
    int orientation = 0; // the EXIF value, when one was read
    QString reason;      // plain text for a report, for the findings that leave a photo
    QList<OutputMessage> messages;
};

struct OrientationContext {
    QString folder;               // the current folder, for links relative to it
    bool dotBeforeErrors = false; // a progress mark ". " ahead of error output
    bool fixMirrored = false;     // mirrored orientations are turned upright, not reported
};

OrientationCheck checkOrientation(const QString &photoPath, const OrientationContext &context);

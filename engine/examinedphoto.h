// One photo examined for a scan: opened relative to its held folder (or, for a photo the user
// named, from its path) without following a link, looked at, and its orientation read through
// the open descriptor. The work of a worker thread; the result goes to the engine.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

#include "engine/orientationcheck.h"
#include "files/fileproblem.h"
#include "files/filestatus.h"

class HeldFolder;
class HeldPhoto;

// When a photo may still be being copied in (watcher runs leave it for later): empty and changed
// within the last `settleMs` or younger than `emptyMs`, or without the end marker a complete
// JPEG file ends with and changed within the last `settleMs` or younger than `incompleteMs`. A
// complete photo is taken however young it is.
struct ArrivalTimes {
    int settleMs = 2000;
    int emptyMs = 30000;
    int incompleteMs = 60000;
};

// `ageMs`: since its last change (negative: a time in the future); `endsWithEndMarker` is asked
// only when the answer depends on it.
bool mayStillBeArriving(qint64 ageMs, qint64 size, const ArrivalTimes &times,
                        const std::function<bool()> &endsWithEndMarker);

struct ExaminedPhoto {
    QString path; // as the run names it
    QString file; // where it is, its folder's real path and its name: for a photo kept open
    // Open, for a photo that needs a turn (or whose turn was given); null otherwise.
    std::shared_ptr<HeldPhoto> photo;
    FileStatus status;          // as it was when examined
    bool statusKnown = false;   // false when not even its entry could be looked at
    FileProblem problem;        // why it could not be opened
    bool notPhoto = false;      // named like a photo but a link or no regular file: never opened
    bool mayBeArriving = false; // watcher runs: it may still be being copied in; not read
    OrientationCheck check;     // what its orientation asks for, when it was read

    bool opened() const { return !problem.isProblem(); }
};

// What the examination reads and decides.
struct ExamineOptions {
    bool readOrientation = true; // false: the turn is given, the photo is only opened
    bool fixMirrored = false;
    bool checkArrival = false;
    ArrivalTimes arrival;
};

// The photo `name` in `folder`.
ExaminedPhoto examineListed(const std::shared_ptr<HeldFolder> &folder, const QByteArray &name,
                            const ExamineOptions &options);
// The photo at `path`, which the user named: a link there is followed.
ExaminedPhoto examineChosen(const QString &path, const ExamineOptions &options);

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

// When a photo may still be being copied in (watcher runs leave it for later). One that some
// program has open for writing is, whatever its age. Otherwise: empty and changed within the last
// `settleMs` or younger than `emptyMs`; or without the end marker at its very end, changed within
// the last `settleMs` or younger than `incompleteMs`, and not known to be whole. It is known to
// be whole when the lease shows that no program writes it and its main picture parses whole:
// data after the image (a motion photo's video) does not make it wait. A photo that ends with
// its end marker is taken however young it is.
struct ArrivalTimes {
    int settleMs = 2000;
    int emptyMs = 30000;
    int incompleteMs = 60000;
};

// What the photo's read lease tells about the programs that have it open.
enum class Writers {
    None,    // the lease could be had: nobody has it open for writing
    Writing, // refused: some program has it open for writing
    Unknown, // no lease here (another owner's photo, a network file system)
};

struct ArrivalFacts {
    qint64 ageMs = 0; // since its last change (negative: a time in the future)
    qint64 size = 0;
    Writers writers = Writers::Unknown;
};

// The rule above. `endsWithEndMarker` and `mainPictureWhole` are asked only when the answer
// depends on them.
bool mayStillBeArriving(const ArrivalFacts &facts, const ArrivalTimes &times,
                        const std::function<bool()> &endsWithEndMarker,
                        const std::function<bool()> &mainPictureWhole);

enum class Arrival {
    Arrived,
    MayStillArrive, // it may still be being copied in
    BeingWritten,   // some program has it open for writing
};

// The rule for an open photo: its lease asked (and let go at once), its end and, when need be,
// its main picture read through its descriptor. `mainPictureWhole` may stand in for reading
// the main picture (a caller that remembers what it found).
Arrival arrivalOf(HeldPhoto &photo, const ArrivalTimes &times,
                  const std::function<bool()> &mainPictureWhole = nullptr);
// Whether the photo's main picture parses whole, up to its end marker: the photo is read whole.
bool mainPictureWhole(const HeldPhoto &photo);

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
    bool beingWritten = false;  // and, by its lease, some program has it open for writing
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

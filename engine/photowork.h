// The file work of one photo's rotation, done on a worker thread so that the window goes on
// answering whatever the photo's size and the disk's speed: reading the photo once through its
// descriptor, checking each turned picture and putting the turned photo together, writing it
// into a temporary file in the photo's held folder, and replacing the photo by it. The chain
// (photorotation.h) hands the work from step to step; only one thread works on it at a time.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

#include "engine/runevents.h"
#include "files/filestatus.h"
#include "jpeg/losslessturn.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"

class HeldPhoto;
class HeldTempFile;
struct FileProblem;

// One photo's bytes and files on their way.
struct PhotoWork {
    explicit PhotoWork(std::shared_ptr<HeldPhoto> heldPhoto);
    ~PhotoWork();

    std::shared_ptr<HeldPhoto> photo;
    QByteArray original; // the photo as it was read, once
    PhotoPictures pictures;
    std::vector<FileRange> furtherPictures;       // where each further picture lies
    std::vector<JpegStructure> furtherStructures; // and its structure
    TurnedPictures turned;
    // The further pictures that were decoded, turned and encoded anew, by their place in
    // furtherPictures: no lossless turn keeps them whole.
    std::vector<size_t> reencoded;
    bool thumbnailTurned = false; // jpegtran turned it, before it was checked
    std::unique_ptr<HeldTempFile> temp;
    // Set from the chain's thread: the work stops at its next chance (a stop, or another program
    // opening the photo). A replacement that has begun is let finish.
    std::atomic<bool> cancelled{false};
};

// Reads the whole photo through its descriptor, a piece at a time, tells its pictures apart and
// walks each further picture's structure. A photo shorter than when it was opened changed
// meanwhile.
PhotoReason readPhoto(PhotoWork &work);

// Turns further picture `picture` exactly (exactturn.h) and adds it to the turned pictures.
PhotoReason turnPictureExactly(PhotoWork &work, size_t picture, Turn turn);

// What putting the turned photo together did.
struct Assembly {
    PhotoReason reason;
    AssemblyReport report;
    bool thumbnailRefused = false; // the turned thumbnail was no right turn: the old one stays
    bool hasOrientation = false;   // the photo states its orientation in IFD0
};

// Checks each turned picture against its original (one that was encoded anew against the original
// turned exactly), drops a turned thumbnail that is not right, puts the photo together, checks
// that its pictures can be told apart again, and writes it into a new temporary file in the
// photo's folder. The photo's bytes are let go once written.
Assembly assembleAndWrite(PhotoWork &work, Turn turn, bool trim);

// What became of a photo's further names.
struct SecondNameLook {
    PhotoReason reason;      // None: the photo has one name now; HardLinks otherwise
    QString takenOutOfTrash; // the trash entry that was taken out, when one was
};

// For a photo with more than one name: the original of it that an earlier run kept in the trash
// and then did not replace (it ended before the rename) is a second name of the photo as it is,
// and is taken out of the trash again. The reason names the trash entry that is another name of
// the photo, where there is one.
SecondNameLook lookAtSecondName(PhotoWork &work);

// What the replacement is to do besides the rename.
struct ReplacementPlan {
    std::optional<FileTime> modified; // the file time to give the new version, exactly
    std::optional<FileTime> accessed;
    bool keepOriginal = false; // keep the original in the desktop's trash first
};

struct Replacement {
    PhotoReason reason;
    bool timesSet = false;
    QString keptOriginal; // where the original went in the trash
    QString trashFolder;
};

// Gives the new version its times, keeps the original in the trash when asked (right before the
// rename, and taken out again when the rename does not happen), and puts the new version in the
// photo's place: owner, group, attributes and mode carried, written to the disk, the lease and
// the photo's identity checked once more, the rename in the held folder, the folder written to
// the disk.
Replacement replacePhoto(PhotoWork &work, const ReplacementPlan &plan);

// The reason a photo that is no longer as it was is left with: changed, gone, or another file
// under its name.
PhotoReason reasonOfPlacement(const HeldPhoto &photo, const FileProblem &problem);

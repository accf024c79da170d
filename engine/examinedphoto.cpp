// Examining one photo through held folders: open, look, read the orientation.
#include "engine/examinedphoto.h"

#include "files/heldfolder.h"
#include "files/heldphoto.h"

namespace {
bool endsWithEndMarker(const HeldPhoto &photo) {
    const qint64 size = photo.status().size;
    char end[2] = {0, 0};
    return size >= 4 && photo.readAt(size - 2, end, 2) == 2 && end[0] == '\xFF' && end[1] == '\xD9';
}

// What follows once the photo is open: the arrival rule, the orientation, and whether the
// photo is kept open for its turn.
void examineOpened(std::unique_ptr<HeldPhoto> photo, const ExamineOptions &options,
                   ExaminedPhoto &examined) {
    examined.status = photo->status();
    examined.statusKnown = true;
    if (options.checkArrival) {
        const qint64 age = FileTime::now().msecsSince(examined.status.modified);
        examined.mayBeArriving = mayStillBeArriving(age, examined.status.size, options.arrival,
                                                    [&photo] { return endsWithEndMarker(*photo); });
        if (examined.mayBeArriving)
            return;
    }
    if (options.readOrientation) {
        examined.check = checkOrientation(*photo, options.fixMirrored);
        if (examined.check.turn == Turn::None)
            return; // closed here: nothing more is done with it
    }
    examined.file = displayNameOf(photo->folder()->nativePathOf(photo->name()));
    examined.photo = std::move(photo);
}
} // namespace

// A young photo that is complete is taken at once: the chain's write lease (or its two looks
// where the system gives none) tells whether another program still has it open.
bool mayStillBeArriving(qint64 ageMs, qint64 size, const ArrivalTimes &times,
                        const std::function<bool()> &endsWithEndMarker) {
    const bool settling = qAbs(ageMs) < times.settleMs;
    if (!settling && ageMs < 0)
        return false;
    if (size == 0)
        return settling || ageMs < times.emptyMs;
    if (!settling && ageMs >= times.incompleteMs)
        return false;
    return !endsWithEndMarker();
}

ExaminedPhoto examineListed(const std::shared_ptr<HeldFolder> &folder, const QByteArray &name,
                            const ExamineOptions &options) {
    ExaminedPhoto examined;
    examined.path = folder->displayPathOf(name);
    std::unique_ptr<HeldPhoto> photo = HeldPhoto::open(folder, name, &examined.problem);
    if (!photo) {
        // Its entry still tells which file it is.
        examined.statusKnown = folder->statusOf(name, &examined.status, nullptr);
        return examined;
    }
    examineOpened(std::move(photo), options, examined);
    return examined;
}

ExaminedPhoto examineChosen(const QString &path, const ExamineOptions &options) {
    ExaminedPhoto examined;
    examined.path = path;
    std::unique_ptr<HeldPhoto> photo = HeldPhoto::openChosen(path, &examined.problem);
    if (photo)
        examineOpened(std::move(photo), options, examined);
    return examined;
}

// Examining one photo through held folders: open, look, read the orientation.
#include "engine/examinedphoto.h"

#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/turn.h"

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
        const Arrival arrival = arrivalOf(*photo, options.arrival);
        examined.mayBeArriving = arrival != Arrival::Arrived;
        examined.beingWritten = arrival == Arrival::BeingWritten;
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

bool mayStillBeArriving(const ArrivalFacts &facts, const ArrivalTimes &times,
                        const std::function<bool()> &endsWithEndMarker,
                        const std::function<bool()> &mainPictureWhole) {
    if (facts.writers == Writers::Writing)
        return true;
    const bool settling = qAbs(facts.ageMs) < times.settleMs;
    if (!settling && facts.ageMs < 0)
        return false;
    if (facts.size == 0)
        return settling || facts.ageMs < times.emptyMs;
    if (!settling && facts.ageMs >= times.incompleteMs)
        return false;
    if (endsWithEndMarker())
        return false;
    return facts.writers != Writers::None || !mainPictureWhole();
}

Arrival arrivalOf(HeldPhoto &photo, const ArrivalTimes &times,
                  const std::function<bool()> &mainPictureWhole) {
    ArrivalFacts facts;
    facts.ageMs = FileTime::now().msecsSince(photo.status().modified);
    facts.size = photo.status().size;
    switch (photo.writersNow()) {
    case HeldPhoto::Lease::Held:
        facts.writers = Writers::None;
        break;
    case HeldPhoto::Lease::OpenForWriting:
        return Arrival::BeingWritten;
    case HeldPhoto::Lease::Unavailable:
        facts.writers = Writers::Unknown;
        break;
    }
    const bool arriving = mayStillBeArriving(
        facts, times, [&photo] { return endsWithEndMarker(photo); },
        [&photo, &mainPictureWhole] {
            return mainPictureWhole ? mainPictureWhole() : ::mainPictureWhole(photo);
        });
    return arriving ? Arrival::MayStillArrive : Arrival::Arrived;
}

bool mainPictureWhole(const HeldPhoto &photo) {
    QByteArray bytes;
    if (photo.status().size > maxJpegFileSize || !photo.readAll(&bytes, nullptr))
        return false;
    return parseJpegStructure(bytes).isComplete();
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

// Reading, assembling, writing and replacing one photo, on a worker thread.
#include "engine/photowork.h"

#include <algorithm>

#include "files/fileproblem.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "files/heldtempfile.h"
#include "files/trash.h"
#include "jpeg/exactturn.h"
#include "jpeg/orientationvalues.h"
#include "jpeg/turnedpicture.h"

namespace {
// The photo is read this much at a time, so that a stop or another program's open is answered
// within moments even for a photo of hundreds of megabytes.
constexpr qint64 readPiece = qint64(16) << 20;

PhotoReason reasonOf(PhotoReason::Kind kind, const QString &error = {}) {
    PhotoReason reason;
    reason.kind = kind;
    reason.error = error;
    return reason;
}

PhotoReason fileReason(PhotoReason::Kind kind, const FileProblem &problem) {
    PhotoReason reason = reasonOf(kind, problem.text());
    reason.diskFull = problem.kind == FileProblem::Kind::DiskFull;
    return reason;
}

QByteArray slice(const QByteArray &bytes, const FileRange &range) {
    return bytes.mid(range.offset, range.length);
}

PhotoReason notLossless(const ResultCheck &check, int picture) {
    PhotoReason reason = reasonOf(PhotoReason::NotLossless, check.reason);
    reason.picture = picture;
    return reason;
}

PhotoReason notReencoded(const QString &problem, int picture) {
    PhotoReason reason = reasonOf(PhotoReason::NotReencoded, problem);
    reason.picture = picture;
    return reason;
}

// Each turned picture is what a lossless turn of its original gives, or, for a further picture
// encoded anew, its original turned exactly; a turned thumbnail that is not is dropped, and the
// old one stays.
PhotoReason checkTurnedPictures(PhotoWork &work, Turn turn, bool trim, Assembly *assembly) {
    const ResultCheck primary =
        checkTurnedPicture(work.original, work.pictures.primary, work.turned.primary, turn, trim);
    if (primary.verdict != ResultVerdict::Sound)
        return notLossless(primary, 1);
    const FileRange &thumbnail = work.pictures.primary.thumbnail;
    if (!work.turned.thumbnail.isEmpty() &&
        !isTurnedThumbnail(slice(work.original, thumbnail), work.turned.thumbnail, turn)) {
        work.turned.thumbnail.clear();
        assembly->thumbnailRefused = true;
    }
    const std::vector<FileRange> &ranges = work.furtherPictures;
    for (size_t k = 0; k < ranges.size() && k < work.turned.pictures.size(); ++k) {
        if (work.cancelled)
            return reasonOf(PhotoReason::Stopped);
        const bool exact =
            std::find(work.reencoded.begin(), work.reencoded.end(), k) != work.reencoded.end();
        const QByteArray original = slice(work.original, ranges[k]);
        const ResultCheck check =
            exact ? checkExactlyTurnedPicture(original, work.furtherStructures[k],
                                              work.turned.pictures[k], turn)
                  : checkTurnedPicture(original, work.furtherStructures[k], work.turned.pictures[k],
                                       turn, trim);
        if (check.verdict != ResultVerdict::Sound)
            return exact ? notReencoded(check.reason, int(k) + 2) : notLossless(check, int(k) + 2);
    }
    return {};
}

PhotoReason assemblyReason(const AssemblyReport &report) {
    if (report.problem == AssemblyProblem::ThumbnailNotPlaced)
        return reasonOf(PhotoReason::ThumbnailNotPutBack, report.detail);
    PhotoReason reason = reasonOf(PhotoReason::NotAssembled, report.detail);
    reason.assembly = report.problem;
    reason.picture = report.picture >= 0 ? report.picture + 2 : 0;
    return reason;
}

PhotoReason finishedWrong(PhotoReason::FinishedProblem problem, const QString &error) {
    PhotoReason reason = reasonOf(PhotoReason::FinishedWrong, error);
    reason.finishedProblem = problem;
    return reason;
}

// The assembled photo reads back whole, with as many pictures, each where its index and its
// container say. A photo that is its main picture alone is that picture as checked, with values
// set in place: nothing more to read back.
PhotoReason checkAssembled(const QByteArray &assembled, const PhotoPictures &before) {
    if (before.parts.empty())
        return {};
    const PhotoPictures after = describePictures(assembled);
    if (after.problem == PicturesProblem::PrimaryIncomplete)
        return finishedWrong(PhotoReason::Incomplete, after.problemDetail);
    if (!after.isUsable() || after.pictureCount() != before.pictureCount())
        return finishedWrong(PhotoReason::PicturesLost, after.problemDetail);
    return {};
}

bool statesOrientation(const OrientationEdits &edits) {
    return std::any_of(edits.edits.begin(), edits.edits.end(), [](const OrientationEdit &edit) {
        return edit.before.place == OrientationValue::Ifd0 && edit.result != OrientationEdit::Left;
    });
}

PhotoReason writeTemporaryFile(PhotoWork &work, const QByteArray &bytes) {
    FileProblem problem;
    work.temp = HeldTempFile::create(work.photo->folder(), work.photo->name(), &problem);
    if (!work.temp)
        return fileReason(PhotoReason::NoTempFile, problem);
    if (!work.temp->write(bytes, &problem))
        return fileReason(PhotoReason::NotWritten, problem);
    return {};
}
} // namespace

PhotoWork::PhotoWork(std::shared_ptr<HeldPhoto> heldPhoto)
    : photo(std::move(heldPhoto)) {}

// The temporary file goes, while still held, wherever the work ends.
PhotoWork::~PhotoWork() = default;

PhotoReason readPhoto(PhotoWork &work) {
    const qint64 size = work.photo->status().size;
    work.original.resize(size);
    for (qint64 offset = 0; offset < size; offset += readPiece) {
        if (work.cancelled)
            return reasonOf(PhotoReason::Stopped);
        const qint64 wanted = std::min(readPiece, size - offset);
        const qint64 read = work.photo->readAt(offset, work.original.data() + offset, wanted);
        if (read < 0)
            return fileReason(PhotoReason::NotRead, problemFromErrno(work.photo->displayPath()));
        if (read < wanted)
            return reasonOf(PhotoReason::ChangedWhileRotated);
    }
    work.pictures = describePictures(work.original);
    work.furtherPictures = work.pictures.picturesToTurn();
    for (const FileRange &range : work.furtherPictures)
        work.furtherStructures.push_back(parseJpegStructure(
            reinterpret_cast<const uchar *>(work.original.constData()) + range.offset,
            range.length));
    return {};
}

PhotoReason turnPictureExactly(PhotoWork &work, size_t picture, Turn turn) {
    if (work.cancelled)
        return reasonOf(PhotoReason::Stopped);
    const ExactTurn exact = turnExactly(slice(work.original, work.furtherPictures[picture]),
                                        work.furtherStructures[picture], turn);
    if (exact.picture.isEmpty())
        return notReencoded(exact.problem, int(picture) + 2);
    work.turned.pictures.push_back(exact.picture);
    work.reencoded.push_back(picture);
    return {};
}

Assembly assembleAndWrite(PhotoWork &work, Turn turn, bool trim) {
    Assembly assembly;
    assembly.reason = checkTurnedPictures(work, turn, trim, &assembly);
    if (assembly.reason.kind != PhotoReason::None)
        return assembly;
    AssembledPhoto assembled = assemblePhoto(work.original, work.pictures, work.turned);
    assembly.report = assembled.report;
    if (!assembled.report.isOk()) {
        assembly.reason = assemblyReason(assembled.report);
        return assembly;
    }
    assembly.hasOrientation = statesOrientation(assembled.report.primaryOrientation);
    assembly.reason = checkAssembled(assembled.bytes, work.pictures);
    if (assembly.reason.kind == PhotoReason::None && work.cancelled)
        assembly.reason = reasonOf(PhotoReason::Stopped);
    if (assembly.reason.kind != PhotoReason::None)
        return assembly;
    // What is left of the photo's bytes is no longer needed: the temporary file holds the rest.
    work.original = QByteArray();
    work.turned = TurnedPictures();
    assembly.reason = writeTemporaryFile(work, assembled.bytes);
    return assembly;
}

SecondNameLook lookAtSecondName(PhotoWork &work) {
    SecondNameLook look;
    HeldPhoto &photo = *work.photo;
    QString entry;
    if (TrashCan::lookForSecondName(photo, &entry) == TrashCan::SecondName::TakenOut)
        look.takenOutOfTrash = entry;
    else
        look.reason.otherName = entry;
    FileStatus now;
    const quint64 links = photo.statusNow(&now, nullptr) ? now.links : photo.status().links;
    if (links > 1) {
        look.reason.kind = PhotoReason::HardLinks;
        look.reason.count = int(links);
    }
    return look;
}

Replacement replacePhoto(PhotoWork &work, const ReplacementPlan &plan) {
    Replacement replacement;
    HeldPhoto &photo = *work.photo;
    FileProblem problem;
    if (plan.modified)
        replacement.timesSet = work.temp->setTimes(*plan.modified, plan.accessed, &problem);
    std::unique_ptr<KeptOriginal> kept;
    if (plan.keepOriginal) {
        const std::unique_ptr<TrashCan> trash = TrashCan::forPhoto(photo, &problem);
        kept = trash ? trash->keep(photo, &problem) : nullptr;
        if (!kept) {
            replacement.reason = fileReason(PhotoReason::OriginalNotKept, problem);
            return replacement;
        }
        replacement.keptOriginal = kept->displayPath();
        replacement.trashFolder = trash->displayPath();
    }
    problem = FileProblem();
    switch (work.temp->replace(photo, &problem)) {
    case HeldTempFile::Outcome::Replaced:
        work.temp.reset();
        return replacement;
    case HeldTempFile::Outcome::PhotoChanged:
        replacement.reason = reasonOfPlacement(photo, problem);
        break;
    case HeldTempFile::Outcome::IdentityNotKept:
        replacement.reason = reasonOf(PhotoReason::IdentityNotKept, problem.reason);
        break;
    case HeldTempFile::Outcome::Failed:
        replacement.reason = fileReason(PhotoReason::NotReplaced, problem);
        break;
    }
    if (kept)
        kept->rollBack();
    replacement.keptOriginal.clear();
    replacement.trashFolder.clear();
    return replacement;
}

PhotoReason reasonOfPlacement(const HeldPhoto &photo, const FileProblem &problem) {
    if (problem.kind != FileProblem::Kind::Replaced)
        return reasonOf(PhotoReason::ChangedWhileRotated);
    FileStatus named;
    FileProblem lookedUp;
    if (!photo.folder()->statusOf(photo.name(), &named, &lookedUp) &&
        lookedUp.kind == FileProblem::Kind::NotFound)
        return reasonOf(PhotoReason::NoLongerThere);
    return reasonOf(PhotoReason::ReplacedMeanwhile, problem.text());
}

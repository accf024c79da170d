// Several runs summed up, and the reasons that follow from an orientation check.
#include "engine/runevents.h"

#include <algorithm>

#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"
#include "jpeg/turn.h"

static_assert(Turn{} == Turn::None && PicturesProblem{} == PicturesProblem::None &&
                  AssemblyProblem{} == AssemblyProblem::None,
              "a fact without a turn or a problem holds the kind's first value");

PictureFrame pictureFrameOf(const JpegFrame &frame, Turn turn) {
    PictureFrame picture;
    picture.width = frame.width;
    picture.height = frame.height;
    picture.blockWidth = frame.blockWidth();
    picture.blockHeight = frame.blockHeight();
    picture.widthCut = widthImperfect(frame, turn);
    picture.heightCut = heightImperfect(frame, turn);
    return picture;
}

DroppedEdges droppedEdgesOf(const EdgeTrim &trim) {
    return {trim.columns, trim.rows};
}

PhotoReason reasonOfCheck(const OrientationCheck &check) {
    PhotoReason reason;
    reason.check = check;
    switch (check.finding) {
    case OrientationCheck::Mirrored:
        reason.kind = PhotoReason::MirroredOrientation;
        break;
    case OrientationCheck::Unknown:
        reason.kind = PhotoReason::UnknownOrientation;
        break;
    case OrientationCheck::Unreadable:
        reason.kind = PhotoReason::Unreadable;
        break;
    case OrientationCheck::Changed:
        reason.kind = PhotoReason::ChangedWhileRead;
        break;
    case OrientationCheck::NotOpened:
        reason.kind = PhotoReason::NotOpened;
        reason.error = check.problem.reason;
        break;
    case OrientationCheck::Upright:
    case OrientationCheck::NeedsTurn:
        break;
    }
    return reason;
}

bool leftForLater(const PhotoReason &reason) {
    switch (reason.kind) {
    case PhotoReason::ChangedWhileRead:
    case PhotoReason::ChangedWhileExamined:
    case PhotoReason::StillBeingWritten:
    case PhotoReason::InUse:
    case PhotoReason::ChangedWhileRotated:
        return true;
    default:
        return false;
    }
}

RunSummary combinedSummary(const QList<RunSummary> &runs) {
    if (runs.isEmpty())
        return {};
    RunSummary total = runs.first();
    for (qsizetype i = 1; i < runs.size(); ++i) {
        const RunSummary &run = runs.at(i);
        total.photosToRotate += run.photosToRotate;
        total.entriesSeen += run.entriesSeen;
        total.rotated += run.rotated;
        total.wouldRotate += run.wouldRotate;
        total.failed += run.failed;
        total.leftForLater += run.leftForLater;
        total.notRead += run.notRead;
        total.interrupted = total.interrupted || run.interrupted;
        total.dryRun = total.dryRun || run.dryRun;
        total.mostAtOnce = std::max(total.mostAtOnce, run.mostAtOnce);
        total.photosArriving << run.photosArriving;
        for (const QString &folder : run.trashFolders) {
            if (!total.trashFolders.contains(folder))
                total.trashFolders << folder;
        }
        total.elapsedMs += run.elapsedMs;
        total.endTime = run.endTime;
    }
    return total;
}

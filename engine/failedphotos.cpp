// The memory of photos whose rotation failed because of their content.
#include "engine/failedphotos.h"

namespace {
// A photo that failed is tried again once any of these changes.
QString failureKey(const FileStatus &photo) {
    return QStringLiteral("%1:%2:%3:%4.%5:%6")
        .arg(photo.key.device)
        .arg(photo.key.inode)
        .arg(photo.size)
        .arg(photo.modified.seconds)
        .arg(photo.modified.nanoseconds)
        .arg(photo.mode);
}
} // namespace

bool failureLiesInPhoto(const PhotoReason &reason) {
    switch (reason.kind) {
    case PhotoReason::Unreadable:
    case PhotoReason::TooLarge:
    case PhotoReason::ReadOnly: // its own mode: remembered with it
    case PhotoReason::PicturesUnreadable:
    case PhotoReason::DamagedImageData:
    case PhotoReason::NotLossless:
    case PhotoReason::ThumbnailNotPutBack:
    case PhotoReason::NotAssembled:
    case PhotoReason::OrientationNotReset:
    case PhotoReason::FinishedWrong:
        return true;
    case PhotoReason::JpegtranFailed:
        // Not a copy cut short (it may still be arriving), a full disk or a crash.
        return reason.jpegtran == JpegtranOutcome::Warning ||
               reason.jpegtran == JpegtranOutcome::NotPerfect ||
               reason.jpegtran == JpegtranOutcome::UnsupportedType ||
               reason.jpegtran == JpegtranOutcome::Failed;
    default:
        // Where the photo was, what else changed it, the tools, the disk, its folder, its owner
        // or links, a time limit that depends on the machine's load: another try may go well.
        return false;
    }
}

void FailedPhotos::noteFailure(const FileStatus &photo, const PhotoReason &reason) {
    if (failureLiesInPhoto(reason))
        keys.insert(failureKey(photo));
}

bool FailedPhotos::failedBefore(const FileStatus &photo) const {
    return keys.contains(failureKey(photo));
}

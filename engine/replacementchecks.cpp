// The checks before a photo is replaced.
#include "engine/replacementchecks.h"

#include "files/fileidentity.h"
#include "files/filestatus.h"
#include "jpeg/jpegstructure.h"

namespace {
constexpr uint anyWrite = 0222;

// The permission bits that apply to `user` for a file with this mode, owner and group: the
// owner's, the group's or the others', each as the three bits rwx.
uint bitsFor(const FileStatus &file, const UserIds &user) {
    if (file.owner == user.user)
        return (file.mode >> 6) & 7;
    if (user.groups.contains(file.group))
        return (file.mode >> 3) & 7;
    return file.mode & 7;
}

bool mayWrite(const FileStatus &file, const UserIds &user, uint needed) {
    if ((file.mode & anyWrite) == 0)
        return false;
    return user.user == 0 || (bitsFor(file, user) & needed) == needed;
}

PhotoReason reasonOf(PhotoReason::Kind kind) {
    PhotoReason reason;
    reason.kind = kind;
    return reason;
}
} // namespace

UserIds currentUser() {
    UserIds user;
    user.user = currentUserId();
    user.groups = currentGroups();
#ifdef Q_OS_WIN
    user.permissionBitsApply = false;
#endif
    return user;
}

PhotoReason replacementObstacle(const FileStatus &photo, const FileStatus &folder,
                                const UserIds &user) {
    constexpr uint write = 2;
    constexpr uint writeAndEnter = 3;
    if (user.permissionBitsApply && !mayWrite(photo, user, write))
        return reasonOf(PhotoReason::ReadOnly);
    if (user.permissionBitsApply && !mayWrite(folder, user, writeAndEnter))
        return reasonOf(PhotoReason::FolderReadOnly);
    PhotoReason reason;
    if (photo.links > 1) {
        reason.kind = PhotoReason::HardLinks;
        reason.count = int(photo.links);
    } else if (user.permissionBitsApply &&
               !mayGiveOwnershipAs(photo.owner, photo.group, user.user, user.groups)) {
        reason.kind = PhotoReason::OwnerNotGivable;
        reason.owner = ownerAndGroupText(photo.owner, photo.group);
    } else if (photo.size > maxJpegFileSize) {
        reason.kind = PhotoReason::TooLarge;
        reason.size = photo.size;
    }
    return reason;
}

// What stops a held photo from being replaced, found from what the system says about the photo
// and its folder before anything is read or made: a photo the user may not write or that is
// marked read-only, a folder that takes no new file, a photo with several names, an owner the
// user cannot give a new file, a file larger than any photo. Pure functions of the statuses and
// the user, so that every rule can be tried without the files.
#pragma once

#include <QList>

#include "engine/runevents.h"

struct FileStatus;

// Who is asking. Permission bits count even for root (who could write anyway): a photo without
// any write bit is one its owner marked read-only.
struct UserIds {
    uint user = 0;
    QList<uint> groups;
    bool permissionBitsApply = true; // false on Windows, where the bits say nothing
};
UserIds currentUser();

// The reason that leaves the photo, or kind None. The rotated photo is a new file that takes the
// photo's name by a rename, which must not get round a protection that writing into the photo
// would have met; it must get the photo's owner and group; and it would give only this one of
// several names the rotated photo.
PhotoReason replacementObstacle(const FileStatus &photo, const FileStatus &folder,
                                const UserIds &user);

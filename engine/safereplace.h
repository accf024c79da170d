// Replacing a photo without ever leaving it half-written: the new version is made in a temporary
// file beside the photo and takes the photo's place in one atomic rename. Plus the checks around
// it: is the photo writable, has it changed meanwhile, are its owner and attributes kept.
#pragma once

#include <QDateTime>
#include <QFileDevice>
#include <QString>

class QFileInfo;

// A name beside the photo for its rotated version: hidden on Unix, ending in ".tmp" so that no
// photo name filter ("*.jpg", "*.jpeg", "*.jfif", "*.jpe", any letter case) ever matches it, and
// unique. The photo's name is kept in it, shortened, so that a leftover file can be recognised.
QString siblingTempPath(const QString &photoPath);

// A name in the system's temporary folder: the application name without blanks, "_", a UUID
// and ".jpg", in native separators.
QString systemTempCopyPath(const QString &applicationName);

// What is compared to notice that a file was changed (or is still being written, or replaced by
// another file under its name). The change time moves with any write or attribute change, even
// one that sets the size and modification time back; device and inode tell another file apart.
struct FileState {
    bool exists = false;
    qint64 size = -1;
    QDateTime modified;
    QFileDevice::Permissions permissions;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 changeTimeNs = 0;

    bool operator==(const FileState &other) const;
    bool operator!=(const FileState &other) const { return !(*this == other); }
};
FileState fileStateOf(const QString &path);

// A photo Pivotta may replace: a file that the user may write and that is not marked read-only
// (the permission bits count even where the user could write anyway, as root can).
bool isWritablePhoto(const QFileInfo &photo);

// Whether new files can be made in a folder; a folder without any write permission bit counts as
// read-only even for a user who could write there anyway. On Windows the read-only attribute of a
// folder means something else, so only an actual attempt tells.
bool folderAcceptsNewFiles(const QString &folder);

// How replacing a photo by its rotated version ended.
enum class ReplaceResult {
    Replaced,
    PhotoChanged,    // the photo is not as it was when its rotation began: it stays as it is now
    IdentityNotKept, // its owner, group or an attribute could not be given to the new file
    Failed,          // writing, flushing or the rename failed
};

struct ReplaceOutcome {
    ReplaceResult result = ReplaceResult::Failed;
    QString errorText; // why, for any result but Replaced
};

// Puts `replacement` in the place of `photo` in one atomic rename (the photo is either the old
// or the new file at every moment; both must be in the same folder), and keeps the
// photo's identity: checks that the photo is still as `photoStateBefore` says, gives the
// replacement the photo's owner and group, extended attributes (ACLs among them) and permissions,
// flushes it to the disk, checks the photo's state once more immediately before the rename, and
// flushes the folder after it. The photo's hard links are the caller's matter: the rename gives
// only this name the new file. Windows uses ReplaceFileW, which keeps the photo's access list,
// attributes and streams (untested).
ReplaceOutcome replacePhotoKeepingIdentity(const QString &replacement, const QString &photo,
                                           const FileState &photoStateBefore);

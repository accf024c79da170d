// What makes a file this file, beyond its bytes: the device and inode that identify it, its
// change time, owner and group, extended attributes (ACLs among them) and number of names (hard
// links). Read and carried over by small platform functions; Qt has no way to reach them.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

struct FileIdentity {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 changeTimeNs = 0; // ctime: any change to the file's data or attributes moves it
    uint owner = 0;
    uint group = 0;
    quint64 linkCount = 0; // the file's names; more than 1 for a hard-linked photo
};

// The identity of the file at `path`, symbolic links followed.
FileIdentity fileIdentityOf(const QString &path);

// Whether a user with `userId` and the groups `groups` may give a file of theirs this owner and
// group: root may give any; any other user only their own user id and one of their groups.
bool mayGiveOwnershipAs(uint owner, uint group, uint userId, const QList<uint> &groups);
// The same for the running user.
bool mayGiveOwnership(uint owner, uint group);

// "alice:staff" (numbers where the system knows no name).
QString ownerAndGroupText(uint owner, uint group);

// Gives the file at `path` this owner and group where it has others. On failure `error` says why.
bool carryOwnership(const QString &path, uint owner, uint group, QString *error);

// Copies every extended attribute of `from` to `to`: the user's ("user.xdg.tags") and, on
// Linux, the ACLs, which are the attributes system.posix_acl_access and _default. On failure
// `error` names the attribute.
bool copyExtendedAttributes(const QString &from, const QString &to, QString *error);

// Writes the folder's entry changes (a rename into it) to the disk.
bool flushFolderToDisk(const QString &folder);

// What makes a file this file, beyond its bytes: the device and inode that identify it, its
// change time, owner and group and number of names (hard links), read by path for the scan; and
// who the running user is, for the rules on who may give a new file an owner. Small platform
// functions: Qt has no way to reach these.
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

// The running user and the groups it is in (its own first). Windows: 0 and none (untested).
uint currentUserId();
QList<uint> currentGroups();

// Whether a user with `userId` and the groups `groups` may give a file of theirs this owner and
// group: root may give any; any other user only their own user id and one of their groups.
bool mayGiveOwnershipAs(uint owner, uint group, uint userId, const QList<uint> &groups);

// "alice:staff" (numbers where the system knows no name).
QString ownerAndGroupText(uint owner, uint group);

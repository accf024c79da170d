// What the scan compares to notice that a photo changed between its examination and its
// rotation (or is still being written, or was replaced by another file under its name), read by
// path. The replacement itself is done through the held folder (files/heldtempfile.h).
#pragma once

#include <QDateTime>
#include <QFileDevice>
#include <QString>

// The change time moves with any write or attribute change, even one that sets the size and
// modification time back; device and inode tell another file apart.
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

// What the watcher remembers of one watched folder between two looks: its photos and its visible
// subfolders, each with the stamp that tells when it changed (file, size, modification time). A
// look compares the folder as it is now with what was remembered and names what is new or
// changed, so that a watcher run reads only that.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include "files/filestatus.h"

// One entry as it was looked at: device and inode, size and modification time.
struct EntryStamp {
    FileKey key;
    qint64 size = 0;
    FileTime modified;
    bool folder = false;

    bool operator==(const EntryStamp &other) const {
        return key == other.key && size == other.size && modified == other.modified &&
               folder == other.folder;
    }
    bool operator!=(const EntryStamp &other) const { return !(*this == other); }
};

// Entry name as the file system stores it → its stamp.
using FolderEntries = QHash<QByteArray, EntryStamp>;

// What one look found new or changed since the one before.
struct FolderChanges {
    QList<QByteArray> photos;  // new or changed photos
    QList<QByteArray> folders; // folders that were not there before

    bool isEmpty() const { return photos.isEmpty() && folders.isEmpty(); }
};

// The photos (regular files named like photos) and the subfolders of `folderPath` as they are
// now; hidden entries and links are left out, as a batch leaves them. False when the folder
// cannot be listed.
bool lookAtFolder(const QString &folderPath, FolderEntries *entries);

// The stamp of the one entry `name` in `folderPath`; false when it is no photo or folder now.
bool lookAtEntry(const QString &folderPath, const QByteArray &name, EntryStamp *stamp);

// Entries of `now` that `before` did not have or had with another stamp, sorted by name.
FolderChanges changesBetween(const FolderEntries &before, const FolderEntries &now);

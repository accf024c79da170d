// What a watcher run is to look at: within the watched folder, the folders that a change was
// noticed in and, in each, the entries that are new or changed since the watcher last looked.
// A run given candidates lists and reads nothing else of the tree.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

struct WatchCandidates {
    struct Folder {
        // Below the watched folder, the names as the file system stores them, joined by '/';
        // empty for the watched folder itself. Entered one name at a time, never through a link.
        QByteArray relativePath;
        // Names in that folder: a photo is examined, a folder is walked with everything in it
        // (a folder made while watching), anything else is passed over.
        QList<QByteArray> entries;
        // Every photo in the folder and in its subfolders, as a user batch would take them.
        bool wholeFolder = false;
    };

    QString watchedFolder;
    QList<Folder> folders;

    // The whole tree under `folder`.
    static WatchCandidates wholeTree(const QString &folder);
    bool isEmpty() const { return folders.isEmpty(); }
    // Adds what `more` names: a run that was postponed, or a recheck, looks at both.
    void add(const WatchCandidates &more);
};
Q_DECLARE_METATYPE(WatchCandidates)

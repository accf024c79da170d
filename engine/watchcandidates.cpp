// The candidates of a watcher run, and how two sets of them add up.
#include "engine/watchcandidates.h"

#include <algorithm>

namespace {
// Whether `path` is `folder` or lies below it.
bool isWithin(const QByteArray &path, const QByteArray &folder) {
    return folder.isEmpty() || path == folder || path.startsWith(folder + '/');
}
} // namespace

WatchCandidates WatchCandidates::wholeTree(const QString &folder) {
    WatchCandidates candidates;
    candidates.watchedFolder = folder;
    Folder whole;
    whole.wholeFolder = true;
    candidates.folders << whole;
    return candidates;
}

void WatchCandidates::add(const WatchCandidates &more) {
    if (watchedFolder != more.watchedFolder && !more.watchedFolder.isEmpty()) {
        // Another folder is watched now: what was noticed in the old one no longer counts.
        *this = more;
        return;
    }
    for (const Folder &added : more.folders) {
        const auto same = std::find_if(folders.begin(), folders.end(), [&](const Folder &folder) {
            return folder.relativePath == added.relativePath;
        });
        if (same == folders.end()) {
            folders << added;
            continue;
        }
        same->wholeFolder = same->wholeFolder || added.wholeFolder;
        for (const QByteArray &name : added.entries) {
            if (!same->entries.contains(name))
                same->entries << name;
        }
    }
    // A folder walked whole takes in every candidate below it.
    QList<QByteArray> wholePaths;
    for (const Folder &folder : std::as_const(folders)) {
        if (folder.wholeFolder)
            wholePaths << folder.relativePath;
    }
    for (const QByteArray &wholePath : std::as_const(wholePaths)) {
        folders.removeIf([&](const Folder &folder) {
            return folder.relativePath != wholePath && isWithin(folder.relativePath, wholePath);
        });
    }
}

// Looking at one watched folder, and what changed between two looks.
#include "watcher/folderentries.h"

#include <algorithm>

#include "engine/photonames.h"
#include "files/fileproblem.h"
#include "files/folderwalk.h"
#include "files/heldfolder.h"

namespace {
const PhotoNamePatterns &photoPatterns() {
    static const PhotoNamePatterns patterns(photoNameFilters());
    return patterns;
}

bool isWatchedKind(const FolderEntry &entry) {
    if (entry.name.startsWith('.'))
        return false;
    return entry.type == FileStatus::Type::Folder || (entry.type == FileStatus::Type::RegularFile &&
                                                      photoPatterns().matches(entry.displayName));
}

bool stampIn(const HeldFolder &folder, const QByteArray &name, EntryStamp *stamp) {
    FileStatus status;
    if (!folder.statusOf(name, &status, nullptr))
        return false;
    if (!status.isFolder() && !status.isRegularFile())
        return false;
    stamp->key = status.key;
    stamp->folder = status.isFolder();
    // A folder's own size and time change with every entry in it: only its being there counts.
    stamp->size = stamp->folder ? 0 : status.size;
    stamp->modified = stamp->folder ? FileTime() : status.modified;
    return true;
}
} // namespace

bool lookAtFolder(const QString &folderPath, FolderEntries *entries) {
    entries->clear();
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, &problem);
    if (!folder)
        return false;
    QList<FolderEntry> listed;
    QList<FileProblem> problems;
    if (!folder->list(&listed, &problems))
        return false;
    for (const FolderEntry &entry : std::as_const(listed)) {
        if (!isWatchedKind(entry))
            continue;
        EntryStamp stamp;
        if (stampIn(*folder, entry.name, &stamp))
            entries->insert(entry.name, stamp);
    }
    return true;
}

bool lookAtEntry(const QString &folderPath, const QByteArray &name, EntryStamp *stamp) {
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, &problem);
    return folder && !name.startsWith('.') && stampIn(*folder, name, stamp);
}

FolderChanges changesBetween(const FolderEntries &before, const FolderEntries &now) {
    FolderChanges changes;
    for (auto entry = now.cbegin(); entry != now.cend(); ++entry) {
        const auto earlier = before.constFind(entry.key());
        const bool isNew = earlier == before.cend() || earlier->folder != entry->folder;
        if (!isNew && *earlier == *entry)
            continue;
        // A folder made again under the same name is another folder: new too.
        if (entry->folder)
            changes.folders << entry.key();
        else
            changes.photos << entry.key();
    }
    std::sort(changes.photos.begin(), changes.photos.end());
    std::sort(changes.folders.begin(), changes.folders.end());
    return changes;
}

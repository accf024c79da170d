// A held tree: the root, a few recent folders, and folders opened again from above.
#include "files/foldertree.h"

#include <vector>

#include "files/fileproblem.h"
#include "files/heldfolder.h"

std::unique_ptr<FolderTree> FolderTree::open(const QString &rootPath, FileProblem *problem,
                                             int openFolders) {
    std::shared_ptr<HeldFolder> root = HeldFolder::openRoot(rootPath, problem);
    if (!root)
        return nullptr;
    return std::unique_ptr<FolderTree>(new FolderTree(std::move(root), openFolders));
}

FolderTree::FolderTree(std::shared_ptr<HeldFolder> root, int openFolders)
    : rootFolder(std::move(root))
    , capacity(qMax(0, openFolders)) {}

std::shared_ptr<HeldFolder> FolderTree::enter(const std::shared_ptr<const FolderPlace> &parent,
                                              const QByteArray &name, FileProblem *problem) {
    const std::shared_ptr<HeldFolder> parentFolder = folder(parent, problem);
    if (!parentFolder)
        return nullptr;
    std::shared_ptr<HeldFolder> entered = HeldFolder::openSubfolder(*parentFolder, name, problem);
    if (entered)
        remember(entered);
    return entered;
}

std::shared_ptr<HeldFolder> FolderTree::folder(const std::shared_ptr<const FolderPlace> &place,
                                               FileProblem *problem) {
    // The places from `place` up to the nearest folder that is open.
    std::vector<std::shared_ptr<const FolderPlace>> below;
    std::shared_ptr<HeldFolder> open;
    for (std::shared_ptr<const FolderPlace> at = place; !open; at = at->parent) {
        if (at.get() == rootFolder->place().get() || !at->parent)
            open = rootFolder;
        else if ((open = recentFolder(at.get())) == nullptr)
            below.push_back(at);
    }
    if (open != rootFolder && below.empty())
        remember(open); // used again: the most recent now
    for (auto at = below.rbegin(); at != below.rend(); ++at) {
        open = HeldFolder::reopen(*open, *at, problem);
        if (!open)
            return nullptr;
        remember(open);
    }
    return open;
}

std::shared_ptr<HeldFolder> FolderTree::recentFolder(const FolderPlace *place) {
    for (const std::shared_ptr<HeldFolder> &folder : std::as_const(recent)) {
        if (folder->place().get() == place)
            return folder;
    }
    return nullptr;
}

void FolderTree::remember(const std::shared_ptr<HeldFolder> &folder) {
    recent.removeOne(folder);
    if (capacity == 0)
        return;
    recent.prepend(folder);
    while (recent.size() > capacity)
        recent.removeLast();
}

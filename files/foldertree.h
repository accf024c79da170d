// A tree of folders held from its root. Listing a big tree must not keep a descriptor open for
// each of its folders, so the tree keeps the root and a few recently used folders open and opens
// any other folder again when it is needed: from the nearest open folder above it, one name at a
// time, never following a symbolic link, and checking that each folder is still the one that
// was listed (device and inode). A folder swapped meanwhile for a link or for another folder is
// not entered, and the problem says so.
//
// Used from one thread; the held folders it gives out may be used from any thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

struct FileProblem;
struct FolderPlace;
class HeldFolder;

class FolderTree {
public:
    static constexpr int defaultOpenFolders = 8;

    // The tree under the folder the user chose. Null, with the problem, when it cannot be opened.
    static std::unique_ptr<FolderTree> open(const QString &rootPath, FileProblem *problem,
                                            int openFolders = defaultOpenFolders);

    const std::shared_ptr<HeldFolder> &root() const { return rootFolder; }

    // A subfolder found by listing `parent`, opened and kept among the recent ones.
    std::shared_ptr<HeldFolder> enter(const std::shared_ptr<const FolderPlace> &parent,
                                      const QByteArray &name, FileProblem *problem);
    // The folder at `place`, as it was when it was entered.
    std::shared_ptr<HeldFolder> folder(const std::shared_ptr<const FolderPlace> &place,
                                       FileProblem *problem);

    // How many folders the tree holds open now, the root included.
    int openFolderCount() const { return int(recent.size()) + 1; }

private:
    FolderTree(std::shared_ptr<HeldFolder> root, int openFolders);
    std::shared_ptr<HeldFolder> recentFolder(const FolderPlace *place);
    void remember(const std::shared_ptr<HeldFolder> &folder);

    std::shared_ptr<HeldFolder> rootFolder;
    QList<std::shared_ptr<HeldFolder>> recent; // the most recently used first
    int capacity;
};

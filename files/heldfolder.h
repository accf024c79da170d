// Folders held by descriptor. The root of a tree is opened from the path the user chose (a
// symbolic link there is followed: the user chose it); every folder below it is opened relative
// to its parent's descriptor without following symbolic links, so that nothing outside the tree
// is ever entered, whatever happens to the tree meanwhile. Paths are only ever shown, never
// opened, so a tree deeper than the system's path limit works like any other.
//
// Windows keeps path-based code here (untested): a held folder is its path.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

#include "files/descriptor.h"
#include "files/filestatus.h"

struct FileProblem;

// A folder's place in its tree: its name in its parent and what it was when it was opened, so
// that it can be found again later and recognised.
struct FolderPlace {
    std::shared_ptr<const FolderPlace> parent; // null for the root
    QByteArray name;                           // native name in the parent; empty for the root
    FileKey key;
    QByteArray nativePath; // absolute, in the file system's bytes: for text, never opened
    QString displayPath;   // for messages
    int depth = 0;         // 0 for the root

    bool isRoot() const { return !parent; }
    // Whether `folder` is this folder or one of its parents.
    bool isOrIsWithin(const FileKey &folder) const;
};

// An entry of a listed folder, with the name as the file system stores it (any bytes but '/' and
// NUL) and as it is shown (bytes that are no valid text become replacement characters).
struct FolderEntry {
    QByteArray name;
    QString displayName;
    FileStatus::Type type = FileStatus::Type::Other; // symbolic links not followed
};

// The name as it is shown.
QString displayNameOf(const QByteArray &nativeName);

class HeldFolder {
public:
    ~HeldFolder();
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;

    // The root, opened from the user's path.
    static std::shared_ptr<HeldFolder> openRoot(const QString &path, FileProblem *problem);
    // A subfolder listed in `parent`. A symbolic link is not entered (SymbolicLink), nor a folder
    // that is one of its own parents (FolderLoop).
    static std::shared_ptr<HeldFolder> openSubfolder(const HeldFolder &parent,
                                                     const QByteArray &name, FileProblem *problem);
    // The subfolder of `parent` at `place`, opened again: it must still be the folder it was
    // (Replaced otherwise).
    static std::shared_ptr<HeldFolder> reopen(const HeldFolder &parent,
                                              const std::shared_ptr<const FolderPlace> &place,
                                              FileProblem *problem);

    // The folder above `folder`, held as a root of its own (its place knows no parent): for
    // finding the top of a file system.
    static std::shared_ptr<HeldFolder> openAbove(const HeldFolder &folder, FileProblem *problem);

    // -1 on Windows.
    int descriptor() const { return fd.get(); }
    const std::shared_ptr<const FolderPlace> &place() const { return folderPlace; }
    FileKey key() const { return folderPlace->key; }
    QString displayPath() const { return folderPlace->displayPath; }
    QString displayPathOf(const QByteArray &name) const;
    QByteArray nativePathOf(const QByteArray &name) const;

    // The entries but "." and "..", sorted by their native names. False when the folder cannot
    // be listed; entries that cannot be told apart add problems of their own.
    bool list(QList<FolderEntry> *entries, QList<FileProblem> *problems) const;
    // The entry `name` itself, a symbolic link not followed.
    bool statusOf(const QByteArray &name, FileStatus *status, FileProblem *problem) const;
    bool status(FileStatus *status, FileProblem *problem) const;
    Protection protection() const;
    // Writes the folder's entry changes (a rename into it) to the disk.
    bool flush(FileProblem *problem) const;

    // A path by which a tool started by this process reaches `name` in this folder, resolved
    // through this process's descriptor (Linux: "/proc/<pid>/fd/<folder>/<name>"; a tool's own
    // /proc/self is the tool's). Exact only for names that are valid text; the temporary files
    // of this layer always are.
    QString toolPathOf(const QByteArray &name) const;

private:
    HeldFolder(Descriptor descriptor, std::shared_ptr<const FolderPlace> place);

    Descriptor fd;
    std::shared_ptr<const FolderPlace> folderPlace;
};

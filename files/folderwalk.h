// A walk over a held tree that gives, folder by folder, the photos in it and the problems met:
// photos are regular files whose names match the photo name patterns in any letter case;
// folders, even those named like photos, are walked; symbolic links are neither followed nor
// entered; hidden entries (names starting with a dot: thumbnails, the trash at the top of a disk,
// Pivotta's own temporary files) are passed over. Every folder that cannot be opened or listed is a
// problem, never skipped in silence. The order is stable: a folder's photos by name, then its
// subfolders by name, each before the next (names compared as stored).
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <memory>
#include <vector>

#include "files/fileproblem.h"
#include "files/heldfolder.h"

class FolderTree;

// Name patterns such as "*.jpg", matched in any letter case against the name as it is shown (a
// name that is no valid text still ends in ".jpg" there).
class PhotoNamePatterns {
public:
    explicit PhotoNamePatterns(const QStringList &patterns);
    bool matches(const QString &displayName) const;

private:
    QStringList suffixes; // "*.jpg" and the like: compared as such, the quickest way
    QList<QRegularExpression> expressions;
};

struct WalkedFolder {
    std::shared_ptr<const FolderPlace> place; // null when the folder could not be entered
    QList<FolderEntry> photos;
    QList<FolderEntry> notPhotos; // named like photos but no regular files (links, FIFOs)
    QList<FileProblem> problems;
    // A hidden entry has the name of one of Pivotta's temporary files (tempNameFor): perhaps
    // one left by a Pivotta that was killed.
    bool holdsTempFiles = false;
};

class FolderWalk {
public:
    // Walks from `start`, a folder of `tree` (its root when null), down.
    FolderWalk(FolderTree &tree, const QStringList &photoPatterns,
               std::shared_ptr<HeldFolder> start = nullptr);

    bool atEnd() const { return rootListed && pending.empty(); }
    // Lists the next folder.
    WalkedFolder next();

private:
    struct Pending {
        std::shared_ptr<const FolderPlace> parent;
        QByteArray name;
    };
    WalkedFolder listFolder(const HeldFolder &folder);

    FolderTree &tree;
    PhotoNamePatterns patterns;
    std::shared_ptr<HeldFolder> startFolder;
    bool rootListed = false;
    std::vector<Pending> pending; // a stack: the next folder last
};

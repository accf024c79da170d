// Listing the photos of a scan through held folders, on a worker thread: a whole tree, or the
// candidates of a watcher run. Folders are entered without following links; every folder or
// entry that cannot be listed, entered or looked at is a problem that is told, never skipped in
// silence. Stale temporary files in the folders that hold photos go on the way when asked (a
// real run; a dry run changes nothing). What is found is handed over in chunks, a few times a
// second, so that a large tree shows its count while it is listed; the entries are kept small,
// folder by folder, with nothing per photo but its name.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "engine/runevents.h"
#include "engine/watchcandidates.h"
#include "files/folderwalk.h"

class FolderTree;
class HeldFolder;
struct FileProblem;

struct ListedEntry {
    QByteArray name;
    bool notPhoto = false; // named like a photo, but a link or no regular file
};

// A folder's entries in scan order (by name).
struct ListedFolder {
    std::shared_ptr<const FolderPlace> place;
    std::vector<ListedEntry> entries;
};

struct ListingChunk {
    std::vector<ListedFolder> folders;
    QList<RunEvent> events; // folders and entries not read, leftovers removed
    int found = 0;          // entries found so far, this chunk's included
    bool done = false;
    std::shared_ptr<FolderTree> tree; // with the last chunk: the tree the entries are in
};

class PhotoListing {
public:
    using Deliver = std::function<void(ListingChunk)>;

    // Lists `candidates` (a whole tree is one candidate) under their watched folder;
    // `removeStaleTempFiles` for real runs. `cancel` stops the listing between two folders.
    PhotoListing(WatchCandidates candidates, bool removeStaleTempFiles,
                 std::shared_ptr<std::atomic<bool>> cancel, Deliver deliver);

    // Lists everything, delivering chunks as it goes and a last one with `done`.
    void run();

private:
    void listCandidate(const WatchCandidates::Folder &candidate);
    std::shared_ptr<HeldFolder> enterRelative(const QByteArray &relativePath);
    void walkFrom(const std::shared_ptr<HeldFolder> &start);
    void takeWalked(const WalkedFolder &walked);
    void takeEntries(const std::shared_ptr<HeldFolder> &folder, const QList<QByteArray> &names);
    void addFolder(const std::shared_ptr<HeldFolder> &folder, std::vector<ListedEntry> entries,
                   bool mayHoldTempFiles);
    void tellProblem(const FileProblem &problem);
    void deliverIfDue(bool done);

    WatchCandidates candidates;
    bool removeStale;
    std::shared_ptr<std::atomic<bool>> cancel;
    Deliver deliver;
    PhotoNamePatterns patterns;
    std::shared_ptr<FolderTree> tree;
    ListingChunk chunk;
    int found = 0;
    QElapsedTimer sinceDelivery;
};

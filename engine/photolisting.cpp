// Listing a scan's photos through held folders, in chunks.
#include "engine/photolisting.h"

#include <algorithm>

#include "common/debuglog.h"
#include "engine/photonames.h"
#include "files/fileproblem.h"
#include "files/foldertree.h"
#include "files/heldfolder.h"
#include "files/heldtempfile.h"

namespace {
// Found entries are handed over at most this often while the listing goes on.
constexpr qint64 deliveryIntervalMs = 100;

RunEvent notReadEvent(RunEvent::Kind kind, const FileProblem &problem) {
    RunEvent event;
    event.kind = kind;
    event.folder = problem.path;
    event.path = problem.path;
    event.reason = problem.reason;
    return event;
}

// A folder's photos and the entries named like photos that are none, in one list by name.
std::vector<ListedEntry> entriesOf(const WalkedFolder &walked) {
    std::vector<ListedEntry> entries;
    entries.reserve(size_t(walked.photos.size() + walked.notPhotos.size()));
    for (const FolderEntry &photo : walked.photos)
        entries.push_back({photo.name, false});
    for (const FolderEntry &other : walked.notPhotos)
        entries.push_back({other.name, true});
    std::sort(entries.begin(), entries.end(),
              [](const ListedEntry &a, const ListedEntry &b) { return a.name < b.name; });
    return entries;
}
} // namespace

PhotoListing::PhotoListing(WatchCandidates listed, bool removeStaleTempFiles,
                           std::shared_ptr<std::atomic<bool>> cancelled, Deliver deliverChunk)
    : candidates(std::move(listed))
    , removeStale(removeStaleTempFiles)
    , cancel(std::move(cancelled))
    , deliver(std::move(deliverChunk))
    , patterns(photoNameFilters()) {}

void PhotoListing::run() {
    sinceDelivery.start();
    FileProblem problem;
    tree = FolderTree::open(candidates.watchedFolder, &problem);
    if (!tree) {
        RunEvent notOpened = notReadEvent(RunEvent::FolderNotOpened, problem);
        notOpened.folder = candidates.watchedFolder;
        chunk.events << notOpened;
    } else {
        for (const WatchCandidates::Folder &candidate : std::as_const(candidates.folders)) {
            if (*cancel)
                break;
            listCandidate(candidate);
        }
    }
    deliverIfDue(true);
}

void PhotoListing::listCandidate(const WatchCandidates::Folder &candidate) {
    const std::shared_ptr<HeldFolder> folder = enterRelative(candidate.relativePath);
    if (!folder)
        return;
    if (candidate.wholeFolder)
        walkFrom(folder);
    else
        takeEntries(folder, candidate.entries);
}

// One name at a time from the root, never through a link.
std::shared_ptr<HeldFolder> PhotoListing::enterRelative(const QByteArray &relativePath) {
    std::shared_ptr<HeldFolder> folder = tree->root();
    for (const QByteArray &name : relativePath.split('/')) {
        if (name.isEmpty() || name == ".")
            continue;
        FileProblem problem;
        folder = name == ".." ? nullptr : tree->enter(folder->place(), name, &problem);
        if (!folder) {
            if (problem.isProblem())
                tellProblem(problem);
            return nullptr;
        }
    }
    return folder;
}

void PhotoListing::walkFrom(const std::shared_ptr<HeldFolder> &start) {
    FolderWalk walk(*tree, photoNameFilters(), start);
    while (!walk.atEnd() && !*cancel)
        takeWalked(walk.next());
}

void PhotoListing::takeWalked(const WalkedFolder &walked) {
    for (const FileProblem &problem : walked.problems)
        tellProblem(problem);
    if (!walked.place)
        return;
    std::vector<ListedEntry> entries = entriesOf(walked);
    if (entries.empty())
        return;
    // Just listed, so still open in the tree.
    const std::shared_ptr<HeldFolder> folder = tree->folder(walked.place, nullptr);
    if (folder)
        addFolder(folder, std::move(entries), walked.holdsTempFiles);
}

// The candidates named in one folder: photos, and folders (made while watching) walked whole.
void PhotoListing::takeEntries(const std::shared_ptr<HeldFolder> &folder,
                               const QList<QByteArray> &names) {
    QList<QByteArray> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<ListedEntry> entries;
    QList<QByteArray> subfolders;
    for (const QByteArray &name : std::as_const(sorted)) {
        if (name.isEmpty() || name.startsWith('.') || name.contains('/'))
            continue;
        FileStatus status;
        FileProblem problem;
        if (!folder->statusOf(name, &status, &problem)) {
            if (problem.kind != FileProblem::Kind::NotFound) // gone since: nothing to say
                tellProblem(problem);
            continue;
        }
        if (status.isFolder())
            subfolders << name;
        else if (patterns.matches(displayNameOf(name)))
            entries.push_back({name, !status.isRegularFile()});
    }
    addFolder(folder, std::move(entries), true);
    for (const QByteArray &name : std::as_const(subfolders)) {
        FileProblem problem;
        const std::shared_ptr<HeldFolder> subfolder = tree->enter(folder->place(), name, &problem);
        if (subfolder)
            walkFrom(subfolder);
        else
            tellProblem(problem);
    }
}

// `mayHoldTempFiles`: the folder's listing saw a temporary file's name, or was not looked at.
void PhotoListing::addFolder(const std::shared_ptr<HeldFolder> &folder,
                             std::vector<ListedEntry> entries, bool mayHoldTempFiles) {
    if (entries.empty())
        return;
    if (removeStale && mayHoldTempFiles) {
        QList<FileProblem> problems;
        const QStringList removed = removeStaleTempFilesIn(*folder, &problems);
        for (const FileProblem &problem : std::as_const(problems))
            tellProblem(problem);
        if (!removed.isEmpty()) {
            qCDebug(lcPivotta) << "removed leftover temporary files" << removed;
            RunEvent event;
            event.kind = RunEvent::LeftoversRemoved;
            event.folder = folder->displayPath();
            event.count = int(removed.size());
            chunk.events << event;
        }
    }
    found += int(entries.size());
    chunk.folders.push_back({folder->place(), std::move(entries)});
    deliverIfDue(false);
}

void PhotoListing::tellProblem(const FileProblem &problem) {
    qCDebug(lcPivotta) << "not read:" << problem.text();
    chunk.events << notReadEvent(RunEvent::EntryNotRead, problem);
    deliverIfDue(false);
}

void PhotoListing::deliverIfDue(bool done) {
    if (!done && sinceDelivery.elapsed() < deliveryIntervalMs)
        return;
    sinceDelivery.restart();
    chunk.found = found;
    chunk.done = done;
    if (done)
        chunk.tree = tree;
    deliver(std::exchange(chunk, ListingChunk()));
}

// A scan: the listing and the reads on worker threads, the photos handed on in scan order.
#include "engine/photoscan.h"

#include <QPointer>
#include <QtGlobal>

#include <mutex>
#include <utility>

#include "engine/scanworkers.h"
#include "files/descriptorbudget.h"
#include "files/fileproblem.h"
#include "files/foldertree.h"
#include "files/heldfolder.h"

namespace {
// Photos handed to the workers ahead of those being read, for each read in flight: the workers
// go from one to the next without waiting for the event loop to hand them more.
constexpr int queuedPerRead = 3;
// A read holds its photo open; so may each photo handed out ahead and not yet taken.
constexpr int descriptorsPerRead = 1 + queuedPerRead;
} // namespace

struct PhotoScan::Inbox {
    std::mutex mutex;
    std::vector<std::pair<qint64, ExaminedPhoto>> photos; // with their sequence numbers
};

int readsInFlightFor(qint64 freeDescriptors, int photosInWork) {
    const qint64 left =
        freeDescriptors - descriptorsReserved - qint64(photosInWork) * descriptorsPerPhotoInWork;
    return int(qBound(qint64(1), left / descriptorsPerRead, qint64(maxReadsInFlight)));
}

int readsInFlightNow(int photosInWork) {
    const qint64 limit = descriptorLimit();
    const qint64 open = openDescriptorCount();
    if (limit < 0 || open < 0)
        return maxReadsInFlight;
    return readsInFlightFor(limit - open, photosInWork);
}

PhotoScan::PhotoScan(ScanWorkers &scanWorkers, const WatchCandidates &scanned,
                     const Options &scanOptions)
    : workers(scanWorkers)
    , options(scanOptions)
    , candidates(scanned)
    , cancel(std::make_shared<std::atomic<bool>>(false))
    , inbox(std::make_shared<Inbox>()) {}

PhotoScan::PhotoScan(ScanWorkers &scanWorkers, const QString &path, const Options &scanOptions)
    : workers(scanWorkers)
    , options(scanOptions)
    , single(true)
    , chosenPath(path)
    , cancel(std::make_shared<std::atomic<bool>>(false))
    , inbox(std::make_shared<Inbox>()) {}

PhotoScan::~PhotoScan() {
    // What is still to be listed or read for this scan is left; nothing reaches it any more.
    *cancel = true;
}

void PhotoScan::start() {
    if (single) {
        found = 1;
        emit listed(found);
        readAhead();
        return;
    }
    startListing();
}

// The listing runs on a worker; what it finds arrives here a chunk at a time.
void PhotoScan::startListing() {
    listing = true;
    workers.start([scanned = candidates, removeStale = options.removeStaleTempFiles,
                   cancelled = cancel,
                   scan = QPointer<PhotoScan>(this)](const ScanWorkers::Post &post) {
        const auto deliver = [scan, &post](ListingChunk chunk) {
            auto delivered = std::make_shared<ListingChunk>(std::move(chunk));
            post([scan, delivered] {
                if (scan)
                    scan->receive(std::move(*delivered));
            });
        };
        PhotoListing(scanned, removeStale, cancelled, deliver).run();
    });
}

void PhotoScan::stop() {
    stopped = true;
    *cancel = true;
}

void PhotoScan::receive(ListingChunk chunk) {
    for (const RunEvent &event : std::as_const(chunk.events))
        emit listingEvent(event);
    for (ListedFolder &folder : chunk.folders)
        folders.push_back(std::move(folder));
    found = chunk.found;
    if (!chunk.done) {
        emit listingProgress(found);
        return;
    }
    listing = false;
    tree = std::move(chunk.tree);
    emit listed(found);
    readAhead();
    emit examinedReady();
}

ExaminedPhoto PhotoScan::takeExamined() {
    ExaminedPhoto photo = std::move(window.front().photo);
    window.pop_front();
    ++taken;
    readAhead();
    return photo;
}

bool PhotoScan::isDone() const {
    if (listing || inFlight > 0)
        return false;
    if (stopped)
        return true;
    return !moreToRead() && window.empty();
}

bool PhotoScan::moreToRead() const {
    if (single)
        return taken + qint64(window.size()) == 0;
    return nextFolder < folders.size();
}

void PhotoScan::readAhead() {
    const size_t windowAllowed = size_t(qMax(1, options.readsInFlight) * (1 + queuedPerRead));
    while (!stopped && !listing && moreToRead() && window.size() < windowAllowed)
        readNext();
}

void PhotoScan::readNext() {
    const qint64 sequence = taken + qint64(window.size());
    window.emplace_back();
    ExamineOptions examine = options.examine;
    if (single) {
        read(sequence, [path = chosenPath, examine] { return examineChosen(path, examine); });
        return;
    }
    ListedFolder &folder = folders[nextFolder];
    const ListedEntry entry = std::move(folder.entries[nextEntry]);
    const std::shared_ptr<const FolderPlace> place = folder.place;
    if (++nextEntry >= folder.entries.size()) {
        // Done with this folder: its names go.
        folder = ListedFolder();
        ++nextFolder;
        nextEntry = 0;
    }
    FileProblem problem;
    const std::shared_ptr<HeldFolder> held = folderOf(place, &problem);
    if (!held) {
        Examination &notOpened = window.back();
        notOpened.done = true;
        notOpened.photo.path = place->displayPath + '/' + displayNameOf(entry.name);
        notOpened.photo.problem = problem;
        notOpened.photo.notPhoto = entry.notPhoto;
        return;
    }
    read(sequence, [held, name = entry.name, notPhoto = entry.notPhoto, examine] {
        ExaminedPhoto photo = examineListed(held, name, examine);
        photo.notPhoto = notPhoto;
        return photo;
    });
}

// Runs `examine` on a worker. Its photo goes into the inbox; the read that finds the inbox empty
// asks the event loop to take in everything there, so that a burst of reads costs one visit.
void PhotoScan::read(qint64 sequence, std::function<ExaminedPhoto()> examine) {
    ++inFlight;
    // The scan is asked for only on the event loop, where it is deleted.
    workers.start([box = inbox, cancelled = cancel, sequence, examine = std::move(examine),
                   scan = QPointer<PhotoScan>(this)](const ScanWorkers::Post &post) {
        // A stopped scan's photos are not read, but still answered for: the scan counts its reads
        // under way.
        ExaminedPhoto photo = *cancelled ? ExaminedPhoto() : examine();
        bool first = false;
        {
            const std::lock_guard<std::mutex> lock(box->mutex);
            first = box->photos.empty();
            box->photos.emplace_back(sequence, std::move(photo));
        }
        if (first)
            post([scan] {
                if (scan)
                    scan->takeInbox();
            });
    });
}

// The folder a listed photo is in, opened again from the tree if need be: still the folder that
// was listed, or not at all.
std::shared_ptr<HeldFolder> PhotoScan::folderOf(const std::shared_ptr<const FolderPlace> &place,
                                                FileProblem *problem) {
    if (place != lastPlace) {
        lastPlace = place;
        lastProblem = FileProblem();
        lastFolder = tree->folder(place, &lastProblem);
    }
    *problem = lastProblem;
    return lastFolder;
}

void PhotoScan::takeInbox() {
    std::vector<std::pair<qint64, ExaminedPhoto>> arrived;
    {
        const std::lock_guard<std::mutex> lock(inbox->mutex);
        arrived.swap(inbox->photos);
    }
    for (auto &[sequence, photo] : arrived) {
        --inFlight;
        const qint64 index = sequence - taken;
        if (index >= 0 && index < qint64(window.size())) {
            window[size_t(index)].photo = std::move(photo);
            window[size_t(index)].done = true;
        }
    }
    readAhead();
    emit examinedReady();
}

// One scan of a run: which photos there are and what each asks for. The photos of a folder tree
// (or a watcher run's candidates, or the one photo of a single-photo run) are listed on a worker
// thread; then each is opened relative to its held folder and its orientation read through the
// open descriptor, several at a time on worker threads, and handed on in scan order, a photo that
// needs a turn still open. The event loop never waits on the disk: listing and reading report
// back through it. What is kept per photo is its name, folder by folder, until it is examined.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "engine/examinedphoto.h"
#include "engine/photolisting.h"
#include "engine/runevents.h"
#include "engine/watchcandidates.h"

class FolderTree;
class HeldFolder;
class ScanWorkers;

// Reads in flight at most: enough to keep a disk's queue or a network share busy.
constexpr int maxReadsInFlight = 16;
// How many reads can be in flight with `freeDescriptors` free and `photosInWork` photos in work
// beside them: each read holds its photo open, and so may each photo handed out ahead of it and
// not yet taken. Never less than one.
int readsInFlightFor(qint64 freeDescriptors, int photosInWork);
// The same with this process's numbers now.
int readsInFlightNow(int photosInWork);

class PhotoScan : public QObject {
    Q_OBJECT

public:
    struct Options {
        ExamineOptions examine;
        bool removeStaleTempFiles = false; // a real run's cleanup on the way
        int readsInFlight = maxReadsInFlight;
    };

    // The photos that `candidates` name (a whole tree is one candidate), listed and read on
    // `workers`, which outlive the scan.
    PhotoScan(ScanWorkers &workers, const WatchCandidates &candidates, const Options &options);
    // The one photo at `path`, as the user named it.
    PhotoScan(ScanWorkers &workers, const QString &path, const Options &options);
    ~PhotoScan() override;

    // Lists, then reads ahead. listed() says when the listing is over.
    void start();
    // Lists and reads no further; what is under way ends by itself.
    void stop();

    bool isListing() const { return listing; }
    // The photos listed so far.
    int listedCount() const { return found; }
    // Whether the next photo in scan order has been examined.
    bool hasExamined() const { return !window.empty() && window.front().done; }
    ExaminedPhoto takeExamined();
    // Nothing under way, and every photo taken (or stopped).
    bool isDone() const;

signals:
    // The count of photos found so far, a few times a second while the listing goes on.
    void listingProgress(int found);
    // A folder or entry not read, leftovers removed.
    void listingEvent(const RunEvent &event);
    void listed(int count);
    // The next photo in scan order may have been examined, or the scan may be done.
    void examinedReady();

private:
    struct Examination {
        bool done = false;
        ExaminedPhoto photo;
    };
    struct Inbox;

    void startListing();
    void receive(ListingChunk chunk);
    bool moreToRead() const;
    void readAhead();
    void readNext();
    std::shared_ptr<HeldFolder> folderOf(const std::shared_ptr<const FolderPlace> &place,
                                         FileProblem *problem);
    void read(qint64 sequence, std::function<ExaminedPhoto()> examine);
    void takeInbox();

    ScanWorkers &workers;
    const Options options;
    WatchCandidates candidates;
    const bool single = false; // one photo, named by the user: no listing
    QString chosenPath;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::shared_ptr<FolderTree> tree;
    std::vector<ListedFolder> folders;
    bool listing = false;
    bool stopped = false;
    int found = 0;
    size_t nextFolder = 0; // the next photo to read: its folder and its place there
    size_t nextEntry = 0;
    std::deque<Examination> window; // read or being read, in scan order, not yet taken
    qint64 taken = 0;               // the sequence number of the window's first
    int inFlight = 0;
    std::shared_ptr<Inbox> inbox; // photos read on the workers, not yet taken in here
    // The folder last resolved, so that a folder that cannot be opened is tried once.
    std::shared_ptr<const FolderPlace> lastPlace;
    std::shared_ptr<HeldFolder> lastFolder;
    FileProblem lastProblem;
};

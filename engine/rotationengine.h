// The rotation engine: rotates every photo of a folder tree that does not stand upright, or one
// photo, with no window involved. Several photos are turned side by side, each by its own chain
// of tool runs (PhotoRotation); what each photo has to tell is released in the order the scan
// found the photos. The engine reports through signals only, and only facts: the run's events,
// each photo's steps and outcome, progress, and the end of every run with its counts.
// presentation/ words them.
//
// The rules for runs that meet:
// - One run at a time. A user batch or a single-photo rotation asked for while anything is being
//   rotated is refused.
// - A watcher run asked for during a user batch or a single-photo rotation is postponed: it
//   follows once that is over.
// - A watcher run asked for during a watcher run only notes that more files are waiting; the
//   running one scans again when it is done, for as long as new requests come in.
// - Photos that made their rotation fail themselves (their content, size or read-only mode) are
//   passed by, with a word, by watcher runs until they change; a failure that lay elsewhere
//   (renamed or changed meanwhile, a tool that did not start, the disk) is not held against the
//   photo.
// - Watcher runs leave photos that may still be being copied in; the run's summary lists them
//   so that the watcher can look at them again once they have settled. A photo that a program
//   has open for writing is told as left when it is first found so.
// - Photos left for a later run (still being written, changed meanwhile, in use by another
//   program) are counted in the summary apart from the failures.
// - Stop ends the run within moments: the running tools are killed with everything they
//   started, every photo is left whole, temporary files go, and no follow-up run is started.
//
// A scan (PhotoScan) lists the photos through held folders and reads their orientation on worker
// threads, a few at a time; the engine takes them in scan order and decides. Every photo or
// folder that cannot be read is told, with the system's reason.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

#include "engine/examinedphoto.h"
#include "engine/failedphotos.h"
#include "engine/orderedrelease.h"
#include "engine/runevents.h"
#include "engine/watchcandidates.h"
#include "jpeg/turn.h"

class PhotoRotation;
class PhotoScan;
class ScanWorkers;
class QFileInfo;
struct PhotoRotationOutcome;

class RotationEngine : public QObject {
    Q_OBJECT

public:
    explicit RotationEngine(QObject *parent = nullptr);
    ~RotationEngine() override;

    // Rotates every photo in `folder` and its subfolders that needs it; with `dryRun` only
    // reports what it would rotate. False when refused because a run is going on.
    bool startUserBatch(const QString &folder, bool dryRun);
    // The seam for watching. The watcher noticed changes: a quiet run over `candidates` only
    // (the folders the notifications named and, in them, the entries new or changed since the
    // watcher last looked) starts, is postponed, or notes that more files are waiting, by the
    // rules above; a postponed run or a recheck looks at the candidates of every request it
    // answers. Nothing else of the tree is listed or read, and the run's summary counts what it
    // looked at.
    void startWatcherRun(const WatchCandidates &candidates);
    // The same over the whole tree under `folder`.
    void startWatcherRun(const QString &folder);
    // Reads one photo's orientation and turns it accordingly (with `dryRun` only says how);
    // `folder` is the current folder. False when refused.
    bool rotateByOrientation(const QString &photoPath, const QString &folder, bool dryRun = false);
    // Turns one photo by `turn`, whatever its orientation says: a manual quarter turn. False when
    // refused.
    bool rotatePhoto(const QString &photoPath, Turn turn, const QString &folder);
    // Reads the turn one photo needs, under the settings as they are now. Tells nothing.
    OrientationCheck checkPhoto(const QString &photoPath) const;
    void stop();

    bool isBusy() const { return state != RunState::Idle; }
    bool isUserBatchRunning() const { return state == RunState::UserBatch; }
    bool isWatcherRunActive() const { return state == RunState::WatcherRun; }
    // Whether a watcher run is due after the current scan or run.
    bool hasRunPending() const { return watcherRunDue; }

    // Photos turned side by side; 0 (the default) reads the setting at each run's start.
    void setParallelRotations(int count) { parallelOverride = count; }
    // Time a tool may take before it is ended.
    void setToolTimeout(int ms) { toolTimeoutMs = ms; }
    // A photo that a program has open for writing, or changed more recently than `settleMs` (or
    // empty and younger than `emptyMs`, or without its end marker and younger than
    // `incompleteMs`, see examinedphoto.h) may still be being copied in: watcher runs leave it.
    void setArrivalTimes(int settleMs, int emptyMs, int incompleteMs);
    // The rule above: whether a watcher run would leave this photo for later. The photo is
    // opened and looked at, not followed when it is a link; one that another program holds by
    // a lease of its own is not done with either.
    bool mayStillBeArriving(const QFileInfo &photo);
    // The folders and photos that a run's scan lists and reads at once: a few, within the
    // descriptors this process has left; 0 (the default) decides at each run's start.
    void setReadsInFlight(int count) { readsOverride = count; }

signals:
    void runStarted(RunSummary::Kind kind);
    void runEvent(const RunEvent &event);
    // A user batch is listing its photos and has found `found` so far (a few times a second).
    void listingProgress(int found);
    // A user batch has listed its photos; progress() follows for each one handled.
    void photosListed(int count);
    void progress(int handled, int total);
    void photoStep(const PhotoStep &step);
    void photoFinished(const PhotoOutcome &outcome);
    void photoRotated(const QString &photoPath);
    void runFinished(const RunSummary &summary);

private:
    // What the engine is doing. Stopping is no state of its own: the running scan's summary
    // says it was interrupted, and the run ends as soon as its tools have.
    enum class RunState { Idle, UserBatch, WatcherRun, SinglePhoto };

    struct ActiveRotation;
    struct RunSettings;
    struct Scan;

    RunSettings readSettings() const;
    bool startSinglePhoto(const QString &photoPath, Turn turn, const QString &folder, bool dryRun);
    void beginScan(RunSummary::Kind kind, const WatchCandidates &candidates, bool dryRun,
                   RunSettings settings);
    void beginPhotoScan(std::unique_ptr<PhotoScan> photos);
    void endPhotoScan();
    void examineSlice();
    void examine(ExaminedPhoto examined);
    bool leaveForLater(const ExaminedPhoto &examined, int slot, const PhotoRef &photo);
    void leaveForLaterRun(int slot, const PhotoRef &photo, PhotoReason::Kind kind);
    void startRotation(ExaminedPhoto examined, const PhotoRef &photo, Turn turn, int slot);
    void onRotationFinished(PhotoRotation *rotation, const PhotoRotationOutcome &outcome);
    void entryHandled(int slot);
    void scheduleSlice(void (RotationEngine::*slice)());
    bool stopping() const;
    bool scanDone() const;
    void finishScan();
    void finishRun();
    void tell(const RunEvent &event);
    // Emits `signal` with `fact` in `slot`'s turn: in scan order.
    template <typename Fact>
    void tell(int slot, void (RotationEngine::*signal)(const Fact &), const Fact &fact) {
        ordered.add(slot, [this, signal, fact] { emit(this->*signal)(fact); });
    }
    void finishPhoto(int slot, PhotoOutcome::Kind kind, const PhotoRef &photo, Turn turn,
                     const PhotoReason &reason = PhotoReason());

    std::unique_ptr<ScanWorkers> workers; // the scans' threads, kept from run to run
    std::unique_ptr<Scan> scan;
    QList<ActiveRotation *> active;
    OrderedRelease ordered;
    FailedPhotos failedPhotos;         // photos that made their rotation fail themselves
    // Awaited photos whose main picture was found cut short, as they were then: a stalled copy
    // is not read again until it changes.
    QHash<QString, FileStatus> partialCopies;
    WatchCandidates pendingCandidates; // what the watcher run that is due looks at

    RunState state = RunState::Idle;
    // A watcher run was asked for while another run went on. A watcher run scans again when it
    // is done; any other run is followed by a watcher run.
    bool watcherRunDue = false;

    int parallelOverride = 0;
    int readsOverride = 0;
    int toolTimeoutMs = 30000;
    ArrivalTimes arrival;
};

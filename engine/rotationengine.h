// The rotation engine: rotates every photo of a folder tree that does not stand upright, or one
// photo, with no window involved. Several photos are turned side by side, each by its own chain
// of tool runs (PhotoRotation); what each photo has to say is released in the order the scan
// found the photos. The engine reports through signals only: messages for the output panes,
// status texts, progress, one report per photo, and the end of every run with its counts.
//
// The rules for runs that meet:
// - One run at a time. A user batch or a single-photo rotation asked for while anything is being
//   rotated is refused.
// - A watcher run asked for during a user batch or a single-photo rotation is postponed: it
//   follows once that is over.
// - A watcher run asked for during a watcher run only notes that more files are waiting; the
//   running one scans again when it is done, for as long as new requests come in.
// - Photos whose rotation failed are skipped by watcher runs until they change.
// - Watcher runs leave photos that may still be being copied in; the run's summary lists them
//   so that the watcher can look at them again once they have settled.
// - Stop ends the run within moments: the running tools are killed with everything they
//   started, every photo is left whole, temporary files go, and no follow-up run is started.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

#include "engine/orderedrelease.h"
#include "engine/outputmessage.h"
#include "engine/turn.h"

class PhotoRotation;
class QDirIterator;
class QFileInfo;
struct FileState;
struct OrientationCheck;
struct PhotoRotationOutcome;

// The end of one run.
struct RunSummary {
    enum Kind { UserBatch, WatcherRun, SinglePhoto };

    Kind kind = UserBatch;
    QString folder;
    int photosToRotate = 0; // photos whose orientation asked for a turn
    int entriesSeen = 0;    // photos looked at
    int rotated = 0;
    int failed = 0;
    bool interrupted = false;   // stopped on request
    QStringList photosArriving; // left by a watcher run: they may still be being copied in
    qint64 elapsedMs = 0;
};
Q_DECLARE_METATYPE(RunSummary)

// What became of one photo that was rotated, would be rotated (dry run), was left or failed.
// Photos that need no turn get none.
struct PhotoReport {
    enum Outcome { Rotated, WouldRotate, Left, Failed };

    QString path;
    Outcome outcome = Left;
    Turn turn = Turn::None;
    QString reason; // plain text: why, for Left and Failed; what else happened, for Rotated
};
Q_DECLARE_METATYPE(PhotoReport)

class RotationEngine : public QObject {
    Q_OBJECT

public:
    explicit RotationEngine(QObject *parent = nullptr);
    ~RotationEngine() override;

    // Rotates every photo in `folder` and its subfolders that needs it; with `dryRun` only
    // reports what it would rotate. False when refused because a run is going on.
    bool startUserBatch(const QString &folder, bool dryRun);
    // The watcher saw `folder` change: starts a quiet run, postpones it, or notes that more files
    // are waiting, by the rules above.
    void startWatcherRun(const QString &folder);
    // Turns one photo; `folder` is the current folder, for the messages. False when refused.
    bool rotatePhoto(const QString &photoPath, Turn turn, const QString &folder);
    // Reads the turn one photo needs and says what is unusual about it at once.
    OrientationCheck checkPhoto(const QString &photoPath, const QString &folder);
    void stop();

    bool isBusy() const;
    bool isUserBatchRunning() const;
    bool isWatcherRunActive() const { return watcherRunActive; }
    bool isSinglePhotoRunning() const { return singlePhotoRunning; }
    // Whether a watcher run is noted to follow the current run.
    bool hasRunPending() const {
        return moreFilesWaiting || watcherRunPostponed || followUpScheduled;
    }

    // Photos turned side by side; 0 (the default) reads the setting at each run's start.
    void setParallelRotations(int count) { parallelOverride = count; }
    // Time a tool may take before it is ended.
    void setToolTimeout(int ms) { toolTimeoutMs = ms; }
    // A photo changed more recently than `settleMs` (or empty and younger than `emptyMs`, or
    // without its end marker and younger than `incompleteMs`) may still be being copied in:
    // watcher runs leave it.
    void setArrivalTimes(int settleMs, int emptyMs, int incompleteMs);
    // The rule above: whether a watcher run would leave this photo for later.
    bool mayStillBeArriving(const QFileInfo &photo) const;

signals:
    void message(const OutputMessage &message);
    void statusMessage(const QString &text, int timeoutMs);
    void runStarted(RunSummary::Kind kind);
    // A user batch has listed its photos; progress() follows for each one handled.
    void photosListed(int count);
    void progress(int handled, int total);
    void photoReported(const PhotoReport &report);
    void photoRotated(const QString &photoPath);
    void runFinished(const RunSummary &summary);

private:
    struct ActiveRotation;
    struct Scan;

    void beginScan(RunSummary::Kind kind, QString folder, bool dryRun);
    void listSlice();
    void examineSlice();
    void examine(const QString &entry);
    bool leaveForLater(const QString &entry);
    void startRotation(const QString &entry, Turn turn, int slot, const FileState &examined);
    void removeLeftoverTempFiles();
    void onRotationFinished(PhotoRotation *rotation, const PhotoRotationOutcome &outcome);
    void entryHandled(int slot);
    void scheduleSlice(void (RotationEngine::*slice)());
    bool scanDone() const;
    void finishScan();
    void finishRun();
    void writeSummary();
    void say(int slot, const OutputMessage &message);
    void sayNow(const OutputMessage &message);
    void report(int slot, const PhotoReport &photoReport);
    int parallelRotations() const;

    std::unique_ptr<Scan> scan;
    QList<ActiveRotation *> active;
    OrderedRelease ordered;
    QSet<QString> photosInWork;    // never two rotations of one photo at once
    QSet<QString> failedPhotoKeys; // photos whose rotation failed, as they were then
    QString pendingWatcherFolder;

    bool userBatchRunning = false;
    bool watcherRunActive = false;
    bool singlePhotoRunning = false;
    bool moreFilesWaiting = false;
    bool watcherRunPostponed = false;
    bool stopRequested = false;
    bool followUpScheduled = false; // a watcher run follows the run that just ended

    int parallelOverride = 0;
    int toolTimeoutMs = 30000;
    int arrivalSettleMs = 2000;
    int emptyPhotoSettleMs = 30000;
    int incompletePhotoWaitMs = 60000;
};

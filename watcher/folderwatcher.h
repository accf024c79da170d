// The folder watcher: watches the current folder and its subfolders and asks the rotation
// engine for a quiet run when photos arrive, after a short settling delay so that a copy of many
// files becomes one run. It remembers each watched folder's photos and subfolders (name, file,
// size, modification time) and hands the engine only what is new or changed in the folders the
// notifications named, so that an arrival costs the same in a library of any size. It also looks
// again at photos that a run left because they were still being copied in, until they have
// settled. When the system drops notifications (too many changes at once), it looks at every
// watched folder again. No widget involved: the window's watch switch and the headless runner
// turn it on and off. It reports what happens as facts (watchEvent); presentation/ words them.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

#include "engine/runevents.h"
#include "engine/watchcandidates.h"
#include "watcher/folderentries.h"

class FolderNotifier;
class RotationEngine;

class FolderWatcher : public QObject {
    Q_OBJECT

public:
    explicit FolderWatcher(RotationEngine *rotationEngine, QObject *parent = nullptr);
    ~FolderWatcher() override;

    // The current folder: watched, and what watcher runs rotate.
    void setCurrentFolder(const QString &folder);
    QString currentFolder() const { return folder; }

    // Turns watching on (with every subfolder of the current folder) or off and tells so;
    // `fromClick` says the user did it.
    void setWatching(bool on, bool fromClick);
    bool isWatching() const { return watching; }

    // The folder itself, and its subfolders when watching is on.
    void watchFolder(const QString &folderPath);
    void rewatchCurrentFolder();
    void removeAllWatchPaths();
    QStringList watchedPaths() const { return paths; }
    QStringList systemWatchedPaths() const;
    // The system's notifications, which this class follows.
    FolderNotifier *systemWatcher() const { return notifier; }

    // Registers folders with the system and returns those it would not take (the system's
    // limit reached). By default the system's watcher; tests give a limit of their own.
    using WatchRegistration = std::function<QStringList(const QStringList &folders)>;
    void setWatchRegistration(WatchRegistration registration);

    // A run is scheduled and has not started yet.
    bool isRunScheduled() const { return retrigger.isActive(); }
    // Photos left for later by the last runs, looked at again until they have settled.
    QStringList photosAwaited() const { return awaited.keys(); }

    // Delays and poll period; tests shorten them.
    void setDelays(int settleMs, int settleDuringRunMs, int pollMs);

signals:
    // Watching turned on or off, the watched folder gone, another change while a run is due,
    // folders the system would not watch, notifications the system dropped.
    void watchEvent(const RunEvent &event);

private:
    void filesInserted(const QString &changedFolder);
    void lookAgainEverywhere();
    void scheduleLook();
    void scheduleRun(int delayMs);
    void startRun();
    WatchCandidates lookAtChanges();
    void addCandidate(WatchCandidates &candidates, const QString &folderPath,
                      const QList<QByteArray> &entries);
    void onRunStarted(RunSummary::Kind kind);
    void onRunFinished(const RunSummary &summary);
    void onPhotoRotated(const QString &photoPath);
    WatchCandidates arrivedDuringBatch();
    void pollAwaitedPhotos();
    bool forgetVanishedWatchPaths();
    void forgetWatched(const QStringList &folders);
    void forgetWatchedFrom(const QString &folderPath);
    void watchTree(const QString &folderPath);
    void addWatchPaths(const QStringList &folders);
    void tellUnwatched(const QStringList &refused);
    void rememberQuietFolders();
    bool isQuietAfterStop(const QString &changedFolder);
    void tell(RunEvent::Kind kind, int count = 0, bool byUser = false, int total = 0);

    RotationEngine *engine = nullptr;
    FolderNotifier *notifier = nullptr;
    WatchRegistration registerWatches;
    QStringList paths;
    // Watched folder → its entries as last looked at.
    QHash<QString, FolderEntries> entriesOf;
    // What was seen before the user batch that goes on: after it, what arrived meanwhile is
    // handed on.
    QHash<QString, FolderEntries> entriesBeforeBatch;
    // Watched folders a notification named since the last look.
    QSet<QString> changedFolders;
    // Photos awaited that have settled: the next run looks at them whatever else changed.
    QStringList settledPhotos;
    // What was handed to runs since the last watcher run that ended, and what a stopped run
    // was to look at: the next run looks at it again.
    WatchCandidates handedOver;
    WatchCandidates carriedOver;
    QString folder;
    bool watching = false;
    bool unwatchedTold = false;
    QTimer retrigger;
    QTimer awaitedPoll;
    QHash<QString, QDateTime> awaited; // photo → when it was left for later
    // Folder → its photos as they were when a run was stopped: the stopped run's own last writes
    // (temporary files removed) are no change the user made.
    QHash<QString, QString> quietSignatures;
    int settleDelayMs = 1000;
    int settleDelayDuringRunMs = 2000;
};

// The folder watcher: watches the current folder and its subfolders and asks the rotation
// engine for a quiet run when photos arrive, after a short settling delay so that a copy of many
// files becomes one run. It also looks again at photos that a run left because they were still
// being copied in, until they have settled. No widget involved: the window's watch switch
// turns it on and off. It reports what happens as facts (watchEvent); presentation/ words them.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "engine/rotationengine.h"
#include "engine/runevents.h"

class QFileSystemWatcher;

class FolderWatcher : public QObject {
    Q_OBJECT

public:
    explicit FolderWatcher(RotationEngine *rotationEngine, QObject *parent = nullptr);
    ~FolderWatcher() override;

    // The current folder: watched, and what watcher runs rotate.
    void setCurrentFolder(const QString &folder);
    QString currentFolder() const { return folder; }

    // Turns watching on or off and tells so; `fromClick` says the user did it.
    void setWatching(bool on, bool fromClick);
    bool isWatching() const { return watching; }

    // The folder itself, and its subfolders when watching is on.
    void watchFolder(const QString &folderPath);
    void rewatchCurrentFolder();
    void removeAllWatchPaths();
    QStringList watchedPaths() const { return paths; }
    QStringList systemWatchedPaths() const;
    // The system's watcher, whose notifications this class follows.
    QFileSystemWatcher *systemWatcher() const { return folderWatcher; }

    // A run is scheduled and has not started yet.
    bool isRunScheduled() const { return retrigger.isActive(); }
    // Photos left for later by the last runs, looked at again until they have settled.
    QStringList photosAwaited() const { return awaited.keys(); }

    // Delays and poll period; tests shorten them.
    void setDelays(int settleMs, int settleDuringRunMs, int pollMs);

signals:
    // Watching turned on or off, the watched folder gone, another change while a run is due.
    void watchEvent(const RunEvent &event);

private:
    void filesInserted(const QString &changedFolder);
    void scheduleRun(int delayMs);
    void startRun();
    void onRunStarted(RunSummary::Kind kind);
    void onRunFinished(const RunSummary &summary);
    void pollAwaitedPhotos();
    bool forgetVanishedWatchPaths();
    void addWatchPath(const QString &path);
    void addWatchSubfolders();
    void watchSubfoldersOf(const QString &folderPath);
    void rememberQuietFolders();
    bool isQuietAfterStop(const QString &changedFolder);
    void tell(RunEvent::Kind kind, int count = 0, bool byUser = false);

    RotationEngine *engine = nullptr;
    QFileSystemWatcher *folderWatcher = nullptr;
    QStringList paths;
    QString folder;
    bool watching = false;
    QTimer retrigger;
    QTimer awaitedPoll;
    QHash<QString, QDateTime> awaited; // photo → when it was left for later
    // Folder → its photos as they were when a run was stopped: the stopped run's own last writes
    // (temporary files removed) are no change the user made.
    QHash<QString, QString> quietSignatures;
    int settleDelayMs = 1000;
    int settleDelayDuringRunMs = 2000;
};

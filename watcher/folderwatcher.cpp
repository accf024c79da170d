// The folder watcher: watched paths, change notifications, delayed runs, photos awaited.
#include "watcher/folderwatcher.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTime>

#include "common/debuglog.h"
#include "engine/photofiles.h"
#include "engine/rotationengine.h"

namespace {
// The photos of one folder (not its subfolders) as they are now.
QString photoSignature(const QString &folderPath) {
    QString signature;
    const QFileInfoList photos =
        QDir(folderPath).entryInfoList(photoNameFilters(), QDir::Files, QDir::Name);
    for (const QFileInfo &photo : photos) {
        signature += photo.fileName() + '\n' + QString::number(photo.size()) + '\n' +
                     QString::number(photo.lastModified().toMSecsSinceEpoch()) + '\n' +
                     QString::number(photo.metadataChangeTime().toMSecsSinceEpoch()) + '\n';
    }
    return signature;
}
} // namespace

FolderWatcher::FolderWatcher(RotationEngine *rotationEngine, QObject *parent)
    : QObject(parent)
    , engine(rotationEngine)
    , folderWatcher(new QFileSystemWatcher(this)) {
    retrigger.setSingleShot(true);
    awaitedPoll.setInterval(1000);
    connect(&retrigger, &QTimer::timeout, this, &FolderWatcher::startRun);
    connect(&awaitedPoll, &QTimer::timeout, this, &FolderWatcher::pollAwaitedPhotos);
    connect(folderWatcher, &QFileSystemWatcher::directoryChanged, this,
            &FolderWatcher::filesInserted);
    connect(engine, &RotationEngine::runStarted, this, &FolderWatcher::onRunStarted);
    connect(engine, &RotationEngine::runFinished, this, &FolderWatcher::onRunFinished);
}

FolderWatcher::~FolderWatcher() = default;

void FolderWatcher::setCurrentFolder(const QString &folderPath) {
    folder = folderPath;
}

void FolderWatcher::setDelays(int settleMs, int settleDuringRunMs, int pollMs) {
    settleDelayMs = settleMs;
    settleDelayDuringRunMs = settleDuringRunMs;
    awaitedPoll.setInterval(pollMs);
}

void FolderWatcher::setWatching(bool on, bool fromClick) {
    watching = on;
    if (on) {
        tell(RunEvent::WatchingOn, int(paths.size()));
        return;
    }
    // Nothing that was waiting for a change starts once watching is off.
    retrigger.stop();
    awaitedPoll.stop();
    awaited.clear();
    tell(RunEvent::WatchingOff, int(paths.size()), fromClick);
}

void FolderWatcher::filesInserted(const QString &changedFolder) {
    qCDebug(lcPivotta).noquote() << QTime::currentTime().toString() + " files inserted";
    if (forgetVanishedWatchPaths())
        return;
    // A subfolder created while watching is watched at once, so that photos copied into it later
    // are noticed too. A user batch watches nothing until it ends and re-adds everything; a
    // notification of a folder no longer watched adds nothing.
    if (watching && !engine->isUserBatchRunning() && paths.contains(changedFolder))
        watchSubfoldersOf(changedFolder);
    if (!watching)
        return;
    if (isQuietAfterStop(changedFolder)) {
        qCDebug(lcPivotta) << "no change of photos since the stop in" << changedFolder;
        return;
    }
    if (engine->isWatcherRunActive()) {
        tell(RunEvent::FurtherChange);
        if (!retrigger.isActive())
            scheduleRun(settleDelayDuringRunMs);
        else
            qCDebug(lcPivotta) << "waiting to retrigger";
        return;
    }
    if (retrigger.isActive()) {
        tell(RunEvent::FurtherChange);
        qCDebug(lcPivotta) << "waiting to retrigger";
        return;
    }
    scheduleRun(settleDelayMs);
}

void FolderWatcher::scheduleRun(int delayMs) {
    retrigger.start(delayMs);
}

void FolderWatcher::startRun() {
    engine->startWatcherRun(folder);
}

void FolderWatcher::onRunStarted(RunSummary::Kind kind) {
    quietSignatures.clear();
    // A user batch watches nothing while it runs: its own writes are no arrivals.
    if (kind == RunSummary::UserBatch)
        removeAllWatchPaths();
}

void FolderWatcher::onRunFinished(const RunSummary &summary) {
    if (summary.kind == RunSummary::UserBatch)
        rewatchCurrentFolder();
    if (summary.interrupted) {
        retrigger.stop();
        awaitedPoll.stop();
        awaited.clear();
        rememberQuietFolders();
        return;
    }
    if (!watching || summary.photosArriving.isEmpty())
        return;
    for (const QString &photo : summary.photosArriving)
        awaited.insert(photo, QDateTime::currentDateTime());
    awaitedPoll.start();
}

// Photos left because they may still have been arriving get a run of their own once the engine
// would take them, without waiting for another file to arrive.
void FolderWatcher::pollAwaitedPhotos() {
    bool settled = false;
    for (auto photo = awaited.begin(); photo != awaited.end();) {
        const QFileInfo info(photo.key());
        if (!info.isFile()) {
            photo = awaited.erase(photo);
        } else if (!engine->mayStillBeArriving(info)) {
            settled = true;
            photo = awaited.erase(photo);
        } else {
            ++photo;
        }
    }
    if (awaited.isEmpty())
        awaitedPoll.stop();
    if (settled && watching && !retrigger.isActive()) {
        qCDebug(lcPivotta) << "photos left for later have settled";
        scheduleRun(0);
    }
}

// A watched folder that is deleted, renamed or moved away is no longer at its path: the system
// stops watching it, or goes on reporting it under its old path. Such paths are forgotten, so
// that a folder that appears again under the same name is watched when it is next added.
// Returns whether the current folder itself is gone: there is nothing left to rotate.
bool FolderWatcher::forgetVanishedWatchPaths() {
    QStringList vanished;
    for (const QString &path : std::as_const(paths)) {
        if (!QFileInfo(path).isDir())
            vanished << path;
    }
    if (!vanished.isEmpty()) {
        QStringList stillRegistered;
        const QStringList registered = folderWatcher->directories();
        for (const QString &path : std::as_const(vanished)) {
            paths.removeAll(path);
            if (registered.contains(path))
                stillRegistered << path;
        }
        if (!stillRegistered.isEmpty())
            folderWatcher->removePaths(stillRegistered);
        qCDebug(lcPivotta) << "no longer watched, folders gone:" << vanished;
    }
    const bool folderGone = !folder.isEmpty() && !QFileInfo(folder).isDir();
    if (folderGone && vanished.contains(folder) && watching)
        tell(RunEvent::WatchedFolderGone);
    return folderGone;
}

void FolderWatcher::addWatchPath(const QString &path) {
    if (paths.contains(path))
        return;
    paths.append(path);
    folderWatcher->addPath(path);
}

void FolderWatcher::addWatchSubfolders() {
    // An empty path would walk the working folder instead.
    if (watching && !folder.isEmpty())
        watchSubfoldersOf(folder);
}

void FolderWatcher::watchSubfoldersOf(const QString &folderPath) {
    // Without QDir::Hidden and without following links, the walk neither lists nor enters hidden
    // folders and symbolic links.
    QDirIterator subfolders(folderPath, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                            QDirIterator::Subdirectories);
    while (subfolders.hasNext())
        addWatchPath(subfolders.next());
}

void FolderWatcher::watchFolder(const QString &folderPath) {
    addWatchSubfolders();
    addWatchPath(folderPath);
}

void FolderWatcher::rewatchCurrentFolder() {
    if (folder.isEmpty())
        return;
    addWatchSubfolders();
    addWatchPath(folder);
}

void FolderWatcher::removeAllWatchPaths() {
    if (!paths.isEmpty())
        folderWatcher->removePaths(paths);
    paths.clear();
}

QStringList FolderWatcher::systemWatchedPaths() const {
    return folderWatcher->directories();
}

void FolderWatcher::rememberQuietFolders() {
    quietSignatures.clear();
    for (const QString &path : std::as_const(paths))
        quietSignatures.insert(path, photoSignature(path));
}

bool FolderWatcher::isQuietAfterStop(const QString &changedFolder) {
    const auto found = quietSignatures.constFind(changedFolder);
    if (found == quietSignatures.constEnd())
        return false;
    if (photoSignature(changedFolder) == found.value())
        return true;
    quietSignatures.clear();
    return false;
}

void FolderWatcher::tell(RunEvent::Kind kind, int count, bool byUser) {
    RunEvent event;
    event.kind = kind;
    event.folder = folder;
    event.count = count;
    event.byUser = byUser;
    emit watchEvent(event);
}

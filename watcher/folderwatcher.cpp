// The folder watcher: watched paths, change notifications, looks at what changed, delayed runs,
// photos awaited.
#include "watcher/folderwatcher.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <algorithm>

#include "common/debuglog.h"
#include "engine/photonames.h"
#include "engine/rotationengine.h"
#include "watcher/foldernotifier.h"
#include "watcher/watchlimit.h"

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

// `folderPath` below `root` as the candidates name it: names joined by '/', empty for the root
// itself; false when it is not within `root`.
bool relativePathWithin(const QString &root, const QString &folderPath, QByteArray *relative) {
    const QString path = QDir(root).relativeFilePath(folderPath);
    if (path == "..")
        return false;
    if (path.startsWith("../") || QDir::isAbsolutePath(path))
        return false;
    *relative = path == "." ? QByteArray() : QFile::encodeName(path);
    return true;
}

// Awaited photos are looked at by the poll alone, until they have settled: a change while their
// writer goes on would otherwise have a run tell them as left once more.
QList<QByteArray> withoutAwaited(const QList<QByteArray> &photos, const QString &folderPath,
                                 const QHash<QString, QDateTime> &awaited) {
    QList<QByteArray> left;
    for (const QByteArray &photo : photos) {
        if (!awaited.contains(folderPath + '/' + QFile::decodeName(photo)))
            left << photo;
    }
    return left;
}
} // namespace

FolderWatcher::FolderWatcher(RotationEngine *rotationEngine, QObject *parent)
    : QObject(parent)
    , engine(rotationEngine)
    , notifier(FolderNotifier::create(this)) {
    registerWatches = [this](const QStringList &folders) { return notifier->addFolders(folders); };
    retrigger.setSingleShot(true);
    awaitedPoll.setInterval(1000);
    connect(&retrigger, &QTimer::timeout, this, &FolderWatcher::startRun);
    connect(&awaitedPoll, &QTimer::timeout, this, &FolderWatcher::pollAwaitedPhotos);
    connect(notifier, &FolderNotifier::folderChanged, this, &FolderWatcher::filesInserted);
    connect(notifier, &FolderNotifier::notificationsLost, this,
            &FolderWatcher::lookAgainEverywhere);
    connect(engine, &RotationEngine::runStarted, this, &FolderWatcher::onRunStarted);
    connect(engine, &RotationEngine::runFinished, this, &FolderWatcher::onRunFinished);
    connect(engine, &RotationEngine::photoRotated, this, &FolderWatcher::onPhotoRotated);
}

FolderWatcher::~FolderWatcher() = default;

void FolderWatcher::setCurrentFolder(const QString &folderPath) {
    if (folderPath != folder) {
        // What was noticed in the old folder no longer counts; its limit may be told again.
        carriedOver = WatchCandidates();
        handedOver = WatchCandidates();
        settledPhotos.clear();
        unwatchedTold = false;
    }
    folder = folderPath;
}

void FolderWatcher::setWatchRegistration(WatchRegistration registration) {
    registerWatches = std::move(registration);
}

void FolderWatcher::setDelays(int settleMs, int settleDuringRunMs, int pollMs) {
    settleDelayMs = settleMs;
    settleDelayDuringRunMs = settleDuringRunMs;
    awaitedPoll.setInterval(pollMs);
}

void FolderWatcher::setWatching(bool on, bool fromClick) {
    watching = on;
    if (on) {
        rewatchCurrentFolder();
        tell(RunEvent::WatchingOn, int(paths.size()));
        return;
    }
    // Nothing that was waiting for a change starts once watching is off.
    retrigger.stop();
    awaitedPoll.stop();
    awaited.clear();
    settledPhotos.clear();
    changedFolders.clear();
    tell(RunEvent::WatchingOff, int(paths.size()), fromClick);
}

void FolderWatcher::filesInserted(const QString &changedFolder) {
    qCDebug(lcPivotta).noquote() << QTime::currentTime().toString() + " files inserted";
    // A watched folder that went (deleted, renamed, moved away) is notified under its old path;
    // only then are the watched paths checked, so that an arrival costs no look at every folder.
    if (!QFileInfo(changedFolder).isDir() && forgetVanishedWatchPaths())
        return;
    // A notification of a folder no longer watched (a user batch watches nothing until it ends
    // and adds everything again) adds nothing.
    if (!watching || !entriesOf.contains(changedFolder))
        return;
    if (isQuietAfterStop(changedFolder)) {
        qCDebug(lcPivotta) << "no change of photos since the stop in" << changedFolder;
        return;
    }
    changedFolders.insert(changedFolder);
    scheduleLook();
}

// The system dropped notifications (too many changes at once): what arrived meanwhile is found by
// looking at every watched folder again, against what was seen there last, which costs a listing
// of each folder and reads no photo that has not changed.
void FolderWatcher::lookAgainEverywhere() {
    if (!watching || paths.isEmpty())
        return;
    // The notice of a folder that went may have been dropped too.
    if (forgetVanishedWatchPaths())
        return;
    qCDebug(lcPivotta) << "change notifications lost, looking at every folder again";
    tell(RunEvent::NotificationsLost, int(paths.size()));
    for (const QString &path : std::as_const(paths))
        changedFolders.insert(path);
    scheduleLook();
}

// A look at the changed folders is due: after the settling delay, or after the watcher run that
// goes on.
void FolderWatcher::scheduleLook() {
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

// Looks at the folders that changed and hands the engine what is new there; a look that finds
// nothing new (the runs' own replacements, files that are no photos) starts nothing.
void FolderWatcher::startRun() {
    WatchCandidates candidates = lookAtChanges();
    if (!carriedOver.isEmpty())
        candidates.add(std::exchange(carriedOver, WatchCandidates()));
    if (candidates.isEmpty()) {
        qCDebug(lcPivotta) << "nothing new in the changed folders";
        return;
    }
    handedOver.add(candidates);
    engine->startWatcherRun(candidates);
}

WatchCandidates FolderWatcher::lookAtChanges() {
    WatchCandidates candidates;
    candidates.watchedFolder = folder;
    QStringList looked(changedFolders.cbegin(), changedFolders.cend());
    changedFolders.clear();
    std::sort(looked.begin(), looked.end());
    for (const QString &folderPath : std::as_const(looked)) {
        if (!entriesOf.contains(folderPath))
            continue;
        FolderEntries now;
        if (!lookAtFolder(folderPath, &now))
            continue; // gone: forgotten with the next notification
        const FolderChanges changes = changesBetween(entriesOf.value(folderPath), now);
        entriesOf.insert(folderPath, now);
        // A folder made while watching is watched at once, with everything in it; the run walks
        // it whole, so that photos put in before its watch was added are not missed. A folder
        // made again under a name that is still watched is another folder: the old watches go.
        for (const QByteArray &made : changes.folders) {
            const QString madePath = folderPath + '/' + QFile::decodeName(made);
            forgetWatchedFrom(madePath);
            watchTree(madePath);
        }
        addCandidate(candidates, folderPath,
                     withoutAwaited(changes.photos, folderPath, awaited) + changes.folders);
    }
    for (const QString &photo : std::as_const(settledPhotos)) {
        const QFileInfo info(photo);
        addCandidate(candidates, info.absolutePath(), {QFile::encodeName(info.fileName())});
    }
    settledPhotos.clear();
    return candidates;
}

void FolderWatcher::addCandidate(WatchCandidates &candidates, const QString &folderPath,
                                 const QList<QByteArray> &entries) {
    WatchCandidates::Folder candidate;
    if (entries.isEmpty() || !relativePathWithin(folder, folderPath, &candidate.relativePath))
        return;
    candidate.entries = entries;
    WatchCandidates one;
    one.watchedFolder = folder;
    one.folders << candidate;
    candidates.add(one);
}

void FolderWatcher::onRunStarted(RunSummary::Kind kind) {
    quietSignatures.clear();
    // A user batch watches nothing while it runs: its own writes are no arrivals. What was seen
    // before it is kept, so that what arrives meanwhile is told apart from what was there.
    if (kind == RunSummary::UserBatch) {
        entriesBeforeBatch = watching ? entriesOf : QHash<QString, FolderEntries>();
        removeAllWatchPaths();
    }
}

void FolderWatcher::onRunFinished(const RunSummary &summary) {
    if (summary.kind == RunSummary::UserBatch) {
        rewatchCurrentFolder();
        carriedOver.add(arrivedDuringBatch());
    }
    if (summary.interrupted) {
        retrigger.stop();
        awaitedPoll.stop();
        awaited.clear();
        settledPhotos.clear();
        // No follow-up now; what the stopped run did not get to is looked at with the next
        // change.
        carriedOver.add(std::exchange(handedOver, WatchCandidates()));
        rememberQuietFolders();
        return;
    }
    if (summary.kind == RunSummary::WatcherRun)
        handedOver = WatchCandidates();
    if (summary.kind == RunSummary::UserBatch && watching && !carriedOver.isEmpty() &&
        !retrigger.isActive())
        scheduleRun(settleDelayMs);
    if (!watching || summary.photosArriving.isEmpty())
        return;
    for (const QString &photo : summary.photosArriving)
        awaited.insert(photo, QDateTime::currentDateTime());
    awaitedPoll.start();
}

// Photos that arrived in the watched folders while a user batch had them unwatched: what is new
// or changed since the look before the batch (the batch's own replacements are noted as they
// come). A folder made meanwhile is walked whole through its parent's changes.
WatchCandidates FolderWatcher::arrivedDuringBatch() {
    WatchCandidates candidates;
    candidates.watchedFolder = folder;
    const QHash<QString, FolderEntries> before = std::exchange(entriesBeforeBatch, {});
    if (!watching)
        return candidates;
    QStringList looked = paths;
    std::sort(looked.begin(), looked.end());
    for (const QString &folderPath : std::as_const(looked)) {
        const auto earlier = before.constFind(folderPath);
        if (earlier == before.constEnd())
            continue;
        const FolderChanges changes = changesBetween(*earlier, entriesOf.value(folderPath));
        addCandidate(candidates, folderPath, changes.photos + changes.folders);
    }
    return candidates;
}

// A photo a run replaced is no change to look at again.
void FolderWatcher::onPhotoRotated(const QString &photoPath) {
    const QFileInfo photo(photoPath);
    const QByteArray name = QFile::encodeName(photo.fileName());
    for (QHash<QString, FolderEntries> *seen : {&entriesOf, &entriesBeforeBatch}) {
        const auto entries = seen->find(photo.absolutePath());
        EntryStamp stamp;
        if (entries != seen->end() && entries->contains(name) &&
            lookAtEntry(photo.absolutePath(), name, &stamp))
            entries->insert(name, stamp);
    }
}

// Photos left because they may still have been arriving (or were being written) get a run of
// their own once the engine would take them, without waiting for another file to arrive.
void FolderWatcher::pollAwaitedPhotos() {
    bool settled = false;
    for (auto photo = awaited.begin(); photo != awaited.end();) {
        const QFileInfo info(photo.key());
        if (!info.isFile()) {
            photo = awaited.erase(photo);
        } else if (!engine->mayStillBeArriving(info)) {
            settled = true;
            settledPhotos << photo.key();
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
        forgetWatched(vanished);
        qCDebug(lcPivotta) << "no longer watched, folders gone:" << vanished;
    }
    const bool folderGone = !folder.isEmpty() && !QFileInfo(folder).isDir();
    if (folderGone && vanished.contains(folder) && watching)
        tell(RunEvent::WatchedFolderGone);
    return folderGone;
}

void FolderWatcher::forgetWatched(const QStringList &folders) {
    for (const QString &path : folders) {
        paths.removeAll(path);
        entriesOf.remove(path);
        changedFolders.remove(path);
    }
    notifier->removeFolders(folders);
}

// Forgets the watched folder `folderPath` and the watched folders below it.
void FolderWatcher::forgetWatchedFrom(const QString &folderPath) {
    QStringList below;
    for (const QString &path : std::as_const(paths)) {
        if (path == folderPath || path.startsWith(folderPath + '/'))
            below << path;
    }
    if (!below.isEmpty())
        forgetWatched(below);
}

// `folderPath` and every folder below it, hidden folders and links left out, as a batch walks.
void FolderWatcher::watchTree(const QString &folderPath) {
    QStringList folders{folderPath};
    QDirIterator subfolders(folderPath, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                            QDirIterator::Subdirectories);
    while (subfolders.hasNext())
        folders << subfolders.next();
    addWatchPaths(folders);
}

// One kernel watch per folder. A folder is looked at once it is watched, so that what arrives
// after that is told apart from what was there.
void FolderWatcher::addWatchPaths(const QStringList &folders) {
    QStringList fresh;
    QSet<QString> seen;
    for (const QString &path : folders) {
        if (!entriesOf.contains(path) && !seen.contains(path)) {
            seen.insert(path);
            fresh << path;
        }
    }
    if (fresh.isEmpty())
        return;
    const QStringList refused = registerWatches(fresh);
    // Folders gone meanwhile, or that this user may not read, have no watch and no limit to tell.
    const QStringList registered = notifier->folders();
    const QSet<QString> watched(registered.cbegin(), registered.cend());
    for (const QString &path : std::as_const(fresh)) {
        if (!watched.contains(path))
            continue;
        paths.append(path);
        FolderEntries entries;
        lookAtFolder(path, &entries);
        entriesOf.insert(path, entries);
    }
    if (!refused.isEmpty())
        tellUnwatched(refused);
}

// Folders the system would not watch are told once, with the system's limit; what is watched
// stays watched.
void FolderWatcher::tellUnwatched(const QStringList &refused) {
    qCDebug(lcPivotta) << "not watched:" << refused.size() << "folders";
    if (unwatchedTold)
        return;
    unwatchedTold = true;
    tell(RunEvent::WatchLimitReached, int(refused.size()), false, systemWatchLimit());
}

void FolderWatcher::watchFolder(const QString &folderPath) {
    // An empty path would walk the working folder instead.
    if (folderPath.isEmpty())
        return;
    if (watching)
        watchTree(folderPath);
    else
        addWatchPaths({folderPath});
}

void FolderWatcher::rewatchCurrentFolder() {
    watchFolder(folder);
}

void FolderWatcher::removeAllWatchPaths() {
    notifier->removeFolders(paths);
    paths.clear();
    entriesOf.clear();
    changedFolders.clear();
}

QStringList FolderWatcher::systemWatchedPaths() const {
    return notifier->folders();
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

void FolderWatcher::tell(RunEvent::Kind kind, int count, bool byUser, int total) {
    RunEvent event;
    event.kind = kind;
    event.folder = folder;
    event.count = count;
    event.total = total;
    event.byUser = byUser;
    emit watchEvent(event);
}

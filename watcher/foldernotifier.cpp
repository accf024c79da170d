// Folder change notifications: inotify on Linux, QFileSystemWatcher elsewhere.
#include "watcher/foldernotifier.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QSet>

#include "common/debuglog.h"

#ifdef Q_OS_LINUX
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {
// Qt's watcher: no word of dropped notifications.
class QtFolderNotifier : public FolderNotifier {
public:
    explicit QtFolderNotifier(QObject *parent)
        : FolderNotifier(parent)
        , watcher(new QFileSystemWatcher(this)) {
        connect(watcher, &QFileSystemWatcher::directoryChanged, this,
                &FolderNotifier::folderChanged);
    }

    // Qt says only which folders it did not take; those still there met the system's limit.
    QStringList addFolders(const QStringList &folders) override {
        QStringList refused;
        for (const QString &folder : watcher->addPaths(folders)) {
            if (QFileInfo(folder).isDir())
                refused << folder;
        }
        return refused;
    }
    void removeFolders(const QStringList &folders) override {
        const QStringList now = watcher->directories();
        const QSet<QString> watchedNow(now.cbegin(), now.cend());
        QStringList watched;
        for (const QString &folder : folders) {
            if (watchedNow.contains(folder))
                watched << folder;
        }
        if (!watched.isEmpty())
            watcher->removePaths(watched);
    }
    QStringList folders() const override { return watcher->directories(); }

private:
    QFileSystemWatcher *watcher;
};

#ifdef Q_OS_LINUX
// What a folder's watch reports: entries made, deleted, moved in or out or changed in their
// attributes, and the folder itself deleted or moved. Data written into a file is no entry
// change; a copy still under way is looked at again by the watcher until it has settled.
constexpr uint32_t folderEvents = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

class InotifyFolderNotifier : public FolderNotifier {
public:
    // Null when the system gives no inotify instance (its per-user limit reached).
    static InotifyFolderNotifier *create(QObject *parent) {
        const int descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (descriptor < 0) {
            qCDebug(lcPivotta) << "no inotify instance:" << std::strerror(errno);
            return nullptr;
        }
        return new InotifyFolderNotifier(descriptor, parent);
    }

    ~InotifyFolderNotifier() override {
        delete readable; // before the descriptor it listens to goes
        ::close(fd);
    }

    QStringList addFolders(const QStringList &folders) override {
        QStringList refused;
        for (const QString &folder : folders) {
            if (!watchOf.contains(folder) && !watch(folder) && (errno == ENOSPC || errno == ENOMEM))
                refused << folder;
        }
        return refused;
    }

    void removeFolders(const QStringList &folders) override {
        for (const QString &folder : folders)
            forget(folder);
    }

    QStringList folders() const override { return watchOf.keys(); }

private:
    InotifyFolderNotifier(int descriptor, QObject *parent)
        : FolderNotifier(parent)
        , fd(descriptor)
        , readable(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)) {
        connect(readable, &QSocketNotifier::activated, this, &InotifyFolderNotifier::readEvents);
    }

    // Reads what the system has queued, then tells each folder once, in the order it was
    // first named, and last that notifications were lost, if they were. A queue that keeps
    // filling is read a piece at a time: the rest comes with the next turn of the event loop.
    void readEvents() {
        QStringList changed;
        QSet<QString> named;
        bool lost = false;
        alignas(inotify_event) char buffer[16384];
        for (int reads = 0; reads < maxReadsAtOnce; ++reads) {
            const ssize_t length = ::read(fd, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                break; // EAGAIN: all read
            for (ssize_t at = 0; at < length;) {
                inotify_event event;
                std::memcpy(&event, buffer + at, sizeof event);
                at += ssize_t(sizeof event) + event.len;
                if (event.mask & IN_Q_OVERFLOW) {
                    lost = true;
                    continue;
                }
                for (const QString &folder : foldersOf.value(event.wd)) {
                    if (!named.contains(folder)) {
                        named.insert(folder);
                        changed << folder;
                    }
                }
                if (event.mask & IN_IGNORED)
                    watchAgain(event.wd);
            }
        }
        for (const QString &folder : std::as_const(changed))
            emit folderChanged(folder);
        if (lost) {
            qCDebug(lcPivotta) << "the system dropped change notifications";
            watchEveryFolderAgain();
            emit notificationsLost();
        }
    }

    // Watches `folder`; false, with errno set, when the system would not.
    bool watch(const QString &folder) {
        const int added =
            ::inotify_add_watch(fd, QFile::encodeName(folder).constData(), folderEvents);
        if (added < 0) {
            const int error = errno;
            qCDebug(lcPivotta) << "not watched:" << folder << std::strerror(error);
            errno = error;
            return false;
        }
        // A folder watched under two paths (moved, and watched under its new path before its old
        // one was let go) has one watch from the system: the same number comes back.
        const int before = watchOf.value(folder, -1);
        if (before == added)
            return true;
        if (before >= 0)
            forget(folder);
        watchOf.insert(folder, added);
        foldersOf[added] << folder;
        return true;
    }

    void forget(const QString &folder) {
        const auto found = watchOf.constFind(folder);
        if (found == watchOf.constEnd())
            return;
        const int watched = *found;
        watchOf.erase(found);
        QStringList &paths = foldersOf[watched];
        paths.removeAll(folder);
        if (paths.isEmpty()) {
            foldersOf.remove(watched);
            ::inotify_rm_watch(fd, watched);
        }
    }

    // The system let a watch go: its folder was deleted (or unmounted). A folder made again under
    // the same name at once, which may even have the same inode number and so look alike, is
    // watched again; a name with no folder now is forgotten.
    void watchAgain(int lostWatch) {
        for (const QString &folder : foldersOf.take(lostWatch)) {
            watchOf.remove(folder);
            watch(folder);
        }
    }

    // After notifications were dropped, the system may have let watches go without a word that
    // arrived: every folder is watched again. One it still watches keeps its watch.
    void watchEveryFolderAgain() {
        const QStringList all = watchOf.keys();
        for (const QString &folder : all) {
            if (!watch(folder))
                forget(folder);
        }
    }

    static constexpr int maxReadsAtOnce = 64;

    int fd;
    QSocketNotifier *readable;
    QHash<QString, int> watchOf;
    QHash<int, QStringList> foldersOf;
};
#endif
} // namespace

FolderNotifier *FolderNotifier::create(QObject *parent) {
#ifdef Q_OS_LINUX
    if (FolderNotifier *notifier = InotifyFolderNotifier::create(parent))
        return notifier;
#endif
    return new QtFolderNotifier(parent);
}

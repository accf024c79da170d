// Keeping originals in the freedesktop.org trash (POSIX), or the recycle bin (Windows, untested).
#include "files/trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "files/fileproblem.h"
#include "files/filetimes.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"

#ifdef Q_OS_WIN
#include <QTemporaryDir>
#else
#include "files/posixfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
constexpr int nameAttempts = 1000;
constexpr int longestName = 255;
const QByteArray infoSuffix = ".trashinfo";

QString tr(const char *text) {
    return QCoreApplication::translate("TrashCan", text);
}

FileProblem cannotKeep(const FileProblem &cause) {
    FileProblem problem = cause;
    problem.reason = tr("the original cannot be kept in the trash: %1").arg(cause.reason);
    return problem;
}

// The length of `bytes` cut to at most `length` without splitting a UTF-8 character.
int cutAtCharacter(const QByteArray &bytes, int length) {
    if (length >= bytes.size())
        return int(bytes.size());
    while (length > 0 && (uchar(bytes.at(length)) & 0xC0) == 0x80)
        --length;
    return length;
}
} // namespace

QByteArray trashInfoText(const QByteArray &path, const QDateTime &deletionDate) {
    return "[Trash Info]\nPath=" + path.toPercentEncoding("/") +
           "\nDeletionDate=" + deletionDate.toString("yyyy-MM-dd'T'HH:mm:ss").toLatin1() + "\n";
}

QByteArray trashNameFor(const QByteArray &photoName, int attempt) {
    const int dot = int(photoName.lastIndexOf('.'));
    const QByteArray extension = dot > 0 ? photoName.mid(dot) : QByteArray();
    QByteArray stem = dot > 0 ? photoName.left(dot) : photoName;
    const QByteArray number = attempt > 1 ? "." + QByteArray::number(attempt) : QByteArray();
    const int room = longestName - int(infoSuffix.size() + number.size() + extension.size());
    stem.truncate(cutAtCharacter(stem, qMax(1, room)));
    return stem + number + extension;
}

KeptOriginal::~KeptOriginal() = default;

TrashCan::~TrashCan() = default;

#ifndef Q_OS_WIN

namespace {
// The subfolder `name` of `parent`, made with mode 0700 where it is missing.
std::shared_ptr<HeldFolder> openOrMake(const HeldFolder &parent, const QByteArray &name,
                                       FileProblem *problem) {
    if (::mkdirat(parent.descriptor(), name.constData(), 0700) != 0 && errno != EEXIST) {
        reportProblem(problemFromErrno(parent.displayPathOf(name)), problem);
        return nullptr;
    }
    return HeldFolder::openSubfolder(parent, name, problem);
}

// The folder for this user in a trash at the top of a file system: a real folder of theirs.
std::shared_ptr<HeldFolder> usersOwn(std::shared_ptr<HeldFolder> folder, FileProblem *problem) {
    FileStatus status;
    if (!folder || !folder->status(&status, problem))
        return nullptr;
    if (status.owner != uint(::geteuid())) {
        reportProblem(problemOf(FileProblem::Kind::NoPermission, folder->displayPath(),
                                tr("the trash folder belongs to another user")),
                      problem);
        return nullptr;
    }
    return folder;
}

std::shared_ptr<HeldFolder> openDataHome(FileProblem *problem) {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + "/.local/share";
    QDir().mkpath(dataHome);
    return HeldFolder::openRoot(dataHome, problem);
}

// The photo's bytes, permissions and times in the open file `copy`. Kind None when it worked.
FileProblem copyInto(const HeldPhoto &photo, int copy, const QString &copyPath) {
    constexpr qint64 chunk = 1 << 20;
    QByteArray buffer(int(chunk), '\0');
    const FileStatus &original = photo.status();
    for (qint64 offset = 0; offset < original.size; offset += chunk) {
        const qint64 wanted = qMin(chunk, original.size - offset);
        const qint64 read = photo.readAt(offset, buffer.data(), wanted);
        if (read < 0)
            return problemFromErrno(photo.displayPath());
        if (read < wanted)
            return problemOf(FileProblem::Kind::Other, photo.displayPath(),
                             tr("it became shorter while it was copied"));
        if (!writeAllAt(copy, offset, buffer.constData(), read))
            return problemFromErrno(copyPath);
    }
    FileProblem failure;
    if (::fchmod(copy, mode_t(original.mode & 0777)) != 0 || ::fsync(copy) != 0)
        return problemFromErrno(copyPath);
    setDescriptorFileTimes(copy, original.modified, original.accessed, copyPath, &failure);
    return failure;
}

} // namespace

std::shared_ptr<HeldFolder> fileSystemTopAbove(std::shared_ptr<HeldFolder> folder,
                                               FileProblem *problem) {
    const quint64 device = folder->key().device;
    for (;;) {
        std::shared_ptr<HeldFolder> above = HeldFolder::openAbove(*folder, problem);
        if (!above)
            return nullptr;
        if (above->key() == folder->key() || above->key().device != device)
            return folder;
        folder = std::move(above);
    }
}

std::unique_ptr<TrashCan> TrashCan::openHome(FileProblem *problem) {
    const std::shared_ptr<HeldFolder> dataHome = openDataHome(problem);
    if (!dataHome)
        return nullptr;
    const std::shared_ptr<HeldFolder> trash = openOrMake(*dataHome, "Trash", problem);
    return trash ? openIn(trash, problem) : nullptr;
}

std::unique_ptr<TrashCan> TrashCan::openAtTop(const std::shared_ptr<HeldFolder> &topdir,
                                              FileProblem *problem) {
    const QByteArray userId = QByteArray::number(uint(::geteuid()));
    FileProblem ignored;
    // An administrator's shared trash: a real folder with the sticky bit, so that nobody can
    // remove another user's folder in it.
    const std::shared_ptr<HeldFolder> shared =
        HeldFolder::openSubfolder(*topdir, ".Trash", &ignored);
    FileStatus sharedStatus;
    std::shared_ptr<HeldFolder> trash;
    if (shared && shared->status(&sharedStatus, &ignored) && (sharedStatus.mode & S_ISVTX))
        trash = usersOwn(openOrMake(*shared, userId, &ignored), &ignored);
    if (!trash)
        trash = usersOwn(openOrMake(*topdir, ".Trash-" + userId, problem), problem);
    if (!trash)
        return nullptr;
    std::unique_ptr<TrashCan> can = openIn(trash, problem);
    if (can)
        can->topdirPath = topdir->place()->nativePath;
    return can;
}

std::unique_ptr<TrashCan> TrashCan::forPhoto(const HeldPhoto &photo, FileProblem *problem) {
    FileProblem failure;
    std::unique_ptr<TrashCan> can = chooseFor(photo, &failure);
    if (!can)
        reportProblem(cannotKeep(failure), problem);
    return can;
}

std::unique_ptr<TrashCan> TrashCan::chooseFor(const HeldPhoto &photo, FileProblem *problem) {
    const quint64 device = photo.status().key.device;
    FileProblem homeProblem;
    std::unique_ptr<TrashCan> home = openHome(&homeProblem);
    if (home && home->device() == device)
        return home;
    if (!home) {
        // Whether the home trash would have been the one: the home's own device says.
        FileStatus homeStatus;
        const std::shared_ptr<HeldFolder> homeFolder =
            HeldFolder::openRoot(QDir::homePath(), nullptr);
        if (!homeFolder || !homeFolder->status(&homeStatus, nullptr) ||
            homeStatus.key.device == device) {
            reportProblem(homeProblem, problem);
            return nullptr;
        }
    }
    const std::shared_ptr<HeldFolder> topdir = fileSystemTopAbove(photo.folder(), problem);
    return topdir ? openAtTop(topdir, problem) : nullptr;
}

std::unique_ptr<TrashCan> TrashCan::openIn(const std::shared_ptr<HeldFolder> &trash,
                                           FileProblem *problem) {
    std::unique_ptr<TrashCan> can(new TrashCan);
    can->trashFolder = trash;
    can->trashDevice = trash->key().device;
    can->files = openOrMake(*trash, "files", problem);
    can->info = can->files ? openOrMake(*trash, "info", problem) : nullptr;
    if (!can->info)
        return nullptr;
    return can;
}

QString TrashCan::displayPath() const {
    return trashFolder->displayPath();
}

QByteArray TrashCan::pathInInfo(const HeldPhoto &photo) const {
    const QByteArray path = photo.folder()->nativePathOf(photo.name());
    // A trash at the top of a file system keeps paths relative to the top, so that they stay
    // right wherever the disk is mounted.
    const QByteArray top = topdirPath.endsWith('/') ? topdirPath : topdirPath + '/';
    if (!topdirPath.isEmpty() && path.startsWith(top))
        return path.mid(top.size());
    return path;
}

std::unique_ptr<KeptOriginal> TrashCan::keep(HeldPhoto &photo, FileProblem *problem) {
    for (int attempt = 1; attempt <= nameAttempts; ++attempt) {
        const QByteArray name = trashNameFor(photo.name(), attempt);
        const Placed reserved = reserveInfo(photo, name, problem);
        if (reserved == Placed::NameTaken)
            continue;
        if (reserved == Placed::Failed)
            return nullptr;
        FileKey key;
        const Placed placed = placeFile(photo, name, &key, problem);
        if (placed != Placed::Done)
            ::unlinkat(info->descriptor(), (name + infoSuffix).constData(), 0);
        if (placed == Placed::NameTaken)
            continue;
        if (placed == Placed::Failed)
            return nullptr;
        files->flush(nullptr);
        info->flush(nullptr);
        photo.acceptOwnChange(); // the link moved the change time
        std::unique_ptr<KeptOriginal> kept(new KeptOriginal);
        kept->files = files;
        kept->info = info;
        kept->name = name;
        kept->key = key;
        return kept;
    }
    reportProblem(cannotKeep(problemOf(FileProblem::Kind::Other, displayPath(),
                                       tr("no free name is left in it"))),
                  problem);
    return nullptr;
}

TrashCan::Placed TrashCan::reserveInfo(const HeldPhoto &photo, const QByteArray &name,
                                       FileProblem *problem) {
    const QByteArray infoName = name + infoSuffix;
    const Descriptor infoFile(openAt(info->descriptor(), infoName,
                                     O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!infoFile.isValid()) {
        if (errno == EEXIST)
            return Placed::NameTaken;
        reportProblem(cannotKeep(problemFromErrno(info->displayPathOf(infoName))), problem);
        return Placed::Failed;
    }
    const QByteArray text = trashInfoText(pathInInfo(photo), QDateTime::currentDateTime());
    if (!writeAllAt(infoFile.get(), 0, text.constData(), text.size()) ||
        ::fsync(infoFile.get()) != 0) {
        reportProblem(cannotKeep(problemFromErrno(info->displayPathOf(infoName))), problem);
        ::unlinkat(info->descriptor(), infoName.constData(), 0);
        return Placed::Failed;
    }
    return Placed::Done;
}

// The held file itself is linked (through its descriptor, so that no other file that took the
// photo's name meanwhile can be linked instead).
TrashCan::Placed TrashCan::placeFile(HeldPhoto &photo, const QByteArray &name, FileKey *placed,
                                     FileProblem *problem) {
    if (::linkat(AT_FDCWD, ownDescriptorPath(photo.descriptor()).constData(), files->descriptor(),
                 name.constData(), AT_SYMLINK_FOLLOW) == 0) {
        *placed = photo.status().key;
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::NameTaken;
    // No link here (another file system, a file system without links, /proc missing, or the
    // kernel's hard-link protection): a copy keeps the original just as well.
    return copyFile(photo, name, placed, problem);
}

TrashCan::Placed TrashCan::copyFile(const HeldPhoto &photo, const QByteArray &name, FileKey *placed,
                                    FileProblem *problem) {
    const Descriptor copy(openAt(files->descriptor(), name,
                                 O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!copy.isValid()) {
        if (errno == EEXIST)
            return Placed::NameTaken;
        reportProblem(cannotKeep(problemFromErrno(files->displayPathOf(name))), problem);
        return Placed::Failed;
    }
    const FileProblem failure = copyInto(photo, copy.get(), files->displayPathOf(name));
    FileStatus made;
    if (failure.isProblem() || !statusOfDescriptor(copy.get(), &made)) {
        reportProblem(cannotKeep(failure.isProblem()
                                     ? failure
                                     : problemFromErrno(files->displayPathOf(name))),
                      problem);
        ::unlinkat(files->descriptor(), name.constData(), 0);
        return Placed::Failed;
    }
    *placed = made.key;
    return Placed::Done;
}

QString KeptOriginal::displayPath() const {
    return files->displayPathOf(name);
}

void KeptOriginal::rollBack() {
    if (!files)
        return;
    FileStatus status;
    if (statusAt(files->descriptor(), name, &status) && status.key == key)
        ::unlinkat(files->descriptor(), name.constData(), 0);
    ::unlinkat(info->descriptor(), (name + infoSuffix).constData(), 0);
    files.reset();
}

#else // Q_OS_WIN: the recycle bin, untested

std::unique_ptr<TrashCan> TrashCan::openHome(FileProblem *problem) {
    Q_UNUSED(problem)
    return std::unique_ptr<TrashCan>(new TrashCan);
}

std::unique_ptr<TrashCan> TrashCan::openAtTop(const std::shared_ptr<HeldFolder> &topdir,
                                              FileProblem *problem) {
    Q_UNUSED(topdir)
    return openHome(problem);
}

std::unique_ptr<TrashCan> TrashCan::forPhoto(const HeldPhoto &photo, FileProblem *problem) {
    Q_UNUSED(photo)
    return openHome(problem);
}

std::shared_ptr<HeldFolder> fileSystemTopAbove(std::shared_ptr<HeldFolder> folder,
                                               FileProblem *problem) {
    Q_UNUSED(problem)
    return folder;
}

QString TrashCan::displayPath() const {
    return tr("the recycle bin");
}

// The photo is copied under its own name into a folder of its own and the copy recycled, so that
// the photo itself stays in place until its replacement takes it.
std::unique_ptr<KeptOriginal> TrashCan::keep(HeldPhoto &photo, FileProblem *problem) {
    QTemporaryDir aside;
    QByteArray bytes;
    if (!aside.isValid() || !photo.readAll(&bytes, problem))
        return nullptr;
    const QString copyPath = aside.filePath(displayNameOf(photo.name()));
    QFile copy(copyPath);
    QString inBin;
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.flush()) {
        reportProblem(
            cannotKeep(problemOf(FileProblem::Kind::DiskFull, copyPath, copy.errorString())),
            problem);
        return nullptr;
    }
    copy.close();
    if (const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(aside.path(), nullptr))
        setFileTimesAt(*folder, photo.name(), photo.status().modified, photo.status().accessed,
                       nullptr);
    if (!QFile::moveToTrash(copyPath, &inBin)) {
        reportProblem(cannotKeep(problemOf(FileProblem::Kind::Other, copyPath,
                                           tr("the recycle bin did not take it"))),
                      problem);
        return nullptr;
    }
    std::unique_ptr<KeptOriginal> kept(new KeptOriginal);
    kept->recycledPath = inBin;
    return kept;
}

QString KeptOriginal::displayPath() const {
    return recycledPath;
}

void KeptOriginal::rollBack() {
    if (!recycledPath.isEmpty())
        QFile::remove(recycledPath);
    recycledPath.clear();
}

#endif

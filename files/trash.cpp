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
// How much of a .trashinfo file is read: far more than its two lines take.
constexpr qint64 longestTrashInfo = 64 * 1024;

// The subfolder `name` of `parent`, made with mode 0700 where it is missing and `make` asks.
std::shared_ptr<HeldFolder> openOrMake(const HeldFolder &parent, const QByteArray &name,
                                       FileProblem *problem, bool make = true) {
    if (make && ::mkdirat(parent.descriptor(), name.constData(), 0700) != 0 && errno != EEXIST) {
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

QString dataHomePath() {
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        return QDir::homePath() + "/.local/share";
    return dataHome;
}

// Whether `device` is the one the home folder is on; true too when that cannot be told.
bool isHomeDevice(quint64 device) {
    FileStatus homeStatus;
    const std::shared_ptr<HeldFolder> homeFolder = HeldFolder::openRoot(QDir::homePath(), nullptr);
    return !homeFolder || !homeFolder->status(&homeStatus, nullptr) ||
           homeStatus.key.device == device;
}

// The Path= of a .trashinfo file's text, decoded; empty when the text is none.
QByteArray pathOfTrashInfo(const QByteArray &text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != "[Trash Info]")
        return {};
    for (const QByteArray &line : lines) {
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5).trimmed());
    }
    return {};
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
    return openHomeTrash(Making::Make, problem);
}

std::unique_ptr<TrashCan> TrashCan::openHomeTrash(Making making, FileProblem *problem) {
    const QString dataHome = dataHomePath();
    if (making == Making::Make)
        QDir().mkpath(dataHome);
    const std::shared_ptr<HeldFolder> dataFolder = HeldFolder::openRoot(dataHome, problem);
    if (!dataFolder)
        return nullptr;
    FileProblem notEntered;
    std::shared_ptr<HeldFolder> trash =
        openOrMake(*dataFolder, "Trash", &notEntered, making == Making::Make);
    // A link the user made, to keep the trash on another disk: followed, to a folder of theirs.
    if (!trash && notEntered.kind == FileProblem::Kind::SymbolicLink)
        trash = usersOwn(HeldFolder::openRoot(dataHome + "/Trash", problem), problem);
    else if (!trash)
        reportProblem(notEntered, problem);
    return trash ? openIn(trash, making, problem) : nullptr;
}

std::unique_ptr<TrashCan> TrashCan::openAtTop(const std::shared_ptr<HeldFolder> &topdir,
                                              FileProblem *problem) {
    return openTopTrash(topdir, Making::Make, problem);
}

std::unique_ptr<TrashCan> TrashCan::openTopTrash(const std::shared_ptr<HeldFolder> &topdir,
                                                 Making making, FileProblem *problem) {
    const bool make = making == Making::Make;
    const QByteArray userId = QByteArray::number(uint(::geteuid()));
    FileProblem ignored;
    // An administrator's shared trash: a real folder with the sticky bit, so that nobody can
    // remove another user's folder in it.
    const std::shared_ptr<HeldFolder> shared =
        HeldFolder::openSubfolder(*topdir, ".Trash", &ignored);
    FileStatus sharedStatus;
    std::shared_ptr<HeldFolder> trash;
    if (shared && shared->status(&sharedStatus, &ignored) && (sharedStatus.mode & S_ISVTX))
        trash = usersOwn(openOrMake(*shared, userId, &ignored, make), &ignored);
    if (!trash)
        trash = usersOwn(openOrMake(*topdir, ".Trash-" + userId, problem, make), problem);
    if (!trash)
        return nullptr;
    std::unique_ptr<TrashCan> can = openIn(trash, making, problem);
    if (can)
        can->topdirPath = topdir->place()->nativePath;
    return can;
}

std::unique_ptr<TrashCan> TrashCan::forPhoto(const HeldPhoto &photo, FileProblem *problem) {
    FileProblem failure;
    std::unique_ptr<TrashCan> can = chooseFor(photo, Making::Make, &failure);
    if (!can)
        reportProblem(cannotKeep(failure), problem);
    return can;
}

// The home trash for photos on its own file system, where the original is linked, and on the
// home's (the trash may be a link to another disk), where it is copied; the trash at the top of
// the photo's file system for the others.
std::unique_ptr<TrashCan> TrashCan::chooseFor(const HeldPhoto &photo, Making making,
                                              FileProblem *problem) {
    const quint64 device = photo.status().key.device;
    FileProblem homeProblem;
    std::unique_ptr<TrashCan> home = openHomeTrash(making, &homeProblem);
    if (home && home->device() == device)
        return home;
    if (isHomeDevice(device)) {
        if (!home)
            reportProblem(homeProblem, problem);
        return home;
    }
    const std::shared_ptr<HeldFolder> topdir = fileSystemTopAbove(photo.folder(), problem);
    return topdir ? openTopTrash(topdir, making, problem) : nullptr;
}

std::unique_ptr<TrashCan> TrashCan::openIn(const std::shared_ptr<HeldFolder> &trash, Making making,
                                           FileProblem *problem) {
    const bool make = making == Making::Make;
    std::unique_ptr<TrashCan> can(new TrashCan);
    can->trashFolder = trash;
    can->trashDevice = trash->key().device;
    can->files = openOrMake(*trash, "files", problem, make);
    can->info = can->files ? openOrMake(*trash, "info", problem, make) : nullptr;
    if (!can->info)
        return nullptr;
    return can;
}

TrashCan::SecondName TrashCan::lookForSecondName(HeldPhoto &photo, QString *entryPath) {
    const std::unique_ptr<TrashCan> can = chooseFor(photo, Making::Existing, nullptr);
    const QByteArray name = can ? can->entryOf(photo) : QByteArray();
    if (name.isEmpty())
        return SecondName::NotInTrash;
    *entryPath = can->files->displayPathOf(name);
    if (!can->isKeptFor(name, photo))
        return SecondName::InTrash;
    FileStatus before;
    FileStatus after;
    if (!photo.statusNow(&before, nullptr))
        return SecondName::InTrash;
    KeptOriginal entry;
    entry.files = can->files;
    entry.info = can->info;
    entry.name = name;
    entry.key = before.key;
    entry.rollBack();
    can->files->flush(nullptr);
    can->info->flush(nullptr);
    if (!photo.statusNow(&after, nullptr) || after.links >= before.links)
        return SecondName::InTrash;
    photo.acceptOwnChange(); // the removal moved the change time
    return SecondName::TakenOut;
}

// The names a kept original of this photo can have, in the order keep() tries them. Bounded by the
// attempts keep() makes, each a look at one name.
QByteArray TrashCan::entryOf(const HeldPhoto &photo) const {
    const FileKey key = photo.status().key;
    for (int attempt = 1; attempt <= nameAttempts; ++attempt) {
        const QByteArray name = trashNameFor(photo.name(), attempt);
        FileStatus status;
        if (statusAt(files->descriptor(), name, &status) && status.key == key)
            return name;
    }
    return {};
}

bool TrashCan::isKeptFor(const QByteArray &name, const HeldPhoto &photo) const {
    // Not blocking on a FIFO put in its place, and never following a link.
    const Descriptor infoFile(openAt(info->descriptor(), name + infoSuffix,
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    FileStatus status;
    if (!infoFile.isValid() || !statusOfDescriptor(infoFile.get(), &status) ||
        status.type != FileStatus::Type::RegularFile || status.size > longestTrashInfo)
        return false;
    QByteArray text(int(status.size), '\0');
    const qint64 read = readAllAt(infoFile.get(), 0, text.data(), status.size);
    if (read < 0)
        return false;
    text.truncate(int(read));
    const QByteArray path = pathOfTrashInfo(text);
    return !path.isEmpty() && path == pathInInfo(photo);
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

// The recycle bin keeps copies: no second name of a photo is ever made there.
TrashCan::SecondName TrashCan::lookForSecondName(HeldPhoto &photo, QString *entryPath) {
    Q_UNUSED(photo)
    Q_UNUSED(entryPath)
    return SecondName::NotInTrash;
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

// A held photo: opening, reading, the read lease, the rotation lock and the last checks, through
// its descriptor (POSIX) or its path (Windows, untested).
#include "files/heldphoto.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/fileproblem.h"
#include "files/heldfolder.h"

#ifndef Q_OS_WIN
#include "files/posixfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#endif
#ifdef Q_OS_LINUX
#include "files/leasebreaks.h"
#endif

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("HeldPhoto", text);
}

FileProblem notRegularProblem(const QString &path) {
    return problemOf(FileProblem::Kind::NotRegularFile, path,
                     tr("it is not a regular file (a FIFO, device or socket); it is not read"));
}

FileProblem symbolicLinkProblem(const QString &path) {
    return problemOf(FileProblem::Kind::SymbolicLink, path,
                     tr("it is a symbolic link, which is not followed"));
}

FileProblem shorterProblem(const QString &path) {
    return problemOf(FileProblem::Kind::Other, path, tr("it became shorter while it was read"));
}

FileProblem changedProblem(const QString &path) {
    return problemOf(FileProblem::Kind::Other, path,
                     tr("it was changed while it was being rotated"));
}

FileProblem inUseProblem(const QString &path) {
    return problemOf(FileProblem::Kind::InUse, path,
                     tr("another program holds it (it has a lease on it)"));
}

FileProblem replacedProblem(const QString &path) {
    return problemOf(FileProblem::Kind::Replaced, path,
                     tr("another file took its name while it was being rotated"));
}
} // namespace

HeldPhoto::HeldPhoto(std::shared_ptr<HeldFolder> folder, const QByteArray &name)
    : heldFolder(std::move(folder))
    , photoName(name) {}

HeldPhoto::~HeldPhoto() = default; // closing the descriptor lets any lease go

QString HeldPhoto::displayPath() const {
    return heldFolder->displayPathOf(photoName);
}

std::unique_ptr<HeldPhoto> HeldPhoto::openChosen(const QString &path, FileProblem *problem) {
    const QFileInfo chosen(path);
    const QFileInfo photo(chosen.isSymLink() ? chosen.canonicalFilePath() : path);
    if (chosen.isSymLink() && photo.filePath().isEmpty()) {
        reportProblem(problemOf(FileProblem::Kind::NotFound, QDir::cleanPath(path),
                                tr("the symbolic link leads nowhere")),
                      problem);
        return nullptr;
    }
    std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(photo.absolutePath(), problem);
    if (!folder)
        return nullptr;
    return open(std::move(folder), QFile::encodeName(photo.fileName()), problem);
}

#ifndef Q_OS_WIN

std::unique_ptr<HeldPhoto> HeldPhoto::open(std::shared_ptr<HeldFolder> folder,
                                           const QByteArray &name, FileProblem *problem) {
    std::unique_ptr<HeldPhoto> photo(new HeldPhoto(std::move(folder), name));
    const QString shown = photo->displayPath();
    // Looked at before it is opened: opening a device can act on it, whatever follows.
    FileStatus entry;
    if (!photo->heldFolder->statusOf(name, &entry, problem))
        return nullptr;
    if (entry.type == FileStatus::Type::SymbolicLink) {
        reportProblem(symbolicLinkProblem(shown), problem);
        return nullptr;
    }
    if (!entry.isRegularFile()) {
        reportProblem(notRegularProblem(shown), problem);
        return nullptr;
    }
    // O_NONBLOCK: should the entry have become a FIFO since, the open does not wait for a writer.
    photo->fd = Descriptor(openAt(photo->heldFolder->descriptor(), name,
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!photo->fd.isValid()) {
        // EWOULDBLOCK: another process's write lease, whose break this open has begun.
        const int error = errno;
        reportProblem(error == ELOOP         ? symbolicLinkProblem(shown)
                      : error == EWOULDBLOCK ? inUseProblem(shown)
                                             : problemFromSystemError(error, shown),
                      problem);
        return nullptr;
    }
    if (!statusOfDescriptor(photo->fd.get(), &photo->baseline)) {
        reportProblem(problemFromErrno(shown), problem);
        return nullptr;
    }
    if (!photo->baseline.isRegularFile()) {
        reportProblem(notRegularProblem(shown), problem);
        return nullptr;
    }
    return photo;
}

bool HeldPhoto::statusNow(FileStatus *status, FileProblem *problem) const {
    if (statusOfDescriptor(fd.get(), status))
        return true;
    return reportProblem(problemFromErrno(displayPath()), problem);
}

qint64 HeldPhoto::readAt(qint64 offset, char *into, qint64 length) const {
    return readAllAt(fd.get(), offset, into, length);
}

HeldPhoto::Lease HeldPhoto::takeReadLease(FileProblem *problem) {
#ifdef Q_OS_LINUX
    const int signal = prepareLeaseBreakSignal();
    if (signal == 0 || ::fcntl(fd.get(), F_SETSIG, signal) != 0) {
        reportProblem(problemFromErrno(displayPath()), problem);
        return Lease::Unavailable;
    }
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
        leaseTaken = true;
        return Lease::Held;
    }
    // EAGAIN: open for writing somewhere. EACCES: another owner's file without CAP_LEASE; EINVAL
    // or ENOSYS: a file system without leases (NFS, FUSE and others).
    if (errno == EAGAIN)
        return Lease::OpenForWriting;
    reportProblem(problemFromErrno(displayPath()), problem);
    return Lease::Unavailable;
#else
    reportProblem(
        problemOf(FileProblem::Kind::Other, displayPath(), tr("this system gives no leases")),
        problem);
    return Lease::Unavailable;
#endif
}

bool HeldPhoto::leaseBroken() const {
#ifdef Q_OS_LINUX
    // While a break is pending the kernel answers with the lease the breaker leaves (none), and
    // after it with none.
    return leaseTaken && ::fcntl(fd.get(), F_GETLEASE) != F_RDLCK;
#else
    return false;
#endif
}

void HeldPhoto::releaseLease() {
#ifdef Q_OS_LINUX
    if (leaseTaken)
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
#endif
    leaseTaken = false;
}

HeldPhoto::Lease HeldPhoto::writersNow() {
    if (leaseTaken)
        return leaseBroken() ? Lease::OpenForWriting : Lease::Held;
    const Lease lease = takeReadLease();
    releaseLease();
    return lease;
}

HeldPhoto::RotationLock HeldPhoto::takeRotationLock() {
    if (rotationLocked)
        return RotationLock::Taken;
    int result;
    do
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        rotationLocked = true;
        return RotationLock::Taken;
    }
    return errno == EWOULDBLOCK ? RotationLock::TakenElsewhere : RotationLock::Unavailable;
}

void HeldPhoto::releaseRotationLock() {
    if (rotationLocked)
        ::flock(fd.get(), LOCK_UN);
    rotationLocked = false;
}

HeldPhoto::Placement HeldPhoto::placement(FileProblem *problem) const {
    FileStatus named;
    if (!statusAt(heldFolder->descriptor(), photoName, &named) || named.key != baseline.key) {
        reportProblem(replacedProblem(displayPath()), problem);
        return Placement::Replaced;
    }
    FileStatus held;
    if (!statusNow(&held, problem))
        return Placement::Changed;
    if (!sameFileUnchanged(baseline, held) || leaseBroken()) {
        reportProblem(changedProblem(displayPath()), problem);
        return Placement::Changed;
    }
    return Placement::InPlace;
}

Protection HeldPhoto::protection() const {
    return protectionOf(fd.get());
}

bool HeldPhoto::acceptOwnChange() {
    FileStatus now;
    if (!statusOfDescriptor(fd.get(), &now) || now.key != baseline.key ||
        now.size != baseline.size || now.modified != baseline.modified)
        return false;
    baseline = now;
    return true;
}

QString HeldPhoto::toolPath() const {
#ifdef Q_OS_LINUX
    return QString::fromLatin1(processDescriptorPath(fd.get()));
#else
    return QFile::decodeName(heldFolder->nativePathOf(photoName));
#endif
}

#else // Q_OS_WIN: paths, untested. The photo is opened for each read and closed again, so that
      // it never stands in the way of its own replacement.

namespace {
FileStatus statusOfPath(const QString &path) {
    const QFileInfo info(path);
    FileStatus status;
    status.key = {0, quint64(qHash(info.absoluteFilePath().toLower()))};
    status.type = info.isSymLink() || info.isJunction() ? FileStatus::Type::SymbolicLink
                  : info.isFile()                       ? FileStatus::Type::RegularFile
                  : info.isDir()                        ? FileStatus::Type::Folder
                                                        : FileStatus::Type::Other;
    status.size = info.size();
    status.modified = FileTime::fromDateTime(info.lastModified());
    status.changed = FileTime::fromDateTime(info.metadataChangeTime());
    status.accessed = FileTime::fromDateTime(info.lastRead());
    status.links = 1;
    return status;
}

QString pathOf(const HeldPhoto &photo) {
    return QString::fromUtf8(photo.folder()->nativePathOf(photo.name()));
}
} // namespace

std::unique_ptr<HeldPhoto> HeldPhoto::open(std::shared_ptr<HeldFolder> folder,
                                           const QByteArray &name, FileProblem *problem) {
    std::unique_ptr<HeldPhoto> photo(new HeldPhoto(std::move(folder), name));
    photo->baseline = statusOfPath(pathOf(*photo));
    if (photo->baseline.type == FileStatus::Type::SymbolicLink) {
        reportProblem(symbolicLinkProblem(photo->displayPath()), problem);
        return nullptr;
    }
    if (!photo->baseline.isRegularFile()) {
        reportProblem(notRegularProblem(photo->displayPath()), problem);
        return nullptr;
    }
    QFile file(pathOf(*photo));
    if (!file.open(QIODevice::ReadOnly)) {
        reportProblem(
            problemOf(FileProblem::Kind::NoPermission, photo->displayPath(), file.errorString()),
            problem);
        return nullptr;
    }
    return photo;
}

bool HeldPhoto::statusNow(FileStatus *status, FileProblem *problem) const {
    Q_UNUSED(problem)
    *status = statusOfPath(pathOf(*this));
    return true;
}

qint64 HeldPhoto::readAt(qint64 offset, char *into, qint64 length) const {
    QFile file(pathOf(*this));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file.seek(offset))
        return -1;
    qint64 done = 0;
    while (done < length) {
        const qint64 count = file.read(into + done, length - done);
        if (count < 0)
            return -1;
        if (count == 0)
            break;
        done += count;
    }
    return done;
}

HeldPhoto::Lease HeldPhoto::takeReadLease(FileProblem *problem) {
    reportProblem(
        problemOf(FileProblem::Kind::Other, displayPath(), tr("this system gives no leases")),
        problem);
    return Lease::Unavailable;
}

bool HeldPhoto::leaseBroken() const {
    return false;
}

void HeldPhoto::releaseLease() {
    leaseTaken = false;
}

HeldPhoto::Lease HeldPhoto::writersNow() {
    return Lease::Unavailable;
}

HeldPhoto::RotationLock HeldPhoto::takeRotationLock() {
    return RotationLock::Unavailable;
}

void HeldPhoto::releaseRotationLock() {}

HeldPhoto::Placement HeldPhoto::placement(FileProblem *problem) const {
    const FileStatus now = statusOfPath(pathOf(*this));
    if (!now.isRegularFile()) {
        reportProblem(replacedProblem(displayPath()), problem);
        return Placement::Replaced;
    }
    if (!sameFileUnchanged(baseline, now)) {
        reportProblem(changedProblem(displayPath()), problem);
        return Placement::Changed;
    }
    return Placement::InPlace;
}

Protection HeldPhoto::protection() const {
    return Protection::None;
}

bool HeldPhoto::acceptOwnChange() {
    const FileStatus now = statusOfPath(pathOf(*this));
    if (now.size != baseline.size || now.modified != baseline.modified)
        return false;
    baseline = now;
    return true;
}

QString HeldPhoto::toolPath() const {
    return QDir::toNativeSeparators(pathOf(*this));
}

#endif

bool HeldPhoto::readAll(QByteArray *bytes, FileProblem *problem) const {
    bytes->resize(baseline.size);
    const qint64 read = readAt(0, bytes->data(), baseline.size);
    if (read < 0) {
        bytes->clear();
#ifdef Q_OS_WIN
        return reportProblem(
            problemOf(FileProblem::Kind::Other, displayPath(), tr("it could not be read")),
            problem);
#else
        return reportProblem(problemFromErrno(displayPath()), problem);
#endif
    }
    if (read < baseline.size) {
        bytes->resize(read);
        return reportProblem(shorterProblem(displayPath()), problem);
    }
    return true;
}

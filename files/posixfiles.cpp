// POSIX calls shared by the held files.
#include "files/posixfiles.h"

#ifndef Q_OS_WIN

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace {
FileTime fileTime(const struct timespec &time) {
    return {qint64(time.tv_sec), qint32(time.tv_nsec)};
}

FileStatus::Type typeOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileStatus::Type::RegularFile;
    if (S_ISDIR(mode))
        return FileStatus::Type::Folder;
    if (S_ISLNK(mode))
        return FileStatus::Type::SymbolicLink;
    return FileStatus::Type::Other;
}

FileStatus statusFrom(const struct stat &info) {
    FileStatus status;
    status.key = {quint64(info.st_dev), quint64(info.st_ino)};
    status.type = typeOf(info.st_mode);
    status.size = qint64(info.st_size);
#ifdef Q_OS_MACOS
    status.modified = fileTime(info.st_mtimespec);
    status.changed = fileTime(info.st_ctimespec);
    status.accessed = fileTime(info.st_atimespec);
#else
    status.modified = fileTime(info.st_mtim);
    status.changed = fileTime(info.st_ctim);
    status.accessed = fileTime(info.st_atim);
#endif
    status.mode = uint(info.st_mode & 07777);
    status.owner = uint(info.st_uid);
    status.group = uint(info.st_gid);
    status.links = quint64(info.st_nlink);
    return status;
}
} // namespace

bool statusOfDescriptor(int descriptor, FileStatus *status) {
    struct stat info;
    if (::fstat(descriptor, &info) != 0)
        return false;
    *status = statusFrom(info);
    return true;
}

bool statusAt(int folder, const QByteArray &name, FileStatus *status) {
    struct stat info;
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    *status = statusFrom(info);
    return true;
}

int openAt(int folder, const QByteArray &name, int flags, uint mode) {
    int descriptor;
    do {
        descriptor = ::openat(folder, name.constData(), flags, mode_t(mode));
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

bool writeAllAt(int descriptor, qint64 offset, const char *data, qint64 length) {
    while (length > 0) {
        const ssize_t written = ::pwrite(descriptor, data, size_t(length), off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        offset += written;
        length -= written;
    }
    return true;
}

qint64 readAllAt(int descriptor, qint64 offset, char *into, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        const ssize_t count =
            ::pread(descriptor, into + done, size_t(length - done), off_t(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return -1;
        if (count == 0)
            break;
        done += count;
    }
    return done;
}

Protection protectionOf(int descriptor) {
#ifdef Q_OS_LINUX
    int flags = 0;
    if (::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) != 0)
        return Protection::None; // a file system without such flags
    if (flags & FS_IMMUTABLE_FL)
        return Protection::Immutable;
    if (flags & FS_APPEND_FL)
        return Protection::AppendOnly;
#else
    Q_UNUSED(descriptor)
#endif
    return Protection::None;
}

QByteArray ownDescriptorPath(int descriptor) {
    return "/proc/self/fd/" + QByteArray::number(descriptor);
}

QByteArray processDescriptorPath(int descriptor) {
    return "/proc/" + QByteArray::number(qint64(::getpid())) + "/fd/" +
           QByteArray::number(descriptor);
}

#endif

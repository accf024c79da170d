// Raw files for the tests.
#include "rawfiles.h"

#include <QFile>
#include <QList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

bool RawFiles::writeAt(int folder, const QByteArray &name, const QByteArray &bytes) {
    const int descriptor = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (descriptor < 0)
        return false;
    const bool written =
        ::write(descriptor, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(descriptor);
    return written;
}

bool RawFiles::write(const QByteArray &path, const QByteArray &bytes) {
    return writeAt(AT_FDCWD, path, bytes);
}

QByteArray RawFiles::read(const QByteArray &path) {
    const int descriptor = ::open(path.constData(), O_RDONLY);
    QFile file;
    if (descriptor < 0 || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QByteArray();
    return file.readAll();
}

void RawFiles::removeTreeAt(int parent, const QByteArray &name) {
    const int folder = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (folder < 0) {
        ::unlinkat(parent, name.constData(), 0);
        return;
    }
    QList<QByteArray> entries;
    if (DIR *listing = ::fdopendir(::dup(folder))) {
        while (const struct dirent *entry = ::readdir(listing)) {
            const QByteArray entryName(entry->d_name);
            if (entryName != "." && entryName != "..")
                entries << entryName;
        }
        ::closedir(listing);
    }
    for (const QByteArray &entry : std::as_const(entries)) {
        if (::unlinkat(folder, entry.constData(), 0) != 0)
            removeTreeAt(folder, entry);
    }
    ::close(folder);
    ::unlinkat(parent, name.constData(), AT_REMOVEDIR);
}

void RawFiles::removeTree(const QString &path) {
    removeTreeAt(AT_FDCWD, QFile::encodeName(path));
}

rlim_t RawFiles::lowestFreeDescriptor() {
    const int probe = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
    ::close(probe);
    return rlim_t(probe);
}

RawFiles::LoweredDescriptorLimit::LoweredDescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved);
    struct rlimit lowered = saved;
    lowered.rlim_cur = soft;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
}

RawFiles::LoweredDescriptorLimit::~LoweredDescriptorLimit() {
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

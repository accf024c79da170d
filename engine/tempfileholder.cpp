// The stale temporary files' cleanup. The lock is flock() on POSIX systems, as files/ takes it on
// the files it makes; on Windows it is a byte-range lock far beyond the end of the file (written
// but untested).
#include "engine/tempfileholder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Untested.
constexpr DWORD lockOffsetLow = 0xFFFFFFFE;
constexpr DWORD lockOffsetHigh = 0x7FFFFFFF;

bool lockWithoutWaiting(HANDLE handle) {
    OVERLAPPED where = {};
    where.Offset = lockOffsetLow;
    where.OffsetHigh = lockOffsetHigh;
    return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &where) != 0;
}

std::wstring nativeName(const QString &path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

bool removeIfUnheld(const QString &path) {
    HANDLE handle = CreateFileW(nativeName(path).c_str(), GENERIC_READ | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool removed = false;
    if (lockWithoutWaiting(handle)) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        removed = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                             sizeof disposition) != 0;
    }
    CloseHandle(handle);
    return removed;
}
#else
bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `path` still names the file open as `descriptor`: a cleanup may have removed the name
// between the creation and the lock.
bool pathNamesDescriptor(const QByteArray &path, int descriptor) {
    struct stat opened, named;
    return ::fstat(descriptor, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
           S_ISREG(opened.st_mode) && sameFile(opened, named);
}

bool removeIfUnheld(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    bool removed = false;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && pathNamesDescriptor(name, descriptor))
        removed = ::unlink(name.constData()) == 0;
    ::close(descriptor);
    return removed;
}
#endif

} // namespace

bool isPivottaTempName(const QString &fileName) {
    static const QRegularExpression pattern(
        "\\A\\..+\\.pivotta-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.tmp\\z",
        QRegularExpression::DotMatchesEverythingOption); // photo names may hold line breaks
    return pattern.match(fileName).hasMatch();
}

QStringList removeStaleTempFiles(const QString &folder) {
    QStringList removed;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || !isPivottaTempName(entry.fileName()))
            continue;
        if (removeIfUnheld(entry.absoluteFilePath()))
            removed << entry.fileName();
    }
    return removed;
}

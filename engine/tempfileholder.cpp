// Held temporary files. The lock is flock() on POSIX systems: it
// belongs to the open file, so opening and closing the same file elsewhere in the program (to
// parse it, to put the thumbnail back) does not drop it, as it would drop an fcntl() lock. On
// Windows it is a byte-range lock far beyond the end of the file, which never meets the reads and
// writes of the tools (written but untested).
#include "engine/tempfileholder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "engine/safereplace.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int creationAttempts = 3;

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

qintptr createLocked(const QString &path, QString *error) {
    HANDLE handle = CreateFileW(nativeName(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = QString::fromStdString(std::system_category().message(int(GetLastError())));
        return -1;
    }
    if (!lockWithoutWaiting(handle)) {
        CloseHandle(handle);
        return -1;
    }
    return qintptr(handle);
}

void closeHandle(qintptr handle) {
    CloseHandle(HANDLE(handle));
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

qintptr createLocked(const QString &path, QString *error) {
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 || !pathNamesDescriptor(name, descriptor)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

void closeHandle(qintptr handle) {
    ::close(int(handle));
}

#endif

} // namespace

bool isPivottaTempName(const QString &fileName) {
    static const QRegularExpression pattern(
        "\\A\\..+\\.pivotta-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.tmp\\z",
        QRegularExpression::DotMatchesEverythingOption); // photo names may hold line breaks
    return pattern.match(fileName).hasMatch();
}

TempFileHolder::TempFileHolder(const QString &photoPath) {
    for (int attempt = 0; attempt < creationAttempts && !isValid(); ++attempt) {
        const QString candidate = siblingTempPath(photoPath);
        if (create(candidate))
            filePath = candidate;
    }
    if (!isValid() && error.isEmpty())
        error = QCoreApplication::translate("TempFileHolder",
                                            "no temporary file beside the photo could be held");
}

TempFileHolder::~TempFileHolder() {
    if (isValid() && !filePath.isEmpty())
        QFile::remove(filePath); // while the lock is still held
    close();
}

bool TempFileHolder::create(const QString &candidate) {
    handle = createLocked(candidate, &error);
    return isValid();
}

void TempFileHolder::release() {
    close();
}

void TempFileHolder::close() {
    if (isValid())
        closeHandle(handle);
    handle = invalidHandle;
}

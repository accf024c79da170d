// Reading EXIF dates as file times, and setting file times exactly.
#include "files/filetimes.h"

#include <QDateTime>
#include <QDir>

#include "files/fileproblem.h"
#include "files/heldfolder.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <system_error>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#endif

std::optional<FileTime> fileTimeFromExifDate(const QString &exifDate) {
    const QDateTime local = QDateTime::fromString(exifDate.trimmed(), "yyyy:MM:dd HH:mm:ss");
    if (!local.isValid())
        return std::nullopt;
    return FileTime{local.toSecsSinceEpoch(), 0};
}

#ifndef Q_OS_WIN

namespace {
struct timespec timespecOf(const FileTime &time) {
    struct timespec converted = {};
    converted.tv_sec = time_t(time.seconds);
    converted.tv_nsec = long(time.nanoseconds);
    return converted;
}

void fillTimes(struct timespec times[2], const FileTime &modified,
               const std::optional<FileTime> &accessed) {
    if (accessed) {
        times[0] = timespecOf(*accessed);
    } else {
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
    }
    times[1] = timespecOf(modified);
}
} // namespace

bool setDescriptorFileTimes(int descriptor, const FileTime &modified,
                            const std::optional<FileTime> &accessed, const QString &displayPath,
                            FileProblem *problem) {
    struct timespec times[2];
    fillTimes(times, modified, accessed);
    if (::futimens(descriptor, times) == 0)
        return true;
    return reportProblem(problemFromErrno(displayPath), problem);
}

bool setFileTimesAt(const HeldFolder &folder, const QByteArray &name, const FileTime &modified,
                    const std::optional<FileTime> &accessed, FileProblem *problem) {
    struct timespec times[2];
    fillTimes(times, modified, accessed);
    if (::utimensat(folder.descriptor(), name.constData(), times, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    return reportProblem(problemFromErrno(folder.displayPathOf(name)), problem);
}

#else // Q_OS_WIN: untested

namespace {
// 100 ns steps since 1601-01-01.
FILETIME fileTimeOf(const FileTime &time) {
    constexpr qint64 secondsFrom1601To1970 = 11644473600LL;
    const quint64 steps = quint64(time.seconds + secondsFrom1601To1970) * 10000000ULL +
                          quint64(time.nanoseconds / 100);
    FILETIME converted;
    converted.dwLowDateTime = DWORD(steps & 0xFFFFFFFFULL);
    converted.dwHighDateTime = DWORD(steps >> 32);
    return converted;
}
} // namespace

bool setDescriptorFileTimes(int descriptor, const FileTime &modified,
                            const std::optional<FileTime> &accessed, const QString &displayPath,
                            FileProblem *problem) {
    Q_UNUSED(descriptor)
    Q_UNUSED(modified)
    Q_UNUSED(accessed)
    return reportProblem(problemOf(FileProblem::Kind::Other, displayPath,
                                   QStringLiteral("no descriptors on this system")),
                         problem);
}

bool setFileTimesAt(const HeldFolder &folder, const QByteArray &name, const FileTime &modified,
                    const std::optional<FileTime> &accessed, FileProblem *problem) {
    const std::wstring path =
        QDir::toNativeSeparators(QString::fromUtf8(folder.nativePathOf(name))).toStdWString();
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool set = false;
    if (handle != INVALID_HANDLE_VALUE) {
        const FILETIME modifiedTime = fileTimeOf(modified);
        FILETIME accessedTime;
        if (accessed)
            accessedTime = fileTimeOf(*accessed);
        set = SetFileTime(handle, nullptr, accessed ? &accessedTime : nullptr, &modifiedTime) != 0;
    }
    const DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (set)
        return true;
    return reportProblem(
        problemOf(FileProblem::Kind::Other, folder.displayPathOf(name),
                  QString::fromStdString(std::system_category().message(int(error)))),
        problem);
}

#endif

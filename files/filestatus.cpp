// File times and the comparison of two looks at a file.
#include "files/filestatus.h"

#include <ctime>

namespace {
constexpr qint64 nanosecondsPerMs = 1000000;
}

qint64 FileTime::msecsSince(const FileTime &earlier) const {
    return (seconds - earlier.seconds) * 1000 +
           (qint64(nanoseconds) - earlier.nanoseconds) / nanosecondsPerMs;
}

QDateTime FileTime::toDateTime() const {
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000 + nanoseconds / nanosecondsPerMs);
}

FileTime FileTime::fromDateTime(const QDateTime &dateTime) {
    const qint64 ms = dateTime.toMSecsSinceEpoch();
    // Floor division, so that times before 1970 keep a non-negative nanosecond part.
    qint64 wholeSeconds = ms / 1000;
    qint64 restMs = ms % 1000;
    if (restMs < 0) {
        restMs += 1000;
        --wholeSeconds;
    }
    return {wholeSeconds, qint32(restMs * nanosecondsPerMs)};
}

FileTime FileTime::now() {
    std::timespec time{};
    std::timespec_get(&time, TIME_UTC);
    return {qint64(time.tv_sec), qint32(time.tv_nsec)};
}

bool sameFileUnchanged(const FileStatus &before, const FileStatus &now) {
    return before.key == now.key && before.type == now.type && before.size == now.size &&
           before.modified == now.modified && before.changed == now.changed;
}

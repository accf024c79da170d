// The descriptor limit and count, and the photos in work they allow.
#include "files/descriptorbudget.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <dirent.h>
#include <sys/resource.h>
#endif

qint64 raiseDescriptorLimit() {
#ifdef Q_OS_WIN
    return -1;
#else
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur != limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? qint64(1) << 30 : qint64(limit.rlim_cur);
#endif
}

qint64 descriptorLimit() {
#ifdef Q_OS_WIN
    return -1;
#else
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    return limit.rlim_cur == RLIM_INFINITY ? qint64(1) << 30 : qint64(limit.rlim_cur);
#endif
}

qint64 openDescriptorCount() {
#ifdef Q_OS_LINUX
    DIR *listing = ::opendir("/proc/self/fd");
    if (!listing)
        return errno == EMFILE ? descriptorLimit() : -1; // all of them are open
    qint64 count = 0;
    while (const struct dirent *entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(listing);
    return count - 1; // the listing's own
#else
    return -1;
#endif
}

int photosInWorkFor(int wanted, qint64 freeDescriptors, int perPhoto, int reserved) {
    const qint64 room = (freeDescriptors - reserved) / qMax(1, perPhoto);
    return int(qBound(qint64(0), room, qint64(qMax(0, wanted))));
}

int photosInWorkNow(int wanted) {
    const qint64 limit = descriptorLimit();
    const qint64 open = openDescriptorCount();
    if (limit < 0 || open < 0)
        return wanted;
    return photosInWorkFor(wanted, limit - open);
}

// Reading the system's limit of watched folders.
#include "watcher/watchlimit.h"

#include <QFile>

int systemWatchLimit() {
#ifdef Q_OS_LINUX
    QFile limit("/proc/sys/fs/inotify/max_user_watches");
    if (!limit.open(QIODevice::ReadOnly))
        return 0;
    bool isNumber = false;
    const int value = limit.readAll().trimmed().toInt(&isNumber);
    return isNumber ? value : 0;
#else
    return 0; // Windows and macOS have no such per-user limit to name
#endif
}

// Two looks at a photo compared.
#include "files/settledcheck.h"

#include <algorithm>

SettledVerdict compareLooks(const FileLook &first, const FileLook &second, qint64 intervalMs,
                            qint64 quietForMs) {
    if (!sameFileUnchanged(first.status, second.status))
        return {SettledVerdict::Kind::Changing, intervalMs};
    const qint64 apart = second.at.msecsSince(first.at);
    if (apart < intervalMs)
        return {SettledVerdict::Kind::WaitMore, intervalMs - apart};
    const FileTime lastChange = std::max(second.status.modified, second.status.changed);
    const qint64 age = second.at.msecsSince(lastChange);
    if (age < quietForMs && age > -quietForMs)
        return {SettledVerdict::Kind::WaitMore, quietForMs - age};
    return {SettledVerdict::Kind::Settled, 0};
}

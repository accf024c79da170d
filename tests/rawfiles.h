// Files made, read and removed by their raw names with POSIX calls, for the tests of the held
// files: names that are no valid text and trees deeper than a path can say are beyond Qt's own
// file classes. Also a lowered descriptor limit that is always put back.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/resource.h>

namespace RawFiles {

bool writeAt(int folder, const QByteArray &name, const QByteArray &bytes);
bool write(const QByteArray &path, const QByteArray &bytes);
QByteArray read(const QByteArray &path);
// Removes `name` in `folder` and everything in it, one folder at a time.
void removeTreeAt(int folder, const QByteArray &name);
void removeTree(const QString &path);

// The lowest descriptor number free now: a limit at it leaves no descriptor to open.
rlim_t lowestFreeDescriptor();

class LoweredDescriptorLimit {
public:
    explicit LoweredDescriptorLimit(rlim_t soft);
    ~LoweredDescriptorLimit();
    LoweredDescriptorLimit(const LoweredDescriptorLimit &) = delete;
    LoweredDescriptorLimit &operator=(const LoweredDescriptorLimit &) = delete;

private:
    struct rlimit saved;
};

} // namespace RawFiles

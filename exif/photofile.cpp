// A photo file read in pieces with plain reads.
#include "exif/photofile.h"

#include <QFileInfo>
#include <QTimeZone>

namespace {
// In UTC where Qt offers it: the local time costs a look at the time zone file on every call.
QDateTime modificationTime(const QFileInfo &info) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    return info.lastModified(QTimeZone::UTC);
#else
    return info.lastModified();
#endif
}
} // namespace

PhotoFile::PhotoFile(const QString &photoPath)
    : filePath(photoPath) {}

PhotoFile::~PhotoFile() = default;

bool PhotoFile::open() {
    if (filePath.isEmpty())
        return false;
    // Only regular files: opening a FIFO or a device could block or never end.
    const QFileInfo info(filePath);
    if (!info.isFile())
        return false;
    file.setFileName(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    openedSize = info.size();
    openedTime = modificationTime(info);
    return true;
}

bool PhotoFile::load(qint64 length) {
    length = qMin(length, openedSize);
    qint64 done = buffer.size();
    if (length <= done)
        return true;
    buffer.resize(length);
    while (done < length) {
        const qint64 count = readAt(done, buffer.data() + done, length - done);
        if (count <= 0) {
            buffer.resize(done);
            return false;
        }
        done += count;
    }
    return true;
}

const unsigned char *PhotoFile::bytes() const {
    return reinterpret_cast<const unsigned char *>(buffer.constData());
}

bool PhotoFile::unchangedSinceOpened() const {
    const QFileInfo now(filePath);
    return now.isFile() && now.size() == openedSize && modificationTime(now) == openedTime;
}

QFile *PhotoFile::rewoundDevice() {
    file.seek(0);
    return &file;
}

qint64 PhotoFile::readAt(qint64 offset, char *into, qint64 length) {
    if (file.pos() != offset && !file.seek(offset))
        return -1;
    return file.read(into, length);
}

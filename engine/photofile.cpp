// A photo read in pieces with plain reads, through a held photo's descriptor or from memory.
#include "engine/photofile.h"

#include <QIODevice>

#include <cstring>

#include "files/filestatus.h"
#include "files/heldphoto.h"

// The photo as a random-access device, unbuffered, so that every read goes through readAt at
// the device's position.
class PhotoFile::Device : public QIODevice {
public:
    explicit Device(PhotoFile &photo)
        : file(photo) {}

    bool isSequential() const override { return false; }
    qint64 size() const override { return file.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 length = qMin(maxSize, size() - pos());
        if (length <= 0)
            return 0;
        return file.readAt(pos(), data, length);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    PhotoFile &file;
};

PhotoFile::PhotoFile(const HeldPhoto &photo)
    : held(&photo)
    , shownPath(photo.displayPath())
    , openedSize(photo.status().size) {}

PhotoFile::PhotoFile(const QByteArray &bytes, const QString &name)
    : memory(bytes)
    , shownPath(name)
    , openedSize(bytes.size()) {}

PhotoFile::~PhotoFile() = default;

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
    if (!held)
        return true;
    FileStatus now;
    return held->statusNow(&now, nullptr) && sameFileUnchanged(held->status(), now);
}

QIODevice *PhotoFile::rewoundDevice() {
    if (!device) {
        device = std::make_unique<Device>(*this);
        device->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    device->seek(0);
    return device.get();
}

qint64 PhotoFile::readAt(qint64 offset, char *into, qint64 length) {
    if (held)
        return held->readAt(offset, into, length);
    if (offset < 0 || offset > memory.size())
        return -1;
    const qint64 count = qMin(length, memory.size() - offset);
    std::memcpy(into, memory.constData() + offset, size_t(count));
    return count;
}

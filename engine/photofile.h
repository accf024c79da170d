// PhotoFile: a photo read from its start in pieces with plain reads, never mapped into memory, so
// that a file that shrinks meanwhile gives a short read instead of a crash. It reads through the
// descriptor of a held photo, never by path, or from bytes already in memory.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class HeldPhoto;
class QIODevice;

class PhotoFile {
public:
    // Reads `photo`, which stays open for as long as this is used.
    explicit PhotoFile(const HeldPhoto &photo);
    // Reads `bytes`; `name` is shown in debug lines.
    PhotoFile(const QByteArray &bytes, const QString &name);
    virtual ~PhotoFile();
    PhotoFile(const PhotoFile &) = delete;
    PhotoFile &operator=(const PhotoFile &) = delete;

    // As it is shown: for debug lines.
    const QString &path() const { return shownPath; }
    // The size when the photo was opened.
    qint64 size() const { return openedSize; }

    // Makes the first `length` bytes available, or all of them in a shorter file. False when the
    // file gives fewer bytes than its size promised: it shrank while it was read.
    bool load(qint64 length);
    const unsigned char *bytes() const;
    qint64 loaded() const { return buffer.size(); }

    // False when the file is no longer as it was when it was opened (size, times, identity).
    bool unchangedSinceOpened() const;

    // A device over the whole photo at its start, reading through readAt: for a reader of its
    // own (the image reader).
    QIODevice *rewoundDevice();

protected:
    // Reads up to `length` bytes at `offset` into `into`: the count read, 0 at the end, -1 on an
    // error. Tests override it to change the file between two reads.
    virtual qint64 readAt(qint64 offset, char *into, qint64 length);

private:
    class Device;

    const HeldPhoto *held = nullptr;
    QByteArray memory; // the bytes read, when there is no held photo
    QString shownPath;
    QByteArray buffer;
    qint64 openedSize = 0;
    std::unique_ptr<Device> device;
};

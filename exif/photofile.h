// PhotoFile: a photo file read from its start in pieces with plain reads, never mapped into
// memory, so that a file that shrinks meanwhile gives a short read instead of a crash.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

class PhotoFile {
public:
    explicit PhotoFile(const QString &photoPath);
    virtual ~PhotoFile();

    const QString &path() const { return filePath; }
    // False when the path is empty or names no regular file that can be opened for reading.
    bool open();
    // The size when the file was opened.
    qint64 size() const { return openedSize; }

    // Makes the first `length` bytes available, or all of them in a shorter file. False when the
    // file gives fewer bytes than its size promised: it shrank while it was read.
    bool load(qint64 length);
    const unsigned char *bytes() const;
    qint64 loaded() const { return buffer.size(); }

    // False when the size or the modification time differ from when the file was opened.
    bool unchangedSinceOpened() const;

    // The open file, at its start, for a reader of its own (the image reader).
    QFile *rewoundDevice();

protected:
    // Reads up to `length` bytes at `offset` into `into`: the count read, 0 at the end, -1 on an
    // error. Tests override it to change the file between two reads.
    virtual qint64 readAt(qint64 offset, char *into, qint64 length);

private:
    QString filePath;
    QFile file;
    QByteArray buffer;
    qint64 openedSize = 0;
    QDateTime openedTime;
};

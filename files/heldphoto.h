// A photo held by descriptor: opened once relative to its held folder without following a
// symbolic link and without ever blocking or reading a FIFO or device, looked at (fstat) and read
// (pread) through that descriptor only. The checks that decide whether its replacement may go
// ahead live here too:
//
// - A read lease (Linux), taken on the read-only descriptor: the kernel refuses it while any
//   process has the file open for writing (a copy still being written), and breaks it when one
//   opens the file for writing or truncates it. Readers (thumbnailers, indexers, viewers,
//   backups) neither refuse nor break it, and their opens never wait for it.
// - The rotation lock, an advisory lock (flock) on the same descriptor: it keeps two Pivottas
//   from turning one photo at once, which read leases, shared by nature, do not.
// - Where no lease can be had (a file of another owner, a network file system, Windows), two
//   looks at the photo a moment apart: see settledcheck.h.
// - The last check before the rename: the name in the folder still names the held file, and the
//   file is as it was.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "files/descriptor.h"
#include "files/filestatus.h"

class HeldFolder;
struct FileProblem;

class HeldPhoto {
public:
    enum class Lease {
        Held,
        OpenForWriting, // a process has the photo open for writing: it is still being written
        Unavailable,    // no lease can be had here: look twice instead
    };
    enum class RotationLock {
        Taken,
        TakenElsewhere, // another Pivotta is turning the photo
        Unavailable,    // no such lock here (a file system without flock on read-only files)
    };
    enum class Placement {
        InPlace,  // the name names the held file, unchanged
        Changed,  // the held file was written, or the lease broken
        Replaced, // the name is gone or names another file now
    };

    ~HeldPhoto();
    HeldPhoto(const HeldPhoto &) = delete;
    HeldPhoto &operator=(const HeldPhoto &) = delete;

    // The photo `name` in `folder`. A symbolic link is refused (SymbolicLink), anything but a
    // regular file is refused before it is opened (NotRegularFile).
    static std::unique_ptr<HeldPhoto> open(std::shared_ptr<HeldFolder> folder,
                                           const QByteArray &name, FileProblem *problem);
    // A photo the user named by its path: a symbolic link there is followed (the user chose
    // it), and the photo is held in the folder the link leads to.
    static std::unique_ptr<HeldPhoto> openChosen(const QString &path, FileProblem *problem);

    const std::shared_ptr<HeldFolder> &folder() const { return heldFolder; }
    const QByteArray &name() const { return photoName; }
    QString displayPath() const;
    int descriptor() const { return fd.get(); }

    // As it was when opened (or last accepted by acceptOwnChange).
    const FileStatus &status() const { return baseline; }
    bool statusNow(FileStatus *status, FileProblem *problem) const;

    // Up to `length` bytes at `offset`: the count read, short only at the end, or -1.
    qint64 readAt(qint64 offset, char *into, qint64 length) const;
    // The whole photo, as long as it was when opened; a shorter read is a problem.
    bool readAll(QByteArray *bytes, FileProblem *problem) const;

    // Takes the read lease; `problem` says why, for Unavailable.
    Lease takeReadLease(FileProblem *problem = nullptr);
    bool holdsLease() const { return leaseTaken; }
    // Whether a lease taken has been broken since (another process opened the photo for writing
    // or truncated it). Cheap.
    bool leaseBroken() const;
    // Lets the lease go at once: a process waiting for it goes on.
    void releaseLease();
    // What a lease would say now, without holding one: whether some process has the photo open
    // for writing. Taken and let go at once; Held means no writer.
    Lease writersNow();

    // Takes the rotation lock without waiting; it goes with releaseRotationLock() or the
    // descriptor.
    RotationLock takeRotationLock();
    void releaseRotationLock();

    // The last check before the rename.
    Placement placement(FileProblem *problem) const;
    Protection protection() const;

    // After a change of Pivotta's own that moves only the change time and the number of names
    // (a link into the trash): takes the file as it is now as the file as it was, provided its
    // key, size and modification time did not move. False otherwise.
    bool acceptOwnChange();

    // A path by which a tool reaches the held file itself ("/proc/<pid>/fd/<photo>" on Linux,
    // the photo's path elsewhere). Only for reading: an open for writing breaks the lease.
    QString toolPath() const;

private:
    HeldPhoto(std::shared_ptr<HeldFolder> folder, const QByteArray &name);

    std::shared_ptr<HeldFolder> heldFolder;
    QByteArray photoName;
    Descriptor fd;
    FileStatus baseline;
    bool leaseTaken = false;
    bool rotationLocked = false;
};

// The temporary file a photo's new version is written into, made in the photo's held folder, and
// the replacement of the photo by it.
//
// The file is created under a hidden name ending in ".tmp" (no photo name pattern matches it)
// with O_CREAT | O_EXCL and without following links, and held with an advisory lock (flock) from
// its creation until it has become the photo or been removed: a cleanup by another Pivotta takes
// only files whose lock it can get, so it never removes one that is being written. The
// replacement gives the file the photo's owner, group, extended attributes (access lists among
// them) and permissions, writes it to the disk, checks the photo a last time, renames it over
// the photo in the same folder (renameat on the held folder) and writes the folder to the disk.
//
// Windows keeps path-based code (untested): the file is held by being open, which stops its
// removal, and ReplaceFileW puts it in the photo's place.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "files/descriptor.h"
#include "files/fileproblem.h"
#include "files/filestatus.h"

class HeldFolder;
class HeldPhoto;
class QFile;

// ".NAME.pivotta-UUID.tmp" for the photo `photoName`: the start of the photo's name (cut at a
// character, and with bytes that are no valid text replaced, so that a tool can be given the
// path), a new UUID.
QByteArray tempNameFor(const QByteArray &photoName);
// Whether `name` is one that tempNameFor makes.
bool isTempName(const QByteArray &name);

// Why the photo cannot be replaced at all, found before anything is made: an append-only folder
// (a temporary file could be made there but never removed or renamed), an immutable folder, or an
// append-only or immutable photo. Kind None when nothing stands in the way.
FileProblem replacementBlocker(const HeldPhoto &photo);

// Removes the stale temporary files in `folder` (not in its subfolders): regular files with
// those names whose lock nobody holds. Returns the names removed, as shown; a file that could not
// be removed for another reason than being held adds a problem.
QStringList removeStaleTempFilesIn(const HeldFolder &folder, QList<FileProblem> *problems);

class HeldTempFile {
public:
    enum class Outcome {
        Replaced,
        PhotoChanged,    // the photo is not as it was when it was held: it stays as it is now
        IdentityNotKept, // its owner, group or an attribute could not be given to the new file
        Failed,          // writing, flushing or the rename failed
    };

    // Makes a temporary file for `photoName` in `folder`.
    static std::unique_ptr<HeldTempFile> create(std::shared_ptr<HeldFolder> folder,
                                                const QByteArray &photoName, FileProblem *problem);
    // Removes the file, while still holding it, unless it has become the photo.
    ~HeldTempFile();
    HeldTempFile(const HeldTempFile &) = delete;
    HeldTempFile &operator=(const HeldTempFile &) = delete;

    const QByteArray &name() const { return fileName; }
    QString displayPath() const;
    // "/proc/<pid>/fd/<folder>/<name>" on Linux: for a tool that must have a path.
    QString toolPath() const;
    int descriptor() const { return fd.get(); }

    // Makes `bytes` the whole content.
    bool write(const QByteArray &bytes, FileProblem *problem);
    // Adds `bytes` at the end.
    bool append(const QByteArray &bytes, FileProblem *problem);
    bool readAll(QByteArray *bytes, FileProblem *problem) const;
    bool status(FileStatus *status, FileProblem *problem) const;
    // The modification time exactly; the access time as given, or left as it is.
    bool setTimes(const FileTime &modified, const std::optional<FileTime> &accessed,
                  FileProblem *problem);

    // Puts the file in the place of `photo`, which must be in the same held folder.
    Outcome replace(HeldPhoto &photo, FileProblem *problem);
    // Removes the file now. False (with the problem) when it could not be removed.
    bool remove(FileProblem *problem);

private:
    HeldTempFile(std::shared_ptr<HeldFolder> folder, const QByteArray &name);
    bool create(FileProblem *problem);
    Outcome carryIdentityOf(const HeldPhoto &photo, FileProblem *problem);
    bool flush(FileProblem *problem);
    bool renameOver(const HeldPhoto &photo, FileProblem *problem);

    std::shared_ptr<HeldFolder> heldFolder;
    QByteArray fileName;
    Descriptor fd;
    qint64 written = 0;
    bool gone = false; // it became the photo or was removed
#ifdef Q_OS_WIN
    std::unique_ptr<QFile> file;
#endif
};

// The original of a photo kept in the desktop's trash (the freedesktop.org trash: a folder with
// files/ and info/, where info/NAME.trashinfo says where files/NAME came from and when), from where
// any file manager can restore it.
//
// The photo stays where it is until its replacement is renamed over it: first the name is
// reserved in info/ (created with O_EXCL) and the .trashinfo written, then the photo's file is
// hard-linked into files/ (the same file: its bytes, its times, and the lease on it stay), or
// copied where no link can be made. When the replacement then fails, both are removed again.
//
// The trash is the home trash ($XDG_DATA_HOME/Trash) for photos on its own file system and on the
// home's, and the trash at the top of the photo's file system otherwise. A home trash that is a
// symbolic link (kept on another disk) is the user's own and is followed; at the top of a file
// system, where other users may have made the folders, no link is followed (see openAtTop). On
// Windows the photo is copied and the copy moved to the recycle bin (QFile::moveToTrash; untested).
//
// A run that ends between the link into files/ and the rename leaves the photo unreplaced with a
// second name in the trash; the next run recognises that entry and takes it out again
// (lookForSecondName).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

#include "files/filestatus.h"

class HeldFolder;
class HeldPhoto;
struct FileProblem;

// The text of a .trashinfo file: `path` in the file system's bytes, percent-encoded, and the
// deletion date as local time.
QByteArray trashInfoText(const QByteArray &path, const QDateTime &deletionDate);

// A name in files/ for the photo `photoName`: the name itself first, then "STEM.2.EXT" and so on,
// short enough to take ".trashinfo" too.
QByteArray trashNameFor(const QByteArray &photoName, int attempt);

// The top of the file system that `folder` is on: the last folder on the way up that is on the
// same device. Opened through "..", one folder at a time.
std::shared_ptr<HeldFolder> fileSystemTopAbove(std::shared_ptr<HeldFolder> folder,
                                               FileProblem *problem);

// An original in the trash.
class KeptOriginal {
public:
    ~KeptOriginal();
    KeptOriginal(const KeptOriginal &) = delete;
    KeptOriginal &operator=(const KeptOriginal &) = delete;

    // files/NAME, as shown.
    QString displayPath() const;
    // Removes the original from the trash again (the photo was not replaced after all).
    void rollBack();

private:
    friend class TrashCan;
    KeptOriginal() = default;

    std::shared_ptr<HeldFolder> files;
    std::shared_ptr<HeldFolder> info;
    QByteArray name;
    FileKey key;          // of files/NAME
    QString recycledPath; // Windows: the copy in the recycle bin
};

class TrashCan {
public:
    // What the trash says about a second name of a photo.
    enum class SecondName {
        NotInTrash, // the trash that would take its original holds no other name of it
        TakenOut,   // the original kept for it by a run that did not replace it: taken out again
        InTrash,    // an entry of the trash that was not kept for this photo, or not taken out
    };

    ~TrashCan();
    TrashCan(const TrashCan &) = delete;
    TrashCan &operator=(const TrashCan &) = delete;

    // $XDG_DATA_HOME/Trash, or ~/.local/share/Trash; made where missing. A symbolic link there
    // is followed to a folder of this user's.
    static std::unique_ptr<TrashCan> openHome(FileProblem *problem);
    // The trash at the top of a file system: $topdir/.Trash/$uid when $topdir/.Trash is a real
    // folder (no link) with the sticky bit, $topdir/.Trash-$uid (made with mode 0700) otherwise.
    // The folder for this user must be a real folder of this user's.
    static std::unique_ptr<TrashCan> openAtTop(const std::shared_ptr<HeldFolder> &topdir,
                                               FileProblem *problem);
    // The trash that takes `photo`'s original. Null when there is none to be had: the original
    // cannot be kept, and the problem says so.
    static std::unique_ptr<TrashCan> forPhoto(const HeldPhoto &photo, FileProblem *problem);

    // Looks in the trash that would take `photo`'s original, where it is there already (nothing is
    // made), for an entry that is the photo's own file. One whose .trashinfo names the photo is the
    // original a run kept for it and then did not replace it with its rotated version: it is only
    // a second name of the photo as it is, and it is taken out of the trash (the entry and its
    // .trashinfo removed). `entryPath` gets the entry found, as shown.
    static SecondName lookForSecondName(HeldPhoto &photo, QString *entryPath);

    QString displayPath() const;
    quint64 device() const { return trashDevice; }

    // Puts the original of `photo` in the trash. Null, with the problem, when it cannot be kept
    // (an unwritable trash, a full disk): the photo must then stay as it is.
    std::unique_ptr<KeptOriginal> keep(HeldPhoto &photo, FileProblem *problem);

private:
    TrashCan() = default;
#ifndef Q_OS_WIN
    enum class Making { Make, Existing };
    static std::unique_ptr<TrashCan> openHomeTrash(Making making, FileProblem *problem);
    static std::unique_ptr<TrashCan> openTopTrash(const std::shared_ptr<HeldFolder> &topdir,
                                                  Making making, FileProblem *problem);
    static std::unique_ptr<TrashCan> chooseFor(const HeldPhoto &photo, Making making,
                                               FileProblem *problem);
    static std::unique_ptr<TrashCan> openIn(const std::shared_ptr<HeldFolder> &trash, Making making,
                                            FileProblem *problem);
    // The name in files/ of the photo's own file, or empty.
    QByteArray entryOf(const HeldPhoto &photo) const;
    // Whether info/NAME.trashinfo says that files/NAME came from the photo's place.
    bool isKeptFor(const QByteArray &name, const HeldPhoto &photo) const;
    enum class Placed { Done, NameTaken, Failed };
    QByteArray pathInInfo(const HeldPhoto &photo) const;
    Placed reserveInfo(const HeldPhoto &photo, const QByteArray &name, FileProblem *problem);
    Placed placeFile(HeldPhoto &photo, const QByteArray &name, FileKey *placed,
                     FileProblem *problem);
    Placed copyFile(const HeldPhoto &photo, const QByteArray &name, FileKey *placed,
                    FileProblem *problem);
#endif

    std::shared_ptr<HeldFolder> trashFolder;
    std::shared_ptr<HeldFolder> files;
    std::shared_ptr<HeldFolder> info;
    QByteArray topdirPath; // empty for the home trash: its paths are absolute
    quint64 trashDevice = 0;
};

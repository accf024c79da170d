// One photo's rotation, as a chain of asynchronous steps on a photo held by its descriptor:
//
// 1. The photo is checked as it stands (unchanged since it was examined, still under its name,
//    writable, replaceable), its rotation lock taken (a photo another Pivotta is turning is left
//    as "in use") and its read lease taken: a photo that another program has open for writing is
//    left as "still being written"; readers do not count. Where no lease can be had, the photo
//    is looked at twice, a moment apart, with a timer between the looks.
// 2. It is read once, whole, on a worker thread, and its pictures told apart.
// 3. jpegtran turns each picture on its standard input and output: the main picture, the EXIF
//    thumbnail, each further picture (gain maps, previews). Any picture it refuses leaves the
//    photo as it was. A further picture that no lossless turn keeps whole is then decoded, turned
//    and encoded anew on a worker thread instead (unless "perfect" is asked for: the photo is
//    left).
// 4. On a worker thread each turned picture is checked, the turned photo put together (the
//    orientation values set to upright in place, the further pictures' sizes and places told to
//    the index and the container, every other byte kept) and written into a temporary file in
//    the photo's folder.
// 5. exiv2 reads that file independently: every orientation tag it knows must say upright; it
//    also reads the EXIF date when the file time is to be set from it.
// 6. On a worker thread the new version gets its file time, the original goes to the trash when
//    asked, and the new version takes the photo's place with the photo's owner, group and
//    attributes in one atomic rename, provided the lease still holds and the photo is as it was.
//
// Whatever fails or is stopped, the photo stays as it was, the temporary file goes, the lease is
// let go, and the outcome names the real reason. Nothing here opens the photo or its folder by
// path.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "engine/runevents.h"
#include "files/settledcheck.h"
#include "jpeg/turn.h"
#include "settings/settings.h"

class HeldPhoto;
class QTimer;
class ToolRun;
struct Assembly;
struct FileProblem;
struct PhotoWork;
struct Replacement;
struct SecondNameLook;

struct PhotoRotationOutcome {
    enum Kind {
        Rotated,
        Failed,   // the photo is as it was
        TryLater, // the photo is being written, or changed meanwhile; it is as it is now
        Stopped,  // stopped on request; the photo is as it was
    };
    Kind kind = Failed;
    PhotoReason reason;   // for the outcomes that leave the photo
    DroppedEdges trimmed; // for a rotated photo: the edge pixels dropped
    QList<int> reencoded; // for a rotated photo: the further pictures encoded anew, by place
    QString keptOriginal; // for a rotated photo: its original in the trash, if kept there
    QString trashFolder;
};
Q_DECLARE_METATYPE(PhotoRotationOutcome)

class PhotoRotation : public QObject {
    Q_OBJECT

public:
    struct Job {
        // The photo, opened by whoever examined it and not yet leased. Its status at the opening
        // is the photo as it was examined: a photo that differs now is left.
        std::shared_ptr<HeldPhoto> photo;
        QString photoPath; // the photo as the run names it; facts name it so
        Turn turn = Turn::None;
        QString folder; // the current folder, for paths shown relative to it
        // The least time each tool may take; large pictures get more (toolTimeoutMs()).
        int toolTimeoutMs = 30000;
        int photosAtOnce = 1; // rotations side by side, sharing the cores
        // The run's settings, read once at its start.
        bool perfect = false;
        bool trim = true;
        FileTimeMode fileTimeMode = FileTimeMode::LeaveAlone;
        bool keepOriginal = false; // the original goes to the desktop's trash
    };

    // Where the chain lets a test act on the photo, on the chain's thread, between two steps.
    enum class HookPoint {
        FirstLook,     // without a lease: the first of the two looks was taken
        LeaseTaken,    // the read lease is held; the photo has not been read yet
        PhotoRead,     // read once; no picture turned yet
        ResultWritten, // the turned photo is in its temporary file; exiv2 has not read it
    };
    struct TestHooks {
        std::function<void(HookPoint)> at;
        bool noLease = false; // as if the system gave no leases: the photo is looked at twice
    };

    explicit PhotoRotation(const Job &photoJob, QObject *parent = nullptr);
    ~PhotoRotation() override;

    // The file that is replaced: the absolute path, symbolic links followed.
    static QString replacedFileOf(const QString &photoPath);

    PhotoRef photo() const;
    Turn turn() const { return job.turn; }
    void setTestHooks(const TestHooks &testHooks);

    void start();
    // Ends the chain as soon as it can: a running tool is killed, the photo left as it was. A
    // replacement already under way is let finish.
    void stop();

signals:
    void step(const PhotoStep &step);
    void finished(const PhotoRotationOutcome &outcome);

private:
    bool checkBeforeStart();
    void onSecondNameLookedAt(const SecondNameLook &look);
    void takeLease();
    void lookAgain();
    void readPhoto();
    void onRead(const PhotoReason &reason);
    void turnPrimary();
    void onPrimaryTurned(const ToolResult &result);
    void turnThumbnail();
    void onThumbnailTurned(const ToolResult &result);
    void turnNextPicture();
    void onPictureTurned(const ToolResult &result);
    void reencodePicture();
    void onPictureReencoded(const PhotoReason &reason);
    bool pictureRefused(const ToolResult &result, int picture, const JpegStructure &structure);
    void assemble();
    void onAssembled(const Assembly &assembly);
    void tellAssembly(const Assembly &assembly);
    void readResult();
    void onResultRead(const ToolResult &result);
    void replace();
    void onReplaced(const Replacement &replacement);
    void tellFileTime(bool set);
    void onLeaseBreaking(int descriptor);
    template <typename Result>
    void runWork(std::function<Result(PhotoWork &)> work,
                 void (PhotoRotation::*onDone)(const Result &));
    bool endIfInterrupted();
    bool endIfToolNotRun(const ToolResult &result, const QString &toolName, qint64 pixels);
    void runTool(const QString &toolName, const QStringList &arguments, qint64 pixels,
                 void (PhotoRotation::*onDone)(const ToolResult &), qint64 inputOffset = 0,
                 qint64 inputLength = 0);
    int timeoutFor(qint64 pixels) const;
    void hook(HookPoint point);
    QString toolPath(const QString &toolName);
    ToolTrace traceOf(const ToolResult &result, bool withOutput) const;
    PhotoStep stepOf(PhotoStep::Kind kind) const;
    void tell(const PhotoStep &photoStep);
    void tell(PhotoStep::Kind kind);
    void leave(const PhotoReason &reason);
    void leave(PhotoReason::Kind reason);
    void end(PhotoRotationOutcome::Kind kind, const PhotoReason &reason = PhotoReason());
    void letGo();

    const Job job;
    std::shared_ptr<PhotoWork> work;
    TestHooks hooks;
    std::optional<FileLook> firstLook; // without a lease: the look the next one is compared with
    QTimer *lookTimer = nullptr;
    int nextPicture = 0; // the further picture jpegtran turns next
    bool thumbnailKeptItsOwn = false;
    bool hasOrientation = false;
    QString exifDate;                 // as exiv2 read it
    std::optional<FileTime> exifTime; // the file time it means
    PhotoRotationOutcome rotated;
    ToolRun *tool = nullptr;
    bool working = false;   // a worker has the photo's work
    bool replacing = false; // the replacement is under way: it is let finish
    bool stopRequested = false;
    bool leaseLost = false; // another program opened the photo for writing
    bool secondNameLookedAt = false;
    bool ended = false;
};

// What became of the photo as a run tells it: a photo that changed meanwhile, or whose rotation
// was stopped, is left.
PhotoOutcome photoOutcomeOf(const PhotoRef &photo, Turn turn, const PhotoRotationOutcome &outcome);

// The reason for a photo that could not be held at all: gone, no file, unreadable...
PhotoReason reasonOfOpenProblem(const FileProblem &problem);

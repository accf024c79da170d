// What the engine and the watcher report, as values: the events of a run and of watching, each
// photo's steps and outcome with the reason as a kind and its details, and the run's summary
// with its counts. They hold no words and no markup: presentation/ tells them to the user, in
// the window's panes or in the headless report. All can be queued across threads.
#pragma once

#include <QDateTime>
#include <QImageIOHandler>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTime>

#include "engine/jpegstructure.h"
#include "engine/losslessturn.h"
#include "engine/orientationcheck.h"
#include "engine/toolresult.h"
#include "engine/tools.h"
#include "engine/turn.h"

// The end of one run, with its counts.
struct RunSummary {
    enum Kind { UserBatch, WatcherRun, SinglePhoto };

    Kind kind = UserBatch;
    QString folder;
    int photosToRotate = 0; // photos whose orientation asked for a turn
    int entriesSeen = 0;    // photos looked at
    int rotated = 0;
    int failed = 0;             // photos whose outcome was Failed
    int notRead = 0;            // folders and entries that could not be listed or looked at
    bool interrupted = false;   // stopped on request
    QStringList photosArriving; // left by a watcher run: they may still be being copied in
    qint64 elapsedMs = 0;
    QTime endTime;
};
Q_DECLARE_METATYPE(RunSummary)

// Something that happened in a run or to the watching, apart from the photos themselves.
struct RunEvent {
    enum Kind {
        BatchRefused,       // a user batch was asked for while a run is going on
        SinglePhotoRefused, // a single photo was asked for while photos are being rotated
        ScanStarted,        // a user batch begins with `folder`
        FolderNotOpened,    // `folder` is no folder that can be listed
        EntryNotRead,       // `path`, a folder or an entry, could not be listed, entered or looked
                            // at: `reason` says why, in the system's words
        LeftoversRemoved,   // `count` temporary files that an earlier Pivotta left in `folder`
        PhotosCounted,      // a user batch has looked at `total` photos, `count` to be turned
        ChangeNoticed,      // at `time` the watcher asked for a run
        Rechecking,         // a watcher run scans again: more changes came meanwhile
        Interrupted,        // the run was stopped on request
        NoTurnFound,        // the photo `path` of a single run has no orientation to apply
        WatchingOn,         // watching `folder`, `count` folders in all (0: no folder chosen)
        WatchingOff,        // `count` folders were watched; `byUser`: the user turned it off
        WatchedFolderGone,  // the watched `folder` is no longer there
        FurtherChange,      // another change while a watcher run is due or going on
    };

    Kind kind = ScanStarted;
    QString folder;
    QString path;
    QString reason;
    int count = 0;
    int total = 0;
    QTime time;
    bool byUser = false;
};
Q_DECLARE_METATYPE(RunEvent)

// The photo a fact is about.
struct PhotoRef {
    QString path;   // as the run names it: the folder's entry, or the path it was given
    QString file;   // the file that is replaced: absolute, symbolic links followed
    QString folder; // the run's folder, for paths shown relative to it
};

// How a tool run that a photo's facts mention ended, and its output as the user is to read it:
// naming the photo, never the temporary file that was worked on.
struct ToolTrace {
    ToolResult::Ending ending = ToolResult::Finished;
    QString standardOutput;
    QString standardError;
};

// One thing that happened to a photo on its way, in the order it happened.
struct PhotoStep {
    enum Kind {
        ExifUnusable,        // `check`: the EXIF route gave no usable value, the reader was asked;
                             // `inUserBatch`: a user batch marks its progress in the main pane
        ToolMissing,         // `path`: where the tool was looked for
        TimeRead,            // `time`: the photo's modification time; `restoring`: to be restored
        CopyMade,            // `path`: the copy in the system's temporary folder that is turned,
                             // as jpegtran cannot open the photo under its own name
        TurnAnnounced,       // `turn` is made (`dryRun`: would be), as decided at `time`
        EdgesTrimmed,        // `trim`: the edge pixels that "-trim" dropped, maybe none
        ThumbnailTurned,     // the EXIF thumbnail was turned too
        ThumbnailNotTurned,  // jpegtran could not turn the thumbnail: it keeps its orientation
        ThumbnailNoRoom,     // the turned thumbnail did not fit its place: the old one stays
        TrailingBytesKept,   // `bytes` after the image were carried over
        OrientationToolRan,  // `tool`: exiv2 ran to reset the orientation tags
        OrientationCleared,  // the tags say upright now
        FileTimeFromExif,    // `tool`: exiv2 ran to set the file time; `exifTime` says how it went,
                             // `time` is the new file time
        FileTimeRestored,    // `time`: the file time the photo had before, given back
        FileTimeNotRestored, // `time` could not be given back
    };
    // What exiv2 did with the file time.
    enum ExifTime { TimeSet, ExifDateMissing, TimeNotSet };

    Kind kind = TurnAnnounced;
    PhotoRef photo;
    OrientationCheck check;
    bool inUserBatch = false;
    QString path;
    QDateTime time;
    bool restoring = false;
    Turn turn = Turn::None;
    bool dryRun = false;
    EdgeTrim trim;
    qint64 bytes = 0;
    ToolTrace tool;
    ExifTime exifTime = TimeNotSet;
};
Q_DECLARE_METATYPE(PhotoStep)

// Why a photo was left as it is or could not be rotated, with what the user needs to know.
struct PhotoReason {
    enum Kind {
        None,
        // Found by reading the orientation (`check` holds what was read)
        MirroredOrientation,
        UnknownOrientation,
        Unreadable,
        NotOpened, // `error`: why it could not be opened (a link, no regular file, no permission)
        ChangedWhileRead,
        // Found by the engine
        AlreadyInWork, // another rotation of the same file is under way
        Stopped,
        // Found before the tools run
        ChangedWhileExamined, // the photo is not the one whose orientation was read
        TooLarge,             // `size`
        NoLongerThere,
        NotAFile,
        ReadOnly,
        FolderReadOnly,
        HardLinks,       // `count` names
        OwnerNotGivable, // `owner`: its owner and group
        NoTempFile,      // `error`
        CopyNotMade,     // `path`: the copy in the system's temporary folder
        // Found by the tools or the checks of their results
        ToolNotStarted,       // `toolName`, `error`
        ToolTimedOut,         // `toolName`, `timeoutMs`
        JpegtranFailed,       // `jpegtran`, `tool`, `toolSays`, `perfectRequired`, `frame`
        NotLossless,          // `error`: what the check found (empty: the picture differs); `tool`
        ThumbnailNotPutBack,  // `error`
        TrailingBytesNotKept, // `error`
        RotatedFileGone,
        OrientationNotReset, // `tool`: how exiv2 ended
        FinishedWrong,       // `finishedProblem`
        CopyNotBroughtBack,  // `error`
        ChangedWhileRotated, // it may still be being copied in
        IdentityNotKept,     // `error`
        NotReplaced,         // `error`
    };
    // What is wrong with the finished result, after exiv2.
    enum FinishedProblem { Incomplete, TrailingBytesChanged, XmpOrientationLeft };

    Kind kind = None;
    OrientationCheck check;
    qint64 size = 0;
    int count = 0;
    QString owner;
    QString error;
    QString path;
    QString toolName;
    int timeoutMs = 0;
    JpegtranOutcome jpegtran = JpegtranOutcome::Failed;
    ToolTrace tool;
    QString toolSays; // jpegtran's own first line about the failure
    bool perfectRequired = false;
    JpegFrame frame; // the photo's frame: its size and blocks
    FinishedProblem finishedProblem = Incomplete;
};

// What became of one photo that was rotated, would be rotated (dry run), was left or failed.
// Photos that need no turn get none.
struct PhotoOutcome {
    enum Kind { Rotated, WouldRotate, Left, Failed };

    Kind kind = Left;
    PhotoRef photo;
    Turn turn = Turn::None;
    PhotoReason reason; // for Left and Failed
    EdgeTrim trimmed;   // for Rotated: the edge pixels "-trim" dropped
};
Q_DECLARE_METATYPE(PhotoOutcome)

// The reason that an orientation check gives for leaving a photo; None when it does not.
PhotoReason reasonOfCheck(const OrientationCheck &check);

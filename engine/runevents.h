// What the engine and the watcher report, as values: the events of a run and of watching, each
// photo's steps and outcome with the reason as a kind and its details, and the run's summary
// with its counts. They hold no words and no markup: presentation/ tells them to the user, in
// the window's panes or in the headless report. All can be queued across threads.
#pragma once

#include <QDateTime>
#include <QImageIOHandler>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTime>

#include "engine/orientationcheck.h"
#include "tools/toolcommands.h"
#include "tools/toolresult.h"

// The byte layer's kinds that the facts name, declared without its headers; their first values
// (None) are what a fact holds when it has none to tell.
enum class Turn;
enum class PicturesProblem;
enum class AssemblyProblem;
struct EdgeTrim;
struct JpegFrame;

// A picture as the facts tell of it: its size, the side of the blocks that a lossless turn moves
// whole, and which of its sides the turn would cut (a partial block where it may not stay).
struct PictureFrame {
    int width = 0;
    int height = 0;
    int blockWidth = 0;
    int blockHeight = 0;
    bool widthCut = false;
    bool heightCut = false;
};
PictureFrame pictureFrameOf(const JpegFrame &frame, Turn turn);

// The edge pixels that "-trim" dropped, counted in the turned picture.
struct DroppedEdges {
    int columns = 0;
    int rows = 0;

    bool isNone() const { return columns == 0 && rows == 0; }
    bool operator==(const DroppedEdges &other) const {
        return columns == other.columns && rows == other.rows;
    }
};
DroppedEdges droppedEdgesOf(const EdgeTrim &trim);

// The end of one run, with its counts.
struct RunSummary {
    enum Kind { UserBatch, WatcherRun, SinglePhoto };

    Kind kind = UserBatch;
    QString folder;
    int photosToRotate = 0; // photos whose orientation asked for a turn
    int entriesSeen = 0;    // photos looked at
    int rotated = 0;
    int wouldRotate = 0; // photos a dry run would have rotated
    int failed = 0;      // photos whose outcome was Failed
    // Photos left for a later run: still being written, changed meanwhile, or in use by another
    // program. A later run may turn them; nothing is wrong with them.
    int leftForLater = 0;
    int notRead = 0;            // folders and entries that could not be listed or looked at
    bool interrupted = false;   // stopped on request
    bool dryRun = false;        // nothing was to be changed
    int mostAtOnce = 0;         // the most photos that were being rotated at the same time
    QStringList photosArriving; // left by a watcher run: they may still be being copied in
    QStringList trashFolders;   // where the originals of the rotated photos were kept
    qint64 elapsedMs = 0;
    QTime endTime;
};
Q_DECLARE_METATYPE(RunSummary)

// Several runs as one: the first run's kind and folder, their counts added up, their times in
// turn, interrupted when any was. Empty gives an empty summary.
RunSummary combinedSummary(const QList<RunSummary> &runs);

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
        WatchLimitReached,  // `count` folders could not be watched: the system's limit of watched
                            // folders is reached; `total` is that limit (0: not known)
        NotificationsLost,  // the system dropped change notifications: all `count` watched folders
                            // in `folder` are looked at again
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
    QString file;   // the file that is replaced: absolute, in the folder that holds it
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
        TurnAnnounced,       // `turn` is made (`dryRun`: would be), as decided at `time`
        EdgesTrimmed,        // `trim`: the edge pixels that "-trim" dropped, maybe none
        ThumbnailTurned,     // the EXIF thumbnail was turned too
        ThumbnailNotTurned,  // jpegtran could not turn the thumbnail: it keeps its orientation
        ThumbnailNoRoom,     // the turned thumbnail did not fit its place: the old one stays
        PicturesTurned,      // `count` further pictures (gain maps, previews) were turned too
        PictureReencoded,    // further picture `picture` (`gainMap`: the container names it a
                             // gain map), whose `frame` no lossless `turn` keeps whole, was
                             // decoded, turned and encoded anew at `quality`
        TrailingBytesKept,   // `bytes` after the image that are no picture were carried over
        OrientationToolRan,  // `tool`: exiv2 read the rotated photo's orientation tags
        OrientationCleared,  // the tags say upright now, as exiv2 reads them
        FileTimeFromExif,    // `exifTime` says what became of the file time from the EXIF date
                             // exiv2 read; `time` is the new file time
        FileTimeRestored,    // `time`: the file time the photo had before, given back
        FileTimeNotRestored, // `time` could not be given back
        OriginalKept,        // `path`: the original photo as it is kept in the trash
        OriginalTakenBack,   // `path`: the trash entry that an earlier run left as a second name
                             // of the photo (kept, then not replaced) was taken out again
    };
    // What became of the file time from the EXIF date.
    enum ExifTime { TimeSet, ExifDateMissing, TimeNotSet };

    Kind kind = TurnAnnounced;
    PhotoRef photo;
    OrientationCheck check;
    bool inUserBatch = false;
    QString path;
    QDateTime time;
    bool restoring = false;
    Turn turn{};
    bool dryRun = false;
    DroppedEdges trim;
    qint64 bytes = 0;
    int count = 0;
    int picture = 0; // by its place in the file: 2 and on for the further pictures
    bool gainMap = false;
    PictureFrame frame;
    int quality = 0;
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
        FailedBefore,  // a watcher run passed it by: it made an earlier rotation fail itself,
                       // and it has not changed since
        Stopped,
        // Found before the tools run
        ChangedWhileExamined, // the photo is not the one whose orientation was read
        StillBeingWritten,    // another program has it open for writing, or it keeps changing
        InUse,                // another program holds it (its own lease, or another Pivotta)
        TooLarge,             // `size`
        NoLongerThere,
        NotAFile,
        ReadOnly,
        FolderReadOnly,
        Protected,          // `error`: an append-only or immutable photo or folder
        HardLinks,          // `count` names; `otherName`, when one of the others is known
        OwnerNotGivable,    // `owner`: its owner and group
        NotRead,            // `error`: the photo could not be read
        PicturesUnreadable, // `pictures`, `picture`, `error`
        DamagedImageData,   // `marker`: a frame marker at byte `at` where none may stand
        // Found by the tools or the checks of their results
        ToolNotStarted,      // `toolName`, `error`
        ToolTimedOut,        // `toolName`, `timeoutMs`; `pixels` and `photosAtOnce` when
                             // `timeoutScaled`: the time grew with the picture's size
        JpegtranFailed,      // `jpegtran`, `tool`, `toolSays`, `perfectRequired`, `frame`,
                             // `picture`
        NotLossless,         // `error`: what the check found (empty: the picture differs); `tool`,
                             // `picture`
        NeedsReencoding,     // further picture `picture`, whose `frame` no lossless turn keeps
                             // whole, would have to be encoded anew, and `perfectRequired`
        NotReencoded,        // `error`: why further picture `picture` could not be turned exactly
        ThumbnailNotPutBack, // `error`
        NotAssembled,        // `assembly`, `picture`, `error`
        NoTempFile,          // `error`
        NotWritten,          // `error`; `diskFull`
        OrientationNotReset, // `tool`: exiv2 could not read the rotated photo, or did not see
                             // the orientation Pivotta set
        FinishedWrong,       // `finishedProblem`, `error`
        OriginalNotKept,     // `error`: the trash did not take the original
        ChangedWhileRotated, // changed by another program meanwhile (written, truncated)
        ReplacedMeanwhile,   // `error`: another file took its name
        IdentityNotKept,     // `error`
        NotReplaced,         // `error`; `diskFull`
    };
    // What is wrong with the finished result.
    enum FinishedProblem {
        Incomplete,      // `error`: why
        PicturesLost,    // its pictures cannot be told apart any more (`error`)
        OrientationLeft, // `error`: the tag and value exiv2 read
    };

    Kind kind = None;
    OrientationCheck check;
    qint64 size = 0;
    int count = 0;
    QString otherName;
    QString owner;
    QString error;
    bool diskFull = false;
    QString toolName;
    int timeoutMs = 0;
    bool timeoutScaled = false;
    qint64 pixels = 0;
    int photosAtOnce = 1;
    JpegtranOutcome jpegtran = JpegtranOutcome::Failed;
    ToolTrace tool;
    QString toolSays; // jpegtran's own line about the failure
    bool perfectRequired = false;
    PictureFrame frame; // the picture that was to be turned: its size, blocks and cut sides
    // The picture concerned, by its place in the file: 1 for the main picture, 2 and on for the
    // further ones (gain maps, previews); 0 when none is.
    int picture = 0;
    int marker = 0;
    qint64 at = -1;
    PicturesProblem pictures{};
    AssemblyProblem assembly{};
    FinishedProblem finishedProblem = Incomplete;
};

// What became of one photo that was rotated, would be rotated (dry run), was left or failed.
// Photos that need no turn get none.
struct PhotoOutcome {
    enum Kind { Rotated, WouldRotate, Left, Failed };

    Kind kind = Left;
    PhotoRef photo;
    Turn turn{};
    PhotoReason reason;   // for Left and Failed
    DroppedEdges trimmed; // for Rotated: the edge pixels "-trim" dropped
    QList<int> reencoded; // for Rotated: the further pictures encoded anew, by their place
    QString keptOriginal; // for Rotated: the original as it is kept in the trash, if it is
    QString trashFolder;  // the trash that holds it
};
Q_DECLARE_METATYPE(PhotoOutcome)

// The reason that an orientation check gives for leaving a photo; None when it does not.
PhotoReason reasonOfCheck(const OrientationCheck &check);
// Whether a photo left for this reason is left for a later run: another program was writing or
// holding it, and a run after it has done may turn it.
bool leftForLater(const PhotoReason &reason);

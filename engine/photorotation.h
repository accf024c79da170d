// One photo's rotation, as a chain of asynchronous steps. jpegtran writes the turned photo into
// a temporary file beside it, with the photo's own coding choices; the result's structure is
// checked against what a lossless turn must give; the EXIF thumbnail is turned too and the bytes
// after the image are carried over; exiv2 resets the orientation tags (EXIF, and XMP where the
// photo has it) and sets the file time; and only then does the result take the photo's place,
// with the photo's owner, group and attributes, in one atomic rename and only if the photo did
// not change meanwhile. Whatever fails or is stopped, the photo stays as it was, the temporary
// files go, and the outcome names the real reason.
//
// When jpegtran cannot open the photo under its own name, a copy in the system's temporary
// folder is turned instead and brought back beside the photo; the copy never stays there.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "engine/jpegstructure.h"
#include "engine/runevents.h"
#include "engine/safereplace.h"
#include "engine/turn.h"
#include "settings/settings.h"

class TempFileHolder;
class ToolRun;
template <typename T> class QFutureWatcher;

struct PhotoRotationOutcome {
    enum Kind {
        Rotated,
        Failed,   // the photo is as it was
        TryLater, // the photo changed meanwhile; it is as it is now
        Stopped,  // stopped on request; the photo is as it was
    };
    Kind kind = Failed;
    PhotoReason reason; // for the outcomes that leave the photo
    EdgeTrim trimmed;   // for a rotated photo: the edge pixels dropped
};
Q_DECLARE_METATYPE(PhotoRotationOutcome)

class PhotoRotation : public QObject {
    Q_OBJECT

public:
    struct Job {
        QString photoPath; // the photo as the caller names it; facts name it so
        Turn turn = Turn::None;
        QString folder; // the current folder, for paths shown relative to it
        int toolTimeoutMs = 30000;
        // The photo as it was when its orientation was read; a photo that differs now was not
        // the one the turn was read from. Not compared when it does not exist.
        FileState examinedState;
        // The run's settings, read once at its start.
        bool perfect = false;
        bool trim = true;
        FileTimeMode fileTimeMode = FileTimeMode::LeaveAlone;
    };

    explicit PhotoRotation(const Job &photoJob, QObject *parent = nullptr);
    ~PhotoRotation() override;

    // The file that is replaced: the absolute path, symbolic links followed.
    static QString replacedFileOf(const QString &photoPath);

    PhotoRef photo() const;
    Turn turn() const { return job.turn; }

    void start();
    // Ends the chain as soon as it can: a running tool is killed, the photo left as it was. A
    // replacement already under way is let finish.
    void stop();

signals:
    void step(const PhotoStep &step);
    void finished(const PhotoRotationOutcome &outcome);

private:
    enum class Route { BesidePhoto, SystemTempCopy };

    bool checkPhotoCanBeReplaced();
    bool checkIdentityCanBeKept();
    void startBesidePhoto();
    void startSystemTempCopy();
    void onJpegtranDone(const ToolResult &result);
    bool checkJpegtranOutcome(const ToolResult &result);
    void checkTurnedResult();
    void turnThumbnail();
    void onThumbnailDone(const ToolResult &result);
    void keepTrailingBytes();
    void resetOrientation();
    void onOrientationResetDone(const ToolResult &result);
    bool checkFinishedResult();
    void onTimeFromExifDone(const ToolResult &result);
    void restoreTimeBeforeRotation();
    void placeResult();
    bool bringCopyBesidePhoto();
    void onReplaced();
    bool endIfToolNotRun(const ToolResult &result, const QString &toolName);
    void runTool(const QString &toolName, const QStringList &arguments,
                 void (PhotoRotation::*onDone)(const ToolResult &),
                 const QByteArray &input = QByteArray());
    QString toolPath(const QString &toolName);
    ToolTrace traceOf(const ToolResult &result) const;
    PhotoStep stepOf(PhotoStep::Kind kind) const;
    void tell(const PhotoStep &photoStep);
    void tell(PhotoStep::Kind kind);
    void leave(PhotoRotationOutcome::Kind kind, PhotoReason::Kind reason);
    void end(PhotoRotationOutcome::Kind kind, const PhotoReason &reason = PhotoReason());
    void removeTemporaryFiles();

    const Job job;
    const QString photoPath; // the replaced file
    Route route = Route::BesidePhoto;
    FileState stateBefore;
    JpegStructure original;
    std::unique_ptr<TempFileHolder> besideTemp;
    QString systemCopyPath;
    QString workPath; // the file the finishing steps work on
    ToolTrace jpegtranTrace;
    EdgeTrim trimmed;
    ToolRun *tool = nullptr;
    QFutureWatcher<ReplaceOutcome> *replacing = nullptr;
    bool stopRequested = false;
    bool ended = false;
};

// What became of the photo as a run tells it: a photo that changed meanwhile, or whose rotation
// was stopped, is left.
PhotoOutcome photoOutcomeOf(const PhotoRef &photo, Turn turn, const PhotoRotationOutcome &outcome);

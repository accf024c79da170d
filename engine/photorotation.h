// One photo's rotation, as a chain of asynchronous steps: jpegtran writes the turned photo into
// a temporary file beside it, exiv2 resets that file's orientation tag and sets its time, and
// only a complete, checked result takes the photo's place, in one atomic rename and only if the
// photo did not change meanwhile. Whatever fails or is stopped, the photo stays as it was and
// the temporary files go.
//
// When jpegtran cannot work on the photo under its own name (it may fail on names with
// international characters), a copy in the system's temporary folder is turned instead, brought
// back beside the photo and renamed over it the same way.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include "engine/outputmessage.h"
#include "engine/safereplace.h"
#include "engine/turn.h"

class ToolRun;
struct ToolResult;

struct PhotoRotationOutcome {
    enum Kind {
        Rotated,
        Failed,   // reported; the photo is as it was
        TryLater, // the photo changed meanwhile, or is being rotated already; it is as it is now
        Stopped,  // stopped on request; the photo is as it was
    };
    Kind kind = Failed;
    QString reason; // plain text, for the findings that leave the photo
};
Q_DECLARE_METATYPE(PhotoRotationOutcome)

class PhotoRotation : public QObject {
    Q_OBJECT

public:
    struct Job {
        QString photoPath; // the photo as the caller names it; messages show this
        Turn turn = Turn::None;
        QString folder; // the current folder, for links relative to it
        int toolTimeoutMs = 30000;
    };

    explicit PhotoRotation(const Job &job, QObject *parent = nullptr);
    ~PhotoRotation() override;

    // The file that is replaced: the absolute path, symbolic links followed.
    static QString replacedFileOf(const QString &photoPath);

    void start();
    // Ends the chain at once: the running tool is killed, the photo left as it was.
    void stop();

signals:
    void message(const OutputMessage &message);
    void finished(const PhotoRotationOutcome &outcome);

private:
    enum class Route { BesidePhoto, SystemTempCopy };

    bool checkPhotoCanBeReplaced();
    void reportTimeBeforeRotation();
    void startBesidePhoto();
    void onBesideJpegtranDone(const ToolResult &result);
    void startSystemTempCopy();
    void onCopyJpegtranDone(const ToolResult &result);
    void finishRotatedResult(const QString &resultPath);
    void onOrientationResetDone(const ToolResult &result);
    void onTimeFromExifDone(const ToolResult &result);
    void restoreTimeBeforeRotation();
    void placeResult();
    void moveCopyBackOverPhoto();
    PhotoRotationOutcome::Kind replacePhoto(const QString &rotatedPath);
    bool reportToolNotRun(const ToolResult &result, const QString &toolName);
    void reportJpegtranFailure(const QString &toolOutput, bool notPerfect);
    void reportSuccess();
    void runTool(const QString &toolName, const QStringList &arguments,
                 void (PhotoRotation::*onDone)(const ToolResult &));
    QString toolPath(const QString &toolName);
    QStringList jpegtranArguments(const QString &input, const QString &output) const;
    void reportRotation();
    QString link() const;
    void say(const QString &text, bool checkDuplicate = false);
    void sayDetailed(const QString &text, bool checkDuplicate);
    void sayDetailedRaw(const QString &text);
    void end(PhotoRotationOutcome::Kind kind, const QString &reason = QString());
    void removeTemporaryFiles();

    const Job job;
    const QString photoPath; // the replaced file
    Route route = Route::BesidePhoto;
    FileState stateBefore;
    QDateTime timeBeforeRotation;
    bool perfect = false;
    bool trim = false;
    int fileTimestampMode = 0;
    QString besideTempPath;
    QString systemCopyPath;
    QString workPath; // the file exiv2 finishes
    int jpegtranExitCode = 0;
    QString jpegtranOutputHtml;
    ToolRun *tool = nullptr;
    bool ended = false;
};

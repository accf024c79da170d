// Pivotta, the main window. Its members are defined in the folder of the subsystem they belong
// to: mainwindow/ (frame, output log, folder selection, preview), exif/ (orientation reading),
// engine/ (folder batch, jpegtran and exiv2 stages), watcher/ (folder watcher), app/ (theme).
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <memory>

#include "app/restorewindowsize.h"

class About;
class Preferences;
class QDirIterator;
class QFileInfo;
class QFileSystemModel;
class QFileSystemWatcher;
class QPushButton;
class QTextEdit;

namespace Ui {
class Pivotta;
}

class Pivotta : public QMainWindow, public RestoreWindowSize {
    Q_OBJECT
    Q_INTERFACES(RestoreWindowSize)

public:
    Pivotta(bool preview, bool watch, bool tutorial, QString folder, QString file,
            QWidget *parent = nullptr);
    ~Pivotta() override;

signals:
    void closeAppAfterContextMenuRotate_toggled(bool checked);
    void quitApp();
    void queueSlowLineAppend(QString message, QTextEdit *editWidget);
    void queueFastLineAppend(QString message, QTextEdit *editWidget);
    void queueFastAppendPlainText(QString message, QTextEdit *editWidget);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

    // ---- Output log (mainwindow/outputlog.cpp) ----
public slots:
    void appendOutput(QString message, bool checkduplicate, bool plaintextNoNewline);
    void appendOutput(QString message, bool checkduplicate);
    void appendOutput(QString message);
    void appendOutputDetailed(QString message, bool checkduplicate);

private slots:
    void fastLineAppend(QString message, QTextEdit *editWidget);
    void slowLineAppend(QString message, QTextEdit *editWidget);
    void fastAppendPlainText(QString message, QTextEdit *editWidget);
    void showFile(QUrl link);

private:
    QString pathRelativeToFolder(QString path);
    void applyTextLimit(QTextEdit *editWidget);

    QString lastOutputMessage;
    QString lastDetailedMessage;
    qint32 outputLineCount = 0;

    // ---- Frame (mainwindow/pivotta.cpp) ----
private slots:
    void on_actionPreferences_triggered();
    void on_action_Detailed_output_triggered(bool checked);
    void on_actionAbout_triggered();
    void on_detailedOutputDock_visibilityChanged(bool visible);
    void on_rotateNowButton_clicked();
    void on_actionRotate_folder_now_triggered();
    void on_actionBrowse_folder_triggered();
    void on_actionRotate_currently_selected_file_triggered();
    void on_action_Dry_run_triggered(bool checked);
    void helpTextShow();
    void on_actionHelp_triggered();
    void on_actionFirst_use_introduction_triggered();
    void on_actionSend_feedback_about_app_triggered();
    void feedbackShow();
    void on_actionQuit_triggered();
    void on_stopRotatingButton_clicked();
    void on_actionIncrease_font_size_triggered();
    void on_actionDecrease_font_size_triggered();
    void on_closeContextMenuRotateNotification_clicked();
    void on_closeAppAfterRotatingFinishes_sliderPressed();
    void on_closeAppAfterRotatingFinishes_actionTriggered(int action);
    void toggleCloseAppAfterContextMenuRotate(bool checked);
    void closeAppAfterRotatingFinishesAndDelayHasPassed();

private:
    void initTexts();
    void buildStatusBarButtons();
    void prepareFrame();
    void connectSignals();
    void carryOutShellStart(bool preview, bool watch, const QString &folder, QString file);
    void showFirstUseIntroduction();
    void toggleCloseAppAfterRotatingFinishes();
    void updateCloseAppSliderStyle();
    void startCloseAfterFinishCountdown();
    void prepareDockWidths();

    Ui::Pivotta *ui = nullptr;
    About *about = nullptr;
    Preferences *preferences = nullptr;
    QString helpText;
    QString titleText;
    QString majorVersion = "3";
    QString feedbackUrl;
    QPushButton *helpButton = nullptr;
    QPushButton *feedbackButton = nullptr;
    bool closeAfterFinishArmed = false;
    class SwitchGesture *closeSwitchGesture = nullptr; // owned by closeAppAfterRotatingFinishes

    // ---- Theme (app/theme.cpp) ----
private:
    void applyLightTheme();
    void applyDarkTheme();

    // ---- Orientation reading (exif/orientationreading.cpp) ----
private:
    int readRotationAngle(QString filePath, bool dotBeforeErrors);
    int readRotationAngleWithImageReader(QString filePath);
    QString fileLink(QString filePath, bool showNativePath, bool showRelativePath);

    // ---- Folder batch (engine/folderbatch.cpp) ----
public slots:
    void rotateFilesInCurrentDirectory(bool watcherInitiated = false,
                                       bool continueWatcherAfterBlock = false);

public:
    // Whether a folder batch or a single photo is being rotated; a second start must wait.
    bool rotationInProgress() const;

private:
    struct ScanCounts {
        int photosToRotate = 0;
        int entriesSeen = 0;
        bool ended = false;          // stopped by the user or the window was closed
        bool photosArriving = false; // photos still being copied in, or changed while rotated
    };

    bool startUserBatch();
    bool startWatcherBatch();
    ScanCounts scanAndRotate(bool watcherInitiated);
    void examineEntry(const QString &entry, bool watcherInitiated, ScanCounts &counts);
    bool isStillArriving(const QFileInfo &entry) const;
    std::unique_ptr<QDirIterator> openFolderIterator();
    void interruptScan();
    void finishBatch(bool watcherInitiated, const ScanCounts &counts);
    void writeSummary(const ScanCounts &counts);
    void reportDuration(int elapsedMs, QString withMinutes, QString withoutMinutes, QString label);
    void setUserStartControlsEnabled(bool enabled);
    void scheduleWatcherRun(int delayMs);

    bool stopRequested = false;
    bool retriggerScheduled = false;
    bool manualRunActive = false;
    bool watcherRunActive = false;
    bool moreFilesWaiting = false;
    bool userBatchRunning = false;
    bool watcherRunPostponed = false;
    QSet<QString> failedPhotoKeys; // photos whose rotation failed, as they were
    QElapsedTimer batchTimer;
    QStringList photoNameFilters;
    int arrivalSettleMs = 2000;     // a photo changed this recently may still be being copied
    int emptyPhotoSettleMs = 30000; // an empty photo is waited for this long
    int watcherRetryDelayMs = 2000;

    // ---- Lossless transform and metadata finishing (engine/transform.cpp, engine/metadata.cpp)
    // ----
private:
    enum class RotationOutcome {
        Rotated,
        Failed,   // reported; the photo is as it was
        TryLater, // the photo changed while it was rotated; it is as it is now
    };
    struct PhotoTransform;
    struct ToolRun {
        bool started = false;
        bool timedOut = false; // killed after the finish wait
        bool normalExit = false;
        int exitCode = -1;
        int processError = 5; // QProcess::UnknownError: none
        QString errorText;
        QString standardOutput;
        QString standardError;
    };

    bool rotatePhoto(QString filePath, int angle, bool watcherInitiated);
    RotationOutcome transformPhoto(const QString &filePath, int angle, bool watcherInitiated);
    bool checkPhotoCanBeReplaced(const PhotoTransform &job);
    void reportTimeBeforeRotation(const PhotoTransform &job);
    RotationOutcome rotateBesidePhoto(const PhotoTransform &job);
    RotationOutcome rotateViaSystemTempCopy(const PhotoTransform &job);
    RotationOutcome moveCopyBackOverPhoto(const QString &copyPath, const PhotoTransform &job);
    bool finishRotatedResult(const QString &resultPath, const PhotoTransform &job,
                             const QString &toolOutput);
    RotationOutcome replacePhoto(const QString &rotatedPath, const PhotoTransform &job);
    bool reportToolNotRun(const ToolRun &run, const PhotoTransform &job);
    void reportJpegtranFailure(const QString &toolOutput, bool notPerfect);
    void reportSuccess(const PhotoTransform &job, bool withWarning);
    void countSuccess(const QString &photoPath);
    ToolRun runTool(const QString &program, const QStringList &arguments);
    ToolRun runJpegtran(const QString &input, const QString &output, const PhotoTransform &job);
    void reportRotation(QString filePath, int angle, bool dryRun);
    QString toolPath(QString toolName);
    QStringList jpegtranArguments(const QString &inputPath, const QString &outputPath, int angle);
    bool perfectRequired();
    bool finishMetadata(const QString &workPath, const QString &photoPath,
                        const QDateTime &timeBeforeRotation);
    void setTimeFromExif(const QString &workPath, const QString &photoPath);
    void restoreTimeBeforeRotation(const QString &workPath, const QString &photoPath,
                                   const QDateTime &timeBeforeRotation);

    int rotatedThisRun = 0;
    int rotatedTotal = 0;
    int toolStartTimeoutMs = 30000;
    int toolFinishTimeoutMs = 30000;
    QSet<QString> photosInWork; // never two rotations of one photo at once

    // ---- Folder watcher (watcher/folderwatcher.cpp) ----
private slots:
    void setWatchFolderSetting(bool checked, bool fromClick);
    void setWatchFolderSetting(bool checked);
    bool getWatchFolderToggleValue();
    void on_horizontalSlider_sliderPressed();
    void on_horizontalSlider_actionTriggered(int value);
    void filesInserted(QString);
    void watcherRotateFilesInCurrentDirectory();

private:
    void prepareWatcher();
    void addWatchPath(QString path);
    void addWatchSubfolders();
    void watchFolder(QString folder);
    void rewatchCurrentFolder();
    void removeAllWatchPaths();
    void turnOffWatchingForManualRotate();
    void flipWatchSwitch();
    bool forgetVanishedWatchPaths();
    void watchSubfoldersOf(const QString &folder);

    QFileSystemWatcher *folderWatcher = nullptr;
    QStringList watchedPaths;
    class SwitchGesture *watchSwitchGesture = nullptr; // owned by horizontalSlider

    // ---- Folder selection (mainwindow/folderselection.cpp) ----
private slots:
    void on_browse_clicked();
    void directoryComboBox_currentIndexChanged(QString arg1);
    void on_actionFolderTree_triggered(bool checked);
    void on_showTreeButton_clicked(bool checked);
    void on_leftdock_visibilityChanged(bool visible);

private:
    void openFolder(QString folder);
    void addToRecentFolders(QString folder);
    void fillFolderComboBox();
    void makeFolderCurrentInComboBox(const QString &nativeFolder);
    void showFolderInTree(const QString &folder);
    void openChosenFolder(const QString &chosen);

    const int recentFolderMax = 20;
    QFileSystemModel *folderModel = nullptr;

    // ---- Preview and manual rotation (mainwindow/preview.cpp) ----
public slots:
    void rotateSingle(QString filePath, int orientation);

private slots:
    void on_tree_clicked(QModelIndex index);
    void on_tree_activated(QModelIndex index);
    void on_autorotateSingleButton_clicked();
    void on_rotateSingleClockwiseButton_clicked();
    void on_rotateSingleCounterclockwiseButton_clicked();
    void on_actionRotate_Clockwise_triggered();
    void on_actionRotate_Counterclockwise_triggered();
    void on_refreshButton_clicked();
    void on_selectPrevious_clicked();
    void on_selectNext_clicked();
    void on_actionSelectPrevious_triggered();
    void on_actionSelectNext_triggered();
    void on_openSingle_clicked();
    void on_openSingleFolder_clicked();

private:
    void preparePreview();
    void previewFile(QString path);
    void loadPreview(QString path, bool showOriented);
    void showPreviewImages(bool showOriented);
    void manualRotate(QString path, int degrees);
    void selectNeighbour(int step);
    void settlePreviewLayout();

    QString selectedFile;
    QString previewedFile;
    QImage rawPreviewImage;
    QImage orientedPreviewImage;
    QString previewDecodeError;
    bool previewHasOrientation = false;
    QPersistentModelIndex treeIndex;

    friend class PivottaTestAccess;
};

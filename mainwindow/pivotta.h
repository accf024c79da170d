// Pivotta, the main window: the frame, the two output panes, folder selection and the preview's
// widgets. The work is done by parts of their own that the window connects to its panes: the
// rotation engine (engine/), the folder watcher (watcher/) and the preview (PhotoPreview).
// Members are defined in the files of the window's folder: pivotta.cpp (frame), outputlog.cpp,
// folderselection.cpp, preview.cpp, watchswitch.cpp; app/theme.cpp holds the theme's.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "mainwindow/restorewindowsize.h"
#include "engine/turn.h"

class About;
class FolderWatcher;
class PaneWording;
class PhotoPreview;
class Preferences;
class QFileSystemModel;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;
class RotationEngine;
struct OutputMessage;
struct RunSummary;

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

    RotationEngine *rotationEngine() const { return engine; }
    FolderWatcher *folderWatcher() const { return watcher; }
    PhotoPreview *photoPreview() const { return previewer; }

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

    // ---- Output log (outputlog.cpp) ----
public slots:
    void appendOutput(QString message, bool checkduplicate, bool plaintextNoNewline);
    void appendOutput(QString message, bool checkduplicate);
    void appendOutput(QString message);
    void appendOutputDetailed(QString message, bool checkduplicate);
    void writeMessage(const OutputMessage &message);

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

    // ---- Frame (pivotta.cpp) ----
public slots:
    void rotateFilesInCurrentDirectory(bool watcherInitiated = false,
                                       bool continueWatcherAfterBlock = false);

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
    void buildBatchProgress();
    void prepareFrame();
    void connectSignals();
    void connectEngine();
    void carryOutShellStart(bool preview, bool watch, const QString &folder, QString file);
    void showFirstUseIntroduction();
    void toggleCloseAppAfterRotatingFinishes();
    void updateCloseAppSliderStyle();
    void startCloseAfterFinishCountdown();
    void onRunStarted(int kind);
    void onRunFinished(const RunSummary &summary);
    void showBatchProgress(int handled, int total);
    void setUserStartControlsEnabled(bool enabled);
    void showStatus(const QString &text, int timeoutMs);
    QString currentFolder() const;
    void prepareDockWidths();

    Ui::Pivotta *ui = nullptr;
    About *about = nullptr;
    Preferences *preferences = nullptr;
    RotationEngine *engine = nullptr;
    FolderWatcher *watcher = nullptr;
    PhotoPreview *previewer = nullptr;
    PaneWording *wording = nullptr;
    QString helpText;
    QString titleText;
    QString majorVersion = "3";
    QString feedbackUrl;
    QPushButton *helpButton = nullptr;
    QPushButton *feedbackButton = nullptr;
    QProgressBar *batchProgressBar = nullptr;
    QLabel *batchProgressLabel = nullptr;
    QElapsedTimer batchProgressTimer;
    bool closeAfterFinishArmed = false;
    int rotatedTotal = 0;
    class SwitchGesture *closeSwitchGesture = nullptr; // owned by closeAppAfterRotatingFinishes

    // ---- Theme (app/theme.cpp) ----
private:
    void applyLightTheme();
    void applyDarkTheme();

    // ---- Watch switch (watchswitch.cpp) ----
private slots:
    void setWatchFolderSetting(bool checked, bool fromClick);
    void setWatchFolderSetting(bool checked);
    bool getWatchFolderToggleValue();
    void on_horizontalSlider_sliderPressed();
    void on_horizontalSlider_actionTriggered(int value);
    void watcherRotateFilesInCurrentDirectory();

private:
    void prepareWatchSwitch();
    void flipWatchSwitch();
    void turnOffWatchingForManualRotate();

    class SwitchGesture *watchSwitchGesture = nullptr; // owned by horizontalSlider

    // ---- Folder selection (folderselection.cpp) ----
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

    // ---- Preview and manual rotation (preview.cpp) ----
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
    void rotateSinglePhoto(const QString &filePath, Turn turn, bool sayDoneAfterwards);
    void onSinglePhotoFinished(const RunSummary &summary);
    void manualRotate(QString path, int degrees);
    void selectNeighbour(int step);
    void settlePreviewLayout();

    QPersistentModelIndex treeIndex;
    QTimer previewRescale;
    QString singleRotationPath; // the photo a single-photo rotation is turning
    bool sayDoneAfterSingle = false;

    friend class PivottaTestAccess;
};

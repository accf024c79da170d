// Pivotta, the main window: the frame that holds the window's parts (the output panes, the folder
// bar with its tree, the preview dock, the watch switch, the close-after-finish countdown) with
// the menus and the status bar, and connects them to the rotation engine and the folder watcher.
#pragma once

#include <QMainWindow>
#include <QString>

#include "mainwindow/restorewindowsize.h"
#include "mainwindow/startupdecisions.h"

class About;
class BatchNotice;
class BatchProgress;
class CloseCountdown;
class FolderBar;
class FolderWatcher;
class OutputPanes;
class PaneWording;
class Preferences;
class PreviewDock;
class RotationEngine;
class WatchSwitch;
struct RunSummary;
enum class Turn;

namespace Ui {
class Pivotta;
}

class Pivotta : public QMainWindow, public RestoreWindowSize {
    Q_OBJECT
    Q_INTERFACES(RestoreWindowSize)

public:
    explicit Pivotta(const StartupDecisions &decisions = {}, QWidget *parent = nullptr);
    ~Pivotta() override;

    RotationEngine *rotationEngine() const { return engine; }
    FolderWatcher *folderWatcher() const { return watcher; }

signals:
    void quitApp();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The constructor's steps, in their order.
    void createDialogs();
    void createParts();
    void prepareFrame();
    void buildStatusBar();
    void connectMenus();
    void connectParts();
    void connectEngine();
    void followDesktopTheme();
    void carryOut(const StartupDecisions &decisions);
    void startFromFileManager(const StartupDecisions &decisions, const QString &folder);

    void showHelp();
    void showFeedback();
    void showFirstUseIntroduction();
    void showStatus(const QString &text, int timeoutMs);

    void rotateCurrentFolder();
    void autorotatePhoto(const QString &path);
    void rotateSinglePhoto(const QString &path, Turn turn, bool sayDoneAfterwards);
    void onRunStarted(int kind);
    void onRunFinished(const RunSummary &summary);
    void onSinglePhotoFinished(const RunSummary &summary);
    void setUserStartControlsEnabled(bool enabled);
    void stopOrKeepOpen();
    void turnOffWatchingForManualRotation();
    void quitOnceStopped();

    Ui::Pivotta *ui = nullptr;
    About *about = nullptr;
    Preferences *preferences = nullptr;
    RotationEngine *engine = nullptr;
    FolderWatcher *watcher = nullptr;
    OutputPanes *panes = nullptr;
    PaneWording *wording = nullptr;
    FolderBar *folderBar = nullptr;
    PreviewDock *previewDock = nullptr;
    WatchSwitch *watchSwitch = nullptr;
    CloseCountdown *countdown = nullptr;
    BatchProgress *batchProgress = nullptr;
    BatchNotice *batchNotice = nullptr;
    int rotatedTotal = 0;
    QString singleRotationPath; // the photo a single-photo rotation is turning
    bool sayDoneAfterSingle = false;
    // Quit or close was asked for during a run: the run is stopped first, and this follows once
    // it has ended.
    enum class AfterRun { Nothing, Close, Quit } afterRun = AfterRun::Nothing;
};

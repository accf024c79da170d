// The main window's frame: its parts and how they are connected, the menus and the status bar,
// the docks, the runs started from the window, and what the command line asked for at start-up.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "about/about.h"
#include "common/debuglog.h"
#include "common/projectaddress.h"
#include "engine/orientationcheck.h"
#include "engine/rotationengine.h"
#include "mainwindow/batchnotice.h"
#include "mainwindow/batchprogress.h"
#include "mainwindow/closecountdown.h"
#include "mainwindow/desktopnotifications.h"
#include "mainwindow/folderbar.h"
#include "mainwindow/outputpanes.h"
#include "mainwindow/previewdock.h"
#include "mainwindow/watchswitch.h"
#include "mainwindow/windowtexts.h"
#include "mainwindow/windowtheme.h"
#include "presentation/messagetext.h"
#include "presentation/panecolors.h"
#include "presentation/panewording.h"
#include "settings/preferences.h"
#include "settings/settings.h"
#include "watcher/folderwatcher.h"

namespace {
const char *const majorVersion = "3";

QString feedbackAddress() {
    return projectPage(projectHomepage(), "feedback");
}

// Runs `apply` once, the first time `dock` is shown; the user's own sizes stand after that.
void onFirstShow(QDockWidget *dock, QObject *context, const std::function<void()> &apply) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(dock, &QDockWidget::visibilityChanged, context,
                                   [connection, apply](bool visible) {
                                       if (!visible)
                                           return;
                                       QObject::disconnect(*connection);
                                       apply();
                                   });
}

// The platform's Preferences shortcut, or Ctrl+, where it has none.
QList<QKeySequence> preferencesShortcuts() {
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Preferences);
    if (keys.isEmpty())
        keys << QKeySequence(Qt::CTRL | Qt::Key_Comma);
    return keys;
}

// The width at which a dock's title bar shows its whole title and its close button.
int widthForTitle(const QDockWidget *dock) {
    const QStyle *style = dock->style();
    const int margin = style->pixelMetric(QStyle::PM_DockWidgetTitleMargin, nullptr, dock);
    const int button =
        style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, dock) +
        2 * style->pixelMetric(QStyle::PM_DockWidgetTitleBarButtonMargin, nullptr, dock);
    return dock->fontMetrics().horizontalAdvance(dock->windowTitle()) + 4 * margin + button +
           2 * dock->fontMetrics().averageCharWidth();
}
} // namespace

Pivotta::Pivotta(const StartupDecisions &decisions, QWidget *parent)
    : QMainWindow(parent)
    , RestoreWindowSize(this, false)
    , ui(new Ui::Pivotta)
    , engine(new RotationEngine(this))
    , watcher(new FolderWatcher(engine, this)) {
    ui->setupUi(this);
    createDialogs();
    createParts();
    prepareFrame();
    buildStatusBar();
    connectMenus();
    connectParts();
    connectEngine();
    followDesktopTheme();
    setWindowTitle(QString("%1 %2").arg(QCoreApplication::applicationName(), majorVersion));
    carryOut(decisions);
    statusBar()->showMessage(
        tr("This app uses Qt under the LGPL License. See the About... dialog for details. "));
    folderBar->openFoldersPickedInComboBox();
}

Pivotta::~Pivotta() {
    // The engine goes first: stopping its tools may still say something into the panes.
    delete engine;
    engine = nullptr;
    delete ui;
}

void Pivotta::createDialogs() {
    about = new About(this);
    about->setModal(true);
    preferences = new Preferences(this);
    preferences->setModal(true);
    preferences->setPerfectUILabel(tr("Require perfect metadata for rotation"));
}

void Pivotta::createParts() {
    panes = new OutputPanes(ui->cmdLineOutput, ui->cmdLineOutput_2, this);
    folderBar =
        new FolderBar({ui->directoryComboBox, ui->browse, ui->actionBrowse_folder, ui->tree,
                       ui->leftDockHelp, ui->leftdock, ui->showTreeButton, ui->actionFolderTree},
                      watcher, this);
    previewDock = new PreviewDock(
        {ui->imagedock, ui->rawImage, ui->transformedImage, ui->previewFileName,
         ui->previewFileNameScrollArea, ui->selectPrevious, ui->selectNext, ui->openSingle,
         ui->openSingleFolder, ui->rotateSingleClockwiseButton,
         ui->rotateSingleCounterclockwiseButton, ui->autorotateSingleButton, ui->refreshButton,
         ui->actionRotate_currently_selected_file, ui->actionRotate_Clockwise,
         ui->actionRotate_Counterclockwise, ui->actionSelectPrevious, ui->actionSelectNext},
        engine, this);
    watchSwitch = new WatchSwitch(ui->horizontalSlider, watcher, this);
    countdown = new CloseCountdown(
        {ui->closeAppAfterRotatingFinishesFrame, ui->closeAppAfterRotatingFinishesLabel,
         ui->closeAppAfterRotatingFinishes, ui->closeAppAfterRotatingFinishesFrameProgressBar,
         ui->closeContextMenuRotateNotification, ui->closingInLabel, ui->keepOpenButton},
        this);
    batchNotice = new BatchNotice(this, ui->action_Dry_run, desktopNotificationSender());
}

// The docks start hidden; their own size hints would make them narrow strips (the preview
// would show photos at thumbnail size, the folder tree's title would be cut and the detailed
// pane squeezed), so each gets a width of its own the first time it is shown.
void Pivotta::prepareFrame() {
    ui->counter->hide();
    ui->stopRotatingButton->setEnabled(false);
    // The keyboard starts at Browse, not in the folder box, whose text it would select.
    ui->browse->setFocus();
    ui->topdock->setTitleBarWidget(new QWidget(ui->topdock));
    ui->detailedOutputDock->hide();
    ui->leftdock->hide();
    ui->imagedock->hide();
    onFirstShow(ui->leftdock, this, [this] {
        resizeDocks({ui->leftdock}, {widthForTitle(ui->leftdock)}, Qt::Horizontal);
    });
    onFirstShow(ui->imagedock, this, [this] {
        resizeDocks({ui->imagedock}, {std::max(ui->imagedock->width(), width() / 3)},
                    Qt::Horizontal);
    });
    onFirstShow(ui->detailedOutputDock, this, [this] {
        const int besideLeftDock =
            width() - (ui->leftdock->isVisible() ? ui->leftdock->width() : 0);
        resizeDocks({ui->detailedOutputDock}, {besideLeftDock / 2}, Qt::Horizontal);
        // Stacked above the preview, it shares the column's height rather than being a strip.
        if (ui->imagedock->isVisible()) {
            resizeDocks({ui->detailedOutputDock, ui->imagedock}, {height() / 2, height() / 2},
                        Qt::Vertical);
        }
    });
}

void Pivotta::buildStatusBar() {
    auto *container = new QWidget(this);
    auto *layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addStretch();

    auto *helpButton = new QPushButton(tr("Help"), container);
    auto *feedbackButton = new QPushButton(tr("Feedback (web)"), container);
    // Wide enough to read as the bar's buttons, narrow enough to leave a small screen room for
    // the message and a batch's progress.
    helpButton->setMinimumWidth(100);
    helpButton->setMaximumWidth(200);
    feedbackButton->setMinimumWidth(160);
    feedbackButton->setMaximumWidth(330);
    container->setMaximumWidth(helpButton->maximumWidth() + feedbackButton->maximumWidth());
    layout->addWidget(helpButton, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(feedbackButton, 0, Qt::AlignRight | Qt::AlignVCenter);
    connect(helpButton, &QPushButton::clicked, this, &Pivotta::showHelp);
    connect(feedbackButton, &QPushButton::clicked, this, &Pivotta::showFeedback);
    feedbackButton->setToolTip(feedbackAddress().isEmpty() ? noProjectAddressText()
                                                           : feedbackAddress());

    statusBar()->addPermanentWidget(container, 0);
    batchProgress = new BatchProgress(statusBar());
    // Room above and below the text, so that the rounded buttons read as buttons.
    statusBar()->setStyleSheet("QPushButton{margin:2px 0;padding:0.25em 0.5em;}");
}

void Pivotta::connectMenus() {
    ui->actionPreferences->setShortcuts(preferencesShortcuts());
    connect(ui->actionPreferences, &QAction::triggered, preferences, &QWidget::show);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &Pivotta::stopOrKeepOpen);
    connect(ui->actionAbout, &QAction::triggered, about, &QWidget::show);
    connect(ui->action_Detailed_output, &QAction::triggered, ui->detailedOutputDock,
            &QWidget::setVisible);
    connect(ui->detailedOutputDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible)
            ui->action_Detailed_output->setChecked(false);
    });
    connect(ui->actionRotate_folder_now, &QAction::triggered, this, &Pivotta::rotateCurrentFolder);
    connect(ui->rotateNowButton, &QPushButton::clicked, this, &Pivotta::rotateCurrentFolder);
    connect(ui->actionIncrease_font_size, &QAction::triggered, panes, &OutputPanes::zoomIn);
    connect(ui->actionDecrease_font_size, &QAction::triggered, panes, &OutputPanes::zoomOut);
    connect(ui->actionHelp, &QAction::triggered, this, &Pivotta::showHelp);
    connect(ui->actionFirst_use_introduction, &QAction::triggered, this,
            &Pivotta::showFirstUseIntroduction);
    ui->actionSend_feedback_about_app->setStatusTip(
        feedbackAddress().isEmpty() ? noProjectAddressText() : feedbackAddress());
    connect(ui->actionSend_feedback_about_app, &QAction::triggered, this, &Pivotta::showFeedback);
    connect(ui->actionQuit, &QAction::triggered, this, &Pivotta::quitOnceStopped);
    // Quitting happens once the event that asked for it has been handled.
    connect(this, &Pivotta::quitApp, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Pivotta::connectParts() {
    connect(folderBar, &FolderBar::message, panes,
            [this](const QString &text) { panes->append(text); });
    connect(folderBar, &FolderBar::currentFolderChanged, previewDock, &PreviewDock::setFolder);
    connect(folderBar, &FolderBar::currentFolderChanged, this, [this](const QString &folder) {
        if (folder.isEmpty())
            ui->rotateNowButton->setEnabled(false);
        panes->showStartHint(folder.isEmpty());
    });
    connect(folderBar, &FolderBar::folderOpened, this, [this] {
        ui->actionRotate_folder_now->setEnabled(true);
        ui->rotateNowButton->setEnabled(true);
    });
    connect(folderBar, &FolderBar::entryChosen, previewDock, &PreviewDock::showPhoto);
    connect(panes, &OutputPanes::photoLinkClicked, previewDock, &PreviewDock::showPhoto);
    connect(previewDock, &PreviewDock::stepRequested, folderBar, &FolderBar::stepInTree);
    // The detailed pane shares the right side with the preview and makes room for it.
    connect(previewDock, &PreviewDock::opening, this, [this] {
        ui->detailedOutputDock->hide();
        ui->action_Detailed_output->setChecked(false);
    });
    connect(previewDock, &PreviewDock::autorotateRequested, this, &Pivotta::autorotatePhoto);
    connect(previewDock, &PreviewDock::quarterTurnRequested, this,
            [this](const QString &path, Turn turn) { rotateSinglePhoto(path, turn, false); });
    connect(preferences, &Preferences::closeAppAfterContextMenuRotate_toggled, countdown,
            &CloseCountdown::setChoice);
    connect(countdown, &CloseCountdown::choiceToggled, preferences,
            &Preferences::toggleCloseAppAfterContextMenuRotate);
    connect(countdown, &CloseCountdown::quitRequested, this, &Pivotta::quitApp);
}

// The engine and the watcher speak through signals; the window shows what they say.
void Pivotta::connectEngine() {
    // The wording speaks first: a run's summary is written before the window reacts to its end.
    wording = new PaneWording(this);
    wording->listenTo(engine);
    wording->listenTo(watcher);
    connect(wording, &PaneWording::message, panes, &OutputPanes::write);
    connect(wording, &PaneWording::status, this, &Pivotta::showStatus);
    connect(previewDock, &PreviewDock::photoChecked, wording,
            [this](const OrientationCheck &check, const QString &path) {
                wording->tellCheck(check, path, folderBar->currentFolder());
            });
    connect(engine, &RotationEngine::runStarted, this, &Pivotta::onRunStarted);
    connect(engine, &RotationEngine::runFinished, this, &Pivotta::onRunFinished);
    connect(engine, &RotationEngine::runStarted, batchNotice, &BatchNotice::runStarted);
    connect(engine, &RotationEngine::runFinished, batchNotice, &BatchNotice::runFinished);
    connect(engine, &RotationEngine::listingProgress, batchProgress, &BatchProgress::showListing);
    connect(engine, &RotationEngine::photosListed, batchProgress, [this](int count) {
        batchProgress->start(); // the time left counts from the end of the listing
        batchProgress->show(0, count);
    });
    connect(engine, &RotationEngine::progress, batchProgress, &BatchProgress::show);
    connect(engine, &RotationEngine::photoRotated, this,
            [this] { ui->counter->setNum(++rotatedTotal); });
    connect(ui->stopRotatingButton, &QPushButton::clicked, engine, &RotationEngine::stop);
}

// Light or dark as the desktop is, from now on; the panes' messages take the theme's colours.
void Pivotta::followDesktopTheme() {
    auto *theme = new WindowTheme(this);
    const auto colorPanes = [this](Theme current) {
        wording->setColors(current == Theme::Dark ? PaneColors::dark() : PaneColors::light());
    };
    colorPanes(theme->current());
    connect(theme, &WindowTheme::changed, wording, colorPanes);
}

// The command line's decisions: the watcher's state, a photo or folder to preview, the welcome,
// and a start from the file manager.
void Pivotta::carryOut(const StartupDecisions &decisions) {
    QString folder = decisions.folder;
    if (!folder.isEmpty())
        folder = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    if (!decisions.preview && decisions.watch)
        watchSwitch->setOn(true);
    else if (decisions.preview)
        watchSwitch->setOn(false);
    else
        watchSwitch->setOn(Settings::watch());

    const QString file = decisions.file;
    if (decisions.preview && !file.isEmpty()) {
        panes->append(QString("Opening selected photo for preview:\n%1").arg(escapeHtml(file)));
        QTimer::singleShot(300, this, [this, file] { previewDock->showPhoto(file); });
    } else if (decisions.preview && !folder.isEmpty()) {
        panes->append("Opened selected folder. Select photo file to preview from the folder tree "
                      "on the left.");
        folderBar->openFolder(folder);
        folderBar->showTree();
    }
    if (decisions.tutorial)
        showFirstUseIntroduction();
    startFromFileManager(decisions, folder);
}

// Started from the file manager or a console with a folder or a photo to rotate: it is rotated
// a second after the window is up, and the countdown to closing follows.
void Pivotta::startFromFileManager(const StartupDecisions &decisions, const QString &folder) {
    if (!folder.isEmpty()) {
        if (decisions.preview) {
            countdown->hideFrame();
            return;
        }
        const QFileInfo folderInfo(folder);
        if (!folderInfo.isDir() || !folderInfo.isReadable())
            return;
        if (!decisions.watch) {
            countdown->showFrame();
            countdown->arm();
        }
        panes->append(shellParameterText(tr("Rotate folder")));
        folderBar->openFolder(folder);
        panes->append(windowReadyText());
        QTimer::singleShot(1000, this, &Pivotta::rotateCurrentFolder);
        return;
    }
    const QString photoPath = decisions.file;
    if (photoPath.isEmpty() || decisions.preview) {
        countdown->hideFrame();
        return;
    }
    const QFileInfo fileInfo(photoPath);
    panes->append(shellParameterText(tr("Rotate file %1"))
                      .arg(fileLink(fileInfo.absoluteFilePath(), true, false,
                                    folderBar->currentFolder(), wording->colors().link)));
    if (!fileInfo.isFile() || !fileInfo.isReadable()) {
        panes->append(tr("File is not readable."));
        return;
    }
    if (!decisions.watch)
        countdown->showFrame();
    countdown->arm();
    folderBar->openFolder(fileInfo.absoluteDir().path());
    panes->append(windowReadyText());
    QTimer::singleShot(1000, this, [this, photoPath] { autorotatePhoto(photoPath); });
}

void Pivotta::showHelp() {
    panes->append(helpText(projectHomepage()), true);
}

void Pivotta::showFeedback() {
    if (feedbackAddress().isEmpty()) {
        panes->append(tr("Feedback (web): %1").arg(noProjectAddressText().toHtmlEscaped()));
        return;
    }
    QDesktopServices::openUrl(QUrl(feedbackAddress(), QUrl::TolerantMode));
}

// The program shows the introduction by itself only while it starts after being installed,
// before its window is shown.
void Pivotta::showFirstUseIntroduction() {
    panes->append(welcomeText(!isVisible()), true);
}

void Pivotta::showStatus(const QString &text, int timeoutMs) {
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text, timeoutMs);
}

void Pivotta::rotateCurrentFolder() {
    engine->startUserBatch(folderBar->currentFolder(), ui->action_Dry_run->isChecked());
}

// Turns one photo as its orientation asks.
void Pivotta::autorotatePhoto(const QString &path) {
    rotateSinglePhoto(path, Turn::None, true);
}

// Turns one photo by `turn`, or as its orientation asks when `turn` is None; the preview, the
// countdown and "Done." (when asked for) follow once the rotation has finished.
void Pivotta::rotateSinglePhoto(const QString &path, Turn turn, bool sayDoneAfterwards) {
    const QString folder = folderBar->currentFolder();
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        const bool started = turn == Turn::None ? engine->rotateByOrientation(path, folder)
                                                : engine->rotatePhoto(path, turn, folder);
        if (started) {
            singleRotationPath = path;
            sayDoneAfterSingle = sayDoneAfterwards;
            return;
        }
    }
    if (sayDoneAfterwards)
        panes->append("<br>" + tr("Done."));
    countdown->start();
}

void Pivotta::onRunStarted(int kind) {
    ui->stopRotatingButton->setEnabled(true);
    switch (kind) {
    case RunSummary::UserBatch:
        watchSwitch->setEnabled(false);
        setUserStartControlsEnabled(false);
        batchProgress->start();
        break;
    case RunSummary::SinglePhoto:
        turnOffWatchingForManualRotation();
        break;
    default:
        break;
    }
}

void Pivotta::onRunFinished(const RunSummary &summary) {
    ui->stopRotatingButton->setEnabled(false);
    if (afterRun != AfterRun::Nothing) {
        const AfterRun then = std::exchange(afterRun, AfterRun::Nothing);
        if (then == AfterRun::Quit)
            emit quitApp();
        else
            close();
        return;
    }
    if (summary.kind == RunSummary::UserBatch) {
        watchSwitch->setEnabled(true);
        setUserStartControlsEnabled(true);
        batchProgress->hide();
        qCDebug(lcPivotta) << "rewatch";
    }
    if (summary.interrupted && summary.kind != RunSummary::WatcherRun)
        countdown->cancel();
    if (summary.kind == RunSummary::SinglePhoto) {
        onSinglePhotoFinished(summary);
        return;
    }
    previewDock->reload();
    statusBar()->clearMessage();
    if (summary.kind == RunSummary::UserBatch)
        countdown->start();
}

void Pivotta::onSinglePhotoFinished(const RunSummary &summary) {
    const QString path = singleRotationPath;
    singleRotationPath.clear();
    // A photo that needed no turn is shown in the preview as it is.
    if (summary.photosToRotate == 0)
        previewDock->showPhoto(path);
    else
        previewDock->load(path);
    if (sayDoneAfterSingle)
        panes->append("<br>" + tr("Done."));
    sayDoneAfterSingle = false;
    countdown->start();
}

// The controls that start a batch, and those that would change its folder under it.
void Pivotta::setUserStartControlsEnabled(bool enabled) {
    ui->rotateNowButton->setEnabled(enabled);
    ui->actionRotate_folder_now->setEnabled(enabled);
    folderBar->setFolderChoiceEnabled(enabled);
}

// Esc stops what is being rotated, or else keeps the window open that was about to close.
void Pivotta::stopOrKeepOpen() {
    if (engine->isBusy())
        engine->stop();
    else
        countdown->keepOpen();
}

void Pivotta::turnOffWatchingForManualRotation() {
    if (watchSwitch->isOn())
        panes->append(tr("Turned off folder watching because manual rotating was triggered."));
    watchSwitch->setOn(false);
}

// Quitting during a run stops it first, as Stop does: every photo whole, temporary files gone.
void Pivotta::quitOnceStopped() {
    if (!engine->isBusy()) {
        emit quitApp();
        return;
    }
    afterRun = AfterRun::Quit;
    engine->stop();
}

void Pivotta::closeEvent(QCloseEvent *event) {
    if (!engine->isBusy()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (afterRun == AfterRun::Nothing)
        afterRun = AfterRun::Close;
    engine->stop();
}

void Pivotta::showEvent(QShowEvent *) {
    restore();
}

void Pivotta::hideEvent(QHideEvent *) {
    save();
}

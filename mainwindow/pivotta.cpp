// The main window's frame: construction, menus and actions, status bar, help and welcome
// texts, the close-after-finish countdown and the window events.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

#include "about/about.h"
#include "common/debuglog.h"
#include "common/projectaddress.h"
#include "app/theme.h"
#include "engine/rotationengine.h"
#include "mainwindow/photopreview.h"
#include "mainwindow/switchgesture.h"
#include "presentation/messagetext.h"
#include "presentation/panewording.h"
#include "settings/preferences.h"
#include "settings/settings.h"
#include "watcher/folderwatcher.h"

namespace {
QString timeOfDay() {
    return QTime::currentTime().toString(Qt::TextDate);
}

// "Explorer/shell parameter: " and the request; outside Windows the file manager starts Pivotta.
QString shellParameterText(const QString &request) {
#ifdef Q_OS_WIN
    return QCoreApplication::translate("Pivotta", "Explorer/shell parameter: %1").arg(request);
#else
    return QCoreApplication::translate("Pivotta", "File manager/shell parameter: %1").arg(request);
#endif
}

// "about 2 minutes" or "about 40 seconds": a rough time, as estimates are.
QString roughDuration(qint64 ms) {
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds >= 120)
        return QCoreApplication::translate("Pivotta", "about %n minute(s) left", "",
                                           int((seconds + 30) / 60));
    return QCoreApplication::translate("Pivotta", "about %n second(s) left", "", int(seconds));
}

// The help's closing link to the page on lossless rotation, or word that there is none.
QString documentationParagraph(const QString &homepage) {
    const QString caption = "<span>About lossless rotation &amp; caveats...</span>";
    if (homepage.isEmpty())
        return "<p>" + caption + " (" + noProjectAddressText().toHtmlEscaped() + ")</p>";
    return "<p><a href=\"" + projectPage(homepage, "lossless-rotation").toHtmlEscaped() + "\">" +
           caption + "</a></p>";
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

Pivotta::Pivotta(bool preview, bool watch, bool tutorial, QString folder, QString file,
                 QWidget *parent)
    : QMainWindow(parent)
    , RestoreWindowSize(this, false)
    , ui(new Ui::Pivotta)
    , engine(new RotationEngine(this))
    , watcher(new FolderWatcher(engine, this))
    , previewer(new PhotoPreview(engine, this))
    , folderModel(new QFileSystemModel) {
    ui->setupUi(this);
    about = new About(this);
    preferences = new Preferences(this);
    preferences->setPerfectUILabel(tr("Require perfect metadata for rotation"));
    initTexts();
    buildStatusBarButtons();
    buildBatchProgress();
    prepareFrame();
    connectSignals();
    connectEngine();
    if (themeForWindowColor(palette().color(QPalette::Window)) == Theme::Dark)
        applyDarkTheme(); // a desktop that is dark already: as a switch to dark gives it
    setWindowTitle(titleText);
    connect(this, &Pivotta::quitApp, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    fillFolderComboBox();

    if (!folder.isEmpty())
        folder = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    if (!preview && watch)
        setWatchFolderSetting(true, false);
    else if (preview)
        setWatchFolderSetting(false, false);
    else
        setWatchFolderSetting(Settings::watch(), false);

    if (preview && !file.isEmpty()) {
        appendOutput(QString("Opening selected photo for preview:\n%1").arg(escapeHtml(file)));
        QTimer::singleShot(300, this, [this, file] { previewFile(file); });
    } else if (preview && !folder.isEmpty()) {
        appendOutput("Opened selected folder. Select photo file to preview from the folder tree "
                     "on the left.");
        openFolder(folder);
        ui->showTreeButton->setChecked(true);
        ui->actionFolderTree->setChecked(true);
        ui->leftdock->show();
    }

    ui->closeAppAfterRotatingFinishes->setValue(Settings::closeAppAfterContextMenuRotate() ? 1 : 0);
    updateCloseAppSliderStyle();
    if (tutorial)
        showFirstUseIntroduction();
    carryOutShellStart(preview, watch, folder, file);
    statusBar()->showMessage(
        tr("This app uses Qt under the LGPL License. See the About... dialog for details. "));
    connect(ui->directoryComboBox, &QComboBox::currentTextChanged, this,
            &Pivotta::directoryComboBox_currentIndexChanged);
}

Pivotta::~Pivotta() {
    // The engine goes first: stopping its tools may still say something into the panes.
    delete engine;
    engine = nullptr;
    delete folderModel;
    delete about;
    delete preferences;
    delete ui;
}

void Pivotta::prepareFrame() {
    // The window starts light; each theme change gives it that theme's sheet as well, since its
    // own sheet outranks the application's for every widget inside it.
    setStyleSheet(themeStyleSheet(Theme::Light));
    ui->counter->hide();
    ui->topdock->setTitleBarWidget(new QWidget(ui->topdock));
    ui->detailedOutputDock->hide();
    ui->leftdock->hide();
    ui->imagedock->hide();
    about->setModal(true);
    preferences->setModal(true);
    ui->tree->setBackgroundRole(QPalette::Button);
    ui->cmdLineOutput->setBackgroundRole(QPalette::Button);
    ui->cmdLineOutput_2->setBackgroundRole(QPalette::Button);
    closeSwitchGesture = new SwitchGesture(ui->closeAppAfterRotatingFinishes);
    prepareDockWidths();
    preparePreview();
    prepareWatchSwitch();
}

// The docks' own size hints make them narrow strips: the preview would show photos at thumbnail
// size, the folder tree's title would be cut and the detailed pane squeezed.
void Pivotta::prepareDockWidths() {
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

void Pivotta::connectSignals() {
    connect(this, &Pivotta::queueFastLineAppend, this, &Pivotta::fastLineAppend);
    connect(this, &Pivotta::queueFastAppendPlainText, this, &Pivotta::fastAppendPlainText);
    connect(this, &Pivotta::queueSlowLineAppend, this, &Pivotta::slowLineAppend);
    connect(ui->cmdLineOutput, &QTextBrowser::anchorClicked, this, &Pivotta::showFile);
    connect(preferences, &Preferences::closeAppAfterContextMenuRotate_toggled, this,
            &Pivotta::toggleCloseAppAfterContextMenuRotate);
    connect(this, &Pivotta::closeAppAfterContextMenuRotate_toggled, preferences,
            &Preferences::toggleCloseAppAfterContextMenuRotate);
}

// The engine and the watcher speak through signals; the window shows what they say.
void Pivotta::connectEngine() {
    wording = new PaneWording(this);
    wording->listenTo(engine);
    wording->listenTo(watcher);
    connect(wording, &PaneWording::message, this, &Pivotta::writeMessage);
    connect(wording, &PaneWording::status, this, &Pivotta::showStatus);
    connect(engine, &RotationEngine::runStarted, this, &Pivotta::onRunStarted);
    connect(engine, &RotationEngine::runFinished, this, &Pivotta::onRunFinished);
    connect(engine, &RotationEngine::photosListed, this,
            [this](int count) { showBatchProgress(0, count); });
    connect(engine, &RotationEngine::progress, this, &Pivotta::showBatchProgress);
    connect(engine, &RotationEngine::photoRotated, this,
            [this] { ui->counter->setNum(++rotatedTotal); });
    // Watcher runs rotate the folder shown in the combo box.
    connect(ui->directoryComboBox, &QComboBox::currentTextChanged, watcher,
            &FolderWatcher::setCurrentFolder);
}

QString Pivotta::currentFolder() const {
    return ui->directoryComboBox->currentText();
}

void Pivotta::rotateFilesInCurrentDirectory(bool watcherInitiated, bool continueWatcherAfterBlock) {
    // A recheck runs inside the engine's watcher run, so the second flag has nothing left to do.
    Q_UNUSED(continueWatcherAfterBlock)
    if (watcherInitiated)
        engine->startWatcherRun(currentFolder());
    else
        engine->startUserBatch(currentFolder(), ui->action_Dry_run->isChecked());
}

void Pivotta::onRunStarted(int kind) {
    switch (kind) {
    case RunSummary::UserBatch:
        ui->horizontalSlider->setEnabled(false);
        setUserStartControlsEnabled(false);
        batchProgressTimer.start();
        break;
    case RunSummary::SinglePhoto:
        turnOffWatchingForManualRotate();
        break;
    default:
        break;
    }
}

void Pivotta::onRunFinished(const RunSummary &summary) {
    if (summary.kind == RunSummary::UserBatch) {
        ui->horizontalSlider->setEnabled(true);
        setUserStartControlsEnabled(true);
        batchProgressBar->hide();
        batchProgressLabel->hide();
        qCDebug(lcPivotta) << "rewatch";
    }
    if (summary.interrupted && summary.kind != RunSummary::WatcherRun) {
        closeAfterFinishArmed = false;
        ui->closeAppAfterRotatingFinishesFrame->hide();
    }
    if (summary.kind == RunSummary::SinglePhoto) {
        onSinglePhotoFinished(summary);
        return;
    }
    if (!previewer->previewedFile().isEmpty())
        loadPreview(previewer->previewedFile(), true);
    statusBar()->clearMessage();
    if (summary.kind == RunSummary::UserBatch)
        startCloseAfterFinishCountdown();
}

// A determinate bar with "n of N" and the time left, once a user batch has listed its photos.
void Pivotta::showBatchProgress(int handled, int total) {
    batchProgressBar->setRange(0, qMax(1, total));
    batchProgressBar->setValue(handled);
    QString text = tr("%1 of %2").arg(handled).arg(total);
    if (handled > 0 && handled < total) {
        const qint64 left = batchProgressTimer.elapsed() * (total - handled) / handled;
        text += " · " + roughDuration(left);
    }
    batchProgressLabel->setText(text);
    batchProgressBar->show();
    batchProgressLabel->show();
}

void Pivotta::buildBatchProgress() {
    batchProgressLabel = new QLabel(this);
    batchProgressBar = new QProgressBar(this);
    batchProgressBar->setTextVisible(false);
    batchProgressBar->setMaximumWidth(240);
    statusBar()->addPermanentWidget(batchProgressLabel, 0);
    statusBar()->addPermanentWidget(batchProgressBar, 0);
    batchProgressLabel->hide();
    batchProgressBar->hide();
}

void Pivotta::setUserStartControlsEnabled(bool enabled) {
    ui->rotateNowButton->setEnabled(enabled);
    ui->actionRotate_folder_now->setEnabled(enabled);
}

void Pivotta::showStatus(const QString &text, int timeoutMs) {
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text, timeoutMs);
}

// Start from the file manager or a console with a folder or a photo to rotate.
void Pivotta::carryOutShellStart(bool preview, bool watch, const QString &folder, QString file) {
    if (!folder.isEmpty()) {
        if (preview) {
            ui->closeAppAfterRotatingFinishesFrame->hide();
            return;
        }
        const QFileInfo folderInfo(folder);
        if (!folderInfo.isDir() || !folderInfo.isReadable())
            return;
        QCoreApplication::processEvents();
        if (!watch) {
            ui->closeAppAfterRotatingFinishesFrame->show();
            closeAfterFinishArmed = true;
        }
        appendOutput(shellParameterText(tr("Rotate folder")));
        openFolder(folder);
        appendOutput(timeOfDay() + " " + tr("Waiting for window to initialize... done."));
        QTimer::singleShot(1000, this, [this] { rotateFilesInCurrentDirectory(); });
        QCoreApplication::processEvents();
        return;
    }
    if (file.isEmpty() || preview) {
        ui->closeAppAfterRotatingFinishesFrame->hide();
        return;
    }

    QCoreApplication::processEvents();
    const QFileInfo fileInfo(file);
    appendOutput(shellParameterText(tr("Rotate file %1"))
                     .arg(fileLink(fileInfo.absoluteFilePath(), true, false, currentFolder(),
                                   wording->colors().link)));
    if (!fileInfo.isFile() || !fileInfo.isReadable()) {
        appendOutput(tr("File is not readable."));
        return;
    }
    const QString photoPath = file;
    file = fileInfo.absoluteFilePath();
    if (!watch)
        ui->closeAppAfterRotatingFinishesFrame->show();
    closeAfterFinishArmed = true;
    openFolder(fileInfo.absoluteDir().path());
    appendOutput(timeOfDay() + " " + tr("Waiting for window to initialize... done."));
    QTimer::singleShot(1000, this,
                       [this, photoPath] { rotateSinglePhoto(photoPath, Turn::None, true); });
    QCoreApplication::processEvents();
}

void Pivotta::initTexts() {
    const QString homepage = projectHomepage();
    feedbackUrl = projectPage(homepage, "feedback");
    helpText =
        tr("<hr /><h3>Help</h3><p><span>Pivotta aims to provide the best possible experience for "
           "getting your photos straightened up. </span></p><ul><li>&nbsp;Choose a folder by "
           "clicking <span>Browse...</span></li><li>&nbsp;Then try clicking <span>Autorotate "
           "all</span> to rotate all photos in that folder.</li><li>&nbsp;You can also "
           "<span>Select a single photo to preview or rotate</span>.</li></ul><p><span>To have "
           "all photos dropped in a folder rotated automatically:</span></p><ol><li><span>Select "
           "a folder in the </span><span>Folder: </span><span>menu, or by clicking "
           "</span><span>Browse...</span></li><li><span>Turn on the </span><span>Watch "
           "folder:</span><span> toggle</span></li></ol>") +
        documentationParagraph(homepage);
    titleText = QString("%1 %2").arg(QCoreApplication::applicationName(), majorVersion);
    ui->actionSend_feedback_about_app->setStatusTip(feedbackUrl.isEmpty() ? noProjectAddressText()
                                                                          : feedbackUrl);
#ifndef Q_OS_WIN
    // Outside Windows the context-menu entries belong to the file manager.
    ui->closeAppAfterRotatingFinishesLabel->setText(
        tr("<html><head/><body><p><span style=\" font-size:13pt; font-weight:600;\">Close app "
           "automatically after it finishes rotating</span><span style=\" font-size:13pt;\"> "
           "from file manager context menu launch</span></p></body></html>"));
    ui->openSingleFolder->setToolTip(tr("Open the folder this photo is in, in the file manager"));
#endif
}

// The program shows the introduction by itself only while it starts after being installed,
// before its window is shown; from the Help menu the last sentence would not be true.
void Pivotta::showFirstUseIntroduction() {
#ifdef Q_OS_WIN
    const QString fileManager = tr("Windows File Explorer");
    const QString menu = tr("the Start menu");
#else
    const QString fileManager = tr("the file manager");
    const QString menu = tr("the applications menu");
#endif
    QString text =
        tr("<h3>Welcome! :)</h3><p>This app helps you get your photos rotated the right way up. "
           "<b>Pivotta 3<br>has the features of previous versions, and more.</b> You can start "
           "this app from<br>%2 - or just right click folders and photos in %1.</p> ")
            .arg(fileManager, menu) +
        tr("<p><b>Please backup your photos before use. For further instructions, click "
           "the<br>Help button in the status bar.</b></p>");
    if (!isVisible())
        text += tr("<p>(This message is only shown right after Pivotta is installed.)</p>");
    appendOutput(text, true, false);
}

void Pivotta::buildStatusBarButtons() {
    auto *container = new QWidget(this);
    auto *layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addStretch();

    helpButton = new QPushButton(tr("Help"), container);
    feedbackButton = new QPushButton(tr("Feedback (web)"), container);
    helpButton->setMinimumWidth(150);
    helpButton->setMaximumWidth(200);
    feedbackButton->setMinimumWidth(280);
    feedbackButton->setMaximumWidth(330);
    container->setMaximumWidth(helpButton->maximumWidth() + feedbackButton->maximumWidth());
    layout->addWidget(helpButton, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(feedbackButton, 0, Qt::AlignRight | Qt::AlignVCenter);
    connect(helpButton, &QPushButton::clicked, this, &Pivotta::helpTextShow);
    connect(feedbackButton, &QPushButton::clicked, this, &Pivotta::feedbackShow);

    feedbackButton->setToolTip(feedbackUrl.isEmpty() ? noProjectAddressText() : feedbackUrl);

    statusBar()->addPermanentWidget(container, 0);
    // Room above and below the text, so that the rounded buttons read as buttons.
    statusBar()->setStyleSheet("QPushButton{margin:2px 0;padding:0.25em 0.5em;}");
}

void Pivotta::on_actionPreferences_triggered() {
    preferences->show();
}

void Pivotta::on_action_Detailed_output_triggered(bool checked) {
    ui->detailedOutputDock->setVisible(checked);
}

void Pivotta::on_actionAbout_triggered() {
    about->show();
}

void Pivotta::on_detailedOutputDock_visibilityChanged(bool visible) {
    if (!visible)
        ui->action_Detailed_output->setChecked(false);
}

void Pivotta::on_rotateNowButton_clicked() {
    rotateFilesInCurrentDirectory(false, false);
}

void Pivotta::on_actionRotate_folder_now_triggered() {
    rotateFilesInCurrentDirectory(false, false);
}

void Pivotta::on_actionBrowse_folder_triggered() {
    on_browse_clicked();
}

void Pivotta::on_actionRotate_currently_selected_file_triggered() {
    on_autorotateSingleButton_clicked();
}

void Pivotta::on_action_Dry_run_triggered(bool) {
    // The batch reads the action's checked state when it runs.
}

void Pivotta::helpTextShow() {
    appendOutput(helpText, true, false);
}

void Pivotta::on_actionHelp_triggered() {
    helpTextShow();
}

void Pivotta::on_actionFirst_use_introduction_triggered() {
    showFirstUseIntroduction();
}

void Pivotta::on_actionSend_feedback_about_app_triggered() {
    feedbackShow();
}

void Pivotta::feedbackShow() {
    if (feedbackUrl.isEmpty()) {
        appendOutput(tr("Feedback (web): %1").arg(noProjectAddressText().toHtmlEscaped()));
        return;
    }
    QDesktopServices::openUrl(QUrl(feedbackUrl, QUrl::TolerantMode));
}

void Pivotta::on_actionQuit_triggered() {
    emit quitApp();
}

void Pivotta::on_stopRotatingButton_clicked() {
    engine->stop();
}

void Pivotta::on_actionIncrease_font_size_triggered() {
    ui->cmdLineOutput->zoomIn(1);
    ui->cmdLineOutput_2->zoomIn(1);
}

void Pivotta::on_actionDecrease_font_size_triggered() {
    ui->cmdLineOutput->zoomOut(1);
    ui->cmdLineOutput_2->zoomOut(1);
}

void Pivotta::on_closeContextMenuRotateNotification_clicked() {
    ui->closeAppAfterRotatingFinishesFrame->hide();
}

void Pivotta::on_closeAppAfterRotatingFinishes_sliderPressed() {
    toggleCloseAppAfterRotatingFinishes();
}

void Pivotta::on_closeAppAfterRotatingFinishes_actionTriggered(int) {
    toggleCloseAppAfterRotatingFinishes();
}

// The slider is a two-position switch: every gesture flips it once, from the state it had before
// the gesture moved anything (the slider emits its action before it takes the new value).
void Pivotta::toggleCloseAppAfterRotatingFinishes() {
    QSlider *slider = ui->closeAppAfterRotatingFinishes;
    if (closeSwitchGesture && !closeSwitchGesture->claimFlip()) {
        // Further signals of a press that already flipped: keep the handle where the state is.
        slider->setSliderPosition(slider->value());
        return;
    }
    const bool choice = slider->value() != slider->maximum();
    slider->setValue(choice ? slider->maximum() : slider->minimum());
    Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, choice);
    emit closeAppAfterContextMenuRotate_toggled(choice);
    updateCloseAppSliderStyle();
}

void Pivotta::toggleCloseAppAfterContextMenuRotate(bool checked) {
    ui->closeAppAfterRotatingFinishes->setValue(checked ? 1 : 0);
    updateCloseAppSliderStyle();
}

void Pivotta::updateCloseAppSliderStyle() {
    QSlider *slider = ui->closeAppAfterRotatingFinishes;
    slider->setStyleSheet(switchGrooveStyleSheet(slider->value() == slider->maximum()));
}

void Pivotta::closeAppAfterRotatingFinishesAndDelayHasPassed() {
    if (Settings::closeAppAfterContextMenuRotate())
        emit quitApp();
}

void Pivotta::startCloseAfterFinishCountdown() {
    if (!closeAfterFinishArmed)
        return;
    QTimer::singleShot(10000, ui->closeAppAfterRotatingFinishesFrame, &QWidget::hide);
    QTimer::singleShot(10000, this, &Pivotta::closeAppAfterRotatingFinishesAndDelayHasPassed);

    auto *countdown = new QTimer(this);
    connect(countdown, &QTimer::timeout, this, [this, countdown] {
        QProgressBar *bar = ui->closeAppAfterRotatingFinishesFrameProgressBar;
        if (bar->value() < 1) {
            countdown->stop();
            countdown->deleteLater();
            return;
        }
        bar->setValue(bar->value() - 1);
        bar->repaint();
        QCoreApplication::processEvents();
    });
    const int frameHeight = qMax(1, ui->closeAppAfterRotatingFinishesFrame->height());
    countdown->start(qMax(0, 10000 / frameHeight - 10));
    closeAfterFinishArmed = false;
}

void Pivotta::closeEvent(QCloseEvent *event) {
    Settings::setNativeValue(SettingsKey::windowGeometry, saveGeometry());
    Settings::setNativeValue(SettingsKey::windowState, saveState(0));
    QWidget::closeEvent(event);
}

void Pivotta::showEvent(QShowEvent *) {
    restore();
}

void Pivotta::hideEvent(QHideEvent *) {
    save();
}

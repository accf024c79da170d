// The folder watcher: the watch switch, the set of watched folders, and the delayed watcher runs
// that rotate photos arriving in the current folder or its subfolders.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTime>
#include <QTimer>

#include "app/debuglog.h"
#include "app/theme.h"
#include "mainwindow/outputtext.h"
#include "mainwindow/switchgesture.h"

namespace {
// From a folder change to a watcher run, so that a copy of many files settles into one run.
constexpr int settleDelayMs = 1000;
// The same while a watcher run is going: its own writes into the folder raise changes too.
constexpr int settleDelayDuringRunMs = 2000;
} // namespace

void Pivotta::prepareWatcher() {
    watchSwitchGesture = new SwitchGesture(ui->horizontalSlider);
}

void Pivotta::setWatchFolderSetting(bool checked, bool fromClick) {
    QSlider *slider = ui->horizontalSlider;
    slider->setValue(checked ? slider->maximum() : slider->minimum());
    slider->setStyleSheet(switchGrooveStyleSheet(getWatchFolderToggleValue()));

    if (checked) {
        const QString folder = ui->directoryComboBox->currentText();
        if (!watchedPaths.isEmpty()) {
            statusBar()->showMessage(tr("Watching for changes in %1").arg(folder), 0);
            appendOutput(tr("<hr><p><b>Watching for changes in %1</b><br>Drop (copy) any file into "
                            "this folder. Pivotta will detect new files and rotate them.<br>(Only "
                            "photos that require rotating will show output here.)</p>")
                             .arg(escapeHtml(folder)));
        } else {
            appendOutput(tr("Watching turned on. No folder selected for watching."));
        }
        return;
    }
    if (!watchedPaths.isEmpty() && fromClick)
        appendOutput(tr("<p><b>No longer watching for changes.</b><br>"));
    statusBar()->showMessage(QString(), 0);
}

void Pivotta::setWatchFolderSetting(bool checked) {
    setWatchFolderSetting(checked, false);
}

bool Pivotta::getWatchFolderToggleValue() {
    return ui->horizontalSlider->value() == ui->horizontalSlider->maximum();
}

void Pivotta::on_horizontalSlider_sliderPressed() {
    flipWatchSwitch();
}

void Pivotta::on_horizontalSlider_actionTriggered(int) {
    flipWatchSwitch();
}

// The slider is a two-position switch: every gesture flips it once, from the state it had before
// the gesture moved anything. The slider emits its action before it takes the new value, and
// the press on the handle before any move, so the value read here is still the old state.
void Pivotta::flipWatchSwitch() {
    QSlider *slider = ui->horizontalSlider;
    if (watchSwitchGesture && !watchSwitchGesture->claimFlip()) {
        // Further signals of a press that already flipped: keep the handle where the state is.
        slider->setSliderPosition(slider->value());
        return;
    }
    setWatchFolderSetting(!getWatchFolderToggleValue(), true);
}

void Pivotta::filesInserted(QString changedFolder) {
    qCDebug(lcPivotta).noquote() << QTime::currentTime().toString() + " files inserted";
    if (forgetVanishedWatchPaths())
        return;
    // A subfolder created while watching is watched at once, so that photos copied into it later
    // are noticed too. A manual folder batch watches nothing until it ends and re-adds everything;
    // a notification of a folder no longer watched (one opened before) adds nothing.
    if (getWatchFolderToggleValue() && !manualRunActive && watchedPaths.contains(changedFolder))
        watchSubfoldersOf(changedFolder);

    if (watcherRunActive) {
        appendOutput(". ", false, true);
        if (!retriggerScheduled) {
            retriggerScheduled = true;
            QTimer::singleShot(settleDelayDuringRunMs, this,
                               &Pivotta::watcherRotateFilesInCurrentDirectory);
        } else {
            qCDebug(lcPivotta) << "waiting to retrigger";
        }
        return;
    }
    if (retriggerScheduled) {
        appendOutput(". ", false, true);
        qCDebug(lcPivotta) << "waiting to retrigger";
        return;
    }
    if (getWatchFolderToggleValue()) {
        retriggerScheduled = true;
        QTimer::singleShot(settleDelayMs, this, &Pivotta::watcherRotateFilesInCurrentDirectory);
    }
}

// A watched folder that is deleted, renamed or moved away is no longer at its path: the system
// stops watching it, or goes on reporting it under its old path. Such paths are forgotten, so
// that a folder that appears again under the same name is watched when it is next added.
// Returns whether the current folder itself is gone: there is nothing left to rotate.
bool Pivotta::forgetVanishedWatchPaths() {
    QStringList vanished;
    for (const QString &path : std::as_const(watchedPaths)) {
        if (!QFileInfo(path).isDir())
            vanished << path;
    }
    if (!vanished.isEmpty()) {
        QStringList stillRegistered;
        const QStringList registered = folderWatcher->directories();
        for (const QString &path : std::as_const(vanished)) {
            watchedPaths.removeAll(path);
            if (registered.contains(path))
                stillRegistered << path;
        }
        if (!stillRegistered.isEmpty())
            folderWatcher->removePaths(stillRegistered);
        qCDebug(lcPivotta) << "no longer watched, folders gone:" << vanished;
    }

    const QString folder = ui->directoryComboBox->currentText();
    const bool folderGone = !folder.isEmpty() && !QFileInfo(folder).isDir();
    if (folderGone && vanished.contains(folder) && getWatchFolderToggleValue()) {
        statusBar()->showMessage(QString(), 0);
        appendOutput(tr("<p><b>The watched folder %1 is no longer there.</b><br>It was deleted, "
                        "renamed or moved. Choose a folder again to go on watching.</p>")
                         .arg(escapeHtml(folder)));
    }
    return folderGone;
}

void Pivotta::watcherRotateFilesInCurrentDirectory() {
    rotateFilesInCurrentDirectory(true, false);
}

void Pivotta::addWatchPath(QString path) {
    if (watchedPaths.contains(path))
        return;
    watchedPaths.append(path);
    folderWatcher->addPath(path);
}

void Pivotta::addWatchSubfolders() {
    if (!getWatchFolderToggleValue())
        return;
    const QString folder = ui->directoryComboBox->currentText();
    // An empty path would walk the working folder instead.
    if (!folder.isEmpty())
        watchSubfoldersOf(folder);
}

void Pivotta::watchSubfoldersOf(const QString &folder) {
    // Without QDir::Hidden and without following links, the walk neither lists nor enters hidden
    // folders and symbolic links.
    QDirIterator subfolders(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                            QDirIterator::Subdirectories);
    while (subfolders.hasNext())
        addWatchPath(subfolders.next());
}

void Pivotta::watchFolder(QString folder) {
    addWatchSubfolders();
    addWatchPath(folder);
}

void Pivotta::rewatchCurrentFolder() {
    const QString folder = ui->directoryComboBox->currentText();
    if (folder.isEmpty())
        return;
    addWatchSubfolders();
    addWatchPath(folder);
}

void Pivotta::removeAllWatchPaths() {
    if (!watchedPaths.isEmpty())
        folderWatcher->removePaths(watchedPaths);
    watchedPaths.clear();
}

void Pivotta::turnOffWatchingForManualRotate() {
    if (getWatchFolderToggleValue())
        appendOutput(tr("Turned off folder watching because manual rotating was triggered."));
    setWatchFolderSetting(false, false);
}

// The folder batch: scan the current folder tree and rotate every photo that needs it.
//
// Everything runs on the GUI thread, but other slots (buttons, the folder watcher's timers) run
// inside a batch wherever events are processed. The rules for runs that meet:
// - One rotation at a time. A user start (button, menu, F5, shell start) while anything is being
//   rotated (a user batch, a watcher batch, a single photo) is refused with a note in the status
//   bar, and the start controls are disabled during a user batch.
// - A watcher start during a user batch or a single-photo rotation is postponed: a watcher run
//   follows once that is over.
// - A watcher start during a watcher batch only sets moreFilesWaiting. The running batch then
//   scans again when it is done, in a loop rather than a nested call, and clears the flag as
//   each recheck starts; it goes on only while new triggers come in. A scan that writes nothing
//   raises no trigger of its own, so the rechecks end: rotated photos are upright at the next
//   look, dry runs write nothing, and photos whose rotation failed are skipped by watcher runs
//   until they change (their path, size, time and permissions are remembered).
// - Watcher runs leave photos that may still be being copied in (changed within the last two
//   seconds, or empty and young) and schedule another watcher run for them.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTime>
#include <QTimer>

#include <exception>

#include "app/debuglog.h"
#include "engine/durationtext.h"
#include "engine/safereplace.h"
#include "mainwindow/outputtext.h"

namespace {
QString timeOfDay() {
    return QTime::currentTime().toString();
}

// A photo whose rotation failed is tried again once any of these changes.
QString failureKey(const QFileInfo &photo) {
    return photo.absoluteFilePath() + '\n' + QString::number(photo.size()) + '\n' +
           QString::number(photo.lastModified().toMSecsSinceEpoch()) + '\n' +
           QString::number(int(photo.permissions()));
}
} // namespace

bool Pivotta::rotationInProgress() const {
    return userBatchRunning || manualRunActive || watcherRunActive || !photosInWork.isEmpty();
}

// `continueWatcherAfterBlock` let a recheck through a running watcher batch when rechecks were
// nested calls. They now run inside the batch, so every watcher start during a watcher batch
// becomes moreFilesWaiting, whatever the flag says.
void Pivotta::rotateFilesInCurrentDirectory(bool watcherInitiated, bool continueWatcherAfterBlock) {
    Q_UNUSED(continueWatcherAfterBlock)
    retriggerScheduled = false;
    const bool started = watcherInitiated ? startWatcherBatch() : startUserBatch();
    if (!started)
        return;

    ScanCounts counts = scanAndRotate(watcherInitiated);
    while (watcherInitiated && moreFilesWaiting && !counts.ended) {
        moreFilesWaiting = false;
        appendOutput(tr("Rechecking for changed photos since start of previous operation... "));
        counts = scanAndRotate(true);
    }
    finishBatch(watcherInitiated, counts);
}

bool Pivotta::startUserBatch() {
    if (rotationInProgress()) {
        qCDebug(lcPivotta) << "user start refused, a rotation is in progress";
        statusBar()->showMessage(
            tr("Rotating is already in progress. Please wait until it has finished."), 5000);
        return false;
    }
    userBatchRunning = true;
    manualRunActive = true;
    setUserStartControlsEnabled(false);
    if (!watchedPaths.isEmpty())
        removeAllWatchPaths();
    ui->horizontalSlider->setEnabled(false);
    appendOutput(tr("<hr>Folder: %1<br>Scanning folder contents. <br><b>Please wait. A summary "
                    "will be shown after rotating is finished...</b><br>")
                     .arg(escapeHtml(ui->directoryComboBox->currentText())));
    qCDebug(lcPivotta) << "no watcher";
    return true;
}

bool Pivotta::startWatcherBatch() {
    qCDebug(lcPivotta) << "watcher";
    const QString notice = tr("%1 Possible folder content change detected, please wait...");
    statusBar()->showMessage(notice.arg(timeOfDay()), 10);
    appendOutputDetailed(notice.arg(timeOfDay()), true);

    if (userBatchRunning || manualRunActive || (!watcherRunActive && !photosInWork.isEmpty())) {
        qCDebug(lcPivotta) << "watcher postponed, a manual rotation is in progress";
        watcherRunPostponed = true;
        // A user batch starts the postponed run when it ends; a single-photo rotation does not
        // know about it, so look again a little later.
        if (!userBatchRunning)
            scheduleWatcherRun(watcherRetryDelayMs);
        return false;
    }
    if (watcherRunActive) {
        moreFilesWaiting = true;
        qCDebug(lcPivotta) << "watcher ongoing,block";
        return false;
    }
    watcherRunActive = true;
    watcherRunPostponed = false;
    return true;
}

Pivotta::ScanCounts Pivotta::scanAndRotate(bool watcherInitiated) {
    ScanCounts counts;
    rotatedThisRun = 0;
    stopRequested = false;
    qCDebug(lcPivotta) << "rotate while iterating folder start";
    batchTimer.start();

    std::unique_ptr<QDirIterator> iterator = openFolderIterator();
    if (!iterator) {
        appendOutput(tr("Failed opening folder %1, this usually indicates corrupted file system or "
                        "hardware.")
                         .arg(escapeHtml(ui->directoryComboBox->currentText())));
        return counts;
    }
    // A photo that was replaced by its rotated version may be listed a second time.
    QSet<QString> seen;
    while (iterator->hasNext()) {
        const QString entry = iterator->next();
        if (seen.contains(entry))
            continue;
        seen.insert(entry);
        ++counts.entriesSeen;
        if (!isVisible() && !isMinimized()) {
            counts.ended = true;
            if (stopRequested)
                interruptScan();
            break;
        }
        if (stopRequested) {
            counts.ended = true;
            interruptScan();
            break;
        }
        examineEntry(entry, watcherInitiated, counts);
        if (!watcherInitiated && counts.entriesSeen % 10 == 0) {
            statusBar()->showMessage(tr("%1 photos with EXIF orientation metadata were found, out "
                                        "of %2 photos total.")
                                         .arg(counts.photosToRotate)
                                         .arg(counts.entriesSeen));
        }
    }
    return counts;
}

void Pivotta::examineEntry(const QString &entry, bool watcherInitiated, ScanCounts &counts) {
    const QFileInfo info(entry);
    const QString keyBefore = failureKey(info);
    if (watcherInitiated && info.isFile()) {
        if (isStillArriving(info)) {
            qCDebug(lcPivotta) << "may still be arriving" << entry;
            counts.photosArriving = true;
            return;
        }
        if (failedPhotoKeys.contains(keyBefore)) {
            qCDebug(lcPivotta) << "failed before and unchanged since" << entry;
            return;
        }
    }
    const FileState examined = fileStateOf(entry);
    const int angle = readRotationAngle(entry, !watcherInitiated);
    if (angle == 0)
        return;
    ++counts.photosToRotate;
    if (ui->action_Dry_run->isChecked()) {
        reportRotation(entry, angle, true);
        return;
    }
    // Reading the angle can let other slots run; the angle only holds for the photo it was
    // read from.
    if (fileStateOf(entry) != examined) {
        appendOutput(tr("Not rotated: %1 changed while it was being examined. It was left as it "
                        "is now.")
                         .arg(fileLink(entry, true, false)));
        if (watcherInitiated)
            counts.photosArriving = true;
        return;
    }
    qCDebug(lcPivotta) << "go" << entry;
    switch (transformPhoto(entry, angle, watcherInitiated)) {
    case RotationOutcome::Rotated:
        break;
    case RotationOutcome::Failed:
        failedPhotoKeys.insert(keyBefore);
        break;
    case RotationOutcome::TryLater:
        if (watcherInitiated)
            counts.photosArriving = true;
        break;
    }
}

// The folder watcher reports a file as soon as it appears, at size 0, and not when its copy is
// complete; a recent change or an empty file means that the copy may still be going on.
bool Pivotta::isStillArriving(const QFileInfo &entry) const {
    const qint64 age = entry.lastModified().msecsTo(QDateTime::currentDateTime());
    if (qAbs(age) < arrivalSettleMs)
        return true;
    return entry.size() == 0 && age >= 0 && age < emptyPhotoSettleMs;
}

std::unique_ptr<QDirIterator> Pivotta::openFolderIterator() {
    const QString folder = ui->directoryComboBox->currentText();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return nullptr;
    try {
        return std::make_unique<QDirIterator>(QDir::cleanPath(folder), photoNameFilters,
                                              QDir::AllEntries | QDir::NoSymLinks |
                                                  QDir::NoDotAndDotDot,
                                              QDirIterator::Subdirectories);
    } catch (const std::exception &) {
        appendOutput(tr("Failed opening directory %1, this usually indicates corrupted file system "
                        "or hardware.")
                         .arg(escapeHtml(folder)));
    } catch (...) {
        appendOutput(tr("Failed opening directory %1, this usually indicates corrupted file system "
                        "or hardware...")
                         .arg(escapeHtml(folder)));
    }
    return nullptr;
}

void Pivotta::interruptScan() {
    appendOutput(tr("\n\nRotating interrupted."));
    closeAfterFinishArmed = false;
    ui->closeAppAfterRotatingFinishesFrame->hide();
    stopRequested = false;
}

void Pivotta::finishBatch(bool watcherInitiated, const ScanCounts &counts) {
    if (!watcherInitiated) {
        rewatchCurrentFolder();
        ui->horizontalSlider->setEnabled(true);
        qCDebug(lcPivotta) << "rewatch";
    }
    qCDebug(lcPivotta) << "finish";
    if (!previewedFile.isEmpty())
        loadPreview(previewedFile, true);
    statusBar()->clearMessage();
    if (!watcherInitiated)
        writeSummary(counts);
    rotatedThisRun = 0;
    qCDebug(lcPivotta) << "remaining:" << counts.photosToRotate;

    // The run is over only now: the messages above let other slots run, and a watcher start
    // among them was postponed or noted in moreFilesWaiting.
    const bool triggeredMeanwhile = moreFilesWaiting || watcherRunPostponed;
    moreFilesWaiting = false;
    watcherRunPostponed = false;
    if (watcherInitiated) {
        watcherRunActive = false;
    } else {
        userBatchRunning = false;
        manualRunActive = false;
        setUserStartControlsEnabled(true);
        startCloseAfterFinishCountdown();
    }
    if (triggeredMeanwhile)
        scheduleWatcherRun(0);
    else if (counts.photosArriving)
        scheduleWatcherRun(watcherRetryDelayMs);
}

void Pivotta::writeSummary(const ScanCounts &counts) {
    appendOutput(tr("<hr>%n image(s) with EXIF orientation metadata were found,", "",
                    counts.photosToRotate) +
                 tr(" out of %n photo(s) total.", "", counts.entriesSeen));
    appendOutput(tr("%n image(s) were successfully rotated.", "", rotatedThisRun));
    reportDuration(int(batchTimer.elapsed()),
                   tr("<b>The operation took %1 minutes %2 seconds (%3). </b>"),
                   tr("<b>The operation took  %2 seconds (%3). </b>"), tr("single-process"));
    appendOutput("\n");
}

void Pivotta::reportDuration(int elapsedMs, QString withMinutes, QString withoutMinutes,
                             QString label) {
    appendOutput(timeOfDay() + " " + durationText(elapsedMs, withMinutes, withoutMinutes, label));
}

void Pivotta::setUserStartControlsEnabled(bool enabled) {
    ui->rotateNowButton->setEnabled(enabled);
    ui->actionRotate_folder_now->setEnabled(enabled);
}

void Pivotta::scheduleWatcherRun(int delayMs) {
    retriggerScheduled = true;
    QTimer::singleShot(delayMs, this, &Pivotta::watcherRotateFilesInCurrentDirectory);
}

// The words of run events and summaries.
#include "presentation/runwording.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

#include "presentation/durationtext.h"
#include "presentation/messagetext.h"
#include "presentation/panecolors.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

QString trCount(const char *text, int count) {
    return QCoreApplication::translate("Pivotta", text, "", count);
}

QString changeNotice(const RunEvent &event) {
    return tr("%1 Possible folder content change detected, please wait...")
        .arg(event.time.toString());
}

QString watchingMessage(const RunEvent &event) {
    if (event.count == 0)
        return tr("Watching turned on. No folder selected for watching.");
    return tr("<hr><p><b>Watching for changes in %1</b><br>Drop (copy) any file into this "
              "folder. Pivotta will detect new files and rotate them.<br>(Only photos that "
              "require rotating will show output here.)</p>")
        .arg(escapeHtml(event.folder));
}
} // namespace

QList<OutputMessage> eventMessages(const RunEvent &event, const PaneColors &colors) {
    switch (event.kind) {
    case RunEvent::BatchRefused:
    case RunEvent::PhotosCounted:
        return {};
    case RunEvent::SinglePhotoRefused:
        return {OutputMessage::main(
            tr("Photos are being rotated right now. Please try again when that has finished."))};
    case RunEvent::ScanStarted:
        return {OutputMessage::main(
            tr("<hr>Folder: %1<br>Scanning folder contents. <br><b>Please wait. A summary will "
               "be shown after rotating is finished...</b><br>")
                .arg(escapeHtml(event.folder)))};
    case RunEvent::FolderNotOpened:
        if (!event.reason.isEmpty()) {
            return {
                OutputMessage::main(tr("Failed opening folder %1: %2.")
                                        .arg(escapeHtml(event.folder), escapeHtml(event.reason)))};
        }
        return {OutputMessage::main(tr("Failed opening folder %1, this usually indicates "
                                       "corrupted file system or hardware.")
                                        .arg(escapeHtml(event.folder)))};
    case RunEvent::EntryNotRead:
        return {OutputMessage::main(
            tr("Could not read %1: %2.")
                .arg(escapeHtml(QDir::toNativeSeparators(event.path)), escapeHtml(event.reason)))};
    case RunEvent::LeftoversRemoved:
        // The span: the pane would take the escaped folder as plain text otherwise.
        return {OutputMessage::detailed("<span>" + escapeHtml(leftoversText(event)) + "</span>",
                                        false)};
    case RunEvent::ChangeNoticed:
        return {OutputMessage::detailed(changeNotice(event), true)};
    case RunEvent::Rechecking:
        return {OutputMessage::main(
            tr("Rechecking for changed photos since start of previous operation... "))};
    case RunEvent::Interrupted:
        return {OutputMessage::main(tr("\n\nRotating interrupted."))};
    case RunEvent::NoTurnFound:
        return {OutputMessage::main(
            tr("Automatic rotating requires EXIF orientation metadata to be present. File %1 "
               "contains no such metadata, so Pivotta cannot know which way to rotate it.")
                .arg(fileLink(event.path, false, false, event.folder, colors.link)))};
    case RunEvent::WatchingOn:
        return {OutputMessage::main(watchingMessage(event))};
    case RunEvent::WatchingOff:
        if (event.count == 0 || !event.byUser)
            return {};
        return {OutputMessage::main(tr("<p><b>No longer watching for changes.</b><br>"))};
    case RunEvent::WatchedFolderGone:
        return {OutputMessage::main(
            tr("<p><b>The watched folder %1 is no longer there.</b><br>It was deleted, renamed or "
               "moved. Choose a folder again to go on watching.</p>")
                .arg(escapeHtml(event.folder)))};
    case RunEvent::FurtherChange:
        return {OutputMessage::progressMark(tr("Further changes noticed:"))};
    case RunEvent::WatchLimitReached:
        return {OutputMessage::main("<p><b>" + escapeHtml(watchLimitText(event)) + "</b></p>")};
    case RunEvent::NotificationsLost:
        return {OutputMessage::main("<p>" + escapeHtml(notificationsLostText(event)) + "</p>")};
    }
    return {};
}

QString leftoversText(const RunEvent &event) {
    return trCount("Removed %n temporary file(s) that an earlier Pivotta left in %1.", event.count)
        .arg(QDir::toNativeSeparators(event.folder));
}

QString notificationsLostText(const RunEvent &event) {
    return trCount("More changes came at once than the system could report: looking again at "
                   "the %n watched folder(s) in %1.",
                   event.count)
        .arg(QDir::toNativeSeparators(event.folder));
}

QString watchLimitText(const RunEvent &event) {
    const QString notWatched =
        trCount("%n folder(s) in %1 cannot be watched: the system's limit of watched folders "
                "is reached. The folders watched so far are still watched.",
                event.count)
            .arg(QDir::toNativeSeparators(event.folder));
    if (event.total <= 0)
        return notWatched;
    // Twice the limit, and at least what desktop search tools commonly ask for.
    const qint64 raised = std::max<qint64>(524288, 2 * qint64(event.total));
    return notWatched + ' ' +
           tr("The limit is fs.inotify.max_user_watches = %1. To raise it now: sudo sysctl "
              "fs.inotify.max_user_watches=%2. To keep it after a restart, put the line "
              "fs.inotify.max_user_watches=%2 into a file in /etc/sysctl.d/, for example "
              "/etc/sysctl.d/90-pivotta-watches.conf.")
               .arg(event.total)
               .arg(raised);
}

StatusText eventStatus(const RunEvent &event) {
    switch (event.kind) {
    case RunEvent::BatchRefused:
        return {true, tr("Rotating is already in progress. Please wait until it has finished."),
                5000};
    case RunEvent::PhotosCounted:
        return {true,
                tr("%1 photos with EXIF orientation metadata were found, out of %2 photos total.")
                    .arg(event.count)
                    .arg(event.total),
                0};
    case RunEvent::ChangeNoticed:
        return {true, changeNotice(event), 10};
    case RunEvent::WatchingOn:
        if (event.count == 0)
            return {};
        return {true, tr("Watching for changes in %1").arg(event.folder), 0};
    case RunEvent::WatchingOff:
    case RunEvent::WatchedFolderGone:
        return {true, QString(), 0};
    default:
        return {};
    }
}

QList<OutputMessage> summaryMessages(const RunSummary &summary) {
    if (summary.kind != RunSummary::UserBatch)
        return {};
    const QString took = durationText(
        summary.elapsedMs, tr("<b>The operation took %1 minutes %2 seconds (%3). </b>"),
        tr("<b>The operation took  %2 seconds (%3). </b>"), sideBySideText(summary.mostAtOnce));
    QList<OutputMessage> messages{
        OutputMessage::main(
            tr("<hr>Folder: %1").arg(escapeHtml(QDir::toNativeSeparators(summary.folder)))),
        OutputMessage::main(photosFoundText(summary)), OutputMessage::main(rotatedText(summary))};
    if (summary.failed > 0)
        messages << OutputMessage::main(failedText(summary));
    if (summary.leftForLater > 0)
        messages << OutputMessage::main(leftForLaterText(summary));
    if (summary.notRead > 0)
        messages << OutputMessage::main(notReadText(summary));
    messages << OutputMessage::main(summary.endTime.toString() + " " + took)
             << OutputMessage::main("\n");
    return messages;
}

QString photosFoundText(const RunSummary &summary) {
    return trCount("%n image(s) with EXIF orientation metadata were found,",
                   summary.photosToRotate) +
           trCount(" out of %n photo(s) total.", summary.entriesSeen);
}

QString rotatedText(const RunSummary &summary) {
    if (summary.dryRun)
        return trCount("%n image(s) would be rotated.", summary.wouldRotate);
    return trCount("%n image(s) were successfully rotated.", summary.rotated);
}

QString failedText(const RunSummary &summary) {
    return trCount("%n photo(s) could not be rotated.", summary.failed);
}

QString leftForLaterText(const RunSummary &summary) {
    return trCount("%n photo(s) were left for a later run (still being written, changed meanwhile "
                   "or in use by another program).",
                   summary.leftForLater);
}

QString notReadText(const RunSummary &summary) {
    return trCount("%n folder(s) or file(s) could not be read.", summary.notRead);
}

QString sideBySideText(int photosAtOnce) {
    if (photosAtOnce <= 1)
        return tr("single-process");
    return trCount("%n photos side by side", photosAtOnce);
}

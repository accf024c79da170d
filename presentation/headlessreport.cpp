// The headless report's lines.
#include "presentation/headlessreport.h"

#include <QCoreApplication>
#include <QDir>

#include "engine/runevents.h"
#include "presentation/durationtext.h"
#include "presentation/messagetext.h"
#include "presentation/photowording.h"
#include "presentation/runwording.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

QString trCount(const char *text, int count) {
    return QCoreApplication::translate("Pivotta", text, "", count);
}

// Outside text as one line of the report shows it.
QString plain(const QString &text) {
    return escapeControlCharacters(text);
}

// Where the run worked: its folder, or the folders and photos it was given when they were more
// than one.
QString destinationsLine(const RunSummary &summary, const QStringList &destinations) {
    if (destinations.size() <= 1)
        return tr("Folder: %1").arg(reportedPath(summary.folder));
    QStringList shown;
    for (const QString &destination : destinations)
        shown << reportedPath(destination);
    return tr("Folders and photos: %1").arg(shown.join(", "));
}
// What else happened to a rotated photo: edge pixels dropped, further pictures encoded anew.
QString rotatedNote(const PhotoOutcome &outcome) {
    QStringList notes;
    const QString trimmed = edgeTrimText(outcome.trimmed);
    if (!trimmed.isEmpty())
        notes << trimmed.chopped(trimmed.endsWith('.'));
    for (const int picture : outcome.reencoded)
        notes << tr("picture %1 encoded anew").arg(picture);
    return notes.join("; ");
}
} // namespace

QString reportedPath(const QString &path) {
    return plain(QDir::toNativeSeparators(path));
}

QString headlessReportLine(const PhotoOutcome &outcome) {
    const QString path = reportedPath(outcome.photo.path);
    switch (outcome.kind) {
    case PhotoOutcome::Rotated: {
        const QString note = rotatedNote(outcome);
        if (note.isEmpty())
            return tr("rotated: %1 (%2)").arg(path, turnDescription(outcome.turn));
        return tr("rotated: %1 (%2; %3)").arg(path, turnDescription(outcome.turn), note);
    }
    case PhotoOutcome::WouldRotate:
        return tr("would rotate: %1 (%2)").arg(path, turnDescription(outcome.turn));
    case PhotoOutcome::Left:
        return tr("left: %1 (%2)").arg(path, plain(reasonText(outcome)));
    case PhotoOutcome::Failed:
        return tr("failed: %1 (%2)").arg(path, plain(reasonText(outcome)));
    }
    return path;
}

QString headlessStepLine(const PhotoStep &step) {
    if (step.kind != PhotoStep::OriginalTakenBack)
        return {};
    return originalTakenBackText(reportedPath(step.photo.path), reportedPath(step.path));
}

QString headlessEventLine(const RunEvent &event) {
    switch (event.kind) {
    case RunEvent::EntryNotRead:
        return tr("not read: %1 (%2)").arg(reportedPath(event.path), plain(event.reason));
    case RunEvent::FolderNotOpened:
        if (event.reason.isEmpty())
            return tr("not read: %1").arg(reportedPath(event.folder));
        return tr("not read: %1 (%2)").arg(reportedPath(event.folder), plain(event.reason));
    case RunEvent::WatchingOn:
        if (event.count == 0)
            return QString();
        return tr("Watching for changes in %1; SIGINT or SIGTERM ends watching.")
            .arg(reportedPath(event.folder));
    case RunEvent::WatchedFolderGone:
        return tr("The watched folder %1 is no longer there.").arg(reportedPath(event.folder));
    case RunEvent::WatchLimitReached:
        return plain(watchLimitText(event));
    case RunEvent::LeftoversRemoved:
        return plain(leftoversText(event));
    case RunEvent::NotificationsLost:
        return plain(notificationsLostText(event));
    default:
        return QString();
    }
}

QString headlessNotFoundLine(const QString &destination) {
    return tr("not found: %1").arg(reportedPath(destination));
}

QStringList headlessSummaryLines(const RunSummary &summary, const QStringList &destinations,
                                 int notFound) {
    QStringList lines;
    if (summary.interrupted)
        lines << tr("Rotating interrupted.");
    lines << destinationsLine(summary, destinations) << photosFoundText(summary)
          << rotatedText(summary);
    if (summary.failed > 0)
        lines << failedText(summary);
    if (summary.leftForLater > 0)
        lines << leftForLaterText(summary);
    if (summary.notRead > 0)
        lines << notReadText(summary);
    if (notFound > 0)
        lines << trCount("%n folder(s) or photo(s) not found.", notFound);
    const QString took =
        summary.mostAtOnce > 1
            ? durationText(summary.elapsedMs, tr("The operation took %1 minutes %2 seconds (%3)."),
                           tr("The operation took %2 seconds (%3)."),
                           sideBySideText(summary.mostAtOnce))
            : durationText(summary.elapsedMs, tr("The operation took %1 minutes %2 seconds."),
                           tr("The operation took %2 seconds."), QString());
    lines << took;
    if (!summary.trashFolders.isEmpty()) {
        QStringList folders;
        for (const QString &folder : summary.trashFolders)
            folders << reportedPath(folder);
        lines << tr("The original photos are in the trash: %1").arg(folders.join(", "));
    }
    return lines;
}

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
} // namespace

QString headlessReportLine(const PhotoOutcome &outcome) {
    const QString path = QDir::toNativeSeparators(outcome.photo.path);
    switch (outcome.kind) {
    case PhotoOutcome::Rotated: {
        // What else happened to it: edge pixels dropped.
        const QString note = edgeTrimText(outcome.trimmed);
        if (note.isEmpty())
            return tr("rotated: %1 (%2)").arg(path, turnDescription(outcome.turn));
        return tr("rotated: %1 (%2; %3)")
            .arg(path, turnDescription(outcome.turn), note.chopped(note.endsWith('.')));
    }
    case PhotoOutcome::WouldRotate:
        return tr("would rotate: %1 (%2)").arg(path, turnDescription(outcome.turn));
    case PhotoOutcome::Left:
        return tr("left: %1 (%2)").arg(path, reasonText(outcome));
    case PhotoOutcome::Failed:
        return tr("failed: %1 (%2)").arg(path, reasonText(outcome));
    }
    return path;
}

QString headlessEventLine(const RunEvent &event) {
    switch (event.kind) {
    case RunEvent::EntryNotRead:
        return tr("not read: %1 (%2)").arg(QDir::toNativeSeparators(event.path), event.reason);
    case RunEvent::FolderNotOpened:
        if (event.reason.isEmpty())
            return tr("not read: %1").arg(QDir::toNativeSeparators(event.folder));
        return tr("not read: %1 (%2)").arg(QDir::toNativeSeparators(event.folder), event.reason);
    case RunEvent::WatchingOn:
        if (event.count == 0)
            return QString();
        return tr("Watching for changes in %1; SIGINT or SIGTERM ends watching.")
            .arg(QDir::toNativeSeparators(event.folder));
    case RunEvent::WatchedFolderGone:
        return tr("The watched folder %1 is no longer there.")
            .arg(QDir::toNativeSeparators(event.folder));
    case RunEvent::WatchLimitReached:
        return watchLimitText(event);
    default:
        return QString();
    }
}

QStringList headlessSummaryLines(const RunSummary &summary) {
    QStringList lines;
    if (summary.interrupted)
        lines << tr("Rotating interrupted.");
    lines << trCount("%n image(s) with EXIF orientation metadata were found,",
                     summary.photosToRotate) +
                 trCount(" out of %n photo(s) total.", summary.entriesSeen);
    lines << trCount("%n image(s) were successfully rotated.", summary.rotated);
    if (summary.failed > 0)
        lines << trCount("%n photo(s) could not be rotated.", summary.failed);
    if (summary.notRead > 0)
        lines << trCount("%n folder(s) or file(s) could not be read.", summary.notRead);
    lines << durationText(summary.elapsedMs, tr("The operation took %1 minutes %2 seconds."),
                          tr("The operation took %2 seconds."), QString());
    if (!summary.trashFolders.isEmpty()) {
        QStringList folders;
        for (const QString &folder : summary.trashFolders)
            folders << QDir::toNativeSeparators(folder);
        lines << tr("The original photos are in the trash: %1").arg(folders.join(", "));
    }
    return lines;
}

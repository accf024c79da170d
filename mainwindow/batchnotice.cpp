// The desktop notification at the end of a long batch.
#include "mainwindow/batchnotice.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>

#include "engine/runevents.h"

namespace {
QString tr(const char *text, int count = -1) {
    return QCoreApplication::translate("BatchNotice", text, nullptr, count);
}
} // namespace

QString batchEndTitle(bool dryRun) {
    return dryRun ? tr("Dry run finished") : tr("Rotating finished");
}

QString batchEndText(const RunSummary &summary, bool dryRun) {
    if (dryRun)
        return tr("%n would be turned upright", summary.photosToRotate);
    QString text = tr("%n turned upright", summary.rotated);
    if (summary.failed > 0)
        text += ", " + tr("%n could not be rotated", summary.failed);
    return text;
}

BatchNotice::BatchNotice(QWidget *noticedWindow, const QAction *dryRunChoice,
                         std::unique_ptr<NotificationSender> notificationSender)
    : QObject(noticedWindow)
    , window(noticedWindow)
    , dryRunAction(dryRunChoice)
    , sender(std::move(notificationSender)) {}

BatchNotice::~BatchNotice() = default;

void BatchNotice::setSender(std::unique_ptr<NotificationSender> notificationSender) {
    sender = std::move(notificationSender);
}

void BatchNotice::runStarted(int kind) {
    if (kind != RunSummary::UserBatch)
        return;
    dryRun = dryRunAction->isChecked();
    if (sender)
        sender->prepare();
}

// A stopped batch was stopped by someone at the window, who knows.
void BatchNotice::runFinished(const RunSummary &summary) {
    if (summary.kind != RunSummary::UserBatch || summary.interrupted ||
        summary.elapsedMs <= longBatchMs || window->isActiveWindow())
        return;
    if (sender && sender->isAvailable())
        sender->send(batchEndTitle(dryRun), batchEndText(summary, dryRun));
}

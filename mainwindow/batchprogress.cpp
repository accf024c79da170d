// The folder batch's progress in the status bar and the window title.
#include "mainwindow/batchprogress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

namespace {
// "about 2 minutes" or "about 40 seconds": a rough time, as estimates are.
QString roughDuration(qint64 ms) {
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds >= 120)
        return BatchProgress::tr("about %n minute(s) left", "", int((seconds + 30) / 60));
    return BatchProgress::tr("about %n second(s) left", "", int(seconds));
}

QString countText(int handled, int total) {
    return BatchProgress::tr("%1 of %2").arg(handled).arg(total);
}
} // namespace

BatchProgress::BatchProgress(QStatusBar *statusBar)
    : QObject(statusBar)
    , label(new QLabel(statusBar))
    , bar(new QProgressBar(statusBar)) {
    bar->setTextVisible(false);
    bar->setMaximumWidth(240);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar->addPermanentWidget(label, 0);
    statusBar->addPermanentWidget(bar, 0);
    hide();
}

QString BatchProgress::titleText(int handled, int total) {
    return tr("%1 – %2").arg(countText(handled, total), QCoreApplication::applicationName());
}

void BatchProgress::start() {
    sinceStart.start();
    windowTitle = label->window()->windowTitle();
}

void BatchProgress::showListing(int found) {
    bar->setRange(0, 0);
    label->setText(tr("Listing photos… %L1 found").arg(found));
    bar->show();
    label->show();
}

void BatchProgress::show(int handled, int total) {
    reserveWidthFor(total);
    bar->setRange(0, qMax(1, total));
    bar->setValue(handled);
    QString text = countText(handled, total);
    if (handled > 0 && handled < total) {
        const qint64 left = sinceStart.elapsed() * (total - handled) / handled;
        text += " · " + roughDuration(left);
    }
    label->setText(text);
    bar->show();
    label->show();
    label->window()->setWindowTitle(titleText(handled, total));
}

void BatchProgress::hide() {
    bar->hide();
    label->hide();
    reservedFor = -1;
    if (!windowTitle.isEmpty())
        label->window()->setWindowTitle(windowTitle);
    windowTitle.clear();
}

// The label keeps one width for the whole batch, wide enough for its longest text, so that the
// status bar's buttons beside it stay where they are while the time left changes.
void BatchProgress::reserveWidthFor(int total) {
    if (total == reservedFor)
        return;
    reservedFor = total;
    const QString longestCount = countText(total, total) + " · ";
    const QFontMetrics metrics = label->fontMetrics();
    int width = 0;
    for (const qint64 leftMs : {qint64(59) * 1000, qint64(999) * 60 * 1000})
        width = std::max(width, metrics.horizontalAdvance(longestCount + roughDuration(leftMs)));
    label->setFixedWidth(width + metrics.averageCharWidth());
}

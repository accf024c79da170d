// The folder batch's progress in the status bar.
#include "mainwindow/batchprogress.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

namespace {
// "about 2 minutes" or "about 40 seconds": a rough time, as estimates are.
QString roughDuration(qint64 ms) {
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds >= 120)
        return BatchProgress::tr("about %n minute(s) left", "", int((seconds + 30) / 60));
    return BatchProgress::tr("about %n second(s) left", "", int(seconds));
}
} // namespace

BatchProgress::BatchProgress(QStatusBar *statusBar)
    : QObject(statusBar)
    , label(new QLabel(statusBar))
    , bar(new QProgressBar(statusBar)) {
    bar->setTextVisible(false);
    bar->setMaximumWidth(240);
    statusBar->addPermanentWidget(label, 0);
    statusBar->addPermanentWidget(bar, 0);
    hide();
}

void BatchProgress::start() {
    sinceStart.start();
}

void BatchProgress::showListing(int found) {
    bar->setRange(0, 0);
    label->setText(tr("Listing photos… %L1 found").arg(found));
    bar->show();
    label->show();
}

void BatchProgress::show(int handled, int total) {
    bar->setRange(0, qMax(1, total));
    bar->setValue(handled);
    QString text = tr("%1 of %2").arg(handled).arg(total);
    if (handled > 0 && handled < total) {
        const qint64 left = sinceStart.elapsed() * (total - handled) / handled;
        text += " · " + roughDuration(left);
    }
    label->setText(text);
    bar->show();
    label->show();
}

void BatchProgress::hide() {
    bar->hide();
    label->hide();
}

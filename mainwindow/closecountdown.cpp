// The close-after-finish choice and countdown.
#include "mainwindow/closecountdown.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>

#include "mainwindow/toggleswitch.h"
#include "settings/settings.h"

namespace {
constexpr int countdownMs = 10000;
} // namespace

CloseCountdown::CloseCountdown(const Widgets &frameWidgets, QObject *parent)
    : QObject(parent)
    , widgets(frameWidgets)
    , choiceSwitch(new ToggleSwitch(frameWidgets.choice)) {
#ifndef Q_OS_WIN
    // Outside Windows the context-menu entries belong to the file manager.
    widgets.label->setText(
        tr("<html><head/><body><p><span style=\" font-size:13pt; font-weight:600;\">Close app "
           "automatically after it finishes rotating</span><span style=\" font-size:13pt;\"> "
           "from file manager context menu launch</span></p></body></html>"));
#endif
    connect(widgets.closeButton, &QAbstractButton::clicked, this, &CloseCountdown::hideFrame);
    connect(choiceSwitch, &ToggleSwitch::toggled, this, &CloseCountdown::storeChoice);
    choiceSwitch->setOn(Settings::closeAppAfterContextMenuRotate());
}

void CloseCountdown::arm() {
    armed = true;
}

void CloseCountdown::showFrame() {
    widgets.frame->show();
}

void CloseCountdown::hideFrame() {
    widgets.frame->hide();
}

void CloseCountdown::setChoice(bool closeAfterFinish) {
    choiceSwitch->setOn(closeAfterFinish);
}

void CloseCountdown::storeChoice(bool closeAfterFinish) {
    Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, closeAfterFinish);
    emit choiceToggled(closeAfterFinish);
}

// The bar, which starts full, loses one step per tick; the ticks are spaced so that it runs down
// in about the ten seconds, one step per pixel of the frame's height.
void CloseCountdown::start() {
    if (!armed)
        return;
    armed = false;
    QTimer::singleShot(countdownMs, this, &CloseCountdown::timeUp);
    auto *ticks = new QTimer(this);
    connect(ticks, &QTimer::timeout, this, [this, ticks] {
        if (widgets.bar->value() < 1) {
            ticks->stop();
            ticks->deleteLater();
            return;
        }
        // The bar repaints at the next turn of the event loop, which each tick returns to.
        widgets.bar->setValue(widgets.bar->value() - 1);
    });
    const int frameHeight = qMax(1, widgets.frame->height());
    ticks->start(qMax(0, countdownMs / frameHeight - 10));
}

void CloseCountdown::cancel() {
    armed = false;
    hideFrame();
}

void CloseCountdown::timeUp() {
    hideFrame();
    if (Settings::closeAppAfterContextMenuRotate())
        emit quitRequested();
}

// The close-after-finish choice and countdown.
#include "mainwindow/closecountdown.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>

#include <algorithm>

#include "mainwindow/toggleswitch.h"
#include "settings/settings.h"

namespace {
constexpr int tickMs = 100;
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
    connect(widgets.keepOpen, &QAbstractButton::clicked, this, &CloseCountdown::keepOpen);
    connect(choiceSwitch, &ToggleSwitch::toggled, this, &CloseCountdown::storeChoice);
    choiceSwitch->setOn(Settings::closeAppAfterContextMenuRotate());

    timeLeft.setSingleShot(true);
    connect(&timeLeft, &QTimer::timeout, this, &CloseCountdown::timeUp);
    ticks.setInterval(tickMs);
    connect(&ticks, &QTimer::timeout, this, &CloseCountdown::showTimeLeft);
    widgets.closingIn->hide();
    widgets.keepOpen->hide();
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

void CloseCountdown::setLength(std::chrono::milliseconds countdownLength) {
    length = countdownLength;
}

void CloseCountdown::setChoice(bool closeAfterFinish) {
    choiceSwitch->setOn(closeAfterFinish);
    showTimeLeft();
}

void CloseCountdown::storeChoice(bool closeAfterFinish) {
    Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, closeAfterFinish);
    emit choiceToggled(closeAfterFinish);
    showTimeLeft();
}

void CloseCountdown::start() {
    if (!armed)
        return;
    armed = false;
    sinceStart.start();
    timeLeft.start(length);
    ticks.start();
    showTimeLeft();
}

void CloseCountdown::cancel() {
    armed = false;
    stopCountdown();
    hideFrame();
}

void CloseCountdown::keepOpen() {
    if (!isCountingDown())
        return;
    stopCountdown();
    hideFrame();
}

void CloseCountdown::timeUp() {
    stopCountdown();
    hideFrame();
    if (Settings::closeAppAfterContextMenuRotate())
        emit quitRequested();
}

void CloseCountdown::stopCountdown() {
    timeLeft.stop();
    ticks.stop();
    showTimeLeft();
}

// The bar runs down with the time left; the text and the button to keep the window open are
// there while the countdown ends in a close, that is while the switch is on.
void CloseCountdown::showTimeLeft() {
    const bool counting = isCountingDown();
    const qint64 leftMs =
        counting ? std::max<qint64>(0, qint64(length.count()) - sinceStart.elapsed()) : 0;
    QProgressBar *bar = widgets.bar;
    bar->setValue(counting ? int(bar->maximum() * leftMs / std::max<qint64>(1, length.count()))
                           : bar->maximum());

    const bool closing = counting && choiceSwitch->isOn();
    if (closing) {
        const int seconds = int((leftMs + 999) / 1000);
        widgets.closingIn->setText(tr("Closing in %n s", "", seconds));
    }
    widgets.closingIn->setVisible(closing);
    widgets.keepOpen->setVisible(closing);
}

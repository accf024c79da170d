// The watch switch of the top bar: a two-position slider that turns the folder watcher on and
// off, styled green when on.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include "app/theme.h"
#include "watcher/folderwatcher.h"
#include "mainwindow/switchgesture.h"

void Pivotta::prepareWatchSwitch() {
    watchSwitchGesture = new SwitchGesture(ui->horizontalSlider);
}

void Pivotta::setWatchFolderSetting(bool checked, bool fromClick) {
    QSlider *slider = ui->horizontalSlider;
    slider->setValue(checked ? slider->maximum() : slider->minimum());
    slider->setStyleSheet(switchGrooveStyleSheet(getWatchFolderToggleValue()));
    watcher->setWatching(checked, fromClick);
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

void Pivotta::watcherRotateFilesInCurrentDirectory() {
    rotateFilesInCurrentDirectory(true, false);
}

void Pivotta::turnOffWatchingForManualRotate() {
    if (getWatchFolderToggleValue())
        appendOutput(tr("Turned off folder watching because manual rotating was triggered."));
    setWatchFolderSetting(false, false);
}

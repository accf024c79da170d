// The watch switch: the switch's position and the watcher's state move together.
#include "mainwindow/watchswitch.h"

#include "mainwindow/toggleswitch.h"
#include "watcher/folderwatcher.h"

WatchSwitch::WatchSwitch(QSlider *slider, FolderWatcher *folderWatcher, QObject *parent)
    : QObject(parent)
    , toggle(new ToggleSwitch(slider))
    , watcher(folderWatcher) {
    connect(toggle, &ToggleSwitch::toggled, watcher,
            [this](bool on) { watcher->setWatching(on, true); });
}

bool WatchSwitch::isOn() const {
    return toggle->isOn();
}

void WatchSwitch::setEnabled(bool enabled) {
    toggle->setEnabled(enabled);
}

void WatchSwitch::setOn(bool on) {
    toggle->setOn(on);
    watcher->setWatching(on, false);
}

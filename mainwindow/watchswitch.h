// The watch switch of the top bar: a ToggleSwitch that turns the folder watcher on and off.
#pragma once

#include <QObject>

class FolderWatcher;
class QSlider;
class ToggleSwitch;

class WatchSwitch : public QObject {
    Q_OBJECT

public:
    WatchSwitch(QSlider *slider, FolderWatcher *folderWatcher, QObject *parent);

    bool isOn() const;
    void setEnabled(bool enabled);

public slots:
    // Turns watching on or off without a gesture; the watcher says so when it goes on, and says
    // nothing when it goes off.
    void setOn(bool on);

private:
    ToggleSwitch *toggle = nullptr;
    FolderWatcher *watcher = nullptr;
};

// Counting a mouse press on a two-position slider as one gesture.
#include "watcher/switchgesture.h"

#include <QAbstractSlider>
#include <QEvent>

SwitchGesture::SwitchGesture(QAbstractSlider *slider)
    : QObject(slider) {
    slider->installEventFilter(this);
}

bool SwitchGesture::claimFlip() {
    if (!pressActive)
        return true;
    if (flippedDuringPress)
        return false;
    flippedDuringPress = true;
    return true;
}

bool SwitchGesture::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        pressActive = true;
        flippedDuringPress = false;
        break;
    case QEvent::MouseButtonRelease:
        pressActive = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

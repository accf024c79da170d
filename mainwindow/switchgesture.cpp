// Counting a mouse press on a two-position slider as one gesture, and Space as a flip.
#include "mainwindow/switchgesture.h"

#include <QAbstractSlider>
#include <QKeyEvent>

SwitchGesture::SwitchGesture(QAbstractSlider *watchedSlider)
    : QObject(watchedSlider)
    , slider(watchedSlider) {
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
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
            break;
        // A held key repeats its press; one stroke is one flip.
        if (!key->isAutoRepeat())
            slider->triggerAction(QAbstractSlider::SliderMove);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

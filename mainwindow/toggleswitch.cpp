// The two-position switch: its gestures, its position and its groove.
#include "mainwindow/toggleswitch.h"

#include <QKeyEvent>
#include <QSlider>

namespace {
// The groove's colours are the same in both themes.
QString grooveStyleSheet(bool on) {
    return on ? "QSlider::groove:horizontal {background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                "stop:0 #7c7, stop:1 #9d9);}"
              : "QSlider::groove:horizontal {background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                "stop:0 #B1B1B1, stop:1 #c4c4c4);}";
}
} // namespace

ToggleSwitch::ToggleSwitch(QSlider *watchedSlider)
    : QObject(watchedSlider)
    , slider(watchedSlider) {
    slider->installEventFilter(this);
    connect(slider, &QSlider::sliderPressed, this, &ToggleSwitch::flip);
    connect(slider, &QSlider::actionTriggered, this, &ToggleSwitch::flip);
    styleGroove();
}

bool ToggleSwitch::isOn() const {
    return slider->value() == slider->maximum();
}

void ToggleSwitch::setOn(bool on) {
    slider->setValue(on ? slider->maximum() : slider->minimum());
    styleGroove();
}

void ToggleSwitch::setEnabled(bool enabled) {
    slider->setEnabled(enabled);
}

// Every gesture flips the switch from the state it had before the gesture moved anything: the
// slider emits its action before it takes the new value, and the press on the handle before any
// move, so the value read here is still the old state.
void ToggleSwitch::flip() {
    if (!claimFlip()) {
        // Further signals of a press that already flipped: keep the handle where the state is.
        slider->setSliderPosition(slider->value());
        return;
    }
    setOn(!isOn());
    emit toggled(isOn());
}

// Whether a flip may happen now: outside a mouse press always, during one only the first time.
bool ToggleSwitch::claimFlip() {
    if (!pressActive)
        return true;
    if (flippedDuringPress)
        return false;
    flippedDuringPress = true;
    return true;
}

void ToggleSwitch::styleGroove() {
    const QString sheet = grooveStyleSheet(isOn());
    if (slider->styleSheet() != sheet)
        slider->setStyleSheet(sheet);
}

bool ToggleSwitch::eventFilter(QObject *watched, QEvent *event) {
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

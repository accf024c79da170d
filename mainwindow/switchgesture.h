// One user gesture on a two-position slider flips it once, however many signals the slider sends.
#pragma once

#include <QObject>

class QAbstractSlider;

// A slider reports one mouse press in several ways: a press on the handle sends sliderPressed,
// a press on the groove sends a page-step action and repeats it while the button is held, a
// press that jumps the handle sends a move action and then sliderPressed, and a drag sends move
// actions. SwitchGesture watches the slider's mouse presses so that its owner flips the switch
// at most once per press; keys and wheel turns have no press and flip every time. It also lets
// the Space key flip the switch, as it toggles a check box: a press of Space triggers one slider
// action, which the owner answers like any other.
class SwitchGesture : public QObject {
public:
    // Watches `slider` from now on; the gesture is a child of the slider.
    explicit SwitchGesture(QAbstractSlider *slider);

    // Whether a flip may happen now: outside a mouse press always, during one only the first time.
    bool claimFlip();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractSlider *slider = nullptr;
    bool pressActive = false;
    bool flippedDuringPress = false;
};

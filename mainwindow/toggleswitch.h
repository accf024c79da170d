// A two-position switch made of a slider from 0 to 1: on at the maximum, with a green groove, and
// off at the minimum, with a grey one. One user gesture flips it once.
#pragma once

#include <QObject>

class QSlider;

// A slider reports one mouse press in several ways: a press on the handle sends sliderPressed,
// a press on the groove sends a page-step action and repeats it while the button is held, a
// press that jumps the handle sends a move action and then sliderPressed, and a drag sends move
// actions. ToggleSwitch watches the slider's mouse presses so that the switch flips at most once
// per press; keys and wheel turns have no press and flip every time. The Space key flips it too,
// as it toggles a check box. The switch is a child of its slider, so `slider->findChild` finds it.
class ToggleSwitch : public QObject {
    Q_OBJECT

public:
    explicit ToggleSwitch(QSlider *slider);

    bool isOn() const;
    // Moves the switch without a gesture: `toggled` is not emitted.
    void setOn(bool on);
    void setEnabled(bool enabled);

signals:
    // A user gesture flipped the switch; it now stands at `on`.
    void toggled(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void flip();
    bool claimFlip();
    void styleGroove();

    QSlider *slider = nullptr;
    bool pressActive = false;
    bool flippedDuringPress = false;
};

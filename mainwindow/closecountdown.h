// The close-after-finish frame under the main pane: the switch that chooses whether Pivotta closes
// once a rotation started from the file manager is done, and the countdown that runs down in the
// ten seconds before it does.
#pragma once

#include <QObject>

class QAbstractButton;
class QFrame;
class QLabel;
class QProgressBar;
class QSlider;
class ToggleSwitch;

class CloseCountdown : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QFrame *frame;
        QLabel *label;
        QSlider *choice;
        QProgressBar *bar;
        QAbstractButton *closeButton;
    };

    CloseCountdown(const Widgets &widgets, QObject *parent);

    // A start from the file manager to rotate arms the countdown: the next finished rotation
    // starts it.
    void arm();
    bool isArmed() const { return armed; }
    void showFrame();
    void hideFrame();

public slots:
    // The choice made elsewhere (the Preferences dialog): the switch follows, nothing is written.
    void setChoice(bool closeAfterFinish);
    // Runs the countdown when armed; the arming is used up.
    void start();
    // A stopped run: no countdown follows, and the frame goes.
    void cancel();
    // The ten seconds have passed: the frame goes, and Pivotta quits when that was chosen.
    void timeUp();

signals:
    // The user flipped the switch; the setting is written.
    void choiceToggled(bool closeAfterFinish);
    void quitRequested();

private:
    void storeChoice(bool closeAfterFinish);

    Widgets widgets;
    ToggleSwitch *choiceSwitch = nullptr;
    bool armed = false;
};

// The close-after-finish frame under the main pane: the switch that chooses whether Pivotta closes
// once a rotation started from the file manager is done, and the countdown that runs down in the
// ten seconds before it does, saying when it closes and offering to keep the window open.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

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
        QLabel *closingIn;         // "Closing in N s" while the countdown runs to a close
        QAbstractButton *keepOpen; // cancels the close
    };

    CloseCountdown(const Widgets &widgets, QObject *parent);

    // A start from the file manager to rotate arms the countdown: the next finished rotation
    // starts it.
    void arm();
    bool isArmed() const { return armed; }
    bool isCountingDown() const { return timeLeft.isActive(); }
    void showFrame();
    void hideFrame();
    // Ten seconds unless told otherwise.
    void setLength(std::chrono::milliseconds length);

public slots:
    // The choice made elsewhere (the Preferences dialog): the switch follows, nothing is written.
    void setChoice(bool closeAfterFinish);
    // Runs the countdown when armed; the arming is used up.
    void start();
    // A stopped run: no countdown follows, and the frame goes.
    void cancel();
    // The user keeps the window open: a running countdown stops, and the frame goes.
    void keepOpen();
    // The ten seconds have passed: the frame goes, and Pivotta quits when that was chosen.
    void timeUp();

signals:
    // The user flipped the switch; the setting is written.
    void choiceToggled(bool closeAfterFinish);
    void quitRequested();

private:
    void storeChoice(bool closeAfterFinish);
    void stopCountdown();
    void showTimeLeft();

    Widgets widgets;
    ToggleSwitch *choiceSwitch = nullptr;
    bool armed = false;
    std::chrono::milliseconds length{10000};
    QTimer timeLeft;
    QTimer ticks;
    QElapsedTimer sinceStart;
};

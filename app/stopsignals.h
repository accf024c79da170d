// The signals that ask a program without a window to end (SIGTERM, SIGHUP, SIGINT), turned into
// a Qt signal on the event loop, so that the run can stop as Stop does: photos whole, temporary
// files gone, the summary printed. The handler only writes the signal's number into a pipe that
// a socket notifier watches. A second such signal ends the program at once, as it would have
// without this. Windows: the console's Ctrl+C, Ctrl+Break and close events (untested).
#pragma once

#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT

public:
    // Catches the signals for as long as it exists; one at a time.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    // `signal`: the signal's number (SIGINT on Windows).
    void stopRequested(int signal);

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
};

// The progress of a folder batch in the status bar: the count found while it lists its photos,
// then "n of N", the time left and a bar; and in the window title, "n of N – Pivotta", so that it
// shows in the task bar too.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QLabel;
class QProgressBar;
class QStatusBar;

class BatchProgress : public QObject {
    Q_OBJECT

public:
    // Adds its label and bar to the status bar's permanent widgets, hidden.
    explicit BatchProgress(QStatusBar *statusBar);

    // "n of N – Pivotta".
    static QString titleText(int handled, int total);

public slots:
    // A batch started: the time left is estimated from here.
    void start();
    // A busy bar with the count found while the batch lists its photos.
    void showListing(int found);
    // A determinate bar with "n of N" and the time left, once the batch has listed its photos.
    void show(int handled, int total);
    // The batch ended: the bar goes and the window has its own title again.
    void hide();

private:
    void reserveWidthFor(int total);

    QLabel *label = nullptr;
    QProgressBar *bar = nullptr;
    QElapsedTimer sinceStart;
    QString windowTitle; // the title to give back when the batch ends
    int reservedFor = -1;
};

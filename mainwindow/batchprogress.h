// The progress of a folder batch in the status bar: the count found while it lists its photos,
// then "n of N", the time left and a bar.
#pragma once

#include <QElapsedTimer>
#include <QObject>

class QLabel;
class QProgressBar;
class QStatusBar;

class BatchProgress : public QObject {
    Q_OBJECT

public:
    // Adds its label and bar to the status bar's permanent widgets, hidden.
    explicit BatchProgress(QStatusBar *statusBar);

public slots:
    // A batch started: the time left is estimated from here.
    void start();
    // A busy bar with the count found while the batch lists its photos.
    void showListing(int found);
    // A determinate bar with "n of N" and the time left, once the batch has listed its photos.
    void show(int handled, int total);
    void hide();

private:
    QLabel *label = nullptr;
    QProgressBar *bar = nullptr;
    QElapsedTimer sinceStart;
};

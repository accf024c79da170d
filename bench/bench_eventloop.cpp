// How long the window's event loop is kept from running while a folder batch goes on.
// Usage: bench_eventloop FOLDER [--jobs N]
// Shows the real window (offscreen), starts "Autorotate all" on FOLDER and, from a timer that
// asks to run every 5 ms, records the gaps between its runs until the batch has finished: the
// longest gap is the longest the window could not answer the user.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/benchsupport.h"
#include "engine/rotationengine.h"
#include "mainwindow/pivotta.h"
#include "settings/settings.h"

int main(int argc, char **argv) {
    BenchApplication benchApp(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || !QFileInfo(arguments.at(1)).isDir()) {
        std::fputs("usage: bench_eventloop FOLDER [--jobs N]\n", stderr);
        return 2;
    }
    const int jobsAt = int(arguments.indexOf("--jobs"));
    if (jobsAt > 0 && jobsAt + 1 < arguments.size())
        Settings::setValue(SettingsKey::parallelRotations, arguments.at(jobsAt + 1).toInt());

    StartupDecisions decisions;
    decisions.folder = QDir::toNativeSeparators(arguments.at(1));
    Pivotta window(decisions);
    window.setGeometry(100, 100, 1280, 800);
    window.show();

    // The shell start rotates the folder a second after start-up; the ticks are recorded from
    // the batch's start to its end.
    std::vector<double> gapsMs;
    QElapsedTimer sinceLastTick;
    bool running = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (running)
            gapsMs.push_back(sinceLastTick.nsecsElapsed() / 1e6);
        sinceLastTick.start();
    });
    RotationEngine *engine = window.rotationEngine();
    QObject::connect(engine, &RotationEngine::runStarted, [&](RunSummary::Kind) {
        running = true;
        sinceLastTick.start();
    });
    QElapsedTimer batch;
    QObject::connect(engine, &RotationEngine::runStarted, [&] { batch.start(); });
    QObject::connect(engine, &RotationEngine::runFinished, [&](const RunSummary &summary) {
        running = false;
        printFigure("batch", decimals(batch.elapsed() / 1000.0, 3) + " s");
        printFigure("photos rotated", QString::number(summary.rotated));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    ticker.start(5);
    QApplication::exec();

    const double longest = gapsMs.empty() ? 0 : *std::max_element(gapsMs.begin(), gapsMs.end());
    printFigure("ticks", QString::number(gapsMs.size()));
    printFigure("median gap", decimals(median(gapsMs), 1) + " ms");
    printFigure("longest gap", decimals(longest, 1) + " ms");
    return 0;
}

// How fast a folder batch scans, with its orientation reads one at a time or several in flight.
// Usage: bench_scan FOLDER [--reads N] [--dry-run]
// Runs the engine's user batch over FOLDER on a console application, as the headless program
// does (settings in a temporary folder), and prints how long the listing and the whole batch
// took and how many photos it saw. Without --reads the engine decides (up to 16 in flight).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "bench/benchsupport.h"
#include "engine/rotationengine.h"

int main(int argc, char **argv) {
    QTemporaryDir settingsFolder;
    qputenv("XDG_CONFIG_HOME", settingsFolder.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        std::fputs("usage: bench_scan FOLDER [--reads N] [--dry-run]\n", stderr);
        return 2;
    }
    RotationEngine engine;
    const int readsAt = int(arguments.indexOf("--reads"));
    if (readsAt > 0 && readsAt + 1 < arguments.size())
        engine.setReadsInFlight(arguments.at(readsAt + 1).toInt());

    QElapsedTimer batch;
    qint64 listedMs = -1;
    QObject::connect(&engine, &RotationEngine::photosListed,
                     [&](int) { listedMs = batch.elapsed(); });
    QObject::connect(&engine, &RotationEngine::runFinished, [&](const RunSummary &summary) {
        printFigure("batch", decimals(batch.nsecsElapsed() / 1e9, 4) + " s");
        printFigure("listing", decimals(listedMs / 1000.0, 3) + " s");
        printFigure("photos", QString("%1 seen, %2 to turn, %3 not read")
                                  .arg(summary.entriesSeen)
                                  .arg(summary.photosToRotate)
                                  .arg(summary.notRead));
        QCoreApplication::quit();
    });
    QMetaObject::invokeMethod(
        &engine,
        [&] {
            batch.start();
            engine.startUserBatch(arguments.at(1), arguments.contains("--dry-run"));
        },
        Qt::QueuedConnection);
    return app.exec();
}

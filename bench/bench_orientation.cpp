// How fast Pivotta reads the orientation of photos (through held folders, one after another),
// next to reading the first 64 KB of the same files and reading them whole. Usage:
// bench_orientation FOLDER [--rounds N] [--cold] [--scan] With --cold the page cache is dropped
// before every pass (Linux, as root; run `sync` first so that freshly written photos can be dropped
// too); when that is refused the figures are warm. With --scan it reads every photo's orientation
// once and prints only the sum of the angles, so that the whole process can be timed next to
// another program that scans the same files.
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "bench/benchsupport.h"
#include "engine/orientationreader.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"

namespace {
struct Options {
    QString folder;
    int rounds = 3;
    bool cold = false;
    bool scan = false;
};

bool parseOptions(const QStringList &arguments, Options *options) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == "--rounds" && i + 1 < arguments.size())
            options->rounds = qMax(1, arguments.at(++i).toInt());
        else if (argument == "--cold")
            options->cold = true;
        else if (argument == "--scan")
            options->scan = true;
        else if (options->folder.isEmpty() && !argument.startsWith("--"))
            options->folder = argument;
        else
            return false;
    }
    return !options->folder.isEmpty();
}

QStringList photosIn(const QString &folder) {
    QStringList photos;
    QDirIterator it(folder, {"*.jpg", "*.jpeg", "*.jfif", "*.jpe"}, QDir::Files | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        photos << it.next();
    photos.sort();
    return photos;
}

// Linux only: the kernel's switch that empties the page cache. Anywhere else it fails and the
// figures are warm-cache ones.
bool dropPageCache() {
    QFile control("/proc/sys/vm/drop_caches");
    if (!control.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    return control.write("3\n", 2) == 2;
}

struct Pass {
    double seconds = 0;
    qint64 check = 0; // what the pass computed, so that none of the work can be left out
};

Pass timePass(const QStringList &photos, const std::function<qint64(const QString &)> &readOne) {
    QElapsedTimer timer;
    timer.start();
    Pass pass;
    for (const QString &photo : photos)
        pass.check += readOne(photo);
    pass.seconds = timer.nsecsElapsed() / 1e9;
    return pass;
}

qint64 readWhole(const QString &photo) {
    QFile file(photo);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().size();
}

// The least a reader of the header alone must do: open the file and read its first 64 KB.
qint64 readHead(const QString &photo) {
    QFile file(photo);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.read(64 * 1024).size();
}

// As a scan reads a photo: opened relative to its held folder (the last one is kept).
qint64 readAngle(const QString &photo) {
    static QString folderPath;
    static std::shared_ptr<HeldFolder> folder;
    const QFileInfo info(photo);
    if (info.path() != folderPath) {
        folderPath = info.path();
        folder = HeldFolder::openRoot(folderPath, nullptr);
    }
    const std::unique_ptr<HeldPhoto> held =
        folder ? HeldPhoto::open(folder, QFile::encodeName(info.fileName()), nullptr) : nullptr;
    return held ? readOrientation(*held).angle() : 0;
}

struct Method {
    QString name;
    std::function<qint64(const QString &)> readOne;
    bool readsWhole = false;
};

void measure(const Method &method, const QStringList &photos, qint64 totalBytes, int rounds,
             bool cold) {
    std::vector<double> seconds;
    qint64 check = 0;
    if (!cold)
        timePass(photos, method.readOne); // warm-up: every file in the page cache
    for (int round = 0; round < rounds; ++round) {
        if (cold)
            dropPageCache();
        const Pass pass = timePass(photos, method.readOne);
        seconds.push_back(pass.seconds);
        check = pass.check;
    }
    const double typical = median(seconds);
    QStringList each;
    for (double s : seconds)
        each << decimals(s, 4);
    // Only a method that reads every byte has a meaningful throughput.
    const QString throughput =
        method.readsWhole ? QString(", %1 MB/s").arg(decimals(totalBytes / 1e6 / typical, 1))
                          : QString();
    printFigure(QString("%1 %2").arg(cold ? "cold" : "warm", method.name),
                QString("%1 photos/s%2, %3 s per pass (median of %4: %5), check %6")
                    .arg(decimals(photos.size() / typical, 1), throughput, decimals(typical, 4))
                    .arg(rounds)
                    .arg(each.join(' '))
                    .arg(check));
}
} // namespace

int scanOnce(const QStringList &photos) {
    qint64 angles = 0;
    for (const QString &photo : photos)
        angles += readAngle(photo);
    std::printf("%lld photos, angles %lld\n", qint64(photos.size()), angles);
    return 0;
}

int main(int argc, char **argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Options options;
    if (!parseOptions(arguments, &options)) {
        std::fputs("usage: bench_orientation FOLDER [--rounds N] [--cold] [--scan]\n", stderr);
        return 2;
    }
    // A scan needs no more than a headless program would have: no window system, no settings.
    std::unique_ptr<QCoreApplication> coreApp;
    std::unique_ptr<BenchApplication> benchApp;
    if (options.scan)
        coreApp = std::make_unique<QCoreApplication>(argc, argv);
    else
        benchApp = std::make_unique<BenchApplication>(argc, argv);

    const QStringList photos = photosIn(options.folder);
    if (photos.isEmpty()) {
        std::fprintf(stderr, "no photos in %s\n", qPrintable(options.folder));
        return 1;
    }
    if (options.scan)
        return scanOnce(photos);

    qint64 totalBytes = 0;
    for (const QString &photo : photos)
        totalBytes += QFile(photo).size();
    printFigure("photos",
                QString("%1 files, %2 MB").arg(photos.size()).arg(decimals(totalBytes / 1e6, 1)));

    const std::vector<Method> methods = {
        {"readOrientation", readAngle},
        {"QFile::read(64 KB)", readHead},
        {"QFile::readAll", readWhole, true},
    };

    for (const Method &method : methods)
        measure(method, photos, totalBytes, options.rounds, false);
    if (options.cold) {
        if (dropPageCache()) {
            printFigure("cache", "cold figures: page cache dropped before every pass");
            for (const Method &method : methods)
                measure(method, photos, totalBytes, options.rounds, true);
        } else {
            printFigure("cache", "could not drop the page cache here: warm figures only");
        }
    }
    return 0;
}

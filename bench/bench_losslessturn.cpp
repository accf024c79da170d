// What keeping every byte costs and what a lossless turn normally looks like.
//
// bench_losslessturn sizes    the spread of the coded-data size ratio (result over original,
//                             per pixel) over many photos and all seven transforms, with the
//                             options that keep each photo's coding; the bounds of the result
//                             check come from it.
// bench_losslessturn cost     the time the extra steps add to the tool chain of one photo:
//                             parsing, the thumbnail's own jpegtran run and put-back, the
//                             trailing bytes, the result check, XMP in the exiv2 run; for a
//                             photo with thumbnail, XMP and trailer, and for one without.
// Options: --rounds N (cost, default 15).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSize>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "benchsupport.h"
#include "craftedphotos.h"
#include "engine/jpegstructure.h"
#include "engine/keptbytes.h"
#include "engine/losslessturn.h"
#include "engine/tools.h"

namespace {

const Turn transforms[] = {
    Turn::FlipHorizontal, Turn::Rotate180, Turn::FlipVertical,
    Turn::Transpose,      Turn::Rotate90,  Turn::Transverse,
    Turn::Rotate270,
};

bool runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

QByteArray pipeThrough(const QStringList &arguments, const QByteArray &input) {
    QProcess process;
    process.start("jpegtran", arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

// Photos re-saved by ImageMagick from a shared photo with the given settings.
bool makeMagickPhoto(const QString &source, const QString &target, int quality,
                     const QString &sampling, const QSize &size, bool progressive, bool optimized) {
    QStringList arguments{source,
                          "-resize",
                          QString("%1x%2!").arg(size.width()).arg(size.height()),
                          "-sampling-factor",
                          sampling,
                          "-quality",
                          QString::number(quality),
                          "-define",
                          QString("jpeg:optimize-coding=%1").arg(optimized ? "true" : "false")};
    if (progressive)
        arguments << "-interlace"
                  << "Plane";
    arguments << target;
    return runTool("convert", arguments);
}

struct Spread {
    std::vector<double> ratios;

    void print(const QString &name) {
        if (ratios.empty())
            return;
        std::sort(ratios.begin(), ratios.end());
        const auto at = [&](double share) {
            return ratios[size_t(share * double(ratios.size() - 1))];
        };
        printFigure(name, QString("n=%1 min=%2 p01=%3 median=%4 p99=%5 max=%6")
                              .arg(ratios.size())
                              .arg(decimals(ratios.front(), 4), decimals(at(0.01), 4),
                                   decimals(at(0.5), 4), decimals(at(0.99), 4),
                                   decimals(ratios.back(), 4)));
    }
};

int measureSizes() {
    QTemporaryDir dir;
    QStringList photos;
    const QString shared = PIVOTTA_TESTDATA_DIR "/orientation/";
    for (const char *kind : {"Landscape", "Portrait"}) {
        for (int i = 0; i <= 8; ++i)
            photos << shared + QString("%1_%2.jpg").arg(kind).arg(i);
    }
    int made = 0;
    for (int quality : {50, 75, 90, 98}) {
        for (const char *sampling : {"4:2:0", "4:2:2", "4:4:4"}) {
            for (const QSize &size : {QSize(1800, 1200), QSize(1201, 799), QSize(640, 480)}) {
                for (bool progressive : {false, true}) {
                    for (bool optimized : {false, true}) {
                        if (progressive && !optimized)
                            continue; // progressive files are always optimised
                        const QString target = dir.filePath(QString("m%1.jpg").arg(made++));
                        const QString source =
                            shared + (made % 2 ? "Landscape_1.jpg" : "Portrait_1.jpg");
                        if (makeMagickPhoto(source, target, quality, sampling, size, progressive,
                                            optimized))
                            photos << target;
                    }
                }
            }
        }
    }
    std::map<QString, Spread> spreads;
    const QString out = dir.filePath("out.jpg");
    for (const QString &photo : photos) {
        const JpegStructure original = readJpegStructure(photo);
        if (!original.isComplete())
            continue;
        const QString group =
            QString("%1 %2").arg(original.frame.progressive() ? "progressive" : "baseline",
                                 original.standardHuffmanTables ? "standard" : "optimised");
        for (Turn transform : transforms) {
            if (!runTool("jpegtran",
                         jpegtranArgumentList(photo, out, transform, original, false, true)))
                continue;
            const ResultCheck check =
                checkTurnedResult(original, readJpegStructure(out), transform, true);
            spreads[group].ratios.push_back(check.sizeRatio);
            spreads["all"].ratios.push_back(check.sizeRatio);
            const bool turns = swapsSides(transform);
            spreads[turns ? "sides swapped" : "sides kept"].ratios.push_back(check.sizeRatio);
        }
    }
    printFigure("photos", QString::number(photos.size()));
    for (auto &[name, spread] : spreads)
        spread.print("size ratio " + name);
    return 0;
}

double millisecondsSince(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// One photo's chain as it stands (jpegtran into a new file, exiv2 on it) and the extra steps.
void measureChain(const QString &photo, const QString &name, int rounds) {
    std::vector<double> chain, extra;
    const QString out = photo + ".out";
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(out);
        QElapsedTimer timer;
        timer.start();
        const JpegStructure original = readJpegStructure(photo);
        double extraTime = millisecondsSince(timer);

        timer.restart();
        runTool("jpegtran",
                jpegtranArgumentList(photo, out, Turn::Rotate90, original, false, true));
        double chainTime = millisecondsSince(timer);

        timer.restart();
        JpegStructure result = readJpegStructure(out);
        if (!original.thumbnail.isEmpty()) {
            const QByteArray turned =
                pipeThrough(jpegtranThumbnailArguments(Turn::Rotate90),
                            readThumbnail(photo, original));
            putBackThumbnail(out, result, turned, nullptr);
        }
        appendTrailingBytes(photo, original, out, nullptr);
        result = readJpegStructure(out);
        fixMultiPictureOffsets(out, original, result, nullptr);
        checkTurnedResult(original, result, Turn::Rotate90, true);
        extraTime += millisecondsSince(timer);

        // The exiv2 run itself belongs to the chain; with XMP it has one more command.
        timer.restart();
        runTool("exiv2", exiv2OrientationResetArguments(out, original.xmpOrientation != 0));
        chainTime += millisecondsSince(timer);
        chain.push_back(chainTime);
        extra.push_back(extraTime);
    }
    const double chainMedian = median(chain);
    const double extraMedian = median(extra);
    printFigure(name + " chain ms", decimals(chainMedian, 2));
    printFigure(name + " extra ms", decimals(extraMedian, 2));
    printFigure(name + " extra share", decimals(100.0 * extraMedian / chainMedian, 1) + " %");
}

int measureCost(int rounds) {
    QTemporaryDir dir;
    CraftedPhotos::Recipe plain;
    CraftedPhotos::Recipe full;
    full.thumbnail = true;
    full.xmpOrientation = 6;
    full.trailerBytes = 102400;
    QString error;
    const QString plainPhoto = dir.filePath("plain.jpg");
    const QString fullPhoto = dir.filePath("full.jpg");
    if (!CraftedPhotos::makePhoto(plain, plainPhoto, &error) ||
        !CraftedPhotos::makePhoto(full, fullPhoto, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    measureChain(plainPhoto, "without thumbnail, XMP, trailer", rounds);
    measureChain(fullPhoto, "with thumbnail, XMP, trailer", rounds);

    // The thumbnail step alone.
    const JpegStructure structure = readJpegStructure(fullPhoto);
    const QByteArray thumbnail = readThumbnail(fullPhoto, structure);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        pipeThrough(jpegtranThumbnailArguments(Turn::Rotate90), thumbnail);
        times.push_back(millisecondsSince(timer));
    }
    printFigure("thumbnail jpegtran run ms", decimals(median(times), 2));
    printFigure("thumbnail bytes", QString::number(thumbnail.size()));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    int rounds = 15;
    const int roundsAt = int(arguments.indexOf("--rounds"));
    if (roundsAt > 0 && roundsAt + 1 < arguments.size())
        rounds = arguments[roundsAt + 1].toInt();
    if (arguments.contains("sizes"))
        return measureSizes();
    if (arguments.contains("cost"))
        return measureCost(rounds);
    std::fprintf(stderr, "usage: bench_losslessturn sizes|cost [--rounds N]\n");
    return 2;
}

// What keeping every byte costs and what a lossless turn normally looks like.
//
// bench_losslessturn sizes    the spread of the coded-data size ratio (result over original,
//                             per pixel) over many photos and all seven transforms, with the
//                             options that keep each photo's coding; the bounds of the result
//                             check come from it.
// bench_losslessturn cost     the time one photo's chain spends in its tools (jpegtran on
//                             standard input and output for each picture, exiv2 reading the
//                             result) and in the program (telling the pictures apart, checking
//                             each turned picture, the assembly with the orientation values set
//                             in place); for a photo with thumbnail, XMP, a gain map and a
//                             trailer, and for one without.
// bench_losslessturn gainmap SOURCE TARGET
//                             writes SOURCE with a gain map of a quarter of its sides after it,
//                             listed in a multi-picture index and an XMP container directory as
//                             phones write them (bench/kept-bytes-cost.sh uses it).
// Options: --rounds N (cost, default 15).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QSize>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "benchsupport.h"
#include "craftedphotos.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"
#include "jpeg/turnedpicture.h"
#include "tools/toolcommands.h"

namespace {

const Turn transforms[] = {
    Turn::FlipHorizontal, Turn::Rotate180,  Turn::FlipVertical, Turn::Transpose,
    Turn::Rotate90,       Turn::Transverse, Turn::Rotate270,
};

bool runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

QByteArray pipeThrough(const QStringList &arguments, const QByteArray &input,
                       const QString &program = "jpegtran") {
    QProcess process;
    process.start(program, arguments);
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
    for (const QString &photo : photos) {
        const JpegStructure original = readJpegStructure(photo);
        if (!original.isComplete())
            continue;
        QFile file(photo);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        const QString group =
            QString("%1 %2").arg(original.frame.progressive() ? "progressive" : "baseline",
                                 original.standardHuffmanTables ? "standard" : "optimised");
        for (Turn transform : transforms) {
            const QByteArray turned =
                pipeThrough(jpegtranArguments(transform, original, false, true), bytes);
            if (turned.isEmpty())
                continue;
            const ResultCheck check =
                checkTurnedResult(original, parseJpegStructure(turned), transform, true);
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

QByteArray slice(const QByteArray &bytes, const FileRange &range) {
    return bytes.mid(range.offset, range.length);
}

// One photo's chain as the engine runs it, its tools apart from its own work.
void measureChain(const QString &photo, const QString &name, int rounds) {
    std::vector<double> tools, own;
    QFile file(photo);
    file.open(QIODevice::ReadOnly);
    const QByteArray original = file.readAll();
    const QString out = photo + ".out";
    const Turn turn = Turn::Rotate90;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const PhotoPictures pictures = describePictures(original);
        double ownTime = millisecondsSince(timer);

        timer.restart();
        TurnedPictures turned;
        turned.primary = pipeThrough(jpegtranArguments(turn, pictures.primary, false, true),
                                     original.left(pictures.primary.imageEnd));
        if (!pictures.primary.thumbnail.isEmpty())
            turned.thumbnail = pipeThrough(jpegtranThumbnailArguments(turn),
                                           slice(original, pictures.primary.thumbnail));
        for (const FileRange &range : pictures.picturesToTurn()) {
            const QByteArray picture = slice(original, range);
            turned.pictures.push_back(pipeThrough(
                jpegtranArguments(turn, parseJpegStructure(picture), false, true), picture));
        }
        double toolTime = millisecondsSince(timer);

        timer.restart();
        checkTurnedPicture(original, pictures.primary, turned.primary, turn, true);
        const std::vector<FileRange> ranges = pictures.picturesToTurn();
        for (size_t k = 0; k < ranges.size(); ++k) {
            const QByteArray picture = slice(original, ranges[k]);
            checkTurnedPicture(picture, parseJpegStructure(picture), turned.pictures[k], turn,
                               true);
        }
        const AssembledPhoto assembled = assemblePhoto(original, pictures, turned);
        describePictures(assembled.bytes); // the check that its pictures read back
        ownTime += millisecondsSince(timer);
        QFile result(out);
        result.open(QIODevice::WriteOnly | QIODevice::Truncate);
        result.write(assembled.bytes);
        result.close();

        timer.restart();
        runTool("exiv2", exiv2ReadingArguments(out, false));
        toolTime += millisecondsSince(timer);
        tools.push_back(toolTime);
        own.push_back(ownTime);
    }
    const double toolMedian = median(tools);
    const double ownMedian = median(own);
    printFigure(name + " tools ms", decimals(toolMedian, 2));
    printFigure(name + " program ms", decimals(ownMedian, 2));
    printFigure(name + " program share",
                decimals(100.0 * ownMedian / (toolMedian + ownMedian), 1) + " %");
}

int measureCost(int rounds) {
    QTemporaryDir dir;
    CraftedPhotos::Recipe plain;
    CraftedPhotos::Recipe full;
    full.thumbnail = true;
    full.xmpOrientation = 6;
    full.trailerBytes = 102400;
    CraftedPhotos::FurtherPicture gainMap;
    gainMap.inContainer = true;
    full.furtherPictures = {gainMap};
    QString error;
    const QString plainPhoto = dir.filePath("plain.jpg");
    const QString fullPhoto = dir.filePath("full.jpg");
    if (!CraftedPhotos::makePhoto(plain, plainPhoto, &error) ||
        !CraftedPhotos::makePhoto(full, fullPhoto, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    measureChain(plainPhoto, "without thumbnail, XMP, gain map, trailer", rounds);
    measureChain(fullPhoto, "with thumbnail, XMP, gain map, trailer", rounds);
    return 0;
}

// A gain map as phones store it: a quarter of each side, after the photo, in the index and the
// container.
int makeGainMapPhoto(const QString &source, const QString &target) {
    QImageReader reader(source);
    const QSize size = reader.size();
    CraftedPhotos::Recipe recipe;
    recipe.source = source;
    CraftedPhotos::FurtherPicture gainMap;
    gainMap.size = size / 4;
    gainMap.inContainer = true;
    recipe.furtherPictures = {gainMap};
    QString error;
    if (!size.isValid() || !CraftedPhotos::makePhoto(recipe, target, &error)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(source), qPrintable(error));
        return 1;
    }
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
    if (arguments.size() == 4 && arguments[1] == "gainmap")
        return makeGainMapPhoto(arguments[2], arguments[3]);
    std::fprintf(stderr, "usage: bench_losslessturn sizes|cost [--rounds N]\n"
                         "       bench_losslessturn gainmap SOURCE TARGET\n");
    return 2;
}

// Compares, photo by photo, the orientation reading that the window used to do (the whole file
// through ExifRecord::readJpeg, then a full decode by the image reader) with readOrientation.
// Usage: compare_orientation FILE...   (or the file names one per line on standard input)
// Prints one tab-separated line per file: path, old angle, old outcome, new angle, new outcome,
// and the orientation value the new reading decides by ("-" when none). An outcome lists what
// the user would see: the detailed pane's EXIF error line, the main pane's message, and in
// brackets the debug line "cant read".
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <limits>

#include "bench/benchsupport.h"
#include "engine/orientationreader.h"
#include "exif/exifrecord.h"
#include "exif/orientation.h"

namespace {

struct Outcome {
    int angle = 0;
    QStringList seen;
};

void addReaderFailure(Outcome &outcome, const QString &error, bool cannotRead) {
    outcome.seen << "reader error: " + error;
    if (cannotRead)
        outcome.seen << "[cant read]";
}

void addReaderTransformation(Outcome &outcome, QImageIOHandler::Transformations transformation) {
    QString mirrorWords;
    outcome.angle = transformationAngle(transformation, &mirrorWords);
    if (!mirrorWords.isEmpty())
        outcome.seen << "reader mirrored" + mirrorWords;
}

void addExifValue(Outcome &outcome, uint32_t orientation) {
    const OrientationChoice choice = orientationChoice(orientation);
    if (choice.kind == OrientationChoice::Rotate)
        outcome.angle = choice.angle;
    else if (choice.kind == OrientationChoice::Mirrored)
        outcome.seen << QString("mirrored %1%2").arg(orientation).arg(choice.mirrorWords);
    else if (choice.kind == OrientationChoice::Unknown)
        outcome.seen << QString("unknown %1").arg(orientation);
}

// The image-reader route as the window had it: the whole image decoded.
void oldImageReaderRoute(const QString &path, Outcome &outcome) {
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        addReaderFailure(outcome, reader.errorString(), !reader.canRead());
    else
        addReaderTransformation(outcome, reader.transformation());
}

// The reading as the window did it before readOrientation: the whole file, readJpeg.
Outcome oldReading(const QString &path) {
    Outcome outcome;
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        outcome.seen << "not opened";
        return outcome;
    }
    const bool fitsParser = file.size() <= qint64(std::numeric_limits<uint32_t>::max());
    const QByteArray bytes = fitsParser ? file.readAll() : QByteArray();
    ExifRecord exif;
    int result = ExifRecord::ExifNoJpeg;
    try {
        if (fitsParser && !bytes.isEmpty())
            result = exif.readJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                   uint32_t(bytes.size()));
    } catch (...) {
        oldImageReaderRoute(path, outcome);
        return outcome;
    }
    const bool noValue =
        orientationChoice(exif.orientation).kind == OrientationChoice::AskImageReader;
    if (result != ExifRecord::ExifOk || noValue) {
        outcome.seen << QString("EXIF code %1").arg(result);
        oldImageReaderRoute(path, outcome);
        return outcome;
    }
    addExifValue(outcome, exif.orientation);
    return outcome;
}

Outcome newReading(const OrientationReading &reading) {
    Outcome outcome;
    if (reading.status == OrientationReading::NotOpened) {
        outcome.seen << "not opened";
        return outcome;
    }
    if (reading.status == OrientationReading::FileChanged) {
        outcome.seen << "changed while read";
        return outcome;
    }
    if (reading.exifDecides()) {
        addExifValue(outcome, reading.orientation);
        return outcome;
    }
    if (!reading.parserThrew)
        outcome.seen << QString("EXIF code %1").arg(reading.exifCode);
    if (reading.imageReaderFailed)
        addReaderFailure(outcome, reading.imageReaderError, reading.imageReaderCannotRead);
    else
        addReaderTransformation(outcome, reading.transformation);
    return outcome;
}

// The EXIF value that a transformation stands for, so that both routes compare with exiftool.
int exifValueOf(QImageIOHandler::Transformations transformation) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}

QString decidingValue(const OrientationReading &reading) {
    if (reading.status != OrientationReading::Read)
        return "-";
    if (reading.exifDecides())
        return QString::number(reading.orientation);
    if (reading.imageReaderFailed)
        return "-";
    return QString::number(exifValueOf(reading.transformation));
}

QString text(const Outcome &outcome) {
    return outcome.seen.isEmpty() ? QString("-") : outcome.seen.join("; ");
}

void compare(const QString &path) {
    const Outcome before = oldReading(path);
    const OrientationReading reading = readOrientation(path);
    const Outcome after = newReading(reading);
    std::printf("%s\t%d\t%s\t%d\t%s\t%s\n", qPrintable(path), before.angle,
                qPrintable(text(before)), after.angle, qPrintable(text(after)),
                qPrintable(decidingValue(reading)));
}

} // namespace

int main(int argc, char **argv) {
    BenchApplication benchApp(argc, argv);
    QStringList paths = QCoreApplication::arguments().mid(1);
    if (paths.isEmpty()) {
        QTextStream input(stdin);
        for (QString line = input.readLine(); !line.isNull(); line = input.readLine())
            paths << line;
    }
    for (const QString &path : paths)
        compare(path);
    return 0;
}

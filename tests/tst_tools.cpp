// The engine's pure pieces: tool location, argument lists, reading tool results (jpegtran's
// outcome and its own words, exiv2's reading of orientations and dates), the time a tool may
// take, the checks before a photo is replaced, and the duration text; the real tools on photos
// made in a sandbox, through their standard input and output as the chain runs them.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTransform>
#include <QtTest>

#include "craftedphotos.h"
#include "engine/replacementchecks.h"
#include "files/filestatus.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"
#include "jpeg/orientationvalues.h"
#include "presentation/durationtext.h"
#include "presentation/messagetext.h"
#include "presentation/photowording.h"
#include "testphotos.h"
#include "tools/toolcommands.h"

Q_DECLARE_METATYPE(CraftedPhotos::Recipe)
Q_DECLARE_METATYPE(FileStatus)

namespace {

const Turn allTransforms[] = {
    Turn::FlipHorizontal, Turn::Rotate180,  Turn::FlipVertical, Turn::Transpose,
    Turn::Rotate90,       Turn::Transverse, Turn::Rotate270,
};

// The structure of a small file for argument building: only the fields the options read.
JpegStructure structureWith(int sofMarker, int restartInterval, int tableCount,
                            bool standardTables) {
    JpegStructure structure;
    structure.frame.marker = sofMarker;
    structure.frame.width = 1200;
    structure.frame.height = 800;
    structure.frame.components = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
    structure.restartInterval = restartInterval;
    structure.huffmanTableCount = tableCount;
    structure.standardHuffmanTables = standardTables;
    return structure;
}

// jpegtran on `input` through its standard input; its standard output in `output` (or into
// `outputFile` when given), its error stream returned.
QString runJpegtran(const QStringList &arguments, const QByteArray &input, int *exitCode,
                    QByteArray *output = nullptr, const QString &outputFile = QString()) {
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start("jpegtran", arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    *exitCode = process.exitCode();
    if (output)
        *output = process.readAllStandardOutput();
    return QString::fromLocal8Bit(process.readAllStandardError());
}

// A photo's and its folder's status for the checks before a replacement: owned by user 1000,
// group 100, one name, a small size.
FileStatus statusWith(uint mode, uint owner = 1000, uint group = 100) {
    FileStatus status;
    status.mode = mode;
    status.owner = owner;
    status.group = group;
    status.links = 1;
    status.size = 1000;
    return status;
}

} // namespace

class ToolsTest : public QObject {
    Q_OBJECT

private slots:
    void jpegtranArguments_data();
    void jpegtranArguments();
    void exiv2Arguments();
    void transformArguments();
    void codingArguments_data();
    void codingArguments();
    void fullArgumentList();
    void realJpegtranKeepsCodingAndTurns_data();
    void realJpegtranKeepsCodingAndTurns();
    void jpegtranOutcome_data();
    void jpegtranOutcome();
    void realJpegtranFailures_data();
    void realJpegtranFailures();
    void jpegtranMessage_data();
    void jpegtranMessage();
    void realExiv2ReadsOrientationsAndDates_data();
    void realExiv2ReadsOrientationsAndDates();
    void exiv2Reading_data();
    void exiv2Reading();
    void toolTimeout_data();
    void toolTimeout();
    void locateTool();
    void toolOutputShowsLiterally();
    void outputNamesThePhoto();
    void durationText_data();
    void durationText();
    void obstaclesBeforeReplacing_data();
    void obstaclesBeforeReplacing();
};

void ToolsTest::jpegtranArguments_data() {
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<int>("angle");
    QTest::addColumn<QStringList>("expected");

    // No file name: the picture comes on the standard input and goes on the standard output.
    QTest::newRow("plain") << false << false << 90
                           << QStringList{"-v", "-rotate", "90", "-copy", "all"};
    QTest::newRow("perfect") << true << false << 180
                             << QStringList{"-v", "-rotate", "180", "-copy", "all", "-perfect"};
    QTest::newRow("trim") << false << true << 270
                          << QStringList{"-v", "-rotate", "270", "-copy", "all", "-trim"};
    QTest::newRow("both") << true << true << 90 << QStringList{"-v",  "-rotate",  "90",   "-copy",
                                                               "all", "-perfect", "-trim"};
}

void ToolsTest::jpegtranArguments() {
    QFETCH(bool, perfect);
    QFETCH(bool, trim);
    QFETCH(int, angle);
    QFETCH(QStringList, expected);
    // A plain baseline photo with the standard tables asks for no coding options.
    QCOMPARE(::jpegtranArguments(turnForAngle(angle), JpegStructure(), perfect, trim), expected);
}

// exiv2 only reads: every orientation tag, and the two dates "exiv2 -T" chooses from.
void ToolsTest::exiv2Arguments() {
    const QString path = "/proc/12/fd/7/.a b.jpg.pivotta-1.tmp";
    const QStringList orientations{"-K", "Exif.Image.Orientation",
                                   "-K", "Exif.Thumbnail.Orientation",
                                   "-K", "Xmp.tiff.Orientation"};
    const QStringList start{"-v", "-Pkv"};
    const QStringList dates{"-K", "Exif.Photo.DateTimeOriginal", "-K", "Exif.Image.DateTime"};
    const QStringList end{"pr", path};
    QCOMPARE(exiv2ReadingArguments(path, false), start + orientations + end);
    QCOMPARE(exiv2ReadingArguments(path, true), start + orientations + dates + end);
}

void ToolsTest::transformArguments() {
    const QList<QStringList> expected = {
        {"-flip", "horizontal"}, {"-rotate", "180"}, {"-flip", "vertical"}, {"-transpose"},
        {"-rotate", "90"},       {"-transverse"},    {"-rotate", "270"},
    };
    for (int orientation = 2; orientation <= 8; ++orientation) {
        const Turn transform = turnForOrientation(orientation);
        QVERIFY(transform != Turn::None);
        QCOMPARE(jpegtranTransformArguments(transform), expected[orientation - 2]);
    }
    QCOMPARE(turnForOrientation(1), Turn::None);
    QCOMPARE(turnForOrientation(0), Turn::None);
    QCOMPARE(turnForOrientation(9), Turn::None);
    QCOMPARE(turnForAngle(90), Turn::Rotate90);
    QCOMPARE(turnForAngle(270), Turn::Rotate270);
    QCOMPARE(turnForAngle(45), Turn::None);
}

void ToolsTest::codingArguments_data() {
    QTest::addColumn<int>("sofMarker");
    QTest::addColumn<int>("restartInterval");
    QTest::addColumn<int>("tableCount");
    QTest::addColumn<bool>("standardTables");
    QTest::addColumn<QStringList>("expected");

    // 1200 pixels with 16-pixel blocks: 75 blocks a row.
    QTest::newRow("baseline, standard tables") << 0xC0 << 0 << 4 << true << QStringList();
    QTest::newRow("baseline, optimised tables") << 0xC0 << 0 << 4 << false << QStringList();
    QTest::newRow("progressive") << 0xC2 << 0 << 9 << false << QStringList{"-progressive"};
    QTest::newRow("arithmetic") << 0xC9 << 0 << 0 << false << QStringList{"-arithmetic"};
    QTest::newRow("progressive arithmetic")
        << 0xCA << 0 << 0 << false << QStringList{"-progressive", "-arithmetic"};
    QTest::newRow("restart in rows") << 0xC0 << 150 << 4 << true << QStringList{"-restart", "2"};
    QTest::newRow("restart in blocks") << 0xC0 << 7 << 4 << true << QStringList{"-restart", "7B"};
    QTest::newRow("extended sequential, no tables at all")
        << 0xC1 << 0 << 0 << false << QStringList();
}

void ToolsTest::codingArguments() {
    QFETCH(int, sofMarker);
    QFETCH(int, restartInterval);
    QFETCH(int, tableCount);
    QFETCH(bool, standardTables);
    QFETCH(QStringList, expected);
    QCOMPARE(jpegtranCodingArguments(
                 structureWith(sofMarker, restartInterval, tableCount, standardTables)),
             expected);
}

void ToolsTest::fullArgumentList() {
    const JpegStructure progressive = structureWith(0xC2, 75, 9, false);
    QCOMPARE(::jpegtranArguments(Turn::Transverse, progressive, true, true),
             (QStringList{"-v", "-transverse", "-copy", "all", "-progressive", "-restart", "1",
                          "-perfect", "-trim"}));
    QCOMPARE(::jpegtranArguments(Turn::Rotate90, structureWith(0xC0, 0, 4, true), false, false),
             ::jpegtranArguments(Turn::Rotate90, JpegStructure(), false, false));
    QCOMPARE(jpegtranThumbnailArguments(Turn::FlipVertical),
             (QStringList{"-copy", "none", "-optimize", "-trim", "-flip", "vertical"}));
}

void ToolsTest::realJpegtranKeepsCodingAndTurns_data() {
    QTest::addColumn<CraftedPhotos::Recipe>("recipe");
    CraftedPhotos::Recipe recipe;
    recipe.size = QSize(320, 480);
    QTest::newRow("optimised tables") << recipe;
    recipe.standardTables = true;
    QTest::newRow("standard tables") << recipe;
    recipe.standardTables = false;
    recipe.progressive = true;
    QTest::newRow("progressive") << recipe;
    recipe.restart = "3";
    QTest::newRow("progressive, restart in rows") << recipe;
    recipe.progressive = false;
    recipe.arithmetic = true;
    recipe.restart = "7B";
    QTest::newRow("arithmetic, restart in blocks") << recipe;
    recipe.progressive = true;
    recipe.restart.clear();
    QTest::newRow("progressive arithmetic") << recipe;
}

// Every transform with the options that keep each coding choice: the real jpegtran accepts the
// list, keeps the coding and turns the pixels as the transform says.
void ToolsTest::realJpegtranKeepsCodingAndTurns() {
    QFETCH(CraftedPhotos::Recipe, recipe);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    const JpegStructure original = readJpegStructure(photo);
    QVERIFY2(original.isComplete(), qPrintable(original.problem));
    const QImage originalPixels = TestPhotos::storedPixels(photo);
    const QByteArray input = TestPhotos::fileBytes(photo);
    for (Turn transform : allTransforms) {
        const QString out = dir.filePath("out.jpg");
        int exitCode = -1;
        QByteArray turned;
        const QString output = runJpegtran(::jpegtranArguments(transform, original, false, true),
                                           input, &exitCode, &turned);
        QVERIFY2(exitCode == 0, qPrintable(output));
        QFile written(out);
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(turned) == turned.size());
        written.close();
        const JpegStructure result = readJpegStructure(out);
        QVERIFY2(result.isComplete(), qPrintable(result.problem));
        QCOMPARE(jpegtranCodingArguments(result), jpegtranCodingArguments(original));
        const ResultCheck check = checkTurnedResult(original, result, transform, true);
        QVERIFY2(check.verdict == ResultVerdict::Sound, qPrintable(check.reason));
        const double difference = TestPhotos::meanDifference(
            TestPhotos::storedPixels(out), TestPhotos::turnedImage(originalPixels, transform));
        QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    }
}

void ToolsTest::jpegtranOutcome_data() {
    QTest::addColumn<bool>("normalExit");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("outcome");

    const auto row = [](const char *name, bool normalExit, int exitCode, const char *output,
                        JpegtranOutcome outcome) {
        QTest::newRow(name) << normalExit << exitCode << QString(output) << int(outcome);
    };
    // The texts are libjpeg-turbo 2.1.5's jpegtran's own.
    row("success", true, 0, "libjpeg-turbo version 2.1.5", JpegtranOutcome::Success);
    row("damaged data", true, 2, "Corrupt JPEG data: premature end of data segment",
        JpegtranOutcome::Warning);
    row("extraneous bytes", true, 2, "Corrupt JPEG data: 2 extraneous bytes before marker 0xd9",
        JpegtranOutcome::Warning);
    row("truncated", true, 2, "Premature end of JPEG file", JpegtranOutcome::Truncated);
    row("not perfect", true, 1, "jpegtran: transformation is not perfect",
        JpegtranOutcome::NotPerfect);
    row("disk full", true, 1, "Output file write error --- out of disk space?",
        JpegtranOutcome::DiskFull);
    row("disk full, C library text", true, 1, "jpegtran: No space left on device",
        JpegtranOutcome::DiskFull);
    row("lossless", true, 1, "Unsupported JPEG process: SOF type 0xc3",
        JpegtranOutcome::UnsupportedType);
    row("hierarchical", true, 1, "Unsupported JPEG process: SOF type 0xc5",
        JpegtranOutcome::UnsupportedType);
    row("12-bit", true, 1, "Unsupported JPEG data precision 12", JpegtranOutcome::UnsupportedType);
    row("not a JPEG", true, 1, "Not a JPEG file: starts with 0x68 0x65", JpegtranOutcome::Failed);
    row("crash", false, 0, "", JpegtranOutcome::Crashed);
}

void ToolsTest::jpegtranOutcome() {
    QFETCH(bool, normalExit);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(int, outcome);
    const auto found = ::jpegtranOutcome(normalExit, exitCode, output);
    QCOMPARE(int(found), outcome);
    QCOMPARE(jpegtranOutcomeText(found).isEmpty(), found == JpegtranOutcome::Success);
}

void ToolsTest::realJpegtranFailures_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("outcome");
    QTest::newRow("lossless frame") << "sof3" << int(JpegtranOutcome::UnsupportedType);
    QTest::newRow("hierarchical frame") << "sof5" << int(JpegtranOutcome::UnsupportedType);
    QTest::newRow("12-bit") << "precision12" << int(JpegtranOutcome::UnsupportedType);
    QTest::newRow("cut in half") << "truncated" << int(JpegtranOutcome::Truncated);
    QTest::newRow("restart marker in the data") << "corrupt" << int(JpegtranOutcome::Warning);
#ifdef Q_OS_LINUX
    // Every write to /dev/full fails as on a full disk.
    QTest::newRow("disk full") << "devfull" << int(JpegtranOutcome::DiskFull);
#endif
}

// The real jpegtran made to fail each way; its messages land in the right class.
void ToolsTest::realJpegtranFailures() {
    QFETCH(QString, damage);
    QFETCH(int, outcome);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.size = QSize(320, 480);
    QVERIFY(CraftedPhotos::makePhoto(recipe, photo));
    QByteArray bytes = TestPhotos::fileBytes(photo);
    const int frame = bytes.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    const int scan = bytes.indexOf("\xFF\xDA");
    if (damage == "sof3")
        bytes[frame + 1] = char(0xC3);
    else if (damage == "sof5")
        bytes[frame + 1] = char(0xC5);
    else if (damage == "precision12")
        bytes[frame + 4] = char(12);
    else if (damage == "truncated")
        bytes.truncate(scan + (bytes.size() - scan) / 2);
    else if (damage == "corrupt")
        bytes.replace(scan + 2000, 4, QByteArray("\xFF\xD3\xFF\xD5", 4));
    const QString out = damage == "devfull" ? QString("/dev/full") : dir.filePath("out.jpg");

    int exitCode = -1;
    const QString output =
        runJpegtran(::jpegtranArguments(Turn::Rotate90, parseJpegStructure(bytes), false, false),
                    bytes, &exitCode, nullptr, out);
    QCOMPARE(int(::jpegtranOutcome(true, exitCode, output)), outcome);
    // Its own words are quoted, never its banner or the trace "-v" adds.
    const QString message = ::jpegtranMessage(output);
    QVERIFY2(!message.isEmpty(), qPrintable(output));
    for (const char *banner : {"libjpeg-turbo", "Copyright", "Emulating", "Start of", "Define"})
        QVERIFY2(!message.contains(banner), qPrintable(message));
}

void ToolsTest::jpegtranMessage_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");

    // What libjpeg-turbo 2.1.5's jpegtran -v writes before and around its words.
    const QString banner = "libjpeg-turbo version 2.1.5 (build 20230203)\n"
                           "Copyright (C) 2009-2023 D. R. Commander\n"
                           "Copyright (C) 1991-2020 Thomas G. Lane, Guido Vollbeding\n\n"
                           "Emulating The Independent JPEG Group's software, version 6b  "
                           "27-Mar-1998\n\n";
    const QString trace = "Start of Image\nJFIF APP0 marker: version 1.01, density 72x72  1\n"
                          "Miscellaneous marker 0xe1, length 96\n"
                          "Define Quantization Table 0  precision 0\n"
                          "Start Of Frame 0xc0: width=1200, height=1800, components=3\n"
                          "    Component 1: 2hx2v q=0\nDefine Huffman Table 0x00\n"
                          "Start Of Scan: 3 components\n    Component 1: dc=0 ac=0\n"
                          "  Ss=0, Se=63, Ah=0, Al=0\n";
    QTest::newRow("a warning amid the trace")
        << banner + trace + "Premature end of JPEG file\nEnd Of Image\n"
        << "Premature end of JPEG file";
    QTest::newRow("an error after the banner")
        << banner + "Not a JPEG file: starts with 0x67 0x61\n"
        << "Not a JPEG file: starts with 0x67 0x61";
    QTest::newRow("jpegtran's own prefix") << banner + "jpegtran: transformation is not perfect\n"
                                           << "transformation is not perfect";
    QTest::newRow("the first of several warnings")
        << banner + trace +
               "Corrupt JPEG data: bad Huffman code\nRST3\n"
               "Corrupt JPEG data: premature end of data segment\n"
        << "Corrupt JPEG data: bad Huffman code";
    QTest::newRow("only the banner") << banner << QString();
}

void ToolsTest::jpegtranMessage() {
    QFETCH(QString, output);
    QFETCH(QString, message);
    QCOMPARE(::jpegtranMessage(output), message);
}

void ToolsTest::realExiv2ReadsOrientationsAndDates_data() {
    QTest::addColumn<int>("xmpOrientation");
    QTest::addColumn<bool>("elementForm");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QStringList>("dates"); // exiv2 -M commands that set dates
    QTest::addColumn<QString>("notUpright");
    QTest::addColumn<QString>("exifDate");

    const QString original = "set Exif.Photo.DateTimeOriginal Ascii 2020:01:02 03:04:05";
    const QString changed = "set Exif.Image.DateTime Ascii 2021:05:06 07:08:09";
    QTest::newRow("EXIF only, no date")
        << 0 << false << false << QStringList() << "Exif.Image.Orientation 6" << QString();
    QTest::newRow("XMP attribute, both dates")
        << 6 << false << false << QStringList{original, changed} << "Exif.Image.Orientation 6"
        << "2020:01:02 03:04:05";
    QTest::newRow("XMP element, the file's date only")
        << 8 << true << false << QStringList{changed} << "Exif.Image.Orientation 6"
        << "2021:05:06 07:08:09";
    QTest::newRow("thumbnail") << 0 << false << true << QStringList() << "Exif.Image.Orientation 6"
                               << QString();
}

// The real exiv2 on a photo tagged 6: each orientation it knows, and the date "exiv2 -T" would
// take. Once every value is set to 1 in place, it reads them all as upright.
void ToolsTest::realExiv2ReadsOrientationsAndDates() {
    QFETCH(int, xmpOrientation);
    QFETCH(bool, elementForm);
    QFETCH(bool, thumbnail);
    QFETCH(QStringList, dates);
    QFETCH(QString, notUpright);
    QFETCH(QString, exifDate);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.size = QSize(320, 480);
    recipe.xmpOrientation = xmpOrientation;
    recipe.xmpElementForm = elementForm;
    recipe.thumbnail = thumbnail;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    for (const QString &date : std::as_const(dates))
        QVERIFY(CraftedPhotos::run("exiv2", {"-M", date, photo}));
    if (thumbnail)
        QVERIFY(
            CraftedPhotos::run("exiv2", {"-M", "set Exif.Thumbnail.Orientation Short 6", photo}));
    const auto read = [&photo] {
        QProcess exiv2;
        exiv2.start("exiv2", exiv2ReadingArguments(photo, true));
        exiv2.waitForFinished(30000);
        return readExiv2Reading(exiv2.exitStatus() == QProcess::NormalExit, exiv2.exitCode(),
                                QString::fromUtf8(exiv2.readAllStandardOutput()),
                                QString::fromUtf8(exiv2.readAllStandardError()));
    };

    Exiv2Reading reading = read();
    QVERIFY(reading.read);
    QCOMPARE(reading.orientationNotUpright(false), notUpright);
    QCOMPARE(reading.has("Xmp.tiff.Orientation"), xmpOrientation != 0);
    QCOMPARE(reading.has("Exif.Thumbnail.Orientation"), thumbnail);
    QCOMPARE(reading.exifDate(), exifDate);

    QByteArray bytes = TestPhotos::fileBytes(photo);
    const OrientationEdits edits = setOrientationInPlace(bytes);
    QVERIFY(edits.count(OrientationEdit::Set) >= 1);
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    reading = read();
    QCOMPARE(reading.orientationNotUpright(false), QString());
    QVERIFY(reading.has("Exif.Image.Orientation"));
}

void ToolsTest::exiv2Reading_data() {
    QTest::addColumn<bool>("normalExit");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("standardOutput");
    QTest::addColumn<QString>("standardError");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("notUpright"); // the thumbnail's own left out
    QTest::addColumn<QString>("exifDate");

    const QString file = "File 1/1: /p/a.jpg\n";
    QTest::newRow("all upright, both dates")
        << true << 0
        << file + "Exif.Image.Orientation                       1\n"
                  "Exif.Thumbnail.Orientation                   6\n"
                  "Xmp.tiff.Orientation                         1\n"
                  "Exif.Photo.DateTimeOriginal                  2020:01:02 03:04:05\n"
                  "Exif.Image.DateTime                          2021:01:01 00:00:00\n"
        << QString() << true << QString() << "2020:01:02 03:04:05";
    QTest::newRow("a second IFD0 entry left")
        << true << 0
        << file + "Exif.Image.Orientation 1\nExif.Image.Orientation 6\n"
                  "Exif.Image.DateTime 2021:01:01 00:00:00\n"
        << QString() << true << "Exif.Image.Orientation 6"
        << "2021:01:01 00:00:00";
    QTest::newRow("XMP left") << true << 0 << file + "Xmp.tiff.Orientation 3\n"
                              << QString() << true << "Xmp.tiff.Orientation 3" << QString();
    // exiv2 exits with 1 when none of the tags is there, and notes what the file does not hold.
    QTest::newRow("no tags at all")
        << true << 1 << file << QString() << true << QString() << QString();
    QTest::newRow("no metadata at all")
        << true << 1 << file
        << "/p/a.jpg: No Exif data found in the file\n/p/a.jpg: No IPTC data found in the file\n"
           "/p/a.jpg: No XMP data found in the file\n"
        << true << QString() << QString();
    QTest::newRow("unreadable file") << true << 1 << file
                                     << "Exiv2 exception in print action for file /p/a.jpg:\n"
                                        "Failed to read input data\n"
                                     << false << QString() << QString();
    QTest::newRow("failed") << true << 255 << QString() << "/p/a.jpg: Failed to open the file\n"
                            << false << QString() << QString();
    QTest::newRow("crashed") << false << 0 << QString() << QString() << false << QString()
                             << QString();
}

void ToolsTest::exiv2Reading() {
    QFETCH(bool, normalExit);
    QFETCH(int, exitCode);
    QFETCH(QString, standardOutput);
    QFETCH(QString, standardError);
    QFETCH(bool, read);
    QFETCH(QString, notUpright);
    QFETCH(QString, exifDate);
    const Exiv2Reading reading =
        readExiv2Reading(normalExit, exitCode, standardOutput, standardError);
    QCOMPARE(reading.read, read);
    QCOMPARE(reading.orientationNotUpright(true), notUpright);
    QCOMPARE(reading.exifDate(), exifDate);
}

void ToolsTest::toolTimeout_data() {
    QTest::addColumn<qint64>("pixels");
    QTest::addColumn<int>("toolsAtOnce");
    QTest::addColumn<int>("cores");
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("12 megapixels: the floor") << qint64(12000000) << 2 << 2 << 30000;
    QTest::newRow("thumbnail: the floor") << qint64(19200) << 1 << 8 << 30000;
    QTest::newRow("300 megapixels alone") << qint64(300000000) << 1 << 2 << 75000;
    QTest::newRow("300 megapixels, 4 tools on 2 cores") << qint64(300000000) << 4 << 2 << 150000;
    QTest::newRow("300 megapixels, fewer tools than cores") << qint64(300000000) << 2 << 8 << 75000;
}

void ToolsTest::toolTimeout() {
    QFETCH(qint64, pixels);
    QFETCH(int, toolsAtOnce);
    QFETCH(int, cores);
    QFETCH(int, timeoutMs);
    QCOMPARE(toolTimeoutMs(pixels, toolsAtOnce, cores, 30000), timeoutMs);
}

void ToolsTest::locateTool() {
    QTemporaryDir applicationDir;
    QTemporaryDir overrideDir;
    const QString name = toolFileName("jpegtran");
    const QString besideApplication = QDir::toNativeSeparators(applicationDir.path() + "/" + name);

    // The override folder is the only one searched, even when the tool is not there.
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), overrideDir.path()),
             QDir::toNativeSeparators(overrideDir.path() + "/" + name));

    QFile tool(besideApplication);
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.close();
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), besideApplication);
    QVERIFY(QFile::remove(besideApplication));

#ifdef Q_OS_WIN
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), besideApplication);
#else
    const QString onPath = QStandardPaths::findExecutable("jpegtran");
    if (onPath.isEmpty())
        QSKIP("jpegtran is not installed on the PATH");
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), onPath);
    // Found nowhere: the application's folder, so that the message names a real place.
    QCOMPARE(::locateTool("no-such-tool-pivotta", applicationDir.path(), QString()),
             QDir::toNativeSeparators(applicationDir.path() + "/no-such-tool-pivotta"));
#endif
}

void ToolsTest::toolOutputShowsLiterally() {
    const QString html = toolOutputHtml("a <b>x</b>\nb", "can't open 'c&d.jpg'\n", "#333");
    QTextDocument document;
    document.setHtml(html);
    const QString shown = document.toPlainText();
    QVERIFY2(shown.startsWith("a <b>x</b>\nb"), qPrintable(shown));
    QVERIFY2(shown.contains("can't open 'c&d.jpg'"), qPrintable(shown));
    QVERIFY(Qt::mightBeRichText(html));
    QVERIFY(Qt::mightBeRichText(plainTextAsHtml("a & b")));
}

void ToolsTest::outputNamesThePhoto() {
    const QString work = "/p/.a.jpg.pivotta-1234.tmp";
    const QString photo = "/p/a.jpg";
    QCOMPARE(outputNamingPhoto("File 1/1: /p/.a.jpg.pivotta-1234.tmp\nin .a.jpg.pivotta-1234.tmp",
                               work, photo),
             QString("File 1/1: /p/a.jpg\nin a.jpg"));
    QCOMPARE(outputNamingPhoto("nothing to change", work, photo), QString("nothing to change"));
}

void ToolsTest::durationText_data() {
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("expected");

    QTest::newRow("75 s") << qint64(75000) << "took 1 minutes 15 seconds (single-process)";
    QTest::newRow("4.5 s") << qint64(4500) << "took  4.5 seconds (single-process)";
    QTest::newRow("0 s") << qint64(0) << "took  0 seconds (single-process)";
    QTest::newRow("one hour") << qint64(3600000) << "took 60 minutes 0 seconds (single-process)";
}

void ToolsTest::durationText() {
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, expected);
    QCOMPARE(::durationText(elapsedMs, "took %1 minutes %2 seconds (%3)", "took  %2 seconds (%3)",
                            "single-process"),
             expected);
}

void ToolsTest::obstaclesBeforeReplacing_data() {
    QTest::addColumn<FileStatus>("photo");
    QTest::addColumn<FileStatus>("folder");
    QTest::addColumn<uint>("user");
    QTest::addColumn<int>("reason");

    const FileStatus photo = statusWith(0644);
    const FileStatus folder = statusWith(0755);
    const auto none = int(PhotoReason::None);
    QTest::newRow("the owner's photo") << photo << folder << 1000u << none;
    QTest::newRow("read-only photo")
        << statusWith(0444) << folder << 1000u << int(PhotoReason::ReadOnly);
    // Root could write anyway: the missing write bits still count.
    QTest::newRow("read-only photo, root")
        << statusWith(0444) << folder << 0u << int(PhotoReason::ReadOnly);
    QTest::newRow("another's photo, no write for others")
        << statusWith(0644, 2000, 200) << folder << 1000u << int(PhotoReason::ReadOnly);
    QTest::newRow("group-writable photo of the group, owner not givable")
        << statusWith(0664, 2000, 100) << statusWith(0777) << 1000u
        << int(PhotoReason::OwnerNotGivable);
    QTest::newRow("read-only folder")
        << photo << statusWith(0555) << 1000u << int(PhotoReason::FolderReadOnly);
    QTest::newRow("read-only folder, root")
        << photo << statusWith(0555) << 0u << int(PhotoReason::FolderReadOnly);
    QTest::newRow("folder writable but not enterable")
        << photo << statusWith(0666) << 1000u << int(PhotoReason::FolderReadOnly);
    FileStatus linked = photo;
    linked.links = 2;
    QTest::newRow("hard links") << linked << folder << 1000u << int(PhotoReason::HardLinks);
    QTest::newRow("another owner, root gives it")
        << statusWith(0644, 2000, 200) << folder << 0u << none;
    FileStatus huge = photo;
    huge.size = maxJpegFileSize + 1;
    QTest::newRow("larger than any photo") << huge << folder << 1000u << int(PhotoReason::TooLarge);
}

// Tests run as root in CI, where permission bits do not stop writing: the checks must still see a
// read-only photo or folder.
void ToolsTest::obstaclesBeforeReplacing() {
    QFETCH(FileStatus, photo);
    QFETCH(FileStatus, folder);
    QFETCH(uint, user);
    QFETCH(int, reason);
    UserIds ids;
    ids.user = user;
    ids.groups = {100};
    const PhotoReason found = replacementObstacle(photo, folder, ids);
    QCOMPARE(int(found.kind), reason);
    if (found.kind == PhotoReason::HardLinks)
        QCOMPARE(found.count, 2);
    if (found.kind == PhotoReason::OwnerNotGivable)
        QVERIFY(!found.owner.isEmpty());
    ids.permissionBitsApply = false; // Windows: only the names and the size count
    QCOMPARE(replacementObstacle(photo, folder, ids).kind == PhotoReason::None,
             found.kind != PhotoReason::HardLinks && found.kind != PhotoReason::TooLarge);
}

QTEST_MAIN(ToolsTest)
#include "tst_tools.moc"

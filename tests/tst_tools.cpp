// The engine's pure pieces: tool location, argument lists, reading tool results, the duration
// text, and the temporary-file-and-rename step on real files in a sandbox.
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
#include "engine/jpegstructure.h"
#include "engine/losslessturn.h"
#include "engine/safereplace.h"
#include "engine/tools.h"
#include "presentation/durationtext.h"
#include "presentation/messagetext.h"
#include "presentation/photowording.h"
#include "testphotos.h"

Q_DECLARE_METATYPE(CraftedPhotos::Recipe)

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

QString runJpegtran(const QStringList &arguments, int *exitCode) {
    QProcess process;
    process.start("jpegtran", arguments);
    process.waitForFinished(30000);
    *exitCode = process.exitCode();
    return QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
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
    void realExiv2ResetsXmpOrientationInOneRun_data();
    void realExiv2ResetsXmpOrientationInOneRun();
    void locateTool();
    void noExifDate_data();
    void noExifDate();
    void toolOutputShowsLiterally();
    void outputNamesThePhoto();
    void durationText_data();
    void durationText();
    void siblingTempNameIsNeverAPhoto();
    void replaceKeepsPermissionsAndLeavesNothing();
    void replaceFailureChangesNothing();
    void writableChecksCountPermissionBits();
};

void ToolsTest::jpegtranArguments_data() {
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<int>("angle");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("plain") << false << false << 90 << QStringList{"-v",  "-rotate",  "90",  "-copy",
                                                                  "all", "-outfile", "out", "in"};
    QTest::newRow("perfect") << true << false << 180
                             << QStringList{"-v",       "-rotate",  "180", "-copy", "all",
                                            "-perfect", "-outfile", "out", "in"};
    QTest::newRow("trim") << false << true << 270
                          << QStringList{"-v",    "-rotate",  "270", "-copy", "all",
                                         "-trim", "-outfile", "out", "in"};
    QTest::newRow("both") << true << true << 90
                          << QStringList{"-v",       "-rotate", "90",       "-copy", "all",
                                         "-perfect", "-trim",   "-outfile", "out",   "in"};
}

void ToolsTest::jpegtranArguments() {
    QFETCH(bool, perfect);
    QFETCH(bool, trim);
    QFETCH(int, angle);
    QFETCH(QStringList, expected);
    // A plain baseline photo with the standard tables asks for no coding options.
    QCOMPARE(jpegtranArgumentList("in", "out", turnForAngle(angle), JpegStructure(), perfect, trim),
             expected);
}

void ToolsTest::exiv2Arguments() {
    const QString path = QDir::toNativeSeparators("/photos/a b.jpg");
    QCOMPARE(exiv2OrientationResetArguments("/photos/a b.jpg"),
             (QStringList{"-v", "-k", "-M", "set Exif.Image.Orientation Short 1", path}));
    QCOMPARE(exiv2TimeFromExifArguments("/photos/a b.jpg"), (QStringList{"-T", "-v", path}));
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
    QCOMPARE(jpegtranArgumentList("in", "out", Turn::Transverse, progressive, true, true),
             (QStringList{"-v", "-transverse", "-copy", "all", "-progressive", "-restart", "1",
                          "-perfect", "-trim", "-outfile", "out", "in"}));
    QCOMPARE(jpegtranArgumentList("in", "out", Turn::Rotate90, structureWith(0xC0, 0, 4, true),
                                  false, false),
             jpegtranArgumentList("in", "out", Turn::Rotate90, JpegStructure(), false, false));
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
    for (Turn transform : allTransforms) {
        const QString out = dir.filePath("out.jpg");
        int exitCode = -1;
        const QString output = runJpegtran(
            jpegtranArgumentList(photo, out, transform, original, false, true), &exitCode);
        QVERIFY2(exitCode == 0, qPrintable(output));
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
    QTest::addColumn<bool>("inputExists");
    QTest::addColumn<bool>("inputReadable");
    QTest::addColumn<int>("outcome");

    const auto row = [](const char *name, bool normalExit, int exitCode, const char *output,
                        bool exists, bool readable, JpegtranOutcome outcome) {
        QTest::newRow(name) << normalExit << exitCode << QString(output) << exists << readable
                            << int(outcome);
    };
    // The texts are libjpeg-turbo 2.1.5's jpegtran's own.
    row("success", true, 0, "libjpeg-turbo version 2.1.5", true, true, JpegtranOutcome::Success);
    row("damaged data", true, 2, "Corrupt JPEG data: premature end of data segment", true, true,
        JpegtranOutcome::Warning);
    row("extraneous bytes", true, 2, "Corrupt JPEG data: 2 extraneous bytes before marker 0xd9",
        true, true, JpegtranOutcome::Warning);
    row("truncated", true, 2, "Premature end of JPEG file", true, true, JpegtranOutcome::Truncated);
    row("not perfect", true, 1, "jpegtran: transformation is not perfect", true, true,
        JpegtranOutcome::NotPerfect);
    row("disk full", true, 1, "Output file write error --- out of disk space?", true, true,
        JpegtranOutcome::DiskFull);
    row("disk full, C library text", true, 1, "jpegtran: out.jpg: No space left on device", true,
        true, JpegtranOutcome::DiskFull);
    row("photo gone", true, 1, "jpegtran: can't open /p/a.jpg for reading", false, false,
        JpegtranOutcome::PhotoGone);
    row("photo unreadable", true, 1, "jpegtran: can't open /p/a.jpg for reading", true, false,
        JpegtranOutcome::PhotoUnreadable);
    row("name jpegtran cannot open", true, 1, "jpegtran: can't open /p/\xe9.jpg for reading", true,
        true, JpegtranOutcome::CannotOpenName);
    row("output not opened", true, 1, "jpegtran: can't open /p/.a.tmp for writing", true, true,
        JpegtranOutcome::OutputNotOpened);
    row("lossless", true, 1, "Unsupported JPEG process: SOF type 0xc3", true, true,
        JpegtranOutcome::UnsupportedType);
    row("hierarchical", true, 1, "Unsupported JPEG process: SOF type 0xc5", true, true,
        JpegtranOutcome::UnsupportedType);
    row("12-bit", true, 1, "Unsupported JPEG data precision 12", true, true,
        JpegtranOutcome::UnsupportedType);
    row("not a JPEG", true, 1, "Not a JPEG file: starts with 0x68 0x65", true, true,
        JpegtranOutcome::Failed);
    row("crash", false, 0, "", true, true, JpegtranOutcome::Crashed);
}

void ToolsTest::jpegtranOutcome() {
    QFETCH(bool, normalExit);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(bool, inputExists);
    QFETCH(bool, inputReadable);
    QFETCH(int, outcome);
    const auto found = ::jpegtranOutcome(normalExit, exitCode, output, inputExists, inputReadable);
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
    QTest::newRow("photo gone") << "missing" << int(JpegtranOutcome::PhotoGone);
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
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    if (damage == "missing")
        QVERIFY(QFile::remove(photo));
    const QString out = damage == "devfull" ? QString("/dev/full") : dir.filePath("out.jpg");

    int exitCode = -1;
    const QString output = runJpegtran(
        jpegtranArgumentList(photo, out, Turn::Rotate90, parseJpegStructure(bytes), false, false),
        &exitCode);
    const QFileInfo input(photo);
    QCOMPARE(int(::jpegtranOutcome(true, exitCode, output, input.exists(), input.isReadable())),
             outcome);
}

void ToolsTest::realExiv2ResetsXmpOrientationInOneRun_data() {
    QTest::addColumn<int>("xmpOrientation");
    QTest::addColumn<bool>("elementForm");
    QTest::newRow("no XMP") << 0 << false;
    QTest::newRow("attribute form") << 6 << false;
    QTest::newRow("element form") << 8 << true;
}

void ToolsTest::realExiv2ResetsXmpOrientationInOneRun() {
    QFETCH(int, xmpOrientation);
    QFETCH(bool, elementForm);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.size = QSize(320, 480);
    recipe.xmpOrientation = xmpOrientation;
    recipe.xmpElementForm = elementForm;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    const JpegStructure before = readJpegStructure(photo);
    QCOMPARE(before.xmpOrientation, xmpOrientation);

    QString output;
    QVERIFY2(CraftedPhotos::run("exiv2",
                                exiv2OrientationResetArguments(photo, before.xmpOrientation != 0),
                                &output),
             qPrintable(output));
    const JpegStructure after = readJpegStructure(photo);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    QCOMPARE(TestPhotos::storedOrientation(photo), 1);
    QCOMPARE(after.xmpSegment.isEmpty(), xmpOrientation == 0);
    QCOMPARE(after.xmpOrientation, xmpOrientation == 0 ? 0 : 1);
    QVERIFY(CraftedPhotos::run("exiv2", {"-pX", photo}, &output));
    QCOMPARE(output.contains("Orientation"), xmpOrientation != 0);
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

void ToolsTest::noExifDate_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("noDate");

    QTest::newRow("exiv2 0.27") << "File 1/1: t.jpg\nNeither tag `Exif.Photo.DateTimeOriginal' "
                                   "nor `Exif.Image.DateTime' found in the file t.jpg\n"
                                << true;
    QTest::newRow("older exiv2") << "t.jpg: Image file contains no Exif timestamp" << true;
    QTest::newRow("time set") << "File 1/1: t.jpg\nUpdating timestamp to 2020:01:02 03:04:05"
                              << false;
    QTest::newRow("file missing") << "t.jpg: Failed to open the file" << false;
}

void ToolsTest::noExifDate() {
    QFETCH(QString, output);
    QFETCH(bool, noDate);
    QCOMPARE(exiv2ReportsNoExifDate(output), noDate);
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

void ToolsTest::siblingTempNameIsNeverAPhoto() {
    const QString photo = "/photos/holiday/IMG 1.JPG";
    const QString first = siblingTempPath(photo);
    QCOMPARE(QFileInfo(first).absolutePath(), QString("/photos/holiday"));
    QVERIFY(first != siblingTempPath(photo));
    const QStringList filters{"*.jpg", "*.jpeg", "*.jfif", "*.jpe"};
    for (const QString &name :
         {QFileInfo(first).fileName(), QFileInfo(siblingTempPath("/p/X.JPEG")).fileName(),
          QFileInfo(siblingTempPath("/p/" + QString(300, 'a') + ".jpg")).fileName()}) {
        QVERIFY2(!QDir::match(filters, name), qPrintable(name));
        QVERIFY2(!QDir::match(filters, name.toUpper()), qPrintable(name));
        QVERIFY2(name.size() < 255, qPrintable(name));
    }
}

void ToolsTest::replaceKeepsPermissionsAndLeavesNothing() {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.jpg");
    const QString replacement = siblingTempPath(target);
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const auto permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, permissions));
    QFile fresh(replacement);
    QVERIFY(fresh.open(QIODevice::WriteOnly));
    fresh.write("new");
    fresh.close();

    const ReplaceOutcome outcome =
        replacePhotoKeepingIdentity(replacement, target, fileStateOf(target));
    QVERIFY2(outcome.result == ReplaceResult::Replaced, qPrintable(outcome.errorText));
    QFile result(target);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("new"));
#ifndef Q_OS_WIN
    QCOMPARE(QFileInfo(target).permissions() &
                 (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                  QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                  QFileDevice::WriteOther),
             permissions);
#endif
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.jpg"});
}

void ToolsTest::replaceFailureChangesNothing() {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.jpg");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    const ReplaceOutcome outcome =
        replacePhotoKeepingIdentity(dir.filePath(".missing.tmp"), target, fileStateOf(target));
    QVERIFY(outcome.result != ReplaceResult::Replaced);
    QVERIFY(!outcome.errorText.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

// Tests run as root in CI, where the permission bits do not stop writing; the checks must still
// see a read-only photo or folder.
void ToolsTest::writableChecksCountPermissionBits() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(isWritablePhoto(QFileInfo(photo)));
    QVERIFY(folderAcceptsNewFiles(dir.path()));

    QVERIFY(QFile::setPermissions(photo, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther));
    QVERIFY(!isWritablePhoto(QFileInfo(photo)));
    QVERIFY(!isWritablePhoto(QFileInfo(dir.path())));
    QVERIFY(!isWritablePhoto(QFileInfo(dir.filePath("missing.jpg"))));
#ifndef Q_OS_WIN
    const auto readOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder));
    QVERIFY(!folderAcceptsNewFiles(dir.path()));
    QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder | QFileDevice::WriteOwner));
#endif
}

QTEST_MAIN(ToolsTest)
#include "tst_tools.moc"

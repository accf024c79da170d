// The parts jpegtran does not carry, moved by hand: the EXIF thumbnail turned by the real
// jpegtran and put back (into its slot, or by growing the EXIF segment), the trailing bytes, and
// the multi-picture offsets; each result read back by exiv2 or exiftool.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "craftedphotos.h"
#include "engine/jpegstructure.h"
#include "engine/keptbytes.h"
#include "engine/losslessturn.h"
#include "engine/tools.h"
#include "testphotos.h"

namespace {

// A tool's standard output for the given standard input; empty when it fails.
QByteArray pipeThrough(const QString &program, const QStringList &arguments,
                       const QByteArray &input) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

QImage decoded(const QByteArray &jpeg) {
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

// The photo turned by the real jpegtran into `out`, as the chain does it.
bool turnPhoto(const QString &photo, const QString &out, Turn transform) {
    return CraftedPhotos::run(
        "jpegtran",
        jpegtranArgumentList(photo, out, transform, readJpegStructure(photo), false, true));
}

// A comment segment put right after the start marker makes a valid, larger JPEG.
QByteArray withComment(const QByteArray &jpeg, int length) {
    QByteArray segment("\xFF\xFE", 2);
    segment += char((length + 2) >> 8);
    segment += char((length + 2) & 0xFF);
    segment += QByteArray(length, 'c');
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// The smallest whole JPEG picture the structure walk accepts: a frame, one scan, the end.
QByteArray smallJpeg() {
    return QByteArray::fromHex("FFD8FFC0000B080008000801011100FFDA0008010100003F00"
                               "1234FFD9");
}

} // namespace

class KeptBytesTest : public QObject {
    Q_OBJECT

private slots:
    void thumbnailTurnedInItsSlot_data();
    void thumbnailTurnedInItsSlot();
    void largerThumbnailGrowsTheSegment();
    void largerThumbnailWithDataBehindItIsLeft();
    void trailingBytesFollowTheTurnedImage();
    void multiPictureOffsetsFollowTheImage();
};

void KeptBytesTest::thumbnailTurnedInItsSlot_data() {
    QTest::addColumn<int>("transform");
    QTest::newRow("rotate 90") << int(Turn::Rotate90);
    QTest::newRow("rotate 180") << int(Turn::Rotate180);
    QTest::newRow("rotate 270") << int(Turn::Rotate270);
    QTest::newRow("flip horizontal") << int(Turn::FlipHorizontal);
    QTest::newRow("transpose") << int(Turn::Transpose);
}

void KeptBytesTest::thumbnailTurnedInItsSlot() {
    QFETCH(int, transform);
    const auto turn = Turn(transform);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.thumbnail = true;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QVERIFY(turnPhoto(photo, out, turn));

    const QByteArray thumbnail = readThumbnail(photo, readJpegStructure(photo));
    QVERIFY(!thumbnail.isEmpty());
    const QByteArray turned = pipeThrough("jpegtran", jpegtranThumbnailArguments(turn), thumbnail);
    QVERIFY(!turned.isEmpty());
    const JpegStructure before = readJpegStructure(out);
    QCOMPARE(putBackThumbnail(out, before, turned, &error), ThumbnailPlacement::SameSlot);

    // exiv2 finds the turned thumbnail, the image is untouched, and the picture is turned.
    CraftedPhotos::run("exiv2", {"-f", "-et", out}); // exits with 33 after writing
    QCOMPARE(TestPhotos::fileBytes(dir.filePath("out-thumb.jpg")), turned);
    const JpegStructure after = readJpegStructure(out);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    QCOMPARE(after.imageEnd, before.imageEnd);
    QCOMPARE(after.entropyCodedBytes, before.entropyCodedBytes);
    const double difference = TestPhotos::meanDifference(
        decoded(turned), TestPhotos::turnedImage(decoded(thumbnail), turn));
    QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    QVERIFY(!TestPhotos::storedPixels(out).isNull());
}

void KeptBytesTest::largerThumbnailGrowsTheSegment() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.thumbnail = true;
    recipe.xmpOrientation = 6;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QVERIFY(turnPhoto(photo, out, Turn::Rotate90));
    const JpegStructure before = readJpegStructure(out);
    const QByteArray bytesBefore = TestPhotos::fileBytes(out);
    const QByteArray larger = withComment(readThumbnail(out, before), 700);

    QCOMPARE(putBackThumbnail(out, before, larger, &error), ThumbnailPlacement::GrownSegment);
    const JpegStructure after = readJpegStructure(out);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    const qint64 growth = larger.size() - before.thumbnail.length;
    QCOMPARE(after.fileSize, before.fileSize + growth);
    QCOMPARE(after.xmpOrientation, 6);
    // Everything before the thumbnail but its length fields, and everything after the EXIF
    // segment, is as it was.
    const QByteArray bytesAfter = TestPhotos::fileBytes(out);
    QCOMPARE(bytesAfter.mid(before.exifSegment.end() + growth),
             bytesBefore.mid(before.exifSegment.end()));
    QCOMPARE(bytesAfter.left(before.exifSegment.offset - 2),
             bytesBefore.left(before.exifSegment.offset - 2));
    CraftedPhotos::run("exiv2", {"-f", "-et", out}); // exits with 33 after writing
    QCOMPARE(TestPhotos::fileBytes(dir.filePath("out-thumb.jpg")), larger);
    QString output;
    QVERIFY2(CraftedPhotos::run("exiv2", {"-pa", out}, &output), qPrintable(output));
    QVERIFY(output.contains("Exif.Image.Orientation"));
    QVERIFY(!TestPhotos::storedPixels(out).isNull());
}

// Pure decision: nothing is written when the thumbnail neither fits nor ends the segment.
void KeptBytesTest::largerThumbnailWithDataBehindItIsLeft() {
    JpegStructure structure;
    structure.exifSegment = {100, 5000};
    structure.thumbnail = {1000, 2000};
    structure.thumbnailLengthField = 500;
    structure.thumbnailLengthFieldSize = 4;
    QString error;
    const QByteArray larger = withComment(smallJpeg(), 2001 - smallJpeg().size() - 4);
    QCOMPARE(larger.size(), 2001);
    QCOMPARE(putBackThumbnail("/nonexistent/out.jpg", structure, larger, &error),
             ThumbnailPlacement::NoRoom);
    structure.exifSegment = {100, 2904}; // 4 bytes after the thumbnail: room to grow
    QCOMPARE(putBackThumbnail("/nonexistent/out.jpg", structure, larger, &error),
             ThumbnailPlacement::Failed);
    structure.exifSegment = {100, 65500}; // the segment would grow past 64 KB
    structure.thumbnail = {100 + 65500 - 2000, 2000};
    QCOMPARE(putBackThumbnail("/nonexistent/out.jpg", structure,
                              withComment(smallJpeg(), 2100 - smallJpeg().size() - 4), &error),
             ThumbnailPlacement::NoRoom);
    // A turned thumbnail that is no whole picture never goes in.
    QCOMPARE(putBackThumbnail("/nonexistent/out.jpg", structure, QByteArray(100, 'x'), &error),
             ThumbnailPlacement::Failed);
    QVERIFY(!error.isEmpty());
}

void KeptBytesTest::trailingBytesFollowTheTurnedImage() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.trailerBytes = 102400;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QVERIFY(turnPhoto(photo, out, Turn::Rotate90));
    const JpegStructure original = readJpegStructure(photo);
    QCOMPARE(original.trailingBytes(), qint64(102400));
    // jpegtran drops what follows the image.
    QCOMPARE(readJpegStructure(out).trailingBytes(), qint64(0));

    QVERIFY2(appendTrailingBytes(photo, original, out, &error), qPrintable(error));
    const JpegStructure result = readJpegStructure(out);
    QVERIFY2(result.isComplete(), qPrintable(result.problem));
    QCOMPARE(result.trailingBytes(), qint64(102400));
    QCOMPARE(TestPhotos::fileBytes(out).mid(result.imageEnd),
             CraftedPhotos::trailerPattern(102400));
}

void KeptBytesTest::multiPictureOffsetsFollowTheImage() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.secondPicture = true;
    recipe.trailerBytes = 3000;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    const auto secondPicture = [](const QString &path) {
        QProcess process;
        // exiftool names the second picture of this type "PreviewImage".
        process.start("exiftool", {"-b", "-MPImage2:PreviewImage", path});
        process.waitForFinished(30000);
        return process.readAllStandardOutput();
    };
    const QByteArray expected = secondPicture(photo);
    QVERIFY(expected.startsWith("\xFF\xD8"));

    QVERIFY(turnPhoto(photo, out, Turn::Rotate90));
    const JpegStructure original = readJpegStructure(photo);
    QVERIFY(appendTrailingBytes(photo, original, out, &error));
    const JpegStructure result = readJpegStructure(out);
    QVERIFY(result.imageEnd != original.imageEnd); // the offsets must move
    QVERIFY(secondPicture(out) != expected);
    QVERIFY2(fixMultiPictureOffsets(out, original, result, &error), qPrintable(error));
    QCOMPARE(secondPicture(out), expected);
    QVERIFY(readJpegStructure(out).isComplete());
}

QTEST_MAIN(KeptBytesTest)
#include "tst_keptbytes.moc"

// The EXIF thumbnail turned by the real jpegtran and put back into the turned picture (into its
// slot, or by growing the EXIF segment, or not at all), in memory as the assembly does it; each
// result read back by exiv2. The bytes after the image and the multi-picture index are the
// assembly's (tst_photoassembly, and the whole chain in tst_photochain).
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "craftedphotos.h"
#include "jpeg/exifthumbnail.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"
#include "testphotos.h"
#include "tools/toolcommands.h"

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

QByteArray slice(const QByteArray &bytes, const FileRange &range) {
    return bytes.mid(range.offset, range.length);
}

// The photo turned by the real jpegtran, as the chain does it: on its standard input and output.
QByteArray turnPhoto(const QString &photo, Turn transform) {
    return pipeThrough("jpegtran",
                       jpegtranArguments(transform, readJpegStructure(photo), false, true),
                       TestPhotos::fileBytes(photo));
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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

class ExifThumbnailTest : public QObject {
    Q_OBJECT

private slots:
    void thumbnailTurnedInItsSlot_data();
    void thumbnailTurnedInItsSlot();
    void largerThumbnailGrowsTheSegment();
    void largerThumbnailWithDataBehindItIsLeft();
};

void ExifThumbnailTest::thumbnailTurnedInItsSlot_data() {
    QTest::addColumn<int>("transform");
    QTest::newRow("rotate 90") << int(Turn::Rotate90);
    QTest::newRow("rotate 180") << int(Turn::Rotate180);
    QTest::newRow("rotate 270") << int(Turn::Rotate270);
    QTest::newRow("flip horizontal") << int(Turn::FlipHorizontal);
    QTest::newRow("transpose") << int(Turn::Transpose);
}

void ExifThumbnailTest::thumbnailTurnedInItsSlot() {
    QFETCH(int, transform);
    const auto turn = Turn(transform);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.thumbnail = true;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QByteArray result = turnPhoto(photo, turn);
    QVERIFY(!result.isEmpty());

    const QByteArray thumbnail =
        slice(TestPhotos::fileBytes(photo), readJpegStructure(photo).thumbnail);
    QVERIFY(!thumbnail.isEmpty());
    const QByteArray turned = pipeThrough("jpegtran", jpegtranThumbnailArguments(turn), thumbnail);
    QVERIFY(!turned.isEmpty());
    const JpegStructure before = parseJpegStructure(result);
    QCOMPARE(putBackThumbnail(result, before, turned, &error), ThumbnailPlacement::SameSlot);
    QVERIFY(writeFile(out, result));

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

void ExifThumbnailTest::largerThumbnailGrowsTheSegment() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    const QString out = dir.filePath("out.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.thumbnail = true;
    recipe.xmpOrientation = 6;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    const QByteArray bytesBefore = turnPhoto(photo, Turn::Rotate90);
    const JpegStructure before = parseJpegStructure(bytesBefore);
    const QByteArray larger = withComment(slice(bytesBefore, before.thumbnail), 700);

    QByteArray result = bytesBefore;
    QCOMPARE(putBackThumbnail(result, before, larger, &error), ThumbnailPlacement::GrownSegment);
    QVERIFY(writeFile(out, result));
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
void ExifThumbnailTest::largerThumbnailWithDataBehindItIsLeft() {
    JpegStructure structure;
    structure.exifSegment = {100, 5000};
    structure.thumbnail = {1000, 2000};
    structure.thumbnailLengthField = 500;
    structure.thumbnailLengthFieldSize = 4;
    QString error;
    const QByteArray larger = withComment(smallJpeg(), 2001 - smallJpeg().size() - 4);
    QCOMPARE(larger.size(), 2001);
    const QByteArray picture(6000, 'p');
    QByteArray jpeg = picture;
    QCOMPARE(putBackThumbnail(jpeg, structure, larger, &error), ThumbnailPlacement::NoRoom);
    QCOMPARE(jpeg, picture);
    structure.exifSegment = {100, 2904}; // 4 bytes after the thumbnail: room to grow, but the
                                         // bytes are no picture and do not read back
    QCOMPARE(putBackThumbnail(jpeg, structure, larger, &error), ThumbnailPlacement::Failed);
    QCOMPARE(jpeg, picture);
    structure.exifSegment = {100, 65500}; // the segment would grow past 64 KB
    structure.thumbnail = {100 + 65500 - 2000, 2000};
    QCOMPARE(putBackThumbnail(jpeg, structure,
                              withComment(smallJpeg(), 2100 - smallJpeg().size() - 4), &error),
             ThumbnailPlacement::NoRoom);
    // A turned thumbnail that is no whole picture never goes in.
    QCOMPARE(putBackThumbnail(jpeg, structure, QByteArray(100, 'x'), &error),
             ThumbnailPlacement::Failed);
    QVERIFY(!error.isEmpty());
    QCOMPARE(jpeg, picture);
}

QTEST_MAIN(ExifThumbnailTest)
#include "tst_exifthumbnail.moc"

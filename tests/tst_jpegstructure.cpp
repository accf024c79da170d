// The JPEG structure parser and the lossless-turn geometry: small files built here byte by byte,
// every cut and many damaged copies of them (the sanitized build checks memory safety), photos
// made with the real tools, and jpegtran's real "-trim" and "-perfect" against the predictions.
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "craftedphotos.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"

Q_DECLARE_METATYPE(CraftedPhotos::Recipe)

namespace {

QByteArray big16(int value) {
    return QByteArray(1, char(value >> 8)) + char(value & 0xFF);
}

QByteArray segment(uchar marker, const QByteArray &payload) {
    return QByteArray(1, char(0xFF)) + char(marker) + big16(payload.size() + 2) + payload;
}

// A frame header with one component per sampling pair ("2x2" and so on).
QByteArray frame(uchar marker, int width, int height, const QStringList &samplings) {
    QByteArray payload(1, char(8));
    payload += big16(height) + big16(width) + char(samplings.size());
    for (int i = 0; i < samplings.size(); ++i) {
        const QStringList hv = samplings[i].split('x');
        payload += char(i + 1);
        payload += char(hv[0].toInt() << 4 | hv[1].toInt());
        payload += char(i == 0 ? 0 : 1);
    }
    return segment(marker, payload);
}

// The DC luminance table of Annex K, or one with other code lengths (as an optimised one).
QByteArray huffmanTable(bool standard) {
    QByteArray payload(1, char(0x00));
    const QByteArray counts = standard ? QByteArray::fromHex("00010501010101010100000000000000")
                                       : QByteArray::fromHex("00020201010101010101010000000000");
    payload += counts;
    for (int i = 0; i < 12; ++i)
        payload += char(i);
    return segment(0xC4, payload);
}

QByteArray scanHeader(int components) {
    QByteArray payload(1, char(components));
    for (int i = 0; i < components; ++i)
        payload += QByteArray(1, char(i + 1)) + char(0x00);
    payload += QByteArray::fromHex("003F00");
    return segment(0xDA, payload);
}

// Coded data with a stuffed 0xFF, a restart marker and fill bytes before the next marker.
QByteArray codedData() {
    return QByteArray::fromHex("1234FF005678FFD09ABCFF00FFFF");
}

// An EXIF APP1 whose IFD1 points at `thumbnail`.
QByteArray exifWithThumbnail(bool bigEndian, const QByteArray &thumbnail, bool lengthAsShort) {
    auto u16 = [&](int v) {
        return bigEndian ? big16(v) : QByteArray(1, char(v & 0xFF)) + char(v >> 8);
    };
    auto u32 = [&](quint32 v) {
        return bigEndian ? u16(int(v >> 16)) + u16(int(v & 0xFFFF))
                         : u16(int(v & 0xFFFF)) + u16(int(v >> 16));
    };
    const int ifd0 = 8, ifd1 = ifd0 + 2 + 12 + 4, data = ifd1 + 2 + 2 * 12 + 4;
    QByteArray tiff = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    tiff += u32(ifd0);
    tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(6) + u16(0) + u32(ifd1);
    tiff += u16(2) + u16(0x0201) + u16(4) + u32(1) + u32(data);
    tiff += lengthAsShort ? u16(0x0202) + u16(3) + u32(1) + u16(thumbnail.size()) + u16(0)
                          : u16(0x0202) + u16(4) + u32(1) + u32(quint32(thumbnail.size()));
    tiff += u32(0) + thumbnail;
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

// A whole small baseline file: SOI, optional segments, frame, table, one scan, EOI.
QByteArray baselineFile(const QByteArray &before = {}, const QByteArray &after = {}) {
    return QByteArray("\xFF\xD8", 2) + before + frame(0xC0, 1201, 799, {"2x2", "1x1", "1x1"}) +
           huffmanTable(true) + scanHeader(3) + codedData() + QByteArray("\xFF\xD9", 2) + after;
}

} // namespace

class JpegStructureTest : public QObject {
    Q_OBJECT

private slots:
    void parsesSmallFiles_data();
    void parsesSmallFiles();
    void frameBlocks_data();
    void frameBlocks();
    void thumbnailPositions_data();
    void thumbnailPositions();
    void xmpOrientation_data();
    void xmpOrientation();
    void strayFrameMarkers_data();
    void strayFrameMarkers();
    void strayFrameMarkerInARealPhoto();
    void damagedInputsNeverCrash();
    void realPhotos_data();
    void realPhotos();
    void trimAndPerfect_data();
    void trimAndPerfect();
    void realJpegtranTrimsAsPredicted_data();
    void realJpegtranTrimsAsPredicted();
    void resultCheck_data();
    void resultCheck();
    void realTurnsPassTheCheck();
};

void JpegStructureTest::parsesSmallFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<qint64>("imageEnd");
    QTest::addColumn<qint64>("trailing");
    QTest::addColumn<int>("scans");
    QTest::addColumn<bool>("standardTables");

    const QByteArray plain = baselineFile();
    QTest::newRow("baseline") << plain << true << qint64(plain.size()) << qint64(0) << 1 << true;
    const QByteArray trailer = "trailer\xFF\xD9 more\xFF\xD8";
    QTest::newRow("trailing data with markers in it")
        << baselineFile({}, trailer) << true << qint64(plain.size()) << qint64(trailer.size()) << 1
        << true;
    const QByteArray thumbnail("\xFF\xD8\x01\x02\xFF\xD9", 6);
    const QByteArray exif = exifWithThumbnail(true, thumbnail, false);
    QTest::newRow("end marker inside the EXIF thumbnail")
        << baselineFile(exif) << true << qint64(plain.size() + exif.size()) << qint64(0) << 1
        << true;
    const QByteArray progressive =
        QByteArray("\xFF\xD8", 2) + frame(0xC2, 64, 48, {"2x2", "1x1", "1x1"}) +
        huffmanTable(false) + scanHeader(3) + codedData() + huffmanTable(false) + scanHeader(1) +
        codedData() + segment(0xDD, big16(4)) + scanHeader(1) + codedData() +
        QByteArray("\xFF\xD9", 2);
    QTest::newRow("progressive, three scans, tables between")
        << progressive << true << qint64(progressive.size()) << qint64(0) << 3 << false;
    QTest::newRow("cut inside the coded data")
        << plain.left(plain.size() - 5) << false << qint64(-1) << qint64(0) << 1 << true;
    QTest::newRow("segment longer than the file") << QByteArray("\xFF\xD8\xFF\xE1\x40\x00Exif", 10)
                                                  << false << qint64(-1) << qint64(0) << 0 << false;
    QTest::newRow("end before any scan")
        << QByteArray("\xFF\xD8", 2) + frame(0xC0, 8, 8, {"1x1"}) + QByteArray("\xFF\xD9", 2)
        << false << qint64(-1) << qint64(0) << 0 << false;
    QTest::newRow("scan before the frame")
        << QByteArray("\xFF\xD8", 2) + scanHeader(1) + codedData() + QByteArray("\xFF\xD9", 2)
        << false << qint64(-1) << qint64(0) << 1 << false;
    QTest::newRow("not a JPEG file")
        << QByteArray("GIF89a") << false << qint64(-1) << qint64(0) << 0 << false;
    QTest::newRow("empty") << QByteArray() << false << qint64(-1) << qint64(0) << 0 << false;
    QTest::newRow("garbage between segments") << QByteArray("\xFF\xD8", 2) + "xx" + plain.mid(2)
                                              << false << qint64(-1) << qint64(0) << 0 << false;
}

void JpegStructureTest::parsesSmallFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, complete);
    QFETCH(qint64, imageEnd);
    QFETCH(qint64, trailing);
    QFETCH(int, scans);
    QFETCH(bool, standardTables);
    const JpegStructure structure = parseJpegStructure(bytes);
    QCOMPARE(structure.isComplete(), complete);
    QCOMPARE(structure.problem.isEmpty(), complete);
    QCOMPARE(structure.imageEnd, imageEnd);
    QCOMPARE(structure.trailingBytes(), trailing);
    QCOMPARE(structure.scanCount, scans);
    QCOMPARE(structure.standardHuffmanTables, standardTables);
    if (complete) {
        // The coded data of each scan, its stuffed bytes and restart markers included.
        QCOMPARE(structure.entropyCodedBytes, qint64(scans * codedData().size()));
    }
}

void JpegStructureTest::frameBlocks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("blockWidth");
    QTest::addColumn<int>("blockHeight");
    QTest::addColumn<int>("blocksPerRow");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("arithmetic");
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<bool>("hierarchical");

    const auto file = [](uchar marker, const QStringList &samplings) {
        return QByteArray("\xFF\xD8", 2) + frame(marker, 1201, 799, samplings) + scanHeader(1) +
               codedData() + QByteArray("\xFF\xD9", 2);
    };
    QTest::newRow("4:2:0") << file(0xC0, {"2x2", "1x1", "1x1"}) << 16 << 16 << 76 << false << false
                           << false << false;
    QTest::newRow("4:2:2") << file(0xC1, {"2x1", "1x1", "1x1"}) << 16 << 8 << 76 << false << false
                           << false << false;
    QTest::newRow("4:4:4") << file(0xC2, {"1x1", "1x1", "1x1"}) << 8 << 8 << 151 << true << false
                           << false << false;
    QTest::newRow("grey with 2x2 sampling")
        << file(0xC9, {"2x2"}) << 8 << 8 << 151 << false << true << false << false;
    QTest::newRow("progressive arithmetic")
        << file(0xCA, {"1x2", "1x1", "1x1"}) << 8 << 16 << 151 << true << true << false << false;
    QTest::newRow("lossless") << file(0xC3, {"1x1"}) << 8 << 8 << 151 << false << false << true
                              << false;
    QTest::newRow("hierarchical") << file(0xC5, {"1x1"}) << 8 << 8 << 151 << false << false << false
                                  << true;
}

void JpegStructureTest::frameBlocks() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, blockWidth);
    QFETCH(int, blockHeight);
    QFETCH(int, blocksPerRow);
    QFETCH(bool, progressive);
    QFETCH(bool, arithmetic);
    QFETCH(bool, lossless);
    QFETCH(bool, hierarchical);
    const JpegStructure structure = parseJpegStructure(bytes);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));
    QCOMPARE(structure.frame.width, 1201);
    QCOMPARE(structure.frame.height, 799);
    QCOMPARE(structure.frame.blockWidth(), blockWidth);
    QCOMPARE(structure.frame.blockHeight(), blockHeight);
    QCOMPARE(structure.frame.blocksPerRow(), blocksPerRow);
    QCOMPARE(structure.frame.progressive(), progressive);
    QCOMPARE(structure.frame.arithmetic(), arithmetic);
    QCOMPARE(structure.frame.lossless(), lossless);
    QCOMPARE(structure.hierarchical, hierarchical);
}

void JpegStructureTest::thumbnailPositions_data() {
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("lengthAsShort");
    QTest::newRow("Motorola, LONG") << true << false;
    QTest::newRow("Intel, LONG") << false << false;
    QTest::newRow("Intel, SHORT") << false << true;
}

void JpegStructureTest::thumbnailPositions() {
    QFETCH(bool, bigEndian);
    QFETCH(bool, lengthAsShort);
    const QByteArray thumbnail("\xFF\xD8thumbnail\xFF\xD9", 13);
    const QByteArray exif = exifWithThumbnail(bigEndian, thumbnail, lengthAsShort);
    const QByteArray app0 = segment(0xE0, "JFIF");
    const QByteArray bytes = baselineFile(app0 + exif);
    const JpegStructure structure = parseJpegStructure(bytes);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));
    QCOMPARE(structure.exifSegment.offset, qint64(2 + app0.size() + 4));
    QCOMPARE(structure.exifBigEndian, bigEndian);
    QCOMPARE(bytes.mid(structure.thumbnail.offset, structure.thumbnail.length), thumbnail);
    QCOMPARE(structure.thumbnailLengthFieldSize, lengthAsShort ? 2 : 4);
    const QByteArray field =
        bytes.mid(structure.thumbnailLengthField, structure.thumbnailLengthFieldSize);
    qint64 value = 0;
    for (int i = 0; i < field.size(); ++i)
        value |= qint64(uchar(field[i])) << (bigEndian ? 8 * (field.size() - 1 - i) : 8 * i);
    QCOMPARE(value, qint64(thumbnail.size()));

    // A thumbnail that claims to reach beyond its segment, or is no JPEG, is not taken.
    QByteArray broken = exifWithThumbnail(bigEndian, "not a jpeg", lengthAsShort);
    QVERIFY(parseJpegStructure(baselineFile(broken)).thumbnail.isEmpty());
    broken = exif;
    broken.chop(3);
    broken[3] = char(broken[3] - 3);
    QVERIFY(parseJpegStructure(baselineFile(broken)).thumbnail.isEmpty());
}

void JpegStructureTest::xmpOrientation_data() {
    QTest::addColumn<QByteArray>("xmp");
    QTest::addColumn<int>("orientation");
    QTest::newRow("attribute") << QByteArray("<rdf:Description tiff:Orientation=\"6\"/>") << 6;
    QTest::newRow("attribute, single quotes, blanks")
        << QByteArray("<x tiff:Orientation = '8' />") << 8;
    QTest::newRow("element") << QByteArray("<tiff:Orientation>3</tiff:Orientation>") << 3;
    QTest::newRow("element with blanks")
        << QByteArray("<tiff:Orientation>\n 5 \n</tiff:Orientation>") << 5;
    QTest::newRow("longer name first")
        << QByteArray("<x tiff:OrientationX=\"2\" tiff:Orientation=\"7\"/>") << 7;
    // The namespace counts, not the prefix.
    QTest::newRow("another prefix")
        << QByteArray("<x xmlns:t=\"http://ns.adobe.com/tiff/1.0/\" t:Orientation=\"6\"/>") << 6;
    QTest::newRow("another prefix, element")
        << QByteArray(
               "<x xmlns:t='http://ns.adobe.com/tiff/1.0/'><t:Orientation>8</t:Orientation></x>")
        << 8;
    QTest::newRow("default namespace, element")
        << QByteArray("<Orientation xmlns=\"http://ns.adobe.com/tiff/1.0/\">3</Orientation>") << 3;
    QTest::newRow("prefix tiff bound elsewhere")
        << QByteArray("<x xmlns:tiff=\"http://example.com/\" tiff:Orientation=\"6\"/>") << 0;
    QTest::newRow("in a comment") << QByteArray("<!-- <x tiff:Orientation=\"6\"/> -->") << 0;
    QTest::newRow("none") << QByteArray("<x tiff:Make=\"A\"/>") << 0;
    QTest::newRow("not an orientation") << QByteArray("<x tiff:Orientation=\"9\"/>") << 0;
    QTest::newRow("two digits") << QByteArray("<x tiff:Orientation=\"16\"/>") << 0;
    QTest::newRow("cut short") << QByteArray("<x tiff:Orientation=\"6") << 0;
    QTest::newRow("name at the end") << QByteArray("<x tiff:Orientation") << 0;
}

void JpegStructureTest::xmpOrientation() {
    QFETCH(QByteArray, xmp);
    QFETCH(int, orientation);
    QCOMPARE(xmpTiffOrientation(xmp.constData(), xmp.size()), orientation);
    const QByteArray payload = QByteArray("http://ns.adobe.com/xap/1.0/", 29) + xmp;
    const JpegStructure structure = parseJpegStructure(baselineFile(segment(0xE1, payload)));
    QCOMPARE(structure.xmpOrientation, orientation);
    QVERIFY(!structure.xmpSegment.isEmpty());
}

void JpegStructureTest::strayFrameMarkers_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("mainFrame");
    QTest::addColumn<qint64>("strayAt"); // -1: none
    QTest::addColumn<bool>("hierarchical");

    const QByteArray start("\xFF\xD8", 2), end("\xFF\xD9", 2);
    const QByteArray main = frame(0xC2, 64, 48, {"2x2", "1x1", "1x1"});
    const QByteArray scan = scanHeader(3) + codedData();
    const QByteArray stray = frame(0xC5, 8, 8, {"1x1"});
    QTest::newRow("FF C5 between the scans")
        << start + main + scan + stray + scan + end << 0xC2
        << qint64(start.size() + main.size() + scan.size()) << false;
    // Inside the coded data the marker ends the scan; what follows is no segment.
    const QByteArray coded = codedData();
    const QByteArray inside =
        start + main + scanHeader(3) + coded.left(4) + "\xFF\xC5\x00" + coded.mid(4) + end;
    QTest::newRow("FF C5 inside the coded data")
        << inside << 0xC2 << qint64(start.size() + main.size() + scanHeader(3).size() + 4) << false;
    QTest::newRow("a second baseline frame ahead of the scan")
        << start + main + frame(0xC0, 64, 48, {"1x1"}) + scan + end << 0xC2
        << qint64(start.size() + main.size()) << false;
    // A hierarchical file announces its frames with DHP: they are its own, not damage.
    QTest::newRow("hierarchical frames after DHP")
        << start + segment(0xDE, QByteArray::fromHex("0800300040010111")) +
               frame(0xC1, 32, 24, {"1x1"}) + scanHeader(1) + codedData() + stray + scanHeader(1) +
               codedData() + end
        << 0xC1 << qint64(-1) << true;
    QTest::newRow("a lossless main frame")
        << start + frame(0xC3, 64, 48, {"1x1"}) + scanHeader(1) + codedData() + end << 0xC3
        << qint64(-1) << false;
}

void JpegStructureTest::strayFrameMarkers() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, mainFrame);
    QFETCH(qint64, strayAt);
    QFETCH(bool, hierarchical);
    const JpegStructure structure = parseJpegStructure(bytes);
    QCOMPARE(structure.frame.marker, mainFrame);
    QCOMPARE(structure.strayFrameMarkerAt, strayAt);
    QCOMPARE(structure.hasStrayFrameMarker(), strayAt >= 0);
    if (strayAt >= 0) {
        QCOMPARE(uchar(bytes[strayAt]), uchar(0xFF));
        QCOMPARE(structure.strayFrameMarker, int(uchar(bytes[strayAt + 1])));
    }
    QCOMPARE(structure.hierarchical, hierarchical);
}

// jpegtran calls a photo with a stray FF C5 a JPEG process it does not support; the structure
// knows better: its main frame is baseline, and the marker is damage.
void JpegStructureTest::strayFrameMarkerInARealPhoto() {
    QFile shared(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg");
    QVERIFY(shared.open(QIODevice::ReadOnly));
    const QByteArray photo = shared.readAll();
    const QByteArray damaged =
        photo.left(photo.size() - 2) + frame(0xC5, 8, 8, {"1x1"}) + photo.right(2);
    const JpegStructure structure = parseJpegStructure(damaged);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));
    QCOMPARE(structure.frame.marker, 0xC0);
    QCOMPARE(structure.strayFrameMarkerAt, qint64(photo.size() - 2));
    QVERIFY(!structure.hierarchical);

    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();
    QString output;
    QVERIFY(!CraftedPhotos::run(
        "jpegtran", {"-rotate", "90", "-outfile", dir.filePath("out.jpg"), path}, &output));
    QVERIFY2(output.contains("Unsupported JPEG process"), qPrintable(output));
}

// Every cut of a small file with all kinds of segments, and many copies with random bytes
// changed, parse without a crash and stay within their bytes (the sanitized build checks
// memory). A cut never reports a complete image that ends past the cut.
void JpegStructureTest::damagedInputsNeverCrash() {
    const QByteArray xmp = segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) +
                                             "<x tiff:Orientation=\"6\"/>");
    const QByteArray bytes =
        baselineFile(exifWithThumbnail(false, QByteArray("\xFF\xD8\x01\xFF\xD9", 5), false) + xmp +
                         segment(0xE2, QByteArray("MPF\0II*\0", 8)) + segment(0xDD, big16(2)),
                     "tail");
    for (int length = 0; length <= bytes.size(); ++length) {
        const QByteArray cut = bytes.left(length);
        const JpegStructure structure = parseJpegStructure(cut);
        QVERIFY(structure.imageEnd <= length);
        QVERIFY(structure.thumbnail.isEmpty() || structure.thumbnail.end() <= length);
    }
    QRandomGenerator random(13);
    for (int round = 0; round < 20000; ++round) {
        QByteArray damaged = bytes;
        const int changes = 1 + random.bounded(4);
        for (int i = 0; i < changes; ++i)
            damaged[random.bounded(damaged.size())] = char(random.bounded(256));
        const JpegStructure structure = parseJpegStructure(damaged);
        QVERIFY(structure.imageEnd <= damaged.size());
        QVERIFY(structure.xmpSegment.isEmpty() || structure.xmpSegment.end() <= damaged.size());
    }
}

void JpegStructureTest::realPhotos_data() {
    QTest::addColumn<CraftedPhotos::Recipe>("recipe");
    CraftedPhotos::Recipe recipe;
    QTest::newRow("camera-like, optimised tables") << recipe;
    recipe.standardTables = true;
    QTest::newRow("standard tables") << recipe;
    recipe = {};
    recipe.progressive = true;
    recipe.restart = "2";
    QTest::newRow("progressive, restart every 2 rows") << recipe;
    recipe = {};
    recipe.arithmetic = true;
    recipe.restart = "5B";
    QTest::newRow("arithmetic, restart every 5 blocks") << recipe;
    recipe = {};
    recipe.thumbnail = true;
    recipe.xmpOrientation = 6;
    recipe.xmpElementForm = true;
    recipe.trailerBytes = 102400;
    QTest::newRow("thumbnail, XMP, trailer") << recipe;
}

void JpegStructureTest::realPhotos() {
    QFETCH(CraftedPhotos::Recipe, recipe);
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.jpg");
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, path, &error), qPrintable(error));
    const JpegStructure structure = readJpegStructure(path);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));
    QCOMPARE(structure.frame.width, 1200); // tag 6: stored turned
    QCOMPARE(structure.frame.blockWidth(), 16);
    QCOMPARE(structure.frame.progressive(), recipe.progressive);
    QCOMPARE(structure.frame.arithmetic(), recipe.arithmetic);
    QCOMPARE(structure.standardHuffmanTables, recipe.standardTables);
    QCOMPARE(structure.trailingBytes(), qint64(recipe.trailerBytes));
    QCOMPARE(structure.xmpOrientation, recipe.xmpOrientation);
    if (recipe.restart == "2")
        QCOMPARE(structure.restartInterval, 2 * 75);
    else if (recipe.restart == "5B")
        QCOMPARE(structure.restartInterval, 5);
    else
        QCOMPARE(structure.restartInterval, 0);
    QCOMPARE(structure.thumbnail.isEmpty(), !recipe.thumbnail);
    if (recipe.thumbnail) {
        // exiv2 names the same place: the offset counts from the TIFF header.
        QString output;
        QVERIFY(CraftedPhotos::run(
            "exiv2", {"-Pv", "-K", "Exif.Thumbnail.JPEGInterchangeFormat", path}, &output));
        QCOMPARE(structure.thumbnail.offset,
                 structure.exifSegment.offset + 6 + output.trimmed().toLongLong());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray all = file.readAll();
        const JpegStructure thumbnail =
            parseJpegStructure(all.mid(structure.thumbnail.offset, structure.thumbnail.length));
        QVERIFY2(thumbnail.isComplete(), qPrintable(thumbnail.problem));
        QCOMPARE(thumbnail.frame.width, 160);
        QCOMPARE(all.right(recipe.trailerBytes),
                 CraftedPhotos::trailerPattern(recipe.trailerBytes));
    }
}

void JpegStructureTest::trimAndPerfect_data() {
    QTest::addColumn<QStringList>("samplings");
    QTest::addColumn<int>("transform");
    QTest::addColumn<int>("columns"); // dropped, counted in the turned photo
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("reason");

    const QStringList yuv420{"2x2", "1x1", "1x1"};
    const QString notWidth = "its width of 1201 pixels is not a multiple of the block size 16";
    const QString notHeight = "its height of 799 pixels is not a multiple of the block size 16";
    QTest::newRow("flip horizontal") << yuv420 << int(Turn::FlipHorizontal) << 1 << 0 << notWidth;
    QTest::newRow("rotate 180") << yuv420 << int(Turn::Rotate180) << 1 << 15
                                << notWidth + " and " + notHeight;
    QTest::newRow("flip vertical") << yuv420 << int(Turn::FlipVertical) << 0 << 15 << notHeight;
    QTest::newRow("transpose") << yuv420 << int(Turn::Transpose) << 0 << 0 << QString();
    QTest::newRow("rotate 90") << yuv420 << int(Turn::Rotate90) << 15 << 0 << notHeight;
    QTest::newRow("transverse") << yuv420 << int(Turn::Transverse) << 15 << 1
                                << notWidth + " and " + notHeight;
    QTest::newRow("rotate 270") << yuv420 << int(Turn::Rotate270) << 0 << 1 << notWidth;
    QTest::newRow("4:2:2 rotate 90")
        << QStringList{"2x1", "1x1", "1x1"} << int(Turn::Rotate90) << 7 << 0
        << "its height of 799 pixels is not a multiple of the block "
           "size 8";
    QTest::newRow("grey rotate 180") << QStringList{"1x1"} << int(Turn::Rotate180) << 1 << 7
                                     << "its width of 1201 pixels is not a multiple of the block "
                                        "size 8 and its height of 799 pixels is not a multiple of "
                                        "the block size 8";
}

void JpegStructureTest::trimAndPerfect() {
    QFETCH(QStringList, samplings);
    QFETCH(int, transform);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QString, reason);
    JpegFrame frame;
    frame.marker = 0xC0;
    frame.width = 1201;
    frame.height = 799;
    for (const QString &sampling : samplings)
        frame.components.push_back({1, sampling[0].digitValue(), sampling[2].digitValue()});
    const auto t = Turn(transform);
    QCOMPARE(trimmedEdges(frame, t), (EdgeTrim{columns, rows}));
    QCOMPARE(widthImperfect(frame, t), reason.contains("width"));
    QCOMPARE(heightImperfect(frame, t), reason.contains("height"));
    QCOMPARE(isPerfectTurn(frame, t), reason.isEmpty());
    const QSize turned = swapsSides(t) ? QSize(799, 1201) : QSize(1201, 799);
    QCOMPARE(turnedSize(frame, t, false), turned);
    QCOMPARE(turnedSize(frame, t, true), turned - QSize(columns, rows));
    QCOMPARE(trimmedEdges(frame, t).isNone(), columns == 0 && rows == 0);
}

void JpegStructureTest::realJpegtranTrimsAsPredicted_data() {
    QTest::addColumn<QString>("sampling");
    QTest::addColumn<QSize>("size");
    for (const char *sampling : {"4:2:0", "4:2:2", "4:4:4", "gray"})
        QTest::newRow(sampling) << QString(sampling) << QSize(1201, 799);
    QTest::newRow("4:2:0 smaller than a block") << QString("4:2:0") << QSize(10, 13);
}

// jpegtran itself decides what "-trim" drops and when "-perfect" refuses: the predictions must
// match it for every transform and sampling.
void JpegStructureTest::realJpegtranTrimsAsPredicted() {
    QFETCH(QString, sampling);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.sampling = sampling;
    recipe.size = size;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, path, &error), qPrintable(error));
    const JpegStructure original = readJpegStructure(path);
    QVERIFY2(original.isComplete(), qPrintable(original.problem));
    QCOMPARE(QSize(original.frame.width, original.frame.height), size);

    const std::vector<std::pair<Turn, QStringList>> transforms = {
        {Turn::FlipHorizontal, {"-flip", "horizontal"}},
        {Turn::Rotate180, {"-rotate", "180"}},
        {Turn::FlipVertical, {"-flip", "vertical"}},
        {Turn::Transpose, {"-transpose"}},
        {Turn::Rotate90, {"-rotate", "90"}},
        {Turn::Transverse, {"-transverse"}},
        {Turn::Rotate270, {"-rotate", "270"}},
    };
    for (const auto &[transform, arguments] : transforms) {
        const QString out = dir.filePath("out.jpg");
        QVERIFY(CraftedPhotos::run("jpegtran",
                                   arguments + QStringList{"-trim", "-outfile", out, path}));
        const JpegStructure trimmed = readJpegStructure(out);
        QCOMPARE(QSize(trimmed.frame.width, trimmed.frame.height),
                 turnedSize(original.frame, transform, true));
        QString output;
        const bool perfect = CraftedPhotos::run(
            "jpegtran", arguments + QStringList{"-perfect", "-outfile", out, path}, &output);
        QCOMPARE(perfect, isPerfectTurn(original.frame, transform));
        QCOMPARE(output.contains("transformation is not perfect"), !perfect);
    }
}

void JpegStructureTest::resultCheck_data() {
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<int>("verdict");

    const auto file = [](uchar marker, int width, int height, const QStringList &samplings,
                         int codedBytes) {
        QByteArray coded(codedBytes, 'x');
        return QByteArray("\xFF\xD8", 2) + frame(marker, width, height, samplings) +
               scanHeader(int(samplings.size())) + coded + QByteArray("\xFF\xD9", 2);
    };
    // The original: 1201x799, 4:2:2, 10000 bytes of coded data; turned by 90 degrees.
    const QStringList turned422{"1x2", "1x1", "1x1"};
    QTest::newRow("sound") << file(0xC0, 799, 1201, turned422, 10000) << false
                           << int(ResultVerdict::Sound);
    QTest::newRow("sound, trimmed")
        << file(0xC0, 792, 1201, turned422, 9900) << true << int(ResultVerdict::Sound);
    QTest::newRow("not trimmed though asked")
        << file(0xC0, 799, 1201, turned422, 10000) << true << int(ResultVerdict::Wrong);
    QTest::newRow("sides not swapped")
        << file(0xC0, 1201, 799, turned422, 10000) << false << int(ResultVerdict::Wrong);
    QTest::newRow("sampling not swapped") << file(0xC0, 799, 1201, {"2x1", "1x1", "1x1"}, 10000)
                                          << false << int(ResultVerdict::Wrong);
    QTest::newRow("became progressive")
        << file(0xC2, 799, 1201, turned422, 10000) << false << int(ResultVerdict::Wrong);
    QTest::newRow("incomplete") << file(0xC0, 799, 1201, turned422, 10000).chopped(2) << false
                                << int(ResultVerdict::Wrong);
    QTest::newRow("3% larger, as turns give")
        << file(0xC0, 799, 1201, turned422, 10300) << false << int(ResultVerdict::Sound);
    QTest::newRow("8% smaller") << file(0xC0, 799, 1201, turned422, 9200) << false
                                << int(ResultVerdict::Doubtful);
    QTest::newRow("much smaller") << file(0xC0, 799, 1201, turned422, 7000) << false
                                  << int(ResultVerdict::Doubtful);
    QTest::newRow("much larger") << file(0xC0, 799, 1201, turned422, 13000) << false
                                 << int(ResultVerdict::Doubtful);
}

void JpegStructureTest::resultCheck() {
    QFETCH(QByteArray, result);
    QFETCH(bool, trim);
    QFETCH(int, verdict);
    QByteArray original = QByteArray("\xFF\xD8", 2) +
                          frame(0xC0, 1201, 799, {"2x1", "1x1", "1x1"}) + scanHeader(3) +
                          QByteArray(10000, 'x') + QByteArray("\xFF\xD9", 2);
    const ResultCheck check = checkTurnedResult(parseJpegStructure(original),
                                                parseJpegStructure(result), Turn::Rotate90, trim);
    QCOMPARE(int(check.verdict), verdict);
    QCOMPARE(check.reason.isEmpty(), verdict == int(ResultVerdict::Sound));
}

// Real turns of the crafted photos, each with the options that keep its coding, pass the check.
void JpegStructureTest::realTurnsPassTheCheck() {
    QTemporaryDir dir;
    CraftedPhotos::Recipe recipe;
    recipe.progressive = true;
    recipe.size = QSize(1201, 799);
    const QString path = dir.filePath("p.jpg");
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, path, &error), qPrintable(error));
    const JpegStructure original = readJpegStructure(path);
    const QString out = dir.filePath("out.jpg");
    QVERIFY(CraftedPhotos::run("jpegtran", {"-rotate", "270", "-trim", "-progressive", "-optimize",
                                            "-outfile", out, path}));
    const ResultCheck check =
        checkTurnedResult(original, readJpegStructure(out), Turn::Rotate270, true);
    QVERIFY2(check.verdict == ResultVerdict::Sound, qPrintable(check.reason));
    // The same turn written baseline is not what was asked for.
    QVERIFY(CraftedPhotos::run("jpegtran", {"-rotate", "270", "-trim", "-outfile", out, path}));
    QCOMPARE(checkTurnedResult(original, readJpegStructure(out), Turn::Rotate270, true).verdict,
             ResultVerdict::Wrong);
}

QTEST_MAIN(JpegStructureTest)
#include "tst_jpegstructure.moc"

// Reading a photo's orientation without a window: the test photos, photos changed byte by byte
// here (XMP first, fake EXIF blocks, LONG and repeated tags, cuts), bad input, a file that
// changes while it is read and a huge sparse file.
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/orientationreader.h"
#include "engine/photofile.h"
#include "exif/exifrecord.h"
#include "files/heldphoto.h"

namespace {

QByteArray testPhoto(const QString &name) {
    QFile file(QString(PIVOTTA_TESTDATA_DIR "/orientation/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray segment(quint8 marker, const QByteArray &payload) {
    QByteArray bytes("\xFF");
    bytes += char(marker);
    bytes += char((payload.size() + 2) >> 8);
    bytes += char((payload.size() + 2) & 0xFF);
    return bytes + payload;
}

QByteArray number(quint32 value, int size, bool intel) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[intel ? i : size - 1 - i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

struct Entry {
    quint16 tag;
    quint16 format;
    quint32 count;
    quint32 value; // stored left-aligned in the value field, as a value of the format's size
};

QByteArray directory(const std::vector<Entry> &entries, bool intel, quint32 next) {
    QByteArray bytes = number(quint32(entries.size()), 2, intel);
    for (const Entry &entry : entries) {
        const int size = entry.format == 4 ? 4 : 2;
        bytes += number(entry.tag, 2, intel) + number(entry.format, 2, intel) +
                 number(entry.count, 4, intel) +
                 number(entry.value, size, intel).leftJustified(4, '\0');
    }
    return bytes + number(next, 4, intel);
}

// An EXIF APP1 segment whose IFD0 holds the entries as given, in the given byte order, followed
// by `padding` zero bytes inside the segment.
QByteArray exifSegment(const std::vector<Entry> &entries, bool intel = false, int padding = 0) {
    QByteArray tiff = QByteArray(intel ? "II" : "MM") + number(42, 2, intel) + number(8, 4, intel);
    tiff += directory(entries, intel, 0) + QByteArray(padding, '\0');
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

// The same with a second directory, IFD1 (the thumbnail's), holding `ifd1Entries`.
QByteArray exifSegmentWithIfd1(const std::vector<Entry> &ifd0Entries,
                               const std::vector<Entry> &ifd1Entries, bool intel) {
    QByteArray tiff = QByteArray(intel ? "II" : "MM") + number(42, 2, intel) + number(8, 4, intel);
    const quint32 ifd1 = quint32(8 + 2 + 12 * ifd0Entries.size() + 4);
    tiff += directory(ifd0Entries, intel, ifd1) + directory(ifd1Entries, intel, 0);
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray orientationSegment(quint32 value, quint16 format = 3, bool intel = false) {
    return exifSegment({{274, format, 1, value}}, intel);
}

// The segments of a JPEG file before its image data, with the rest after them.
struct JpegParts {
    std::vector<QByteArray> segments;
    QByteArray rest;

    explicit JpegParts(const QByteArray &bytes) {
        int position = 2;
        while (quint8(bytes.at(position + 1)) != 0xDA) {
            const int length = qFromBigEndian<quint16>(bytes.constData() + position + 2);
            segments.push_back(bytes.mid(position, 2 + length));
            position += 2 + length;
        }
        rest = bytes.mid(position);
    }
    static bool isExif(const QByteArray &segment) {
        return segment.mid(4, 6) == QByteArray("Exif\0\0", 6);
    }
    JpegParts &withoutExif() {
        segments.erase(std::remove_if(segments.begin(), segments.end(), isExif), segments.end());
        return *this;
    }
    JpegParts &insert(int at, const QByteArray &segment) {
        segments.insert(segments.begin() + at, segment);
        return *this;
    }
    QByteArray bytes() const {
        QByteArray all("\xFF\xD8");
        for (const QByteArray &segment : segments)
            all += segment;
        return all + rest;
    }
};

// A believable EXIF block saying 6, hidden inside another segment.
QByteArray fakeExifBlock() {
    return orientationSegment(6) + QByteArray(8, '\0');
}

QByteArray xmpSegment() {
    return segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
                             "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
}

// Reads like PhotoFile, but runs `change` on the file once, before or after its first read.
class ChangingPhotoFile : public PhotoFile {
public:
    enum When { BeforeFirstRead, AfterFirstRead };
    ChangingPhotoFile(const HeldPhoto &photo, When changeWhen, std::function<void()> fileChange)
        : PhotoFile(photo)
        , when(changeWhen)
        , change(std::move(fileChange)) {}

protected:
    qint64 readAt(qint64 offset, char *into, qint64 length) override {
        if (change && when == BeforeFirstRead)
            std::exchange(change, nullptr)();
        const qint64 count = PhotoFile::readAt(offset, into, length);
        if (change && when == AfterFirstRead)
            std::exchange(change, nullptr)();
        return count;
    }

private:
    When when;
    std::function<void()> change;
};

} // namespace

Q_DECLARE_METATYPE(OrientationReading::Status)

class OrientationReadingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readings_data();
    void readings();
    void unusablePaths_data();
    void unusablePaths();
    void fileChangedWhileRead_data();
    void fileChangedWhileRead();
    void hugeSparseFileIsAnswered();
    void storedOrientationForTheEngine();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir sandbox;
};

void OrientationReadingTest::initTestCase() {
    QVERIFY(sandbox.isValid());
}

QString OrientationReadingTest::write(const QString &name, const QByteArray &bytes) {
    const QString path = sandbox.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

void OrientationReadingTest::readings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exifCode");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("askedImageReader");
    QTest::addColumn<QString>("readerError"); // empty: the reader answered
    QTest::addColumn<int>("angle");

    const int angles[] = {0, 0, 0, 180, 0, 0, 90, 0, 270};
    for (const QString shape : {"Landscape", "Portrait"}) {
        for (int tag = 0; tag <= 8; ++tag) {
            // Tag 0 is no usable value: the image reader decides, and finds no turn either.
            QTest::addRow("%s_%d", qPrintable(shape), tag)
                << testPhoto(QString("%1_%2.jpg").arg(shape).arg(tag)) << 0 << tag << (tag == 0)
                << "" << angles[tag];
        }
    }

    const QByteArray upright = testPhoto("Landscape_1.jpg");
    const QByteArray turned = testPhoto("Landscape_6.jpg");
    const auto bare = [&] { return JpegParts(upright).withoutExif(); };
    QTest::newRow("LONG, little-endian")
        << bare().insert(1, orientationSegment(6, 4, true)).bytes() << 0 << 6 << false << "" << 90;
    QTest::newRow("LONG, big-endian")
        << bare().insert(1, orientationSegment(8, 4)).bytes() << 0 << 8 << false << "" << 270;
    QTest::newRow("EXIF segment larger than the first read")
        << bare().insert(1, exifSegment({{274, 3, 1, 3}}, true, 60000)).bytes() << 0 << 3 << false
        << "" << 180;
    QTest::newRow("first of two entries: 6, then 1")
        << bare().insert(1, exifSegment({{274, 3, 1, 6}, {274, 3, 1, 1}})).bytes() << 0 << 6
        << false << "" << 90;
    QTest::newRow("first of two entries: 1, then 6")
        << bare().insert(1, exifSegment({{274, 3, 1, 1}, {274, 3, 1, 6}}, true)).bytes() << 0 << 1
        << false << "" << 0;
    QTest::newRow("first entry has no value")
        << bare().insert(1, exifSegment({{274, 3, 0, 6}, {274, 3, 1, 6}})).bytes() << 0 << 0 << true
        << "" << 0;
    QTest::newRow("XMP before EXIF")
        << JpegParts(turned).insert(0, xmpSegment()).bytes() << 0 << 6 << false << "" << 90;
    QTest::newRow("fake EXIF in a comment")
        << JpegParts(upright).insert(0, segment(0xFE, "note " + fakeExifBlock())).bytes() << 0 << 1
        << false << "" << 0;
    JpegParts fakeApp0(upright);
    QVERIFY(fakeApp0.segments.front().mid(4, 5) == QByteArray("JFIF\0", 5));
    fakeApp0.segments.front() = segment(0xE0, fakeApp0.segments.front().mid(4) + fakeExifBlock());
    QTest::newRow("fake EXIF in the JFIF header") << fakeApp0.bytes() << 0 << 1 << false << "" << 0;
    // The thumbnail's directory speaks for the thumbnail only, however the reader finds it.
    const Entry xResolution{282, 5, 1, 0};
    QTest::newRow("orientation only in IFD1, little-endian")
        << bare().insert(1, exifSegmentWithIfd1({xResolution}, {{274, 3, 1, 6}}, true)).bytes() << 0
        << 0 << true << "" << 0;
    QTest::newRow("orientation only in IFD1, big-endian")
        << bare().insert(1, exifSegmentWithIfd1({}, {{274, 3, 1, 8}}, false)).bytes() << 0 << 0
        << true << "" << 0;
    QTest::newRow("IFD0 says 3, IFD1 says 6")
        << bare().insert(1, exifSegmentWithIfd1({{274, 3, 1, 3}}, {{274, 3, 1, 6}}, true)).bytes()
        << 0 << 3 << false << "" << 180;
    QTest::newRow("unknown byte order")
        << bare().insert(1, orientationSegment(6).replace("MM", "IM")).bytes()
        << int(ExifRecord::ExifUnknownByteOrder) << 0 << true << "" << 0;

    // Beyond the search limit the image reader answers, with its own transformation.
    JpegParts farAway(turned);
    for (int i = 0; i < 17; ++i)
        farAway.insert(1, segment(0xE2, QByteArray(65000, 'p')));
    QTest::newRow("EXIF behind 1.1 MB of other segments")
        << farAway.bytes() << int(ExifRecord::ExifNoExifHeader) << 0 << true << "" << 90;
    QTest::newRow("no EXIF") << bare().bytes() << int(ExifRecord::ExifNoExifHeader) << 0 << true
                             << "" << 0;

    // The reader's own words: no format fits, or the JPEG reader chosen by the name fails.
    const QString noFormat = "Unsupported image format", noData = "Unable to read image data";
    QTest::newRow("not an image") << QByteArray("just some text\r\n") << int(ExifRecord::ExifNoJpeg)
                                  << 0 << true << noFormat << 0;
    QTest::newRow("empty file") << QByteArray() << int(ExifRecord::ExifNoJpeg) << 0 << true
                                << noFormat << 0;
    QTest::newRow("cut inside its EXIF")
        << turned.left(60) << int(ExifRecord::ExifCorrupt) << 0 << true << noData << 0;
    QTest::newRow("cut in its image data")
        << turned.left(turned.size() / 2) << 0 << 6 << false << "" << 90;
}

void OrientationReadingTest::readings() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, exifCode);
    QFETCH(int, orientation);
    QFETCH(bool, askedImageReader);
    QFETCH(QString, readerError);
    QFETCH(int, angle);

    const QString path = write("photo.jpg", bytes);
    QVERIFY(!path.isEmpty());
    const OrientationReading reading = readOrientation(path);
    QCOMPARE(reading.status, OrientationReading::Read);
    QVERIFY(!reading.parserThrew);
    QCOMPARE(reading.exifCode, exifCode);
    QCOMPARE(int(reading.orientation), orientation);
    QCOMPARE(reading.askedImageReader, askedImageReader);
    QCOMPARE(reading.imageReaderFailed, !readerError.isEmpty());
    QCOMPARE(reading.imageReaderError, readerError);
    // The reader's "cannot read" goes with its failure on these files.
    QCOMPARE(reading.imageReaderCannotRead, !readerError.isEmpty());
    QCOMPARE(reading.angle(), angle);

    // The same bytes in memory, under the same name, read alike.
    const OrientationReading fromBytes = readOrientation(bytes, "photo.jpg");
    QCOMPARE(fromBytes.status, OrientationReading::Read);
    QCOMPARE(fromBytes.exifCode, exifCode);
    QCOMPARE(int(fromBytes.orientation), orientation);
    QCOMPARE(fromBytes.askedImageReader, askedImageReader);
    QCOMPARE(fromBytes.imageReaderError, readerError);
    QCOMPARE(fromBytes.angle(), angle);
}

void OrientationReadingTest::unusablePaths_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty path") << "empty";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("directory named x.jpg") << "directory";
}

void OrientationReadingTest::unusablePaths() {
    QFETCH(QString, kind);
    QString path = sandbox.filePath(kind + ".jpg");
    if (kind == "empty")
        path.clear();
    if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    const OrientationReading reading = readOrientation(path);
    QCOMPARE(reading.status, OrientationReading::NotOpened);
    QVERIFY(!reading.askedImageReader);
    QCOMPARE(reading.angle(), 0);
}

void OrientationReadingTest::fileChangedWhileRead_data() {
    QTest::addColumn<QString>("photo");
    QTest::addColumn<int>("when");
    QTest::addColumn<qint64>("newSize");

    QTest::newRow("shrinks before the head is read")
        << "Landscape_6.jpg" << int(ChangingPhotoFile::BeforeFirstRead) << qint64(40);
    QTest::newRow("shrinks to nothing before the head is read")
        << "Landscape_6.jpg" << int(ChangingPhotoFile::BeforeFirstRead) << qint64(0);
    QTest::newRow("shrinks after the head was read")
        << "Landscape_6.jpg" << int(ChangingPhotoFile::AfterFirstRead) << qint64(1000);
    // No EXIF: the image reader reads the file that has shrunk meanwhile.
    QTest::newRow("shrinks before the image reader reads it")
        << "Landscape_0.jpg" << int(ChangingPhotoFile::AfterFirstRead) << qint64(100);
    QTest::newRow("grows after the head was read")
        << "Landscape_6.jpg" << int(ChangingPhotoFile::AfterFirstRead) << qint64(400000);
}

void OrientationReadingTest::fileChangedWhileRead() {
    QFETCH(QString, photo);
    QFETCH(int, when);
    QFETCH(qint64, newSize);

    const QString path = write("changing.jpg", testPhoto(photo));
    QVERIFY(!path.isEmpty());
    const std::unique_ptr<HeldPhoto> held = HeldPhoto::openChosen(path, nullptr);
    QVERIFY(held);
    ChangingPhotoFile file(*held, ChangingPhotoFile::When(when),
                           [&] { QVERIFY(QFile::resize(path, newSize)); });
    const OrientationReading reading = readOrientation(file);
    QCOMPARE(reading.status, OrientationReading::FileChanged);
    QCOMPARE(reading.angle(), 0);
    const QString message = fileChangedMessage("<a href='x'>changing.jpg</a>");
    QVERIFY2(message.contains("File <a href='x'>changing.jpg</a> changed"), qPrintable(message));
}

void OrientationReadingTest::hugeSparseFileIsAnswered() {
    // 3 GB, nearly all a hole: the reading looks at the head only.
    const QString photo = write("huge.jpg", testPhoto("Landscape_6.jpg"));
    const QString zeros = write("zeros.jpg", QByteArray());
    const qint64 huge = qint64(3) << 30;
    if (!QFile::resize(photo, huge) || !QFile::resize(zeros, huge))
        QSKIP("this file system cannot hold a 3 GB file");
    OrientationReading reading = readOrientation(photo);
    QCOMPARE(reading.status, OrientationReading::Read);
    QCOMPARE(reading.angle(), 90);
    reading = readOrientation(zeros);
    QCOMPARE(reading.status, OrientationReading::Read);
    QCOMPARE(reading.exifCode, int(ExifRecord::ExifNoJpeg));
    QVERIFY(reading.imageReaderFailed);
}

void OrientationReadingTest::storedOrientationForTheEngine() {
    QCOMPARE(storedOrientation(QString(PIVOTTA_TESTDATA_DIR "/orientation/Portrait_8.jpg")), 8u);
    QCOMPARE(storedOrientation(QString(PIVOTTA_TESTDATA_DIR "/orientation/Portrait_0.jpg")), 0u);
    const QByteArray longTag = JpegParts(testPhoto("Landscape_1.jpg"))
                                   .withoutExif()
                                   .insert(1, orientationSegment(3, 4, true))
                                   .bytes();
    QCOMPARE(storedOrientation(write("long.jpg", longTag)), 3u);
    QCOMPARE(storedOrientation(write("text.jpg", "no photo")), 0u);
    QCOMPARE(storedOrientation(sandbox.filePath("missing.jpg")), 0u);
}

QTEST_MAIN(OrientationReadingTest)
#include "tst_orientationreading.moc"

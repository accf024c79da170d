// Finding a picture's orientation values and setting them in place: a table of pictures built
// here byte by byte (entries repeated in IFD0, in IFD1, LONG, both byte orders, XMP under another
// prefix, in element form, values of two digits and with blanks, values nobody can write), each
// compared byte for byte with the picture it must become; and a photo made with the real tools,
// read afterwards by exiftool.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

#include "craftedphotos.h"
#include "jpeg/orientationvalues.h"
#include "testphotos.h"

namespace {

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    quint32 value; // left-aligned in the value field, as a value of the type's size
};

QByteArray number(quint32 value, int size, bool intel) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[intel ? i : size - 1 - i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray segment(quint8 marker, const QByteArray &payload) {
    return QByteArray(1, char(0xFF)) + char(marker) +
           number(quint32(payload.size() + 2), 2, false) + payload;
}

QByteArray directory(const std::vector<Entry> &entries, bool intel, quint32 next) {
    QByteArray bytes = number(quint32(entries.size()), 2, intel);
    for (const Entry &entry : entries) {
        const int size = entry.type == 4 ? 4 : entry.type == 3 ? 2 : 1;
        bytes += number(entry.tag, 2, intel) + number(entry.type, 2, intel) +
                 number(entry.count, 4, intel) +
                 number(entry.value, size, intel).leftJustified(4, '\0');
    }
    return bytes + number(next, 4, intel);
}

// An EXIF segment with IFD0 and, when it has entries, IFD1.
QByteArray exif(bool intel, const std::vector<Entry> &ifd0, const std::vector<Entry> &ifd1 = {}) {
    const quint32 ifd1At = ifd1.empty() ? 0 : quint32(8 + 2 + 12 * ifd0.size() + 4);
    QByteArray tiff = QByteArray(intel ? "II" : "MM") + number(42, 2, intel) + number(8, 4, intel);
    tiff += directory(ifd0, intel, ifd1At);
    if (!ifd1.empty())
        tiff += directory(ifd1, intel, 0);
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray xmp(const QByteArray &description) {
    return segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
                             "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
                             "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                             "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" +
                             description + "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>");
}

// A small whole picture with these segments ahead of its frame.
QByteArray picture(const QByteArray &segments) {
    return QByteArray("\xFF\xD8", 2) + segments +
           QByteArray::fromHex("FFC0000B080008000801011100FFDA0008010100003F001234FFD9");
}

QString described(const OrientationValue &value) {
    static const char *const places[] = {"IFD0", "IFD1", "XMP"};
    static const char *const forms[] = {"SHORT", "LONG", "other", "attribute", "element"};
    return QString("%1 %2 %3").arg(places[value.place], forms[value.form]).arg(value.value);
}

QStringList described(const std::vector<OrientationValue> &values) {
    QStringList list;
    for (const OrientationValue &value : values)
        list << described(value);
    return list;
}

QByteArray outputOf(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

class OrientationValuesTest : public QObject {
    Q_OBJECT

private slots:
    void setInPlace_data();
    void setInPlace();
    void onlyThePlacesAskedFor();
    void realPhotoReadsUprightEverywhere();
};

void OrientationValuesTest::setInPlace_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("left");

    const Entry width{256, 4, 1, 1600};
    QTest::newRow("two IFD0 entries, big-endian")
        << picture(exif(false, {{274, 3, 1, 6}, width, {274, 3, 1, 8}}))
        << picture(exif(false, {{274, 3, 1, 1}, width, {274, 3, 1, 1}}))
        << QStringList{"IFD0 SHORT 6", "IFD0 SHORT 8"} << 2 << 0;
    QTest::newRow("IFD0 and IFD1, little-endian")
        << picture(exif(true, {{274, 3, 1, 6}}, {{274, 3, 1, 6}}))
        << picture(exif(true, {{274, 3, 1, 1}}, {{274, 3, 1, 1}}))
        << QStringList{"IFD0 SHORT 6", "IFD1 SHORT 6"} << 2 << 0;
    QTest::newRow("only IFD1") << picture(exif(false, {width}, {{274, 3, 1, 8}}))
                               << picture(exif(false, {width}, {{274, 3, 1, 1}}))
                               << QStringList{"IFD1 SHORT 8"} << 1 << 0;
    QTest::newRow("LONG, little-endian")
        << picture(exif(true, {{274, 4, 1, 8}})) << picture(exif(true, {{274, 4, 1, 1}}))
        << QStringList{"IFD0 LONG 8"} << 1 << 0;
    QTest::newRow("LONG, big-endian, value past 16 bits")
        << picture(exif(false, {{274, 4, 1, 0x10006}})) << picture(exif(false, {{274, 4, 1, 1}}))
        << QStringList{"IFD0 LONG 65542"} << 1 << 0;
    QTest::newRow("already upright")
        << picture(exif(true, {{274, 3, 1, 1}})) << picture(exif(true, {{274, 3, 1, 1}}))
        << QStringList{"IFD0 SHORT 1"} << 0 << 0;
    const QByteArray unwritable = picture(exif(false, {{274, 1, 1, 6}, {274, 3, 0, 6}}));
    QTest::newRow("a BYTE entry and one without values are left")
        << unwritable << unwritable << QStringList{"IFD0 other -1", "IFD0 SHORT -1"} << 0 << 2;

    const QByteArray prefixT = "xmlns:t='http://ns.adobe.com/tiff/1.0/'";
    QTest::newRow("XMP under another prefix")
        << picture(xmp("<rdf:Description " + prefixT + " t:Orientation=\"6\"/>"))
        << picture(xmp("<rdf:Description " + prefixT + " t:Orientation=\"1\"/>"))
        << QStringList{"XMP attribute 6"} << 1 << 0;
    QTest::newRow("XMP element") << picture(xmp("<rdf:Description " + prefixT +
                                                "><t:Orientation>8</t:Orientation>"
                                                "</rdf:Description>"))
                                 << picture(xmp("<rdf:Description " + prefixT +
                                                "><t:Orientation>1</t:Orientation>"
                                                "</rdf:Description>"))
                                 << QStringList{"XMP element 8"} << 1 << 0;
    // Longer text keeps its length: blanks after the attribute, or inside the end tag.
    QTest::newRow("XMP values of two digits and with blanks")
        << picture(xmp("<rdf:Description " + prefixT +
                       " t:Orientation=' 16 '><t:Orientation> 06 </t:Orientation>"
                       "</rdf:Description>"))
        << picture(xmp("<rdf:Description " + prefixT +
                       " t:Orientation='1'   ><t:Orientation>1</t:Orientation   >"
                       "</rdf:Description>"))
        << QStringList{"XMP attribute 16", "XMP element 6"} << 2 << 0;
    const QByteArray elsewhere =
        picture(xmp("<rdf:Description xmlns:tiff='http://example.com/' tiff:Orientation='6'/>"));
    QTest::newRow("the prefix tiff bound to another namespace")
        << elsewhere << elsewhere << QStringList() << 0 << 0;
    const QByteArray empty = picture(xmp("<rdf:Description " + prefixT + " t:Orientation=''/>"));
    QTest::newRow("an empty XMP value is left")
        << empty << empty << QStringList{"XMP attribute -1"} << 0 << 1;

    QTest::newRow("EXIF in both directories and XMP together")
        << picture(exif(true, {{274, 3, 1, 6}}, {{274, 4, 1, 6}}) +
                   xmp("<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
                       "tiff:Orientation='6'/>"))
        << picture(exif(true, {{274, 3, 1, 1}}, {{274, 4, 1, 1}}) +
                   xmp("<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
                       "tiff:Orientation='1'/>"))
        << QStringList{"IFD0 SHORT 6", "IFD1 LONG 6", "XMP attribute 6"} << 3 << 0;
}

void OrientationValuesTest::setInPlace() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, found);
    QFETCH(int, set);
    QFETCH(int, left);

    const FoundOrientations listed = findOrientations(before);
    QCOMPARE(described(listed.values), found);
    QCOMPARE(listed.unreadableXmpPackets, 0);

    QByteArray bytes = before;
    const OrientationEdits edits = setOrientationInPlace(bytes);
    QCOMPARE(bytes, after);
    QCOMPARE(edits.count(OrientationEdit::Set), set);
    QCOMPARE(edits.count(OrientationEdit::Left), left);
    QCOMPARE(int(edits.edits.size()), found.size());
    // The check afterwards finds every value it could write upright.
    QCOMPARE(findOrientations(bytes).allAre(1), left == 0);
}

void OrientationValuesTest::onlyThePlacesAskedFor() {
    const QByteArray before = picture(exif(false, {{274, 3, 1, 6}}, {{274, 3, 1, 6}}) +
                                      xmp("<rdf:Description xmlns:tiff='http://ns.adobe.com/"
                                          "tiff/1.0/'><tiff:Orientation>6</tiff:Orientation>"
                                          "</rdf:Description>"));
    QByteArray bytes = before;
    setOrientationInPlace(bytes, 1, Ifd0Values | XmpValues);
    QCOMPARE(described(findOrientations(bytes).values),
             QStringList({"IFD0 SHORT 1", "IFD1 SHORT 6", "XMP element 1"}));

    // A packet that does not scan is counted and left as it is.
    const QByteArray broken =
        picture(exif(true, {{274, 3, 1, 6}}) +
                xmp("<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
                    "tiff:Orientation='6'"));
    bytes = broken;
    const OrientationEdits edits = setOrientationInPlace(bytes);
    QCOMPARE(edits.unreadableXmpPackets, 1);
    QCOMPARE(bytes, picture(exif(true, {{274, 3, 1, 1}}) +
                            xmp("<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
                                "tiff:Orientation='6'")));
    QVERIFY(!findOrientations(bytes).allAre(1));
}

// A photo with an orientation in IFD0, IFD1 and XMP under the prefix "t": afterwards exiftool
// reads every one of them as upright, and no other byte changed.
void OrientationValuesTest::realPhotoReadsUprightEverywhere() {
    for (const QString tool : {"exiftool", "exiv2", "jpegtran", "djpeg", "cjpeg"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is needed"));
    }
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    CraftedPhotos::Recipe recipe;
    recipe.thumbnail = true;
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QVERIFY(CraftedPhotos::run("exiv2", {"-M", "set Exif.Thumbnail.Orientation Short 6", photo}));
    QByteArray bytes = TestPhotos::fileBytes(photo);
    bytes.insert(2, xmp("<rdf:Description rdf:about='' "
                        "xmlns:t='http://ns.adobe.com/tiff/1.0/' t:Orientation='6'/>"));
    QFile original(photo);
    QVERIFY(original.open(QIODevice::WriteOnly) && original.write(bytes) == bytes.size());
    original.close();
    const QByteArray before = bytes;

    const OrientationEdits edits = setOrientationInPlace(bytes);
    QCOMPARE(edits.count(OrientationEdit::Left), 0);
    QCOMPARE(edits.count(OrientationEdit::Set), 3);
    QCOMPARE(bytes.size(), before.size());
    // Only the values' own bytes, and blanks after them, changed.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == before[i])
            continue;
        bool insideAValue = false;
        for (const OrientationEdit &edit : edits.edits)
            insideAValue =
                insideAValue || (i >= edit.before.at && i < edit.before.at + edit.before.size);
        QVERIFY2(insideAValue, qPrintable(QString("byte %1 changed").arg(i)));
    }

    const QString out = dir.filePath("out.jpg");
    QFile file(out);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const QJsonObject tags = QJsonDocument::fromJson(outputOf("exiftool", {"-j", "-a", "-G1", "-n",
                                                                           "-Orientation", out}))
                                 .array()
                                 .first()
                                 .toObject();
    QCOMPARE(tags.value("IFD0:Orientation").toInt(), 1);
    QCOMPARE(tags.value("IFD1:Orientation").toInt(), 1);
    QCOMPARE(tags.value("XMP-tiff:Orientation").toInt(), 1);
    QCOMPARE(TestPhotos::storedPixels(out), TestPhotos::storedPixels(photo));
}

QTEST_MAIN(OrientationValuesTest)
#include "tst_orientationvalues.moc"

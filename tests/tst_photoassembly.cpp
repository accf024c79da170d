// Every picture in the file: the multi-picture index and the XMP container directory read from
// bytes built here, the pictures of photos crafted with the real tools told apart from the other
// data after the primary, and whole photos turned picture by picture by the real jpegtran
// (through its standard input and output, as the chain will) and put together. Each assembled
// photo is checked with independent readers: exiftool's index and container, each picture
// decoded by Qt and compared with the original picture turned in memory, the video byte for
// byte. Synthetic turned pictures show the lengths that need another digit and the refusals.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "craftedphotos.h"
#include "jpeg/exactturn.h"
#include "jpeg/losslessturn.h"
#include "jpeg/multipictureindex.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"
#include "jpeg/turn.h"
#include "jpeg/turnedpicture.h"
#include "testphotos.h"
#include "tools/toolcommands.h"

using CraftedPhotos::FurtherPicture;
using CraftedPhotos::gainMap;
using CraftedPhotos::preview;
using CraftedPhotos::Recipe;
using CraftedPhotos::recipe;

namespace {

QByteArray packed(quint32 value, int size, bool bigEndian) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[bigEndian ? size - 1 - i : i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray segment(quint8 marker, const QByteArray &payload) {
    return QByteArray(1, char(0xFF)) + char(marker) + packed(quint32(payload.size() + 2), 2, true) +
           payload;
}

// An MPF payload listing (attributes, size, offset) triples.
QByteArray mpfPayload(bool bigEndian, const QList<QList<quint32>> &entries) {
    const quint32 count = quint32(entries.size());
    QByteArray payload("MPF\0", 4);
    payload += bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    payload += packed(8, 4, bigEndian) + packed(2, 2, bigEndian);
    payload +=
        packed(0xB000, 2, bigEndian) + packed(7, 2, bigEndian) + packed(4, 4, bigEndian) + "0100";
    payload += packed(0xB002, 2, bigEndian) + packed(7, 2, bigEndian) +
               packed(16 * count, 4, bigEndian) + packed(8 + 2 + 24 + 4, 4, bigEndian);
    payload += packed(0, 4, bigEndian);
    for (const QList<quint32> &entry : entries)
        payload += packed(entry[0], 4, bigEndian) + packed(entry[1], 4, bigEndian) +
                   packed(entry[2], 4, bigEndian) + packed(0, 4, bigEndian);
    return payload;
}

QByteArray outputOf(const QString &program, const QStringList &arguments,
                    const QByteArray &input = {}) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

QByteArray readFile(const QString &path) {
    return TestPhotos::fileBytes(path);
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray slice(const QByteArray &bytes, const FileRange &range) {
    return bytes.mid(range.offset, range.length);
}

// jpegtran's turn of one picture, through its standard input and output, keeping its coding.
QByteArray turnedByJpegtran(const QByteArray &picture, Turn turn) {
    const QStringList arguments = QStringList{"-copy", "all"} + jpegtranTransformArguments(turn) +
                                  jpegtranCodingArguments(parseJpegStructure(picture)) +
                                  QStringList{"-trim"};
    return outputOf("jpegtran", arguments, picture);
}

TurnedPictures turnedPictures(const QByteArray &photo, const PhotoPictures &pictures, Turn turn) {
    TurnedPictures turned;
    turned.primary = turnedByJpegtran(photo.left(pictures.primary.imageEnd), turn);
    if (!pictures.primary.thumbnail.isEmpty())
        turned.thumbnail = outputOf("jpegtran", jpegtranThumbnailArguments(turn),
                                    slice(photo, pictures.primary.thumbnail));
    for (const FileRange &range : pictures.picturesToTurn())
        turned.pictures.push_back(turnedByJpegtran(slice(photo, range), turn));
    return turned;
}

QString describedParts(const PhotoPictures &pictures) {
    QStringList parts;
    for (const TrailingPart &part : pictures.parts) {
        if (part.kind == TrailingPart::OtherData)
            parts << "other";
        else
            parts << QString("picture[%1,%2]").arg(part.indexEntry).arg(part.containerItem);
    }
    return parts.join(' ');
}

QJsonObject exiftoolTags(const QString &path, const QStringList &arguments) {
    return QJsonDocument::fromJson(
               outputOf("exiftool", QStringList{"-j", "-n"} + arguments + QStringList{path}))
        .array()
        .first()
        .toObject();
}

QImage decoded(const QByteArray &jpeg) {
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

// Every picture must lie whole where the index says, decode, and be the original's turned.
struct PictureCheck {
    QByteArray original; // the picture before the turn
    QByteArray result;   // where the index or the container says it is now
};

void verifyTurnedPicture(const PictureCheck &check, Turn turn) {
    const JpegStructure before = parseJpegStructure(check.original);
    const JpegStructure after = parseJpegStructure(check.result);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    QCOMPARE(after.imageEnd, qint64(check.result.size()));
    QVERIFY(findOrientations(check.result).allAre(1));
    const QSize expected = turnedSize(before.frame, turn, true);
    const QImage image = decoded(check.result);
    QCOMPARE(image.size(), expected);
    // The look that settles doubtful results, at an eighth of each side, agrees.
    QVERIFY(showsTheOriginalTurned(check.original, check.result, turn));
    QVERIFY(
        !showsTheOriginalTurned(check.original, check.result,
                                turn == Turn::Rotate180 ? Turn::FlipVertical : Turn::Rotate180));
    if (turnedSize(before.frame, turn, false) == expected) {
        const QImage reference = TestPhotos::turnedImage(decoded(check.original), turn);
        QVERIFY2(TestPhotos::samePicture(image, reference),
                 qPrintable(QString::number(TestPhotos::meanDifference(image, reference))));
    }
}

// A turned picture made longer by a comment, as a turn may make it.
QByteArray withComment(const QByteArray &jpeg, int length) {
    return jpeg.left(2) + segment(0xFE, QByteArray(length, 'c')) + jpeg.mid(2);
}

} // namespace

Q_DECLARE_METATYPE(Recipe)
Q_DECLARE_METATYPE(PicturesProblem)
Q_DECLARE_METATYPE(Turn)

class PhotoAssemblyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsTheIndex_data();
    void readsTheIndex();
    void readsTheContainer_data();
    void readsTheContainer();
    void describesPictures_data();
    void describesPictures();
    void assemblesTurnedPhotos_data();
    void assemblesTurnedPhotos();
    void onlyOrientationBytesDifferFromJpegtran();
    void lengthsThatNeedAnotherDigit_data();
    void lengthsThatNeedAnotherDigit();
    void refusals();
    void exactTurn_data();
    void exactTurn();
    void exactTurnRefusals();

private:
    QString make(const Recipe &recipe, const QString &name = "photo.jpg");
    QTemporaryDir sandbox;
};

void PhotoAssemblyTest::initTestCase() {
    for (const QString tool : {"jpegtran", "djpeg", "cjpeg", "exiv2", "exiftool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is needed (scripts/setup.sh installs it)"));
    }
    QVERIFY(sandbox.isValid());
}

QString PhotoAssemblyTest::make(const Recipe &recipe, const QString &name) {
    const QString path = sandbox.filePath(name);
    QString error;
    if (!CraftedPhotos::makePhoto(recipe, path, &error)) {
        qWarning() << error;
        return {};
    }
    return path;
}

void PhotoAssemblyTest::readsTheIndex_data() {
    QTest::addColumn<bool>("bigEndian");
    QTest::newRow("big-endian") << true;
    QTest::newRow("little-endian") << false;
}

void PhotoAssemblyTest::readsTheIndex() {
    QFETCH(bool, bigEndian);
    const QByteArray payload =
        mpfPayload(bigEndian, {{0x20030000, 5000, 0}, {0x00010002, 700, 4900}, {0, 300, 5600}});
    const QByteArray bytes = QByteArray("\xFF\xD8", 2) + segment(0xE2, payload);
    MultiPictureIndex index = readMultiPictureIndex(bytes, {6, payload.size()});
    QCOMPARE(index.status, MultiPictureIndex::Read);
    QCOMPARE(index.littleEndian, !bigEndian);
    QCOMPARE(index.headerAt, qint64(10));
    QCOMPARE(int(index.entries.size()), 3);
    QCOMPARE(index.entries[0].size, quint32(5000));
    QCOMPARE(index.startOf(index.entries[0]), qint64(0));
    QCOMPARE(index.entries[1].typeCode(), quint32(0x010002));
    QCOMPARE(index.startOf(index.entries[1]), qint64(10 + 4900));
    QCOMPARE(index.entries[2].size, quint32(300));

    QByteArray rewritten = bytes;
    writeMultiPictureEntry(rewritten, index, 2, 321, 6000);
    index = readMultiPictureIndex(rewritten, {6, payload.size()});
    QCOMPARE(index.entries[2].size, quint32(321));
    QCOMPARE(index.entries[2].offset, quint32(6000));
    QCOMPARE(rewritten.size(), bytes.size());

    // Entries that run out of the segment, or a count that is no whole number of entries.
    QByteArray cut = payload.left(payload.size() - 8);
    QCOMPARE(readMultiPictureIndex(QByteArray("\xFF\xD8", 2) + segment(0xE2, cut), {6, cut.size()})
                 .status,
             MultiPictureIndex::Unreadable);
    QByteArray odd = payload;
    odd.replace(4 + 8 + 2 + 12 + 4, 4, packed(47, 4, bigEndian)); // the count of the entries
    QCOMPARE(readMultiPictureIndex(QByteArray("\xFF\xD8", 2) + segment(0xE2, odd), {6, odd.size()})
                 .status,
             MultiPictureIndex::Unreadable);
}

void PhotoAssemblyTest::readsTheContainer_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("items"); // semantic, mime, length, padding

    const QByteArray namespaces = "xmlns:C='http://ns.google.com/photos/1.0/container/' "
                                  "xmlns:I='http://ns.google.com/photos/1.0/container/item/'";
    QTest::newRow("other prefixes, attributes")
        << "<rdf:Description " + namespaces +
               "><C:Directory><rdf:Seq><rdf:li><C:Item I:Semantic='Primary' I:Mime='image/jpeg'/>"
               "</rdf:li><rdf:li><C:Item I:Semantic='GainMap' I:Mime='image/jpeg' "
               "I:Length='1234'/></rdf:li></rdf:Seq></C:Directory></rdf:Description>"
        << int(ContainerDirectory::Read)
        << QStringList{"Primary image/jpeg -1 0", "GainMap image/jpeg 1234 0"};
    QTest::newRow("elements")
        << "<rdf:Description " + namespaces +
               "><C:Directory><rdf:Seq><rdf:li rdf:parseType='Resource'><C:Item "
               "rdf:parseType='Resource'><I:Mime>video/mp4</I:Mime><I:Semantic>MotionPhoto"
               "</I:Semantic><I:Length> 5000 </I:Length><I:Padding>8</I:Padding></C:Item>"
               "</rdf:li></rdf:Seq></C:Directory></rdf:Description>"
        << int(ContainerDirectory::Read) << QStringList{"MotionPhoto video/mp4 5000 8"};
    QTest::newRow("names of other namespaces are not items")
        << QByteArray("<x:Directory xmlns:x='http://example.com/'><x:Item/></x:Directory>")
        << int(ContainerDirectory::Absent) << QStringList();
    QTest::newRow("a length that is no number")
        << "<C:Directory " + namespaces + "><C:Item I:Length='12a'/></C:Directory>"
        << int(ContainerDirectory::Unreadable) << QStringList{"  -1 0"};
    QTest::newRow("a packet cut short") << "<C:Directory " + namespaces + "><C:Item I:Length='12'"
                                        << int(ContainerDirectory::Unreadable) << QStringList();
}

void PhotoAssemblyTest::readsTheContainer() {
    QFETCH(QByteArray, packet);
    QFETCH(int, status);
    QFETCH(QStringList, items);
    const ContainerDirectory directory =
        readContainerDirectory(std::string_view(packet.constData(), size_t(packet.size())));
    QCOMPARE(int(directory.status), status);
    QStringList read;
    for (const ContainerItem &item : directory.items)
        read << QString("%1 %2 %3 %4")
                    .arg(QString(item.semantic), QString(item.mime))
                    .arg(item.length)
                    .arg(item.padding);
    QCOMPARE(read, items);
}

void PhotoAssemblyTest::describesPictures_data() {
    QTest::addColumn<Recipe>("recipe");
    QTest::addColumn<QString>("parts");
    QTest::addColumn<PicturesProblem>("problem");

    const QSize small(320, 240);
    QTest::newRow("gain map in the index and the container")
        << recipe(6, {gainMap()}) << "picture[1,1]" << PicturesProblem::None;
    QTest::newRow("two previews, big-endian index")
        << recipe(6, {preview(small), preview(small)}, true) << "picture[1,-1] picture[2,-1]"
        << PicturesProblem::None;
    FurtherPicture containerOnly = gainMap();
    containerOnly.inIndex = false;
    QTest::newRow("gain map only in the container")
        << recipe(6, {containerOnly}) << "picture[-1,1]" << PicturesProblem::None;
    QTest::newRow("motion photo with a gain map")
        << recipe(6, {gainMap()}, false, 20000) << "picture[1,1] other" << PicturesProblem::None;
    Recipe withTrailer = recipe(6, {preview(small)});
    withTrailer.trailerBytes = 3000;
    QTest::newRow("preview, then other bytes")
        << withTrailer << "picture[1,-1] other" << PicturesProblem::None;
    QTest::newRow("no further pictures") << recipe(6, {}) << "" << PicturesProblem::None;
    FurtherPicture notJpeg = gainMap();
    notJpeg.notJpeg = true;
    QTest::newRow("a gain map that is not a JPEG")
        << recipe(6, {notJpeg}) << "" << PicturesProblem::NotJpeg;
}

void PhotoAssemblyTest::describesPictures() {
    QFETCH(Recipe, recipe);
    QFETCH(QString, parts);
    QFETCH(PicturesProblem, problem);
    const QString path = make(recipe);
    QVERIFY(!path.isEmpty());
    const QByteArray photo = readFile(path);
    const PhotoPictures pictures = describePictures(photo);
    QCOMPARE(pictures.problem, problem);
    QCOMPARE(describedParts(pictures), parts);
    if (problem != PicturesProblem::None)
        return;
    // The parts cover everything after the primary, in order.
    qint64 position = pictures.primary.imageEnd;
    for (const TrailingPart &part : pictures.parts) {
        QCOMPARE(part.range.offset, position);
        position = part.range.end();
    }
    QCOMPARE(position, qint64(photo.size()));
    // A photo cut inside a listed picture lists it outside the file.
    if (pictures.pictureCount() > 0 && pictures.parts.back().kind == TrailingPart::Picture) {
        const PhotoPictures cut = describePictures(photo.left(photo.size() - 10));
        QVERIFY(cut.problem == PicturesProblem::OutsideFile ||
                cut.problem == PicturesProblem::Disagreeing ||
                cut.problem == PicturesProblem::ContainerUnreadable);
    }
}

void PhotoAssemblyTest::assemblesTurnedPhotos_data() {
    QTest::addColumn<Recipe>("recipe");

    Recipe ultraHdr = recipe(6, {gainMap()});
    ultraHdr.thumbnail = true;
    ultraHdr.xmpOrientation = 6;
    QTest::newRow("gain map in the index and the container, thumbnail, XMP") << ultraHdr;
    QTest::newRow("two previews, one with its own orientation, big-endian index")
        << recipe(8, {preview(QSize(320, 240)), preview(QSize(400, 300), 8)}, true);
    FurtherPicture containerOnly = gainMap();
    containerOnly.inIndex = false;
    QTest::newRow("gain map only in the container") << recipe(3, {containerOnly});
    QTest::newRow("gain map with odd sides, trimmed") << recipe(6, {gainMap(QSize(403, 301))});
    Recipe motion = recipe(6, {gainMap()}, false, 200000);
    motion.trailerBytes = 1000;
    QTest::newRow("motion photo with a gain map") << motion;
}

void PhotoAssemblyTest::assemblesTurnedPhotos() {
    QFETCH(Recipe, recipe);
    const QString path = make(recipe);
    QVERIFY(!path.isEmpty());
    const QByteArray photo = readFile(path);
    const PhotoPictures pictures = describePictures(photo);
    QVERIFY(pictures.isUsable());
    QCOMPARE(pictures.pictureCount(), int(recipe.furtherPictures.size()));
    const Turn turn = turnForOrientation(recipe.orientation);
    const TurnedPictures turned = turnedPictures(photo, pictures, turn);

    const AssembledPhoto assembled = assemblePhoto(photo, pictures, turned);
    const AssemblyReport &report = assembled.report;
    QVERIFY2(report.isOk(),
             qPrintable(QString("problem %1: %2").arg(int(report.problem)).arg(report.detail)));
    QCOMPARE(int(report.pictureOrientations.size()), pictures.pictureCount());
    const QString out = sandbox.filePath("assembled.jpg");
    QVERIFY(writeFile(out, assembled.bytes));
    const QByteArray result = assembled.bytes;
    const JpegStructure primary = parseJpegStructure(result);
    QVERIFY2(primary.isComplete(), qPrintable(primary.problem));
    QCOMPARE(TestPhotos::storedPixels(out), decoded(turned.primary));

    // The orientation says upright wherever it was stated; a preview's own too.
    const QJsonObject tags = exiftoolTags(out, {"-a", "-G1", "-Orientation"});
    QCOMPARE(tags.value("IFD0:Orientation").toInt(), 1);
    QCOMPARE(tags.value("XMP-tiff:Orientation").toInt(), recipe.xmpOrientation ? 1 : 0);
    for (const OrientationEdits &edits : report.pictureOrientations)
        QCOMPARE(edits.count(OrientationEdit::Left), 0);

    // exiftool's index: the primary ends where its image ends; each picture lies whole there.
    const std::vector<FileRange> originals = pictures.picturesToTurn();
    const QJsonObject index = exiftoolTags(out, {"-G1", "-MPF:all"});
    int listed = 0;
    for (int k = 0; k < int(pictures.parts.size()); ++k) {
        const TrailingPart &part = pictures.parts[size_t(k)];
        if (part.indexEntry < 0)
            continue;
        const QString group = QString("MPImage%1:").arg(part.indexEntry + 1);
        const qint64 start = qint64(index.value(group + "MPImageStart").toDouble());
        const qint64 length = qint64(index.value(group + "MPImageLength").toDouble());
        int picture = 0;
        for (int i = 0; i < k; ++i)
            picture += pictures.parts[size_t(i)].kind == TrailingPart::Picture ? 1 : 0;
        verifyTurnedPicture({slice(photo, originals[size_t(picture)]), result.mid(start, length)},
                            turn);
        ++listed;
    }
    if (pictures.index.status == MultiPictureIndex::Read) {
        QCOMPARE(qint64(index.value("MPImage1:MPImageLength").toDouble()), primary.imageEnd);
        QCOMPARE(qint64(index.value("MPImage1:MPImageStart").toDouble()), qint64(0));
        QCOMPARE(report.indexEntriesWritten, listed + 1);
    }

    // exiftool's container: the items, laid one after the other from the primary's end, are
    // the turned pictures and the video, as long as their lengths say.
    const QJsonArray directory =
        exiftoolTags(out, {"-struct", "-XMP-Container:all"}).value("Directory").toArray();
    QCOMPARE(directory.size(), int(pictures.container.items.size()));
    qint64 position = primary.imageEnd;
    int picture = 0;
    for (int k = 1; k < directory.size(); ++k) {
        const QJsonObject item = directory[k].toObject().value("Item").toObject();
        const qint64 length = qint64(item.value("Length").toDouble());
        if (item.value("Mime").toString() == "image/jpeg") {
            while (pictures.parts[size_t(picture)].containerItem != k)
                ++picture;
            verifyTurnedPicture(
                {slice(photo, originals[size_t(picture)]), result.mid(position, length)}, turn);
        } else {
            QCOMPARE(result.mid(position, length), CraftedPhotos::videoPattern(recipe.videoBytes));
        }
        position += length + qint64(item.value("Padding").toDouble());
    }
    if (!directory.isEmpty())
        QCOMPARE(position, qint64(result.size() - recipe.trailerBytes));

    // What is no picture follows byte for byte, at the end.
    QCOMPARE(result.right(recipe.trailerBytes), CraftedPhotos::trailerPattern(recipe.trailerBytes));
    qint64 kept = 0;
    for (const TrailingPart &part : pictures.parts)
        kept += part.kind == TrailingPart::OtherData ? part.range.length : 0;
    QCOMPARE(report.otherBytesKept, kept);
    if (recipe.thumbnail) {
        QVERIFY(report.thumbnailGiven);
        QCOMPARE(report.thumbnail, ThumbnailPlacement::SameSlot);
    }
}

// Without thumbnail or further pictures, the assembled photo is jpegtran's output with only
// the orientation values changed.
void PhotoAssemblyTest::onlyOrientationBytesDifferFromJpegtran() {
    Recipe made = recipe(6, {});
    made.xmpOrientation = 6;
    made.xmpElementForm = true;
    const QByteArray photo = readFile(make(made));
    const PhotoPictures pictures = describePictures(photo);
    const TurnedPictures turned = turnedPictures(photo, pictures, Turn::Rotate90);
    const AssembledPhoto assembled = assemblePhoto(photo, pictures, turned);
    QVERIFY(assembled.report.isOk());
    const QByteArray &result = assembled.bytes;
    QCOMPARE(result.size(), turned.primary.size());
    QCOMPARE(assembled.report.primaryOrientation.count(OrientationEdit::Set), 2);
    int differing = 0;
    for (qsizetype i = 0; i < result.size(); ++i) {
        if (result[i] == turned.primary[i])
            continue;
        ++differing;
        bool inAValue = false;
        for (const OrientationEdit &edit : assembled.report.primaryOrientation.edits)
            inAValue = inAValue || (i >= edit.before.at && i < edit.before.at + edit.before.size);
        QVERIFY2(inAValue, qPrintable(QString("byte %1 differs").arg(i)));
    }
    // The EXIF value's low byte and the XMP character.
    QCOMPARE(differing, 2);
}

void PhotoAssemblyTest::lengthsThatNeedAnotherDigit_data() {
    QTest::addColumn<int>("padding");
    QTest::addColumn<qint64>("growth");
    QTest::newRow("the packet's padding takes the digit") << 100 << qint64(0);
    QTest::newRow("no padding: the segment grows") << 0 << qint64(1);
}

// A gain map turned into one more digit's worth of bytes: its Item:Length needs one byte more,
// and the index behind the XMP segment still finds every picture.
void PhotoAssemblyTest::lengthsThatNeedAnotherDigit() {
    QFETCH(int, padding);
    QFETCH(qint64, growth);
    Recipe made = recipe(6, {gainMap(QSize(160, 120))});
    made.xmpPadding = padding;
    const QByteArray photo = readFile(make(made));
    const PhotoPictures pictures = describePictures(photo);
    QVERIFY(pictures.isUsable());
    TurnedPictures turned = turnedPictures(photo, pictures, Turn::Rotate90);
    const qint64 length = turned.pictures[0].size();
    qint64 nextPower = 10;
    while (nextPower <= length)
        nextPower *= 10;
    turned.pictures[0] = withComment(turned.pictures[0], int(nextPower - length - 4));
    QCOMPARE(qint64(turned.pictures[0].size()), nextPower);

    const AssembledPhoto assembled = assemblePhoto(photo, pictures, turned);
    QVERIFY(assembled.report.isOk());
    QCOMPARE(assembled.report.xmpGrowth, growth);
    QCOMPARE(assembled.report.itemLengthsWritten, 1);
    const PhotoPictures after = describePictures(assembled.bytes);
    QVERIFY(after.isUsable());
    QCOMPARE(describedParts(after), QString("picture[1,1]"));
    QCOMPARE(after.container.items[1].length, nextPower);
    QCOMPARE(slice(assembled.bytes, after.picturesToTurn()[0]), turned.pictures[0]);
    QCOMPARE(qint64(after.index.entries[0].size), after.primary.imageEnd);
    QCOMPARE(after.primary.xmpSegment.length - pictures.primary.xmpSegment.length, growth);
}

// Whatever does not add up leaves the photo: the assembly says why and gives no bytes.
void PhotoAssemblyTest::refusals() {
    FurtherPicture notJpeg = gainMap();
    notJpeg.notJpeg = true;
    const QByteArray broken = readFile(make(recipe(6, {notJpeg}), "broken.jpg"));
    const PhotoPictures unusable = describePictures(broken);
    QCOMPARE(unusable.problem, PicturesProblem::NotJpeg);
    QCOMPARE(unusable.problemIndexEntry, 1);
    QCOMPARE(unusable.problemContainerItem, 1);
    AssembledPhoto assembled = assemblePhoto(broken, unusable, {});
    QCOMPARE(assembled.report.problem, AssemblyProblem::PicturesUnusable);
    QVERIFY(assembled.bytes.isEmpty());

    const QByteArray photo = readFile(make(recipe(6, {gainMap()})));
    const PhotoPictures pictures = describePictures(photo);
    const TurnedPictures turned = turnedPictures(photo, pictures, Turn::Rotate90);

    TurnedPictures missing = turned;
    missing.pictures.clear();
    QCOMPARE(assemblePhoto(photo, pictures, missing).report.problem, AssemblyProblem::PictureCount);

    TurnedPictures cut = turned;
    cut.pictures[0].chop(100);
    assembled = assemblePhoto(photo, pictures, cut);
    QCOMPARE(assembled.report.problem, AssemblyProblem::PictureIncomplete);
    QCOMPARE(assembled.report.picture, 0);
    QVERIFY(!assembled.report.detail.isEmpty());

    TurnedPictures cutPrimary = turned;
    cutPrimary.primary.chop(100);
    QCOMPARE(assemblePhoto(photo, pictures, cutPrimary).report.problem,
             AssemblyProblem::PrimaryIncomplete);

    // A primary that lost its index (jpegtran told to copy nothing, say).
    TurnedPictures bare = turned;
    bare.primary = outputOf("jpegtran", {"-copy", "none", "-rotate", "90", "-trim"},
                            photo.left(pictures.primary.imageEnd));
    const AssemblyProblem lost = assemblePhoto(photo, pictures, bare).report.problem;
    QVERIFY(lost == AssemblyProblem::ContainerLost || lost == AssemblyProblem::IndexLost);

    // A length that grows the XMP segment past 64 KB.
    TurnedPictures huge = turned;
    const JpegStructure turnedPrimary = parseJpegStructure(turned.primary);
    const qint64 room = 0xFFFF - 2 - turnedPrimary.xmpSegment.length;
    QVERIFY(room >= 0);
    QByteArray primary = turned.primary;
    // Filler that is no padding, ahead of the packet's first tag.
    primary.insert(turnedPrimary.xmpSegment.offset + 29, QByteArray(int(room), 'x'));
    primary.replace(turnedPrimary.xmpSegment.offset - 2, 2, packed(0xFFFF, 2, true));
    huge.primary = primary;
    const int toSixDigits = int(100000 - turned.pictures[0].size());
    QVERIFY(toSixDigits > 0 && toSixDigits < 65000);
    huge.pictures[0] = withComment(turned.pictures[0], toSixDigits);
    QCOMPARE(assemblePhoto(photo, pictures, huge).report.problem, AssemblyProblem::NoRoomInXmp);
}

void PhotoAssemblyTest::exactTurn_data() {
    QTest::addColumn<Turn>("turn");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");
    QTest::newRow("quarter turn, grey") << Turn::Rotate90 << true << false;
    QTest::newRow("half turn, colour, progressive") << Turn::Rotate180 << false << true;
    QTest::newRow("three-quarter turn, colour") << Turn::Rotate270 << false << false;
    QTest::newRow("left and right swapped, grey, progressive")
        << Turn::FlipHorizontal << true << true;
    QTest::newRow("top and bottom swapped, colour") << Turn::FlipVertical << false << false;
    QTest::newRow("across the main diagonal, grey") << Turn::Transpose << true << false;
    QTest::newRow("across the other diagonal, colour") << Turn::Transverse << false << false;
}

// A picture of 403x301 pixels, which no lossless transform but a transpose keeps whole, turned
// exactly: of the whole turned size, its coding process and components kept, its metadata
// segments carried over in their order, and showing what ImageMagick makes of the original turned.
void PhotoAssemblyTest::exactTurn() {
    QFETCH(Turn, turn);
    QFETCH(bool, grey);
    QFETCH(bool, progressive);
    const QString path = sandbox.filePath("picture.jpg");
    QString error;
    QVERIFY2(
        CraftedPhotos::makePicture(TestPhotos::sharedPhoto(1), QSize(403, 301), path, &error, grey),
        qPrintable(error));
    QByteArray picture = readFile(path);
    if (progressive)
        picture = outputOf("jpegtran", {"-copy", "all", "-progressive"}, picture);
    // Its own XMP, a comment and a segment no reader knows, after the JFIF segment.
    picture.insert(20, segment(0xE1, CraftedPhotos::gainMapXmp()) +
                           segment(0xFE, "made for the exact turn") +
                           segment(0xE9, QByteArray("private\0\x01\x02", 10)));
    const JpegStructure structure = parseJpegStructure(picture);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));
    // Only a transpose keeps the partial blocks where they are.
    QCOMPARE(isPerfectTurn(structure.frame, turn), turn == Turn::Transpose);

    const ExactTurn exact = turnExactly(picture, structure, turn);

    QVERIFY2(exact.problem.isEmpty(), qPrintable(exact.problem));
    const JpegStructure after = parseJpegStructure(exact.picture);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    QCOMPARE(after.imageEnd, qint64(exact.picture.size()));
    const QSize turned = swapsSides(turn) ? QSize(301, 403) : QSize(403, 301);
    QCOMPARE(QSize(after.frame.width, after.frame.height), turned);
    QCOMPARE(after.frame.components.size(), structure.frame.components.size());
    QCOMPARE(after.frame.progressive(), progressive);
    QCOMPARE(CraftedPhotos::metadataSegments(exact.picture),
             CraftedPhotos::metadataSegments(picture));
    const QImage reference = TestPhotos::turnedByImageMagick(picture, turn);
    QCOMPARE(reference.size(), turned);
    // Encoded anew at high quality, the picture differs from the reference by rounding: a level
    // or two on average, where a wrong turn differs by tens.
    const double difference = TestPhotos::meanDifference(decoded(exact.picture), reference);
    QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    QVERIFY(showsTheOriginalTurned(picture, exact.picture, turn));
    const ResultCheck check = checkExactlyTurnedPicture(picture, structure, exact.picture, turn);
    QCOMPARE(check.verdict, ResultVerdict::Sound);
    // The same picture turned the other way round is no exact turn of it.
    const Turn other = turn == Turn::Rotate90 ? Turn::Rotate270 : Turn::Rotate90;
    if (swapsSides(turn))
        QCOMPARE(checkExactlyTurnedPicture(picture, structure, exact.picture, other).verdict,
                 ResultVerdict::Wrong);
}

// What cannot be encoded anew faithfully is refused with a reason, never made up.
void PhotoAssemblyTest::exactTurnRefusals() {
    const QString path = sandbox.filePath("cmyk.jpg");
    QVERIFY(CraftedPhotos::run(
        "convert", {"-size", "403x301", "gradient:red-blue", "-colorspace", "CMYK", path}));
    const QByteArray cmyk = readFile(path);
    const JpegStructure structure = parseJpegStructure(cmyk);
    QCOMPARE(structure.frame.components.size(), size_t(4));
    const ExactTurn refused = turnExactly(cmyk, structure, Turn::Rotate90);
    QVERIFY(refused.picture.isEmpty());
    QVERIFY(!refused.problem.isEmpty());

    QVERIFY(withMetadataOf("no picture at all", cmyk).isEmpty());
    QVERIFY(withMetadataOf(cmyk, cmyk.left(cmyk.indexOf("\xFF\xDA"))).isEmpty());
}

QTEST_MAIN(PhotoAssemblyTest)
#include "tst_photoassembly.moc"

// The turn a photo needs and what is said about it: the test photos, bad input to the reading,
// the progress mark, links that show outside names literally, and the engine's check of one
// photo under the mirrored-photos setting, which tells nothing until the caller shows it.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextDocument>
#include <QUrl>
#include <QtTest>

#include "engine/orientationcheck.h"
#include "engine/rotationengine.h"
#include "messagelog.h"
#include "presentation/messagetext.h"
#include "presentation/panecolors.h"
#include "presentation/photowording.h"

Q_DECLARE_METATYPE(Turn)
Q_DECLARE_METATYPE(OrientationCheck::Finding)

namespace {
QString sharedPhoto(const QString &name) {
    return QString(PIVOTTA_TESTDATA_DIR "/orientation/") + name;
}

OrientationCheck check(const QString &path, bool fixMirrored = false) {
    return checkOrientation(path, fixMirrored);
}

// What a run tells about a photo after its check, in a user batch (with its progress mark) or
// elsewhere, as the light panes show it.
QList<OutputMessage> told(const OrientationCheck &result, const QString &path,
                          bool userBatch = false) {
    const PhotoRef photo{path, path, QString()};
    QList<OutputMessage> messages;
    if (result.askedImageReader) {
        PhotoStep step;
        step.kind = PhotoStep::ExifUnusable;
        step.photo = photo;
        step.check = result;
        step.inUserBatch = userBatch;
        messages << stepMessages(step, PaneColors::light());
    }
    if (result.leavesPhoto()) {
        PhotoOutcome outcome;
        outcome.photo = photo;
        outcome.reason = reasonOfCheck(result);
        messages << outcomeMessages(outcome, PaneColors::light());
    }
    return messages;
}

// The plain reason the headless report gives for leaving the photo.
QString reasonFor(const OrientationCheck &result) {
    PhotoOutcome outcome;
    outcome.reason = reasonOfCheck(result);
    return reasonText(outcome);
}

// The panes as a user would read them after these messages.
struct Panes {
    QString main;
    QString detailed;
};

Panes shown(const QList<OutputMessage> &messages) {
    MessageLog log;
    for (const OutputMessage &message : messages)
        log.add(message);
    return {log.mainText(), log.detailedText()};
}

QString unusualOrientationText(const QString &link, int tag, const QString &mirror) {
    return QString("File %1 has unusual orientation value %2, Mirror %3. If you need Pivotta to "
                   "rotate this orientation too, turn on \"Also turn mirrored photos upright\" "
                   "in Preferences.")
        .arg(link, QString::number(tag), mirror);
}
} // namespace

class OrientationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void photos_data();
    void photos();
    void badInput_data();
    void badInput();
    void truncatedImageDataKeepsItsOrientation();
    void errorsGetAProgressDotInUserRuns();
    void linkTextAndTargetAreEscaped();
    void engineCheckFollowsTheMirroredSetting_data();
    void engineCheckFollowsTheMirroredSetting();

private:
    QTemporaryDir sandbox;
};

void OrientationTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    QVERIFY(sandbox.isValid());
}

void OrientationTest::photos_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fixMirrored");
    QTest::addColumn<Turn>("turn");
    QTest::addColumn<OrientationCheck::Finding>("finding");
    QTest::addColumn<QString>("mirror"); // the unusual orientation's words, or empty

    for (const QString &shape : {QString("Landscape"), QString("Portrait")}) {
        for (const bool fixMirrored : {false, true}) {
            const auto row = [&](int tag) -> QTestData & {
                return QTest::newRow(qPrintable(QString("%1 %2%3").arg(shape).arg(tag).arg(
                           fixMirrored ? ", mirrored fixed" : "")))
                       << QString("%1_%2.jpg").arg(shape).arg(tag) << fixMirrored;
            };
            const auto mirrored = [&](int tag, Turn turn, const QString &words) {
                if (fixMirrored)
                    row(tag) << turn << OrientationCheck::NeedsTurn << QString();
                else
                    row(tag) << Turn::None << OrientationCheck::Mirrored << words;
            };
            row(0) << Turn::None << OrientationCheck::Upright << QString();
            row(1) << Turn::None << OrientationCheck::Upright << QString();
            mirrored(2, Turn::FlipHorizontal, "horizontal");
            row(3) << Turn::Rotate180 << OrientationCheck::NeedsTurn << QString();
            mirrored(4, Turn::FlipVertical, "vertical");
            mirrored(5, Turn::Transpose, "horizontal, rotate 270 CW");
            row(6) << Turn::Rotate90 << OrientationCheck::NeedsTurn << QString();
            mirrored(7, Turn::Transverse, "horizontal, rotate 90 CW");
            row(8) << Turn::Rotate270 << OrientationCheck::NeedsTurn << QString();
        }
    }
}

void OrientationTest::photos() {
    QFETCH(QString, name);
    QFETCH(bool, fixMirrored);
    QFETCH(Turn, turn);
    QFETCH(OrientationCheck::Finding, finding);
    QFETCH(QString, mirror);
    const QString path = sharedPhoto(name);

    const OrientationCheck result = check(path, fixMirrored);

    QCOMPARE(result.turn, turn);
    QCOMPARE(result.finding, finding);
    QList<OutputMessage> expected;
    if (name.endsWith("_0.jpg")) {
        // No orientation value: the image reader is asked, and the detailed pane says why.
        expected << OutputMessage::detailed("<br>Orientation: Error parsing EXIF: code 0, " + path,
                                            true);
    } else if (!mirror.isEmpty()) {
        const QString link = QString("<a style='color:#333' href='%1'>%2</a>")
                                 .arg(QUrl::fromLocalFile(path).toString(), name);
        const int tag = name.section('_', 1).left(1).toInt();
        expected << OutputMessage::main(unusualOrientationText(link, tag, mirror));
        QCOMPARE(result.orientation, tag);
        QCOMPARE(reasonFor(result), QString("mirrored orientation %1").arg(tag));
        const QString text = shown(told(result, path)).main;
        QVERIFY2(text.contains(unusualOrientationText(name, tag, mirror)), qPrintable(text));
    }
    QCOMPARE(told(result, path), expected);
    // The preview's words for the check are a run's, without the progress mark.
    QCOMPARE(checkMessages(result, {path, path, QString()}, PaneColors::light()), expected);
}

void OrientationTest::badInput_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("detailedMessage"); // empty: nothing shown at all

    QTest::newRow("empty path") << "empty"
                                << "";
    QTest::newRow("missing file") << "missing"
                                  << "";
    QTest::newRow("directory named x.jpg") << "directory"
                                           << "";
    QTest::newRow("zero-byte file") << "zero"
                                    << "code 1982";
    QTest::newRow("text file named .jpg") << "text"
                                          << "code 1982";
    QTest::newRow("cut inside the EXIF block") << "cut"
                                               << "code 1985";
}

void OrientationTest::badInput() {
    QFETCH(QString, kind);
    QFETCH(QString, detailedMessage);

    QString path = sandbox.filePath(kind + ".jpg");
    if (kind == "empty") {
        path.clear();
    } else if (kind == "directory") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind != "missing") {
        QByteArray bytes;
        if (kind == "text")
            bytes = "just some text\r\n";
        if (kind == "cut") {
            QFile original(sharedPhoto("Landscape_6.jpg"));
            QVERIFY(original.open(QIODevice::ReadOnly));
            bytes = original.read(80); // inside IFD0, whose entries run past the end
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    const OrientationCheck result = check(path);

    QCOMPARE(result.turn, Turn::None);
    const Panes log = shown(told(result, path));
    if (detailedMessage.isEmpty()) {
        QCOMPARE(result.finding, OrientationCheck::NotOpened);
        QCOMPARE(told(result, path), QList<OutputMessage>());
    } else {
        QCOMPARE(result.finding, OrientationCheck::Unreadable);
        QVERIFY(!result.readerError.isEmpty());
        QCOMPARE(reasonFor(result), result.readerError);
        QVERIFY2(log.detailed.contains(detailedMessage), qPrintable(log.detailed));
        // The image reader could not help either: its error and a link to the photo.
        QVERIFY2(log.main.contains("; " + kind + ".jpg"), qPrintable(log.main));
        // No progress mark outside user runs.
        for (const OutputMessage &message : told(result, path))
            QVERIFY(!message.plainTextNoNewline);
    }
}

void OrientationTest::truncatedImageDataKeepsItsOrientation() {
    // The orientation sits at the head of the file, so a photo cut short in its image data
    // still reports it; the transform step is what must refuse such a photo.
    QFile original(sharedPhoto("Landscape_6.jpg"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QString path = sandbox.filePath("half.jpg");
    QFile half(path);
    QVERIFY(half.open(QIODevice::WriteOnly));
    half.write(original.read(original.size() / 2));
    half.close();
    QCOMPARE(check(path).turn, Turn::Rotate90);
}

void OrientationTest::errorsGetAProgressDotInUserRuns() {
    const QString path = sandbox.filePath("notaphoto.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("nothing");
    file.close();

    const QList<OutputMessage> bad = told(check(path), path, true);
    const QList<OutputMessage> good =
        told(check(sharedPhoto("Landscape_6.jpg")), sharedPhoto("Landscape_6.jpg"), true);

    QVERIFY(!bad.isEmpty());
    QCOMPARE(bad.first(), OutputMessage::progressMark("Photos without usable EXIF orientation:"));
    QCOMPARE(good, QList<OutputMessage>());
    const QString text = shown(bad + good).main;
    QVERIFY2(text.startsWith(" ."), qPrintable(text));
    QCOMPARE(text.count(" ."), 1);
}

void OrientationTest::linkTextAndTargetAreEscaped() {
    const QString name = "<b>x</b> & 'q' <a href='https://example.org'>y</a>.jpg";
    const QString path = "/photos/" + name;
    const QString link = fileLink(path, true, false, QString(), PaneColors::light().link);
    QVERIFY(link.startsWith("<a style='color:#333' href='file:///photos/"));
    QCOMPARE(link.count("<a "), 1);
    QCOMPARE(link.count('\''), 4); // only the two attribute values are quoted
    QTextDocument document;
    document.setHtml(link);
    QCOMPARE(document.toPlainText(), QDir::toNativeSeparators(path));

    // The same name in a message about a real photo shows literally.
    const QString photoName = "<b>x & 'q' \"d\" %1 &amp;.jpg";
    const QString photo = sandbox.filePath(photoName);
    QFile::remove(photo);
    QVERIFY(QFile::copy(sharedPhoto("Landscape_2.jpg"), photo));
    const QList<OutputMessage> messages = told(check(photo), photo);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().text.count("<a "), 1);
    const QString text = shown(messages).main;
    QVERIFY2(text.contains(unusualOrientationText(photoName, 2, "horizontal")), qPrintable(text));
}

void OrientationTest::engineCheckFollowsTheMirroredSetting_data() {
    QTest::addColumn<bool>("fixMirrored");
    QTest::newRow("mirrored reported") << false;
    QTest::newRow("mirrored fixed") << true;
}

// The engine's check of one photo (the preview's) reads the setting and tells nothing itself; the
// caller shows what it found.
void OrientationTest::engineCheckFollowsTheMirroredSetting() {
    QFETCH(bool, fixMirrored);
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
    settings.setValue("fixMirroredOrientations", fixMirrored);
    settings.sync();
    RotationEngine engine;
    MessageLog log(&engine);
    const QString photo = sharedPhoto("Portrait_5.jpg");

    const OrientationCheck result = engine.checkPhoto(photo);

    QCOMPARE(result.turn, fixMirrored ? Turn::Transpose : Turn::None);
    QCOMPARE(log.messages(), QList<OutputMessage>());
    log.wording()->tellCheck(result, photo, QString());
    QCOMPARE(log.messages(), told(result, photo));
    QCOMPARE(log.messages().isEmpty(), fixMirrored);
    settings.remove("fixMirroredOrientations");
}

QTEST_MAIN(OrientationTest)
#include "tst_orientation.moc"

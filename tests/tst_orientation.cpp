// Rotation angles and messages from real photos, and bad input to the orientation reading.
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

#include "exif/orientation.h"
#include "mainwindow/pivotta.h"

class PivottaTestAccess {
public:
    static int angle(Pivotta &window, const QString &path, bool dot = false) {
        return window.readRotationAngle(path, dot);
    }
    static QString link(Pivotta &window, const QString &path) {
        return window.fileLink(path, true, false);
    }
};

class OrientationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void photos_data();
    void photos();
    void badInput_data();
    void badInput();
    void truncatedImageDataKeepsItsOrientation();
    void errorsGetAProgressDotInUserRuns();
    void linkTextAndTargetAreEscaped();

private:
    QString mainText() const {
        return window->findChild<QTextBrowser *>("cmdLineOutput")->toPlainText();
    }
    QString detailedText() const {
        return window->findChild<QTextEdit *>("cmdLineOutput_2")->toPlainText();
    }

    QTemporaryDir sandbox;
    Pivotta *window = nullptr;
};

void OrientationTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    QVERIFY(sandbox.isValid());
}

void OrientationTest::init() {
    window = new Pivotta(false, false, false, QString(), QString());
}

void OrientationTest::cleanup() {
    delete window;
}

void OrientationTest::photos_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("angle");
    QTest::addColumn<QString>("mainMessage");     // a part of the main pane's text, or empty
    QTest::addColumn<QString>("detailedMessage"); // a part of the detailed pane's text, or empty

    const QString unusual = "has unusual orientation value %1 , Mirror %2.";
    for (const QString &shape : {QString("Landscape"), QString("Portrait")}) {
        const auto row = [&](int tag) -> QTestData & {
            return QTest::newRow(qPrintable(QString("%1 %2").arg(shape).arg(tag)))
                   << QString("%1_%2.jpg").arg(shape).arg(tag);
        };
        row(0) << 0 << ""
               << "Orientation: Error parsing EXIF: code 0,";
        row(1) << 0 << ""
               << "";
        row(2) << 0 << unusual.arg(2).arg("horizontal") << "";
        row(3) << 180 << ""
               << "";
        row(4) << 0 << unusual.arg(4).arg("vertical") << "";
        row(5) << 0 << unusual.arg(5).arg("horizontal, rotate 270 CW") << "";
        row(6) << 90 << ""
               << "";
        row(7) << 0 << unusual.arg(7).arg("horizontal, rotate 90 CW") << "";
        row(8) << 270 << ""
               << "";
    }
}

void OrientationTest::photos() {
    QFETCH(QString, name);
    QFETCH(int, angle);
    QFETCH(QString, mainMessage);
    QFETCH(QString, detailedMessage);

    const QString path = QString(PIVOTTA_TESTDATA_DIR "/orientation/") + name;
    QCOMPARE(PivottaTestAccess::angle(*window, path), angle);
    if (mainMessage.isEmpty()) {
        QCOMPARE(mainText(), QString());
    } else {
        QVERIFY2(mainText().contains("File " + name + " " + mainMessage), qPrintable(mainText()));
        QVERIFY(mainText().contains("please contact us by clicking the Feedback button."));
    }
    if (detailedMessage.isEmpty())
        QCOMPARE(detailedText(), QString());
    else
        QVERIFY2(detailedText().contains(detailedMessage + " " + path), qPrintable(detailedText()));
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
                                               << "code 1982";
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
            QFile original(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg");
            QVERIFY(original.open(QIODevice::ReadOnly));
            bytes = original.read(300);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QCOMPARE(PivottaTestAccess::angle(*window, path), 0);
    if (detailedMessage.isEmpty()) {
        QCOMPARE(detailedText(), QString());
        QCOMPARE(mainText(), QString());
    } else {
        QVERIFY2(detailedText().contains(detailedMessage), qPrintable(detailedText()));
        // The image reader could not help either: its error and a link to the photo.
        QVERIFY2(mainText().contains("; " + kind + ".jpg"), qPrintable(mainText()));
    }
}

void OrientationTest::truncatedImageDataKeepsItsOrientation() {
    // The orientation sits at the head of the file, so a photo cut short in its image data
    // still reports it; the transform step is what must refuse such a photo.
    QFile original(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg");
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QString path = sandbox.filePath("half.jpg");
    QFile half(path);
    QVERIFY(half.open(QIODevice::WriteOnly));
    half.write(original.read(original.size() / 2));
    half.close();
    QCOMPARE(PivottaTestAccess::angle(*window, path), 90);
}

void OrientationTest::errorsGetAProgressDotInUserRuns() {
    const QString path = sandbox.filePath("notaphoto.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("nothing");
    file.close();
    PivottaTestAccess::angle(*window, path, true);
    QVERIFY2(mainText().startsWith("\n. \n") || mainText().startsWith(". "),
             qPrintable(mainText()));
    PivottaTestAccess::angle(*window, QString(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg"),
                             true);
    QCOMPARE(mainText().count(". "), 1);
}

void OrientationTest::linkTextAndTargetAreEscaped() {
    const QString name = "<b>x</b> & 'q' <a href='https://example.org'>y</a>.jpg";
    const QString path = "/photos/" + name;
    const QString link = PivottaTestAccess::link(*window, path);
    QVERIFY(link.startsWith("<a style='color:#333' href='file:///photos/"));
    QCOMPARE(link.count("<a "), 1);
    QCOMPARE(link.count('\''), 4); // only the two attribute values are quoted
    QTextDocument document;
    document.setHtml(link);
    QCOMPARE(document.toPlainText(), QDir::toNativeSeparators(path));
}

QTEST_MAIN(OrientationTest)
#include "tst_orientation.moc"

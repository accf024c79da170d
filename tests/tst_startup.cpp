// Start-up decisions from the command line, and the start-up font rule.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/startup.h"

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void decisions_data();
    void decisions();
    void optionsInOrder();
    void unknownOptionIsAnError();
    void font_data();
    void font();

private:
    QTemporaryDir sandbox;
    QString folder;
    QString photo;
};

void StartupTest::initTestCase() {
    QVERIFY(sandbox.isValid());
    folder = sandbox.filePath("photos");
    QVERIFY(QDir().mkpath(folder));
    photo = sandbox.filePath("photos/a.jpg");
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void StartupTest::decisions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("watch");
    QTest::addColumn<bool>("tutorial");
    QTest::addColumn<QString>("expectedFolder"); // "F" = the folder, "P" = the photo, "" = none
    QTest::addColumn<QString>("expectedFile");

    QTest::newRow("nothing") << QStringList{} << false << false << false << ""
                             << "";
    QTest::newRow("folder") << QStringList{"F"} << false << false << false << "F"
                            << "";
    QTest::newRow("folder watch") << QStringList{"F", "-w"} << false << true << false << "F"
                                  << "";
    QTest::newRow("photo") << QStringList{"P"} << false << false << false << ""
                           << "P";
    QTest::newRow("photo preview long")
        << QStringList{"--preview", "P"} << true << false << false << ""
        << "P";
    QTest::newRow("photo watch preview")
        << QStringList{"-w", "-p", "P"} << true << true << false << ""
        << "P";
    QTest::newRow("tutorial") << QStringList{"--tutorial"} << false << false << true << ""
                              << "";
    QTest::newRow("missing path") << QStringList{"/no/such/place"} << false << false << false << ""
                                  << "";
    QTest::newRow("second argument ignored")
        << QStringList{"P", "F"} << false << false << false << ""
        << "P";
    QTest::newRow("missing first, real second")
        << QStringList{"/no/such/place", "F"} << false << false << false << ""
        << "";
}

void StartupTest::decisions() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, preview);
    QFETCH(bool, watch);
    QFETCH(bool, tutorial);
    QFETCH(QString, expectedFolder);
    QFETCH(QString, expectedFile);

    const auto resolve = [this](const QString &token) {
        return token == "F" ? folder : token == "P" ? photo : token;
    };
    QStringList commandLine{"pivotta"};
    for (const QString &argument : arguments)
        commandLine << resolve(argument);

    QCommandLineParser parser;
    addStartupOptions(parser);
    QVERIFY(parser.parse(commandLine));
    const StartupDecisions decisions = startupDecisions(parser);
    QCOMPARE(decisions.preview, preview);
    QCOMPARE(decisions.watch, watch);
    QCOMPARE(decisions.tutorial, tutorial);
    QCOMPARE(decisions.folder, resolve(expectedFolder));
    QCOMPARE(decisions.file, resolve(expectedFile));
}

void StartupTest::optionsInOrder() {
    QCommandLineParser parser;
    addStartupOptions(parser);
    const QString help = parser.helpText();
    const QStringList inOrder{"--help",     "--watch",    "--tutorial",
                              "--preview",  "--headless", "--dry-run",
                              "--jobs <N>", "--version",  "The folder to rotate files in"};
    qsizetype position = -1;
    for (const QString &item : inOrder) {
        const qsizetype found = help.indexOf(item);
        QVERIFY2(found > position, qPrintable(item));
        position = found;
    }
    QVERIFY(help.contains("Keep watching folder and rotate all new files"));
    QVERIFY(help.simplified().contains(
        "--headless --watch <folder> watches the folder until SIGINT or SIGTERM"));
    QVERIFY(help.contains("Preview photo orientation before & after autorotating"));
}

void StartupTest::unknownOptionIsAnError() {
    QCommandLineParser parser;
    addStartupOptions(parser);
    QVERIFY(!parser.parse({"pivotta", "--frobnicate"}));
    QVERIFY(parser.errorText().contains("frobnicate"));
}

void StartupTest::font_data() {
    QTest::addColumn<QVariant>("checked");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("pixelSize"); // -1: point size 10 instead

    QTest::newRow("both absent") << QVariant() << QVariant() << -1;
    QTest::newRow("checked, value absent") << QVariant(true) << QVariant() << -1;
    QTest::newRow("value, check absent") << QVariant() << QVariant(20) << -1;
    QTest::newRow("unchecked") << QVariant(false) << QVariant(20) << -1;
    QTest::newRow("forced") << QVariant(true) << QVariant(20) << 20;
    QTest::newRow("forced, stored as text") << QVariant("true") << QVariant("12") << 12;
    QTest::newRow("garbage value") << QVariant(true) << QVariant("huge") << -1;
}

void StartupTest::font() {
    QFETCH(QVariant, checked);
    QFETCH(QVariant, value);
    QFETCH(int, pixelSize);

    const QFont font = startupFont(QFont("Sans", 31), checked, value);
    QCOMPARE(font.family(), QString("Segoe UI"));
    if (pixelSize < 0) {
        QCOMPARE(font.pointSize(), 10);
    } else {
        QCOMPARE(font.pixelSize(), pixelSize);
        QCOMPARE(font.pointSize(), -1);
    }
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"

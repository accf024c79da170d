// End to end: the built program started the way a file manager starts it, on copies of the
// test photos, with its own settings; then every photo is checked on disk.
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "standintools.h"
#include "testphotos.h"

#include <signal.h>
#include <sys/stat.h>

namespace {
const QString testPhotos = QStringLiteral(PIVOTTA_TESTDATA_DIR "/orientation");
constexpr int runTimeoutMs = 60000; // start-up second, the rotation and the 10 s countdown
constexpr int previewRunMs = 3000;

// The clockwise turn that the photo's orientation tag asks for; 0 for upright, mirrored and
// untagged photos, which are left alone.
int angleForTag(int tag) {
    switch (tag) {
    case 3:
        return 180;
    case 6:
        return 90;
    case 8:
        return 270;
    default:
        return 0;
    }
}

// The tag that the test photo's name announces: "Portrait_6.jpg" has tag 6.
int tagFromName(const QString &originalName) {
    return originalName.section('_', -1).section('.', 0, 0).toInt();
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The picture as stored, without applying the orientation tag.
QImage storedPixels(const QString &path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// What a correct lossless rotation of `original` looks like, made with jpegtran itself.
QImage expectedPixels(const QString &original, int angle, const QString &workFolder) {
    const QString expectedPath = workFolder + "/expected.jpg";
    QFile::remove(expectedPath);
    QProcess jpegtran;
    jpegtran.start("jpegtran", {"-rotate", QString::number(angle), "-copy", "all", "-trim",
                                "-outfile", expectedPath, original});
    if (!jpegtran.waitForFinished(30000) || jpegtran.exitCode() != 0)
        return {};
    return storedPixels(expectedPath);
}

// A headless run's surroundings: no display, the real tools, settings of its own.
QProcessEnvironment headlessEnvironment(const QString &configFolder) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("PIVOTTA_TOOLS_DIR");
    environment.remove("QT_LOGGING_RULES");
    environment.insert("XDG_CONFIG_HOME", configFolder);
    return environment;
}

bool writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One photo of a sandbox: where it lies now and which test photo it was copied from.
struct Placement {
    QString relativePath;
    QString originalName;
};
} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rotatesFolderWithSubfolders();
    void rotatesSinglePhotoOnly();
    void previewChangesNothing();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void headless_data();
    void headless();
    void headlessPhotosLeftForALaterRun_data();
    void headlessPhotosLeftForALaterRun();
    void headlessWatch();
    void headlessWatchedFolderGoes();
    void killedHeadlessRunTakesItsToolsAlong();
    void headlessReportHoldsOnlyItsOwnLines_data();
    void headlessReportHoldsOnlyItsOwnLines();

private:
    struct Run {
        std::unique_ptr<QTemporaryDir> config = std::make_unique<QTemporaryDir>();
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    };

    bool copyPhotos(const QString &folder, const QList<Placement> &placements);
    void startPivotta(Run &run, const QStringList &arguments);
    void waitForQuit(Run &run);
    void checkFolder(const QString &folder, const QList<Placement> &placements,
                     const QStringList &turnable);

    QTemporaryDir sandbox;
    QList<Placement> folderPhotos;
    QList<Placement> singlePhotoFolder;
    QList<Placement> previewFolder;
    Run folderRun;
    Run photoRun;
    Run previewRun;
    QElapsedTimer previewStarted;
};

bool EndToEndTest::copyPhotos(const QString &folder, const QList<Placement> &placements) {
    for (const Placement &placement : placements) {
        const QString target = folder + "/" + placement.relativePath;
        if (!QDir().mkpath(QFileInfo(target).path()) ||
            !QFile::copy(testPhotos + "/" + placement.originalName, target) ||
            !QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner))
            return false;
    }
    return true;
}

// Starts the program as a file manager would: the destination as the single argument, no
// window system but the offscreen one, and settings that close it after the countdown.
void EndToEndTest::startPivotta(Run &run, const QStringList &arguments) {
    QVERIFY(run.config->isValid());
    QSettings settings(run.config->filePath("Tavlund/Pivotta.ini"), QSettings::IniFormat);
    settings.setValue("closeAppAfterContextMenuRotate", true);
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", run.config->path());
    environment.insert("HOME", run.config->path());
    environment.remove("PIVOTTA_TOOLS_DIR"); // the real jpegtran and exiv2
    run.process->setProcessEnvironment(environment);
    run.process->setProcessChannelMode(QProcess::MergedChannels);
    run.process->start(PIVOTTA_EXECUTABLE, arguments);
    QVERIFY2(run.process->waitForStarted(30000), qPrintable(run.process->errorString()));
}

void EndToEndTest::waitForQuit(Run &run) {
    const bool finished = run.process->waitForFinished(runTimeoutMs);
    const QByteArray output = run.process->readAll();
    if (!finished)
        run.process->kill();
    QVERIFY2(finished, "Pivotta did not quit by itself after its countdown:\n" + output);
    QVERIFY2(run.process->exitStatus() == QProcess::NormalExit, "Pivotta crashed:\n" + output);
    QVERIFY2(run.process->exitCode() == 0, "Pivotta failed:\n" + output);
}

// Each photo of `turnable` whose tag asks for a turn is now upright with tag 1 and exactly the
// pixels of a lossless turn; every other photo is untouched.
void EndToEndTest::checkFolder(const QString &folder, const QList<Placement> &placements,
                               const QStringList &turnable) {
    for (const Placement &placement : placements) {
        const QString path = folder + "/" + placement.relativePath;
        const QString original = testPhotos + "/" + placement.originalName;
        const int angle = turnable.contains(placement.relativePath)
                              ? angleForTag(tagFromName(placement.originalName))
                              : 0;
        const QByteArray label = placement.relativePath.toUtf8();
        if (angle == 0) {
            QVERIFY2(fileBytes(path) == fileBytes(original), label + " was changed");
            continue;
        }
        QVERIFY2(TestPhotos::storedOrientation(path) == 1, label + " does not have orientation 1");
        const QImage expected = expectedPixels(original, angle, sandbox.path());
        QVERIFY2(!expected.isNull(), "jpegtran could not make the expected picture");
        QVERIFY2(storedPixels(path) == expected, label + " is not the lossless turn");
    }
}

void EndToEndTest::initTestCase() {
    QVERIFY(QFileInfo(PIVOTTA_EXECUTABLE).isExecutable());
    if (QStandardPaths::findExecutable("jpegtran").isEmpty() ||
        QStandardPaths::findExecutable("exiv2").isEmpty())
        QSKIP("jpegtran and exiv2 must be installed");
    QVERIFY(sandbox.isValid());

    // Every test photo, some in subfolders, one with an upper-case extension and one with
    // blanks and non-ASCII letters in its name; and a file that is no photo.
    for (const QString &name : QDir(testPhotos).entryList({"*.jpg"}, QDir::Files, QDir::Name)) {
        QString relativePath = name;
        if (name.startsWith("Portrait"))
            relativePath = "sub/" + name;
        if (name == "Landscape_8.jpg" || name == "Portrait_3.jpg")
            relativePath = "sub/deeper/" + name;
        folderPhotos.append(Placement{relativePath, name});
    }
    folderPhotos.append(Placement{"UPPER_6.JPG", "Landscape_6.jpg"});
    folderPhotos.append(Placement{"Ferien am Fluß 8.jpeg", "Portrait_8.jpg"});
    QVERIFY(copyPhotos(sandbox.filePath("folder"), folderPhotos));
    QFile notes(sandbox.filePath("folder/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a photo\n") > 0);
    notes.close();

    singlePhotoFolder = {{"Landscape_6.jpg", "Landscape_6.jpg"},
                         {"Landscape_3.jpg", "Landscape_3.jpg"},
                         {"Portrait_8.jpg", "Portrait_8.jpg"}};
    QVERIFY(copyPhotos(sandbox.filePath("single"), singlePhotoFolder));
    previewFolder = {{"Portrait_6.jpg", "Portrait_6.jpg"}, {"Landscape_8.jpg", "Landscape_8.jpg"}};
    QVERIFY(copyPhotos(sandbox.filePath("preview"), previewFolder));

    // The runs take a while each (start-up second and countdown); they overlap.
    startPivotta(folderRun, {sandbox.filePath("folder")});
    startPivotta(photoRun, {sandbox.filePath("single/Landscape_6.jpg")});
    startPivotta(previewRun, {"--preview", sandbox.filePath("preview/Portrait_6.jpg")});
    previewStarted.start();
}

void EndToEndTest::rotatesFolderWithSubfolders() {
    waitForQuit(folderRun);
    if (QTest::currentTestFailed())
        return;
    QStringList everyPhoto;
    for (const Placement &placement : folderPhotos)
        everyPhoto.append(placement.relativePath);
    checkFolder(sandbox.filePath("folder"), folderPhotos, everyPhoto);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fileBytes(sandbox.filePath("folder/notes.txt")), QByteArray("not a photo\n"));
}

void EndToEndTest::rotatesSinglePhotoOnly() {
    waitForQuit(photoRun);
    if (QTest::currentTestFailed())
        return;
    checkFolder(sandbox.filePath("single"), singlePhotoFolder, {"Landscape_6.jpg"});
}

// A preview stays open until the user closes it; it is ended here once it has had time to do
// anything it (wrongly) might.
void EndToEndTest::previewChangesNothing() {
    const qint64 remaining = previewRunMs - previewStarted.elapsed();
    if (remaining > 0)
        QTest::qWait(int(remaining));
    QVERIFY2(previewRun.process->state() == QProcess::Running,
             "the preview ended by itself:\n" + previewRun.process->readAll());
    previewRun.process->kill();
    QVERIFY(previewRun.process->waitForFinished(30000));
    checkFolder(sandbox.filePath("preview"), previewFolder, {});
}

void EndToEndTest::answersWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QStringList>("expectedTexts");

    QTest::newRow("help") << QStringList{"--help"} << true
                          << QStringList{"destination", "--watch",    "--tutorial",
                                         "--preview",   "--headless", "--dry-run",
                                         "--jobs",      "--version",  "Keep watching folder"};
    QTest::newRow("version") << QStringList{"--version"} << true << QStringList{"Pivotta 3.27"};
    QTest::newRow("unknown option") << QStringList{"--turn-everything", sandbox.path()} << false
                                    << QStringList{"Unknown option 'turn-everything'"};
}

// Help, version and option errors come from a console too, where no window system exists.
void EndToEndTest::answersWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, succeeds);
    QFETCH(QStringList, expectedTexts);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    QProcess pivotta;
    pivotta.setProcessEnvironment(environment);
    pivotta.setProcessChannelMode(QProcess::MergedChannels);
    pivotta.start(PIVOTTA_EXECUTABLE, arguments);
    QVERIFY(pivotta.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(pivotta.readAll());
    QCOMPARE(pivotta.exitStatus(), QProcess::NormalExit);
    QVERIFY2((pivotta.exitCode() == 0) == succeeds, qPrintable(output));
    for (const QString &text : expectedTexts)
        QVERIFY2(output.contains(text), qPrintable(text + " missing in:\n" + output));
}

void EndToEndTest::headless_data() {
    QTest::addColumn<QStringList>("arguments"); // "F" = the folder, "P" = its Landscape_6.jpg
    QTest::addColumn<bool>("withBrokenPhoto");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("turned");   // the photos turned on disk
    QTest::addColumn<QStringList>("reported"); // in the report on standard output
    QTest::addColumn<QString>("error");        // on standard error

    const QStringList both{"Landscape_6.jpg", "Portrait_3.jpg"};
    QTest::newRow("folder")
        << QStringList{"--headless", "F"} << false << 0 << both
        << QStringList{"rotated: F/Landscape_6.jpg (90° clockwise; 8 columns "
                       "of edge pixels dropped)",
                       "rotated: F/Portrait_3.jpg (180°; 8 rows of edge pixels dropped)",
                       "left: F/Landscape_2.jpg (mirrored orientation 2)",
                       "2 image(s) with EXIF orientation metadata were found, "
                       "out of 4 photo(s) total.",
                       "2 image(s) were successfully rotated."}
        << QString();
    QTest::newRow("folder, one job")
        << QStringList{"--headless", "--jobs", "1", "F"} << false << 0 << both
        << QStringList{"2 image(s) were successfully rotated."} << QString();
    QTest::newRow("dry run") << QStringList{"--headless", "--dry-run", "F"} << false << 0
                             << QStringList()
                             << QStringList{"would rotate: F/Landscape_6.jpg (90° clockwise)",
                                            "2 image(s) would be rotated."}
                             << QString();
    // As a shell passes a pattern's photos, and a folder besides: each is handled as it would be
    // alone, and one summary counts them all.
    QTest::newRow("several destinations")
        << QStringList{"--headless", "F/Landscape_6.jpg", "F/Landscape_1.jpg", "F"} << false << 0
        << both
        << QStringList{"rotated: F/Landscape_6.jpg (90° clockwise",
                       "rotated: F/Portrait_3.jpg (180°",
                       "Folders and photos: F/Landscape_6.jpg, F/Landscape_1.jpg, ",
                       "2 image(s) with EXIF orientation metadata were found, out of 6 photo(s) "
                       "total.",
                       "2 image(s) were successfully rotated."}
        << QString();
    QTest::newRow("a destination not found")
        << QStringList{"--headless", "F/nothing-here", "P"} << false << 1
        << QStringList{"Landscape_6.jpg"}
        << QStringList{"not found: F/nothing-here", "rotated: F/Landscape_6.jpg",
                       "1 image(s) were successfully rotated.",
                       "1 folder(s) or photo(s) not found."}
        << QString();
    QTest::newRow("no destination found")
        << QStringList{"--headless", "F/nothing-here", "F/nor-here.jpg"} << false << 2
        << QStringList() << QStringList() << "there is no folder or photo";
    QTest::newRow("a photo fails")
        << QStringList{"--headless", "F"} << true << 1 << both
        << QStringList{"failed: F/broken.jpg", "1 photo(s) could not be rotated."} << QString();
    QTest::newRow("one photo") << QStringList{"--headless", "P"} << false << 0
                               << QStringList{"Landscape_6.jpg"}
                               << QStringList{"rotated: F/Landscape_6.jpg (90° clockwise; 8 "
                                              "columns of edge pixels dropped)"}
                               << QString();
    QTest::newRow("a text file named like a photo")
        << QStringList{"--headless", "F/broken.jpg"} << true << 1 << QStringList()
        << QStringList{"failed: F/broken.jpg (Unsupported image format)",
                       "0 image(s) with EXIF orientation metadata were found, out of 1 photo(s) "
                       "total.",
                       "1 photo(s) could not be rotated."}
        << QString();
    QTest::newRow("a FIFO named like a photo")
        << QStringList{"--headless", "F/fifo.jpg"} << false << 1 << QStringList()
        << QStringList{"failed: F/fifo.jpg (it is not a regular file",
                       "1 photo(s) could not be rotated."}
        << QString();
    QTest::newRow("no such destination")
        << QStringList{"--headless", "F/nothing-here"} << false << 2 << QStringList()
        << QStringList() << "there is no folder or photo";
    QTest::newRow("no destination") << QStringList{"--headless"} << false << 2 << QStringList()
                                    << QStringList() << "needs a folder or a photo";
    QTest::newRow("bad job count") << QStringList{"--headless", "--jobs", "0", "F"} << false << 2
                                   << QStringList() << QStringList() << "--jobs";
    QTest::newRow("unknown option") << QStringList{"--headless", "--bogus", "F"} << false << 2
                                    << QStringList() << QStringList() << "Unknown option";
}

// The headless run needs no display, reports in plain text and tells by its exit code whether
// anything failed. Its output is redirected here, so it shows no progress line.
void EndToEndTest::headless() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, withBrokenPhoto);
    QFETCH(int, exitCode);
    QFETCH(QStringList, turned);
    QFETCH(QStringList, reported);
    QFETCH(QString, error);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    const QList<Placement> placements{{"Landscape_1.jpg", "Landscape_1.jpg"},
                                      {"Landscape_6.jpg", "Landscape_6.jpg"},
                                      {"Portrait_3.jpg", "Portrait_3.jpg"},
                                      {"Landscape_2.jpg", "Landscape_2.jpg"}};
    QVERIFY(copyPhotos(folder, placements));
    if (withBrokenPhoto) {
        QFile broken(folder + "/broken.jpg");
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a photo") > 0);
    }
    if (arguments.contains("F/fifo.jpg"))
        QCOMPARE(::mkfifo(QFile::encodeName(folder + "/fifo.jpg").constData(), 0644), 0);
    for (QString &argument : arguments) {
        if (argument == "P")
            argument = folder + "/Landscape_6.jpg";
        else if (argument.startsWith("F"))
            argument = folder + argument.mid(1);
    }

    QProcess pivotta;
    pivotta.setProcessEnvironment(headlessEnvironment(work.filePath("config")));
    pivotta.start(PIVOTTA_EXECUTABLE, arguments);
    QVERIFY(pivotta.waitForFinished(runTimeoutMs));
    const QString output = QString::fromUtf8(pivotta.readAllStandardOutput());
    const QString errors = QString::fromUtf8(pivotta.readAllStandardError());
    QCOMPARE(pivotta.exitStatus(), QProcess::NormalExit);
    QVERIFY2(pivotta.exitCode() == exitCode, qPrintable(output + errors));
    for (QString line : reported) {
        line.replace("F/", folder + "/");
        QVERIFY2(output.contains(line), qPrintable(line + " missing in:\n" + output));
    }
    QVERIFY2(!output.contains('\r'), "a progress line although the output is redirected");
    QVERIFY2(output.count("photo(s) total.") <= 1, qPrintable(output));
    if (error.isEmpty())
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
    else
        QVERIFY2(errors.contains(error) && output.isEmpty(), qPrintable(output + errors));
    QStringList turnedPaths;
    for (const QString &name : turned)
        turnedPaths << name;
    checkFolder(folder, placements, turnedPaths);
}

void EndToEndTest::headlessPhotosLeftForALaterRun_data() {
    QTest::addColumn<QString>("holder"); // what holds Landscape_6.jpg during the run
    QTest::addColumn<bool>("withBrokenPhoto");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("reported");

    QTest::newRow("a viewer keeps a photo open")
        << "reader" << false << 0
        << QStringList{"rotated: F/Landscape_6.jpg", "2 image(s) were successfully rotated."};
    QTest::newRow("a writer keeps a photo open")
        << "writer" << false << 3
        << QStringList{"left: F/Landscape_6.jpg (still being written)",
                       "1 image(s) were successfully rotated.",
                       "1 photo(s) were left for a later run"};
    QTest::newRow("another program's lease")
        << "lease" << false << 3
        << QStringList{"left: F/Landscape_6.jpg (in use by another program)",
                       "1 photo(s) were left for a later run"};
    QTest::newRow("a photo left, another failed")
        << "writer" << true << 1
        << QStringList{"left: F/Landscape_6.jpg (still being written)",
                       "1 photo(s) could not be rotated.", "1 photo(s) were left for a later run"};
}

// `pivotta --headless DIR && echo all upright` tells the truth: photos left for a later run
// (still being written, held by another program) give exit status 3 and a line in the summary;
// a failure still gives 1; a reader holding a photo open is no reason to leave it.
void EndToEndTest::headlessPhotosLeftForALaterRun() {
    QFETCH(QString, holder);
    QFETCH(bool, withBrokenPhoto);
    QFETCH(int, exitCode);
    QFETCH(QStringList, reported);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    const QList<Placement> placements{{"Landscape_6.jpg", "Landscape_6.jpg"},
                                      {"Portrait_3.jpg", "Portrait_3.jpg"},
                                      {"Landscape_2.jpg", "Landscape_2.jpg"}};
    QVERIFY(copyPhotos(folder, placements));
    if (withBrokenPhoto)
        QVERIFY(writeBytes(folder + "/broken.jpg", "not a photo"));
    const QString held = folder + "/Landscape_6.jpg";
    QProcess holding;
    if (holder == "lease")
        holding.start(PIVOTTA_HOLDPHOTO, {"lease", held});
    else
        holding.start(
            "/bin/sh",
            {"-c",
             QString("exec 3%1\"$0\"; echo held; read line").arg(holder == "reader" ? "<" : ">>"),
             held});
    QVERIFY(holding.waitForReadyRead());

    QProcess pivotta;
    pivotta.setProcessEnvironment(headlessEnvironment(work.filePath("config")));
    // Two destinations, the held photo in the second: the summary adds up what both runs left.
    pivotta.start(PIVOTTA_EXECUTABLE, {"--headless", folder + "/Landscape_2.jpg", folder});
    const bool finished = pivotta.waitForFinished(runTimeoutMs);
    holding.closeWriteChannel();
    QVERIFY(holding.waitForFinished());
    QVERIFY(finished);
    const QString output = QString::fromUtf8(pivotta.readAllStandardOutput());
    QCOMPARE(pivotta.exitStatus(), QProcess::NormalExit);
    QVERIFY2(pivotta.exitCode() == exitCode, qPrintable(output));
    for (QString line : reported) {
        line.replace("F/", folder + "/");
        QVERIFY2(output.contains(line), qPrintable(line + " missing in:\n" + output));
    }
    if (exitCode == 0)
        QVERIFY2(!output.contains("left for a later run"), qPrintable(output));
    checkFolder(folder, placements,
                exitCode == 0 ? QStringList{"Landscape_6.jpg", "Portrait_3.jpg"}
                              : QStringList{"Portrait_3.jpg"});
}

// Watching without a window: a photo moved in is turned and reported, what was there before is
// left; SIGTERM ends watching with the summary and exit status 0, every photo whole (untouched or
// turned) and no temporary file left, whether a photo was in hand or not.
void EndToEndTest::headlessWatch() {
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    const QList<Placement> before{{"Landscape_6.jpg", "Landscape_6.jpg"},
                                  {"sub/Landscape_1.jpg", "Landscape_1.jpg"}};
    QVERIFY(copyPhotos(folder, before));
    const QList<Placement> arriving{{"Portrait_8.jpg", "Portrait_8.jpg"},
                                    {"Landscape_3.jpg", "Landscape_3.jpg"}};
    QVERIFY(copyPhotos(work.filePath("camera"), arriving));

    QProcess pivotta;
    pivotta.setProcessEnvironment(headlessEnvironment(work.filePath("config")));
    pivotta.start(PIVOTTA_EXECUTABLE, {"--headless", "--watch", folder});
    QVERIFY2(pivotta.waitForStarted(30000), qPrintable(pivotta.errorString()));
    QString output;
    const auto waitForOutput = [&](const QString &text) {
        QElapsedTimer waited;
        waited.start();
        while (!output.contains(text) && waited.elapsed() < runTimeoutMs &&
               pivotta.state() == QProcess::Running) {
            pivotta.waitForReadyRead(1000);
            output += QString::fromUtf8(pivotta.readAllStandardOutput());
        }
        return output.contains(text);
    };
    QVERIFY2(waitForOutput("Watching for changes in " + folder), qPrintable(output));

    // Moved in whole, into a subfolder of the watched folder.
    QVERIFY(QFile::rename(work.filePath("camera/Portrait_8.jpg"), folder + "/sub/Portrait_8.jpg"));
    QVERIFY2(waitForOutput("rotated: " + folder + "/sub/Portrait_8.jpg"), qPrintable(output));

    // Another arrives and SIGTERM follows at once.
    QVERIFY(QFile::rename(work.filePath("camera/Landscape_3.jpg"), folder + "/Landscape_3.jpg"));
    pivotta.terminate();
    QVERIFY(pivotta.waitForFinished(runTimeoutMs));
    output += QString::fromUtf8(pivotta.readAllStandardOutput());
    const QString errors = QString::fromUtf8(pivotta.readAllStandardError());
    QCOMPARE(pivotta.exitStatus(), QProcess::NormalExit);
    QVERIFY2(pivotta.exitCode() == 0, qPrintable(output + errors));
    // The summary counts every photo turned while watching.
    const int rotatedLines = int(output.count("\nrotated: ") + output.startsWith("rotated: "));
    QVERIFY2(rotatedLines >= 1, qPrintable(output));
    QVERIFY2(output.contains(QString("\n%1 image(s) were successfully rotated.").arg(rotatedLines)),
             qPrintable(output));
    QVERIFY2(!output.contains("failed"), qPrintable(output));

    checkFolder(folder, before + QList<Placement>{{"sub/Portrait_8.jpg", "Portrait_8.jpg"}},
                {"sub/Portrait_8.jpg"});
    // The photo that came with the signal: untouched, or turned in full.
    const QString last = folder + "/Landscape_3.jpg";
    if (fileBytes(last) != fileBytes(testPhotos + "/Landscape_3.jpg"))
        checkFolder(folder, {{"Landscape_3.jpg", "Landscape_3.jpg"}}, {"Landscape_3.jpg"});
    QDirIterator everything(folder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
    QStringList files;
    while (everything.hasNext())
        files << QDir(folder).relativeFilePath(everything.next());
    files.sort();
    QCOMPARE(files, QStringList({"Landscape_3.jpg", "Landscape_6.jpg", "sub/Landscape_1.jpg",
                                 "sub/Portrait_8.jpg"}));
}

// Watching without a window ends, with the summary and exit status 1, when the watched folder
// is deleted: a service manager can start it again once the folder is back.
void EndToEndTest::headlessWatchedFolderGoes() {
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    QVERIFY(copyPhotos(folder, {{"sub/Landscape_6.jpg", "Landscape_6.jpg"}}));
    QProcess pivotta;
    pivotta.setProcessEnvironment(headlessEnvironment(work.filePath("config")));
    pivotta.start(PIVOTTA_EXECUTABLE, {"--headless", "--watch", folder});
    QVERIFY2(pivotta.waitForStarted(30000), qPrintable(pivotta.errorString()));
    QString output;
    while (!output.contains("Watching for changes in") && pivotta.waitForReadyRead(runTimeoutMs))
        output += QString::fromUtf8(pivotta.readAllStandardOutput());
    QVERIFY2(output.contains("Watching for changes in " + folder), qPrintable(output));

    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(pivotta.waitForFinished(runTimeoutMs));
    output += QString::fromUtf8(pivotta.readAllStandardOutput());
    QCOMPARE(pivotta.exitStatus(), QProcess::NormalExit);
    QVERIFY2(pivotta.exitCode() == 1, qPrintable(output));
    QVERIFY2(output.contains("The watched folder " + folder + " is no longer there."),
             qPrintable(output));
    QVERIFY2(output.contains("0 image(s) were successfully rotated."), qPrintable(output));
}

// A headless run killed outright while a tool works: the tool ends with it at once rather than
// working on for nobody, the photo is whole, and the next run removes the temporary file the
// killed one left and says so in its report.
void EndToEndTest::killedHeadlessRunTakesItsToolsAlong() {
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    QVERIFY(copyPhotos(folder, {{"Landscape_6.jpg", "Landscape_6.jpg"}}));
    const QByteArray original = fileBytes(folder + "/Landscape_6.jpg");
    // exiv2 reads the rotated photo's temporary file; this one only says who it is and waits.
    const QString toolProcess = work.filePath("exiv2-process");
    StandInTools::ToolFolder tools(work.path());
    QVERIFY(tools.isValid());
    QVERIFY(tools.write("jpegtran", StandInTools::realJpegtran));
    QVERIFY(tools.write(
        "exiv2",
        QString("echo $$ > '%1.part'\nmv '%1.part' '%1'\nexec sleep 60\n").arg(toolProcess)));

    QProcessEnvironment environment = headlessEnvironment(work.filePath("config"));
    environment.insert("PIVOTTA_TOOLS_DIR", tools.path());
    QProcess killed;
    killed.setProcessEnvironment(environment);
    killed.start(PIVOTTA_EXECUTABLE, {"--headless", "--jobs", "1", folder});
    QVERIFY2(killed.waitForStarted(30000), qPrintable(killed.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(toolProcess), runTimeoutMs);
    const qint64 tool = fileBytes(toolProcess).trimmed().toLongLong();
    const auto reap = qScopeGuard([tool] { // should it live on: not past this test
        if (StandInTools::processRunning(tool))
            ::kill(pid_t(tool), SIGKILL);
    });
    QVERIFY(StandInTools::processRunning(tool));
    killed.kill();
    QVERIFY(killed.waitForFinished(30000));

    QTRY_VERIFY_WITH_TIMEOUT(!StandInTools::processRunning(tool), 5000);
    QCOMPARE(fileBytes(folder + "/Landscape_6.jpg"), original);
    const QStringList left =
        QDir(folder).entryList({".Landscape_6.jpg.pivotta-*.tmp"}, QDir::Files | QDir::Hidden);
    QCOMPARE(left.size(), 1);

    QProcess next;
    next.setProcessEnvironment(headlessEnvironment(work.filePath("config")));
    next.start(PIVOTTA_EXECUTABLE, {"--headless", folder});
    QVERIFY(next.waitForFinished(runTimeoutMs));
    const QString output = QString::fromUtf8(next.readAllStandardOutput());
    QVERIFY2(next.exitStatus() == QProcess::NormalExit && next.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains("Removed 1 temporary file(s) that an earlier Pivotta left in " +
                             folder + ".\n"),
             qPrintable(output));
    QVERIFY2(output.contains("rotated: " + folder + "/Landscape_6.jpg"), qPrintable(output));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Landscape_6.jpg"});
    checkFolder(folder, {{"Landscape_6.jpg", "Landscape_6.jpg"}}, {"Landscape_6.jpg"});
}

void EndToEndTest::headlessReportHoldsOnlyItsOwnLines_data() {
    QTest::addColumn<bool>("debugLog");
    QTest::newRow("debug log off") << false;
    QTest::newRow("debug log on") << true;
}

// Photos that make the image libraries complain ("JPEG datastream contains no image"): the
// report holds only its own lines, and what the libraries say goes to the debug log.
void EndToEndTest::headlessReportHoldsOnlyItsOwnLines() {
    QFETCH(bool, debugLog);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString folder = work.filePath("photos");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray photo = fileBytes(testPhotos + "/Landscape_6.jpg");
    QVERIFY(writeBytes(folder + "/empty.jpg", QByteArray()));
    QVERIFY(writeBytes(folder + "/text.jpg", "not a photo\n"));
    QVERIFY(writeBytes(folder + "/no-image.jpg", QByteArray::fromHex("ffd8ffd9")));
    QVERIFY(writeBytes(folder + "/cut.jpg", photo.left(photo.size() / 2)));

    QProcessEnvironment environment = headlessEnvironment(work.filePath("config"));
    if (debugLog)
        environment.insert("QT_LOGGING_RULES", "pivotta.debug=true");
    QProcess pivotta;
    pivotta.setProcessEnvironment(environment);
    pivotta.start(PIVOTTA_EXECUTABLE, {"--headless", folder});
    QVERIFY(pivotta.waitForFinished(runTimeoutMs));
    const QString output = QString::fromUtf8(pivotta.readAllStandardOutput());
    const QString errors = QString::fromUtf8(pivotta.readAllStandardError());
    QCOMPARE(pivotta.exitCode(), 1);

    const QRegularExpression reportLine(
        "^((failed|left|rotated|would rotate|not read|not found): |Folder: |\\d+ "
        "(image|photo|folder)\\(s\\) |The operation took )");
    const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.filter(QRegularExpression("^failed: ")).size(), 4);
    for (const QString &line : lines)
        QVERIFY2(reportLine.match(line).hasMatch(), qPrintable("not a report line: " + line));
    if (debugLog)
        QVERIFY2(errors.contains("qt.gui.imageio.jpeg"), qPrintable(errors));
    else
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
}

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_endtoend.moc"

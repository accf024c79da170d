// The scan of a run through held folders, through the engine's seams and the built program:
// folders and photos swapped for links while a batch goes on (nothing outside the tree is read or
// written), entries that cannot be read (told, and the headless run exits 1), names that are no
// valid text and paths longer than the system allows, a low descriptor limit, stale temporary
// files against a dry run, SIGTERM, SIGINT and SIGHUP ending a headless batch cleanly, watcher
// runs that look only at their candidates, and Quit or closing the window during a batch.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <utility>

#include "engine/orientationreader.h"
#include "engine/rotationengine.h"
#include "engine/watchcandidates.h"
#include "files/heldtempfile.h"
#include "messagelog.h"
#include "otheruser.h"
#include "rawfiles.h"
#include "standintools.h"
#include "testphotos.h"
#include "windowfixture.h"

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using TestPhotos::fileBytes;

// The tag as stored, read by the tests' own reader.
int tagOf(const QString &path) {
    return TestPhotos::storedOrientation(path);
}

constexpr int runWaitMs = 60000;

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
}

// The program's output and how it ended.
struct ProgramRun {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    QString output;
};

// Leaves the child process as the user "nobody" (run as root), or with a lower descriptor limit.
struct ChildSetup {
    bool asOtherUser = false;
    rlim_t descriptorLimit = 0;
};

void setUpChild(const ChildSetup &setup) {
    if (setup.descriptorLimit > 0) {
        const struct rlimit limit { setup.descriptorLimit, setup.descriptorLimit };
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::_exit(120);
    }
    if (setup.asOtherUser && OtherUser::isRoot()) {
        const gid_t group = OtherUser::userId();
        if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 ||
            ::setuid(OtherUser::userId()) != 0)
            ::_exit(121);
    }
}

// The same photo bytes under many names: quicker than cutting each.
bool copyPhoto(const QString &from, const QStringList &targets) {
    const QByteArray bytes = fileBytes(from);
    for (const QString &target : targets) {
        QFile file(target);
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// Gives the tree to the user the child runs as.
void giveTree(const QString &path, unsigned user) {
    if (!OtherUser::isRoot())
        return;
    QVERIFY(::chown(QFile::encodeName(path).constData(), user, user) == 0);
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return;
    for (const QString &name : QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot))
        giveTree(path + "/" + name, user);
}
// jpegtran that marks `started` and then takes five seconds before it turns; the real exiv2.
bool writeSlowTools(StandInTools::ToolFolder &tools, const QString &started) {
    return tools.write("jpegtran", QString("touch '%1'\nsleep 5\n").arg(started) +
                                       StandInTools::realJpegtran) &&
           tools.write("exiv2", StandInTools::realExiv2);
}

} // namespace

class ScanTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void nothingOutsideTheTreeIsTouched_data();
    void nothingOutsideTheTreeIsTouched();
    void namesAndDepthsBeyondPaths_data();
    void namesAndDepthsBeyondPaths();
    void unreadableEntriesAreTold();
    void descriptorLimit_data();
    void descriptorLimit();
    void stopWhileReadingEndsTheRun();
    void onlyRealRunsRemoveStaleTempFiles_data();
    void onlyRealRunsRemoveStaleTempFiles();
    void stopSignalEndsHeadlessBatch_data();
    void stopSignalEndsHeadlessBatch();
    void watcherRunLooksOnlyAtItsCandidates_data();
    void watcherRunLooksOnlyAtItsCandidates();
    void watchCandidatesAddUp();
    void quitAndCloseWaitForTheRun_data();
    void quitAndCloseWaitForTheRun();

private:
    QString folder() const { return work->filePath("photos"); }
    // A small photo cut from the test photo with tag `tag`, at `relativePath` in the folder.
    QString addPhoto(const QString &relativePath, int tag);
    void startEngine();
    bool runsFinished(int count) {
        return QTest::qWaitFor([this, count] { return finished->count() >= count; }, runWaitMs);
    }
    RunSummary summary(int run) const { return finished->at(run).first().value<RunSummary>(); }
    QStringList leftovers() const { return TestPhotos::rotationLeftovers({work->path()}); }
    ProgramRun runProgram(const QStringList &arguments, const ChildSetup &setup = {});

    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<RotationEngine> engine;
    std::unique_ptr<MessageLog> log;
    std::unique_ptr<QSignalSpy> finished;
    QList<PhotoOutcome> outcomes;
};

void ScanTest::initTestCase() {
    WindowFixture::setUpCase();
    if (!QFileInfo::exists("/usr/bin/jpegtran") || !QFileInfo::exists("/usr/bin/exiv2"))
        QSKIP("the real jpegtran and exiv2 are needed in /usr/bin");
    qunsetenv("PIVOTTA_TOOLS_DIR");
}

void ScanTest::init() {
    settings().clear();
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
    QVERIFY(QDir().mkpath(folder()));
    outcomes.clear();
}

void ScanTest::cleanup() {
    finished.reset();
    log.reset();
    engine.reset();
    work.reset();
}

QString ScanTest::addPhoto(const QString &relativePath, int tag) {
    const QString target = folder() + "/" + relativePath;
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!TestPhotos::writeCroppedPhoto(tag, target) ||
        !TestPhotos::setModificationTime(target, QDateTime::currentDateTime().addDays(-3)))
        return QString();
    return target;
}

void ScanTest::startEngine() {
    engine = std::make_unique<RotationEngine>();
    log = std::make_unique<MessageLog>(engine.get());
    finished = std::make_unique<QSignalSpy>(engine.get(), &RotationEngine::runFinished);
    connect(engine.get(), &RotationEngine::photoFinished, this,
            [this](const PhotoOutcome &outcome) { outcomes << outcome; });
}

ProgramRun ScanTest::runProgram(const QStringList &arguments, const ChildSetup &setup) {
    const QString config = work->filePath("config");
    QDir().mkpath(config);
    giveTree(config, OtherUser::userId());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    environment.insert("XDG_CONFIG_HOME", config);
    QString executable = PIVOTTA_EXECUTABLE;
    if (setup.asOtherUser && OtherUser::isRoot()) {
        // The other user may not reach the build folder, nor the home folder the tests get there.
        executable = OtherUser::programCopyIn(executable, work->path());
        const QString home = work->filePath("home");
        QDir().mkpath(home);
        giveTree(home, OtherUser::userId());
        environment.insert("HOME", home);
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setChildProcessModifier([setup] { setUpChild(setup); });
    program.start(executable, arguments);
    ProgramRun run;
    run.finished = program.waitForFinished(runWaitMs);
    run.status = program.exitStatus();
    run.exitCode = program.exitCode();
    run.output = QString::fromUtf8(program.readAllStandardOutput());
    return run;
}

void ScanTest::nothingOutsideTheTreeIsTouched_data() {
    QTest::addColumn<QString>("swapped"); // swapped for a link to the outside once listed
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder swapped for a link") << "a"
                                                 << "symbolic link";
    QTest::newRow("a photo swapped for a link") << "a/p1.jpg"
                                                << "symbolic link";
}

// Once the tree is listed, a folder or a photo in it becomes a link to photos outside that need
// turning. They are neither read nor written; the photos that were listed there are told as not
// read, with the reason.
void ScanTest::nothingOutsideTheTreeIsTouched() {
    QFETCH(QString, swapped);
    QFETCH(QString, reason);
    for (const char *name : {"a/p1.jpg", "a/p2.jpg"})
        QVERIFY(!addPhoto(name, 6).isEmpty());
    // More folders after it than the tree keeps open, so that the swapped one is opened again.
    for (int i = 0; i < 10; ++i)
        QVERIFY(!addPhoto(QString("b%1/u.jpg").arg(i), 1).isEmpty());
    const QString outside = work->filePath("outside");
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(TestPhotos::writeCroppedPhoto(6, outside + "/p1.jpg"));
    QVERIFY(QFile::copy(outside + "/p1.jpg", outside + "/p2.jpg"));
    const QByteArray outsideBytes = fileBytes(outside + "/p1.jpg");
    startEngine();
    connect(engine.get(), &RotationEngine::photosListed, this, [&] {
        const QString path = folder() + "/" + swapped;
        QVERIFY(QFile::rename(path, path + ".moved"));
        const QString target = swapped.endsWith(".jpg") ? outside + "/p1.jpg" : outside;
        QVERIFY(QFile::link(target, path));
    });

    QVERIFY(engine->startUserBatch(folder(), false));
    QVERIFY(runsFinished(1));

    QCOMPARE(fileBytes(outside + "/p1.jpg"), outsideBytes);
    QCOMPARE(fileBytes(outside + "/p2.jpg"), outsideBytes);
    int notRead = 0;
    for (const PhotoOutcome &outcome : std::as_const(outcomes)) {
        if (!outcome.photo.path.startsWith(folder() + "/a/"))
            continue;
        if (outcome.kind == PhotoOutcome::Rotated) {
            QVERIFY2(!outcome.photo.path.endsWith(swapped), qPrintable(outcome.photo.path));
            continue;
        }
        QCOMPARE(outcome.kind, PhotoOutcome::Failed);
        QCOMPARE(outcome.reason.kind, PhotoReason::NotOpened);
        QVERIFY2(outcome.reason.error.contains(reason), qPrintable(outcome.reason.error));
        ++notRead;
    }
    QCOMPARE(notRead, swapped.endsWith(".jpg") ? 1 : 2);
    QCOMPARE(summary(0).failed, notRead);
    QVERIFY2(log->mainText().contains("Could not read " + QDir::toNativeSeparators(folder())),
             qPrintable(log->mainText()));
    QCOMPARE(leftovers(), QStringList());
}

void ScanTest::namesAndDepthsBeyondPaths_data() {
    QTest::addColumn<QByteArray>("folders"); // below the folder, made one at a time
    QTest::addColumn<int>("depth");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("a name that is no valid text") << QByteArray() << 0 << QByteArray("caf\xe9.jpg");
    QTest::newRow("a path longer than the system allows")
        << QByteArray(200, 'd') << PATH_MAX / 200 + 5 << QByteArray("deep.jpg");
}

// Such photos are found, read through their held folders and told by the names users see.
void ScanTest::namesAndDepthsBeyondPaths() {
    QFETCH(QByteArray, folders);
    QFETCH(int, depth);
    QFETCH(QByteArray, name);
    QVERIFY(TestPhotos::writeCroppedPhoto(6, work->filePath("tagged.jpg")));
    const QByteArray photo = fileBytes(work->filePath("tagged.jpg"));
    int at = ::open(QFile::encodeName(folder()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(at >= 0);
    for (int level = 0; level < depth; ++level) {
        QCOMPARE(::mkdirat(at, folders.constData(), 0755), 0);
        const int deeper = ::openat(at, folders.constData(), O_RDONLY | O_DIRECTORY);
        ::close(at);
        at = deeper;
        QVERIFY(at >= 0);
    }
    QVERIFY(RawFiles::writeAt(at, name, photo));
    startEngine();

    QVERIFY(engine->startUserBatch(folder(), true));
    QVERIFY(runsFinished(1));
    QCOMPARE(outcomes.size(), 1);
    QCOMPARE(outcomes.first().kind, PhotoOutcome::WouldRotate);
    QCOMPARE(outcomes.first().turn, Turn::Rotate90);
    QVERIFY(outcomes.first().photo.path.endsWith(QFile::decodeName(name)));
    QCOMPARE(summary(0).photosToRotate, 1);
    QCOMPARE(summary(0).notRead, 0);

    // A real run turns it: the chain reaches it through the held folder, never by its path.
    outcomes.clear();
    QVERIFY(engine->startUserBatch(folder(), false));
    QVERIFY(runsFinished(2));
    QCOMPARE(outcomes.size(), 1);
    QCOMPARE(outcomes.first().kind, PhotoOutcome::Rotated);
    QCOMPARE(summary(1).notRead, 0);
    QByteArray now;
    const int file = ::openat(at, name.constData(), O_RDONLY);
    QVERIFY(file >= 0);
    char buffer[65536];
    for (ssize_t count; (count = ::read(file, buffer, sizeof buffer)) > 0;)
        now.append(buffer, int(count));
    ::close(file);
    ::close(at);
    QVERIFY(now != photo);
    QCOMPARE(storedOrientation(now), 1u);
    RawFiles::removeTree(folder()); // beyond what QTemporaryDir can remove
}

// Run as a user whom permission bits bind: a photo that cannot be read and a folder that cannot
// be listed each get a line, the rest is rotated, and the run exits 1.
void ScanTest::unreadableEntriesAreTold() {
    const QString open = addPhoto("open.jpg", 6);
    const QString secret = addPhoto("secret.jpg", 6);
    QVERIFY(!open.isEmpty() && !secret.isEmpty() && !addPhoto("closed/inside.jpg", 6).isEmpty());
    giveTree(work->path(), OtherUser::userId());
    QVERIFY(::chmod(QFile::encodeName(work->path()).constData(), 0755) == 0);
    OTHER_USER_MUST_REACH(folder());
    QVERIFY(QFile::setPermissions(secret, QFileDevice::WriteOwner));
    QVERIFY(QFile::setPermissions(folder() + "/closed", QFileDevice::Permissions()));
    const QByteArray secretBytes = fileBytes(secret);

    const ProgramRun run = runProgram({"--headless", folder()}, {true, 0});
    QFile::setPermissions(folder() + "/closed",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QVERIFY(run.finished);
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 1, qPrintable(run.output));
    const QStringList expected{"rotated: " + open, "failed: " + secret + " (Permission denied)",
                               "not read: " + folder() + "/closed (Permission denied)",
                               "1 photo(s) could not be rotated.",
                               "1 folder(s) or file(s) could not be read."};
    for (const QString &line : expected)
        QVERIFY2(run.output.contains(line), qPrintable(line + " missing in:\n" + run.output));
    QCOMPARE(tagOf(open), 1);
    QCOMPARE(fileBytes(secret), secretBytes);
}

void ScanTest::descriptorLimit_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("upright");
    QTest::addColumn<int>("tagged");
    QTest::addColumn<bool>("dryRun");
    QTest::newRow("40 descriptors, 8 jobs, 100 photos") << 40 << 8 << 70 << 30 << false;
    QTest::newRow("1024 descriptors, 300 jobs, 500 photos") << 1024 << 300 << 400 << 100 << true;
}

// Fewer descriptors than the jobs asked for: the run takes as many photos at once as fit, every
// photo is reported, nothing crashes and no temporary file is left.
void ScanTest::descriptorLimit() {
    QFETCH(int, limit);
    QFETCH(int, jobs);
    QFETCH(int, upright);
    QFETCH(int, tagged);
    QFETCH(bool, dryRun);
    QVERIFY(TestPhotos::writeCroppedPhoto(1, work->filePath("upright.jpg")));
    QVERIFY(TestPhotos::writeCroppedPhoto(6, work->filePath("tagged.jpg")));
    QStringList uprightNames, taggedNames;
    for (int i = 0; i < upright; ++i)
        uprightNames << folder() + QString("/%1/u%2.jpg").arg(i % 5).arg(i);
    for (int i = 0; i < tagged; ++i)
        taggedNames << folder() + QString("/%1/t%2.jpg").arg(i % 5).arg(i);
    for (int i = 0; i < 5; ++i)
        QVERIFY(QDir().mkpath(folder() + "/" + QString::number(i)));
    QVERIFY(copyPhoto(work->filePath("upright.jpg"), uprightNames));
    QVERIFY(copyPhoto(work->filePath("tagged.jpg"), taggedNames));

    QStringList arguments{"--headless", "--jobs", QString::number(jobs)};
    if (dryRun)
        arguments << "--dry-run";
    const ProgramRun run = runProgram(arguments << folder(), {false, rlim_t(limit)});

    QVERIFY(run.finished);
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains(QString("%1 image(s) with EXIF orientation metadata were found, "
                                         "out of %2 photo(s) total.")
                                     .arg(tagged)
                                     .arg(upright + tagged)),
             qPrintable(run.output));
    QCOMPARE(run.output.count(dryRun ? "would rotate: " : "rotated: "), tagged);
    for (const QString &photo : std::as_const(taggedNames))
        QCOMPARE(tagOf(photo), dryRun ? 6 : 1);
    QCOMPARE(leftovers(), QStringList());
}

// Stop while photos are still handed out to the workers: the run ends, without reading them.
void ScanTest::stopWhileReadingEndsTheRun() {
    QVERIFY(TestPhotos::writeCroppedPhoto(1, work->filePath("upright.jpg")));
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names << folder() + QString("/u%1.jpg").arg(i, 3, 10, QChar('0'));
    QVERIFY(copyPhoto(work->filePath("upright.jpg"), names));
    startEngine();
    engine->setReadsInFlight(2);
    bool stopped = false;
    connect(engine.get(), &RotationEngine::progress, this, [&] {
        if (!std::exchange(stopped, true))
            engine->stop();
    });

    QVERIFY(engine->startUserBatch(folder(), false));
    QVERIFY(runsFinished(1));

    QVERIFY(stopped);
    QVERIFY(summary(0).interrupted);
    QVERIFY(summary(0).entriesSeen < names.size());
    QVERIFY(!engine->isBusy());
}

void ScanTest::onlyRealRunsRemoveStaleTempFiles_data() {
    QTest::addColumn<bool>("dryRun");
    QTest::newRow("dry run") << true;
    QTest::newRow("real run") << false;
}

// Temporary files left by a Pivotta that was killed go before a real run; a dry run changes
// nothing at all.
void ScanTest::onlyRealRunsRemoveStaleTempFiles() {
    QFETCH(bool, dryRun);
    QVERIFY(!addPhoto("a.jpg", 1).isEmpty() && !addPhoto("sub/b.jpg", 1).isEmpty());
    const QStringList stale{folder() + "/" + QString::fromUtf8(tempNameFor("a.jpg")),
                            folder() + "/sub/" + QString::fromUtf8(tempNameFor("b.jpg"))};
    for (const QString &path : stale) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("left behind") > 0);
    }
    startEngine();
    QList<RunEvent> removals;
    connect(engine.get(), &RotationEngine::runEvent, this, [&](const RunEvent &event) {
        if (event.kind == RunEvent::LeftoversRemoved)
            removals << event;
    });

    QVERIFY(engine->startUserBatch(folder(), dryRun));
    QVERIFY(runsFinished(1));

    for (const QString &path : stale)
        QCOMPARE(QFileInfo::exists(path), dryRun);
    QCOMPARE(removals.size(), dryRun ? 0 : 2);
    QCOMPARE(log->detailedText().count("Removed 1 temporary file(s)"), dryRun ? 0 : 2);
}

void ScanTest::stopSignalEndsHeadlessBatch_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// A signal while slow tools run stops the batch as Stop does: every photo whole, no temporary
// file, the summary printed, and the exit status 128 + the signal's number.
void ScanTest::stopSignalEndsHeadlessBatch() {
    QFETCH(int, signal);
    QStringList photos;
    QMap<QString, QByteArray> originals;
    for (int i = 0; i < 6; ++i) {
        const QString photo = addPhoto(QString("s%1.jpg").arg(i), 6);
        QVERIFY(!photo.isEmpty());
        photos << photo;
        originals[photo] = fileBytes(photo);
    }
    const QImage reference = TestPhotos::referenceRotation(photos.first(), 90);
    const QString started = work->filePath("tool-started");
    StandInTools::ToolFolder tools(work->path());
    QVERIFY(writeSlowTools(tools, started));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    environment.insert("XDG_CONFIG_HOME", work->filePath("config"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(PIVOTTA_EXECUTABLE, {"--headless", "--jobs", "2", folder()});
    QVERIFY(program.waitForStarted());

    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(started), runWaitMs);
    QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
    QVERIFY(program.waitForFinished(runWaitMs));

    const QString output = QString::fromUtf8(program.readAllStandardOutput());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 128 + signal, qPrintable(output));
    QVERIFY2(output.contains("Rotating interrupted."), qPrintable(output));
    QVERIFY(output.contains("image(s) were successfully rotated."));
    for (const QString &photo : std::as_const(photos)) {
        QVERIFY2(TestPhotos::conditionOf(photo, originals[photo], reference) !=
                     TestPhotos::PhotoCondition::Damaged,
                 qPrintable(photo));
    }
    QCOMPARE(leftovers(), QStringList());
}

void ScanTest::watcherRunLooksOnlyAtItsCandidates_data() {
    QTest::addColumn<QStringList>("turned"); // the photos a run over the candidates turns
    QTest::newRow("two photos") << QStringList{"w.jpg", "a/x.jpg"};
    QTest::newRow("a folder made while watching") << QStringList{"new/n1.jpg", "new/deeper/n2.jpg"};
}

// A watcher run given candidates examines them and nothing else: the rest of the tree, photos
// that need turning and a link named like a photo among them, is neither listed nor read.
void ScanTest::watcherRunLooksOnlyAtItsCandidates() {
    QFETCH(QStringList, turned);
    const QStringList all{"w.jpg",   "a/x.jpg",    "a/y.jpg",
                          "b/z.jpg", "new/n1.jpg", "new/deeper/n2.jpg"};
    QMap<QString, QByteArray> originals;
    for (const QString &name : all) {
        QVERIFY(!addPhoto(name, 6).isEmpty());
        originals[name] = fileBytes(folder() + "/" + name);
    }
    QVERIFY(QFile::link(folder() + "/b/z.jpg", folder() + "/link.jpg"));
    WatchCandidates candidates;
    candidates.watchedFolder = folder();
    if (turned.first() == "w.jpg") {
        candidates.folders << WatchCandidates::Folder{"", {"w.jpg", "gone.jpg"}, false}
                           << WatchCandidates::Folder{"a", {"x.jpg"}, false};
    } else {
        candidates.folders << WatchCandidates::Folder{"", {"new"}, false};
    }
    startEngine();

    engine->startWatcherRun(candidates);
    QVERIFY(runsFinished(1));

    for (const QString &name : all) {
        const QString path = folder() + "/" + name;
        if (turned.contains(name))
            QVERIFY2(tagOf(path) == 1, qPrintable(name));
        else
            QVERIFY2(fileBytes(path) == originals[name], qPrintable(name));
    }
    QCOMPARE(summary(0).kind, RunSummary::WatcherRun);
    QCOMPARE(summary(0).entriesSeen, 2);
    QCOMPARE(summary(0).rotated, 2);
    QCOMPARE(summary(0).notRead, 0);
    QCOMPARE(outcomes.size(), 2); // no word of the link
}

void ScanTest::watchCandidatesAddUp() {
    WatchCandidates due;
    due.watchedFolder = "/w";
    due.folders << WatchCandidates::Folder{"a", {"1.jpg"}, false}
                << WatchCandidates::Folder{"b/c", {"2.jpg"}, false};
    WatchCandidates more;
    more.watchedFolder = "/w";
    more.folders << WatchCandidates::Folder{"a", {"1.jpg", "3.jpg"}, false}
                 << WatchCandidates::Folder{"b", {}, true};
    due.add(more);
    QCOMPARE(due.folders.size(), 2);
    QCOMPARE(due.folders[0].entries, (QList<QByteArray>{"1.jpg", "3.jpg"}));
    // The folder walked whole takes in the candidate below it.
    QCOMPARE(due.folders[1].relativePath, QByteArray("b"));
    QVERIFY(due.folders[1].wholeFolder);

    // Another watched folder: only what was noticed there counts.
    WatchCandidates elsewhere = WatchCandidates::wholeTree("/v");
    due.add(elsewhere);
    QCOMPARE(due.watchedFolder, QString("/v"));
    QCOMPARE(due.folders.size(), 1);
}

void ScanTest::quitAndCloseWaitForTheRun_data() {
    QTest::addColumn<bool>("quit"); // Quit, or closing the window
    QTest::newRow("Quit") << true;
    QTest::newRow("closing the window") << false;
}

// Quit or closing the window during a batch stops the run first: the window goes once it has
// ended, every photo whole and no temporary file left.
void ScanTest::quitAndCloseWaitForTheRun() {
    QFETCH(bool, quit);
    QStringList photos;
    for (int i = 0; i < 4; ++i)
        photos << addPhoto(QString("q%1.jpg").arg(i), 6);
    QVERIFY(!photos.contains(QString()));
    const QByteArray original = fileBytes(photos.first());
    const QImage reference = TestPhotos::referenceRotation(photos.first(), 90);
    const QString started = work->filePath("tool-started");
    StandInTools::ToolFolder tools(work->path());
    QVERIFY(writeSlowTools(tools, started));
    WindowFixture fixture;
    fixture.setUp();
    fixture.newWindow();
    fixture.showWindow(QSize(900, 600));
    Pivotta *window = fixture.window.get();
    RotationEngine *windowEngine = window->rotationEngine();
    QSignalSpy quitting(window, &Pivotta::quitApp);
    QSignalSpy ended(windowEngine, &RotationEngine::runFinished);
    QVERIFY(windowEngine->startUserBatch(folder(), false));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(started), runWaitMs);

    if (quit)
        window->findChild<QAction *>("actionQuit")->trigger();
    else
        QVERIFY(!window->close());
    QVERIFY(windowEngine->isBusy());
    QCOMPARE(quitting.count(), 0);
    QVERIFY(window->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, runWaitMs);
    QVERIFY(ended.first().first().value<RunSummary>().interrupted);
    if (quit)
        QTRY_COMPARE(quitting.count(), 1);
    else
        QTRY_VERIFY(!window->isVisible());
    for (const QString &photo : std::as_const(photos)) {
        QVERIFY2(TestPhotos::conditionOf(photo, original, reference) !=
                     TestPhotos::PhotoCondition::Damaged,
                 qPrintable(photo));
    }
    QCOMPARE(leftovers(), QStringList());
    fixture.tearDown();
}

QTEST_MAIN(ScanTest)
#include "tst_scan.moc"

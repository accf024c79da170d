// The folder watcher with real change notifications in temporary folders: the watch switch and
// its messages, the watched paths as folders come and go, rechecks, and how watcher runs meet
// manual rotations.
#include <QAbstractSlider>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include "slidergeometry.h"
#include "watcher/folderentries.h"
#include "watcherfixture.h"

using namespace TestPhotos;
using SliderGeometry::absoluteSetButton;
using SliderGeometry::performGesture;

class WatcherTest : public QObject, protected WatcherFixture {
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void switchGestures_data();
    void switchGestures();
    void offFromCodeWritesNothing();
    void onWithoutFolderWatchesNothing();
    void watchedPathsLeaveOutHiddenFoldersAndLinks();
    void tenPhotosAtOnceGiveOneTrigger();
    void changeDuringAWatcherRunGivesARecheck();
    void renamedAfterAFailure_data();
    void renamedAfterAFailure();
    void lostNotificationsLookEverywhereAgain();
    void manualBatchSuspendsWatching();
    void arrivalDuringBatchIsTurnedAfterIt();
    void manualSingleRotationTurnsWatchingOff();
    void stopEndsAWatcherRunWithoutFollowUp_data();
    void stopEndsAWatcherRunWithoutFollowUp();
    void watchedFolderGoes_data();
    void watchedFolderGoes();
    void subfoldersComeAndGo();
    void arrivalIsLookedAtAlone();
    void arrivalHeldByAWriterIsToldOnce();
    void folderMadeWhileWatching();
    void watchLimitIsToldOnce();
    void changesBetweenLooks_data();
    void changesBetweenLooks();
    void lookLeavesOutWhatBatchesLeaveOut();

private:
    void writeFileUnnoticed(const QString &path);
    QString movedIn(const QByteArray &bytes, const QString &path);
    static void writeSlowJpegtran(const QString &folderPath);
};

// A jpegtran that takes a second per photo before it does the real work.
void WatcherTest::writeSlowJpegtran(const QString &folderPath) {
    for (const char *tool : {"jpegtran", "exiv2"}) {
        QFile script(folderPath + "/" + tool);
        QVERIFY(script.open(QIODevice::WriteOnly));
        const QByteArray delay = qstrcmp(tool, "jpegtran") == 0 ? "sleep 1\n" : "";
        script.write("#!/bin/sh\n" + delay + "exec /usr/bin/" + tool + " \"$@\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
    }
}

// Writes a photo into a watched folder while watching is off: its notification comes in and
// schedules nothing.
void WatcherTest::writeFileUnnoticed(const QString &path) {
    QSignalSpy notifications(watcher()->systemWatcher(), &FolderNotifier::folderChanged);
    writeFile(path, photoBytes(6));
    QTRY_VERIFY(notifications.count() > 0);
    QTest::qWait(100);
    QVERIFY(idle());
}

// Moves a photo written elsewhere into `path` whole, as a file manager or an import does, old
// enough to be taken at once; returns `path`.
QString WatcherTest::movedIn(const QByteArray &bytes, const QString &path) {
    const QString staging = sandbox->filePath("staging-" + QFileInfo(path).fileName());
    writeFile(staging, bytes);
    backdate(staging);
    if (!QFile::rename(staging, path))
        return QString();
    return path;
}

static const char *const greenGroove =
    "QSlider::groove:horizontal {background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 "
    "#7c7, stop:1 #9d9);}";
static const char *const greyGroove =
    "QSlider::groove:horizontal {background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 "
    "#B1B1B1, stop:1 #c4c4c4);}";
static const char *const watchingMessage = "Watching for changes in ";
static const char *const stoppedMessage = "No longer watching for changes.";

// ---- The switch ----

void WatcherTest::switchGestures_data() {
    QTest::addColumn<QString>("gesture");
    for (const QString &gesture : SliderGeometry::gestures())
        QTest::newRow(qPrintable(gesture)) << gesture;
}

// Every gesture flips the switch exactly once, writes its message once and colours the groove.
void WatcherTest::switchGestures() {
    QFETCH(QString, gesture);
    if (gesture == "jump press" && absoluteSetButton(slider()) == Qt::NoButton)
        QSKIP("The style has no mouse button that jumps the handle.");
    folderBar()->openFolder(folder());
    QVERIFY(!watchSwitch()->isOn());
    QCOMPARE(slider()->styleSheet(), greyGroove);

    performGesture(slider(), gesture);
    QVERIFY(watchSwitch()->isOn());
    QCOMPARE(slider()->sliderPosition(), slider()->maximum());
    QCOMPARE(slider()->styleSheet(), greenGroove);
    QCOMPARE(mainPaneText().count(watchingMessage + QDir::toNativeSeparators(folder())), 1);
    QCOMPARE(window->statusBar()->currentMessage(),
             watchingMessage + QDir::toNativeSeparators(folder()));

    performGesture(slider(), gesture);
    QVERIFY(!watchSwitch()->isOn());
    QCOMPARE(slider()->sliderPosition(), slider()->minimum());
    QCOMPARE(slider()->styleSheet(), greyGroove);
    QCOMPARE(mainPaneText().count(stoppedMessage), 1);
    QCOMPARE(mainPaneText().count(watchingMessage), 1);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void WatcherTest::offFromCodeWritesNothing() {
    openWatchedFolder();
    const QString before = mainPaneText();

    watchSwitch()->setOn(false);

    QCOMPARE(mainPaneText(), before);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(slider()->styleSheet(), greyGroove);
    // Watching off leaves the folders registered; their changes are ignored.
    QVERIFY(watcher()->watchedPaths().contains(folder()));
    writeFileUnnoticed(folder() + "/new.jpg");
}

void WatcherTest::onWithoutFolderWatchesNothing() {
    flipWatchSwitch();

    QVERIFY(watchSwitch()->isOn());
    QCOMPARE(slider()->styleSheet(), greenGroove);
    QCOMPARE(mainPaneText().count("Watching turned on. No folder selected for watching."), 1);
    QVERIFY(!mainPaneText().contains(watchingMessage));
    QVERIFY(watcher()->watchedPaths().isEmpty());
    QVERIFY(watcher()->systemWatchedPaths().isEmpty());
}

void WatcherTest::watchedPathsLeaveOutHiddenFoldersAndLinks() {
    QVERIFY(QDir().mkpath(folder() + "/sub/deeper"));
    QVERIFY(QDir().mkpath(folder() + "/.hidden/inside"));
    QVERIFY(QFile::link(folder() + "/sub", folder() + "/link"));

    openWatchedFolder();

    QStringList watched = watcher()->watchedPaths();
    watched.sort();
    const QStringList expected{folder(), folder() + "/sub", folder() + "/sub/deeper"};
    QCOMPARE(watched, expected);
}

// ---- Photos arriving ----

// Ten photos copied at once: the notifications settle into one trigger; each further one before
// the run starts only adds a progress mark.
void WatcherTest::tenPhotosAtOnceGiveOneTrigger() {
    openWatchedFolder();
    QSignalSpy notifications(watcher()->systemWatcher(), &FolderNotifier::folderChanged);
    int notificationsBeforeRun = -1;
    QString textBeforeRun;
    connect(window->statusBar(), &QStatusBar::messageChanged, this, [&](const QString &message) {
        if (notificationsBeforeRun < 0 &&
            message.contains("Possible folder content change detected")) {
            notificationsBeforeRun = int(notifications.count());
            textBeforeRun = mainPaneText();
        }
    });
    const QByteArray bytes = photoBytes(6);
    for (int i = 0; i < 10; ++i)
        writeFile(folder() + QString("/photo%1.jpg").arg(i), bytes);

    QTRY_VERIFY_WITH_TIMEOUT(notificationsBeforeRun >= 0, 5000);
    QVERIFY(notificationsBeforeRun >= 1);
    const QString marks = textBeforeRun.mid(textBeforeRun.lastIndexOf("rotate them."));
    QCOMPARE(int(marks.count(" .")), notificationsBeforeRun - 1);
    waitUntilIdle(20000);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(storedOrientation(folder() + QString("/photo%1.jpg").arg(i)), 1);
}

// A trigger that fires while a watcher run is rotating: the run checks the folder again at its
// end, and the photo that arrived meanwhile is turned too.
void WatcherTest::changeDuringAWatcherRunGivesARecheck() {
    const QByteArray bytes = photoBytes(8);
    const QString reference = sandbox->filePath("reference.jpg");
    writeFile(reference, bytes);
    for (int i = 0; i < 3; ++i) {
        writeFile(folder() + QString("/old%1.jpg").arg(i), bytes);
        backdate(folder() + QString("/old%1.jpg").arg(i));
    }
    openWatchedFolder();
    QSignalSpy finished(engine(), &RotationEngine::runFinished);
    bool injected = false;
    bool sawMoreFilesWaiting = false;
    connect(engine(), &RotationEngine::runStarted, this, [&](RunSummary::Kind kind) {
        if (injected || kind != RunSummary::WatcherRun)
            return;
        injected = true;
        writeFile(folder() + "/late.jpg", bytes);
        backdate(folder() + "/late.jpg");
        triggerWatcherRun(); // as if the settling delay ran out now
        sawMoreFilesWaiting = engine()->hasRunPending();
    });

    triggerWatcherRun();

    QVERIFY(injected);
    QVERIFY(sawMoreFilesWaiting);
    waitUntilIdle(20000);
    QVERIFY(mainPaneText().contains("Rechecking for changed photos since start of previous "
                                    "operation... "));
    for (const QString name : {"old0.jpg", "old1.jpg", "old2.jpg", "late.jpg"}) {
        QCOMPARE(storedOrientation(folder() + "/" + name), 1);
        QVERIFY(samePicture(storedPixels(folder() + "/" + name), uprightPixels(reference)));
    }
    // The run that scanned again counts both of its scans. (The watcher may look at late.jpg
    // once more afterwards, as its own notice of it comes in: a run that finds it upright.)
    QVERIFY(finished.count() >= 1);
    const RunSummary summary = finished.at(0).at(0).value<RunSummary>();
    QCOMPARE(summary.kind, RunSummary::WatcherRun);
    QCOMPARE(summary.rotated, 4);
    QCOMPARE(summary.entriesSeen, 4);
    QCOMPARE(summary.photosToRotate, 4);
}

// An organiser renames a photo just after it arrives. A rotation that failed because the photo
// was renamed under it holds nothing against the photo: it is turned under its new name. One
// whose content made it fail is passed by under its new name too, and says so.
void WatcherTest::renamedAfterAFailure_data() {
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<int>("firstReason");   // PhotoReason::Kind of the old name's failure
    QTest::addColumn<int>("renamedKind");   // PhotoOutcome::Kind under the new name
    QTest::addColumn<int>("renamedReason"); // PhotoReason::Kind under the new name
    QTest::newRow("renamed while it was rotated")
        << false << int(PhotoReason::NoLongerThere) << int(PhotoOutcome::Rotated)
        << int(PhotoReason::None);
    QTest::newRow("renamed after its content failed")
        << true << int(PhotoReason::Unreadable) << int(PhotoOutcome::Left)
        << int(PhotoReason::FailedBefore);
}

void WatcherTest::renamedAfterAFailure() {
    QFETCH(bool, damaged);
    QFETCH(int, firstReason);
    QFETCH(int, renamedKind);
    QFETCH(int, renamedReason);
    openWatchedFolder();
    const QString arrived = folder() + "/IMG_0001.jpg";
    const QString renamed = folder() + "/2026-01-01 Beach.jpg";
    QList<PhotoOutcome> outcomes;
    connect(engine(), &RotationEngine::photoFinished, this,
            [&](const PhotoOutcome &outcome) { outcomes << outcome; });
    // The organiser acts while the photo is being turned, or once its rotation has failed.
    auto organise = [&, done = false]() mutable {
        if (!std::exchange(done, true))
            QVERIFY(QFile::rename(arrived, renamed));
    };
    connect(engine(), &RotationEngine::photoStep, this, [&](const PhotoStep &step) {
        if (step.kind == PhotoStep::TurnAnnounced && step.photo.path == arrived)
            organise();
    });
    connect(engine(), &RotationEngine::photoFinished, this, [&](const PhotoOutcome &outcome) {
        if (outcome.kind == PhotoOutcome::Failed && outcome.photo.path == arrived)
            organise();
    });

    const QByteArray bytes = damaged ? QByteArray("not a photo\xff\xd9") : photoBytes(6);
    QCOMPARE(movedIn(bytes, arrived), arrived);

    QTRY_VERIFY_WITH_TIMEOUT(outcomes.size() == 2, 20000);
    waitUntilIdle(20000);
    QCOMPARE(outcomes.size(), 2);
    QCOMPARE(outcomes.at(0).photo.path, arrived);
    QCOMPARE(outcomes.at(0).kind, PhotoOutcome::Failed);
    QCOMPARE(int(outcomes.at(0).reason.kind), firstReason);
    QCOMPARE(outcomes.at(1).photo.path, renamed);
    QCOMPARE(int(outcomes.at(1).kind), renamedKind);
    QCOMPARE(int(outcomes.at(1).reason.kind), renamedReason);
    if (damaged) {
        QCOMPARE(fileBytes(renamed), bytes);
        QVERIFY(mainPaneText().contains(
            "could not be rotated before and has not changed since. It is tried again once it "
            "changes."));
    } else {
        QCOMPARE(storedOrientation(renamed), 1);
    }
}

// When the system's queue of change notifications overflows, what the dropped notifications
// would have told is found by looking at every watched folder again: photos moved into the
// watched folder, into a subfolder, into a folder made meanwhile and into a folder deleted and
// made again are all turned, and the folder made again is watched from then on.
void WatcherTest::lostNotificationsLookEverywhereAgain() {
    QFile queueLimit("/proc/sys/fs/inotify/max_queued_events");
    if (!queueLimit.open(QIODevice::ReadOnly))
        QSKIP("The system has no inotify queue to overflow.");
    const int limit = queueLimit.readAll().trimmed().toInt();
    if (limit <= 0 || limit > (1 << 20))
        QSKIP("The system's inotify queue is too long to overflow here.");
    for (const QString sub : {"/flooded", "/other", "/again"})
        QVERIFY(QDir().mkpath(folder() + sub));
    openWatchedFolder();
    const QByteArray bytes = photoBytes(6);

    // Without a turn of the event loop, so that nothing is read from the queue meanwhile: more
    // changes than it holds in one folder, then the arrivals, whose notifications are dropped.
    const QString flooded = folder() + "/flooded/";
    writeFile(flooded + "a.part", "a");
    writeFile(flooded + "b.part", "b");
    for (int i = 0; i <= limit; ++i) {
        QFile file(flooded + (i % 2 ? "a.part" : "b.part"));
        QVERIFY(file.setPermissions(i % 4 < 2 ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              : QFileDevice::ReadOwner));
    }
    QStringList arrivals{folder() + "/arrived.jpg", folder() + "/other/arrived.jpg",
                         folder() + "/made/arrived.jpg", folder() + "/again/arrived.jpg"};
    QVERIFY(QDir().mkpath(folder() + "/made"));
    QVERIFY(QDir(folder() + "/again").removeRecursively());
    QVERIFY(QDir().mkpath(folder() + "/again"));
    QHash<QString, quint64> written;
    for (const QString &path : std::as_const(arrivals)) {
        QCOMPARE(movedIn(bytes, path), path);
        written[path] = TestPhotos::fileNumber(path);
    }

    for (const QString &path : std::as_const(arrivals))
        QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(path) != written[path], 20000);
    waitUntilIdle(20000);
    for (const QString &path : std::as_const(arrivals))
        QVERIFY2(storedOrientation(path) == 1, qPrintable(path));
    const QString told = "More changes came at once than the system could report: looking again "
                         "at the ";
    QCOMPARE(int(mainPaneText().count(told)), 1);

    const QString later = folder() + "/again/later.jpg";
    writeFile(later, photoBytes(8));
    const quint64 laterWritten = TestPhotos::fileNumber(later);
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(later) != laterWritten, 20000);
    waitUntilIdle(20000);
    QCOMPARE(storedOrientation(later), 1);
}

// ---- Watcher runs and manual rotations ----

void WatcherTest::manualBatchSuspendsWatching() {
    writeFile(folder() + "/sub/a.jpg", photoBytes(6));
    writeFile(folder() + "/b.jpg", photoBytes(3));
    openWatchedFolder();
    const QStringList watchedBefore = watcher()->watchedPaths();
    bool checked = false;
    bool suspended = false;
    bool nested = false;
    connect(engine(), &RotationEngine::runStarted, this, [&](RunSummary::Kind kind) {
        if (kind == RunSummary::WatcherRun && engine()->isUserBatchRunning())
            nested = true;
        if (checked || kind != RunSummary::UserBatch)
            return;
        checked = true;
        suspended = watcher()->watchedPaths().isEmpty() &&
                    watcher()->systemWatchedPaths().isEmpty() && !slider()->isEnabled();
        triggerWatcherRun(); // a trigger scheduled before the batch
    });

    window->findChild<QPushButton *>("rotateNowButton")->click();

    QVERIFY(checked);
    QVERIFY(suspended);
    waitUntilIdle(20000);
    QVERIFY(!nested);
    QVERIFY(slider()->isEnabled());
    QVERIFY(watchSwitch()->isOn());
    QStringList watchedAfter = watcher()->watchedPaths();
    watchedAfter.sort();
    QStringList expected = watchedBefore;
    expected.sort();
    QCOMPARE(watchedAfter, expected);
    QCOMPARE(storedOrientation(folder() + "/sub/a.jpg"), 1);
    QCOMPARE(storedOrientation(folder() + "/b.jpg"), 1);
}

// A photo that arrives while a user batch has watching suspended, in a folder the batch has
// already listed, is turned by a watcher run after the batch.
void WatcherTest::arrivalDuringBatchIsTurnedAfterIt() {
    writeFile(folder() + "/sub/a.jpg", photoBytes(6));
    openWatchedFolder();
    QString arrived;
    quint64 written = 0;
    connect(engine(), &RotationEngine::photoRotated, this, [&](const QString &path) {
        if (!arrived.isEmpty() || !engine()->isUserBatchRunning())
            return;
        arrived = QFileInfo(path).absolutePath() + "/arrived.jpg";
        writeFile(arrived, photoBytes(8));
        written = TestPhotos::fileNumber(arrived);
    });

    window->findChild<QPushButton *>("rotateNowButton")->click();

    QTRY_VERIFY_WITH_TIMEOUT(!arrived.isEmpty(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(arrived) != written, 15000);
    waitUntilIdle(20000);
    QCOMPARE(storedOrientation(arrived), 1);
    QCOMPARE(storedOrientation(folder() + "/sub/a.jpg"), 1);
}

void WatcherTest::manualSingleRotationTurnsWatchingOff() {
    const QString path = folder() + "/single.jpg";
    writeFile(path, photoBytes(6));
    const quint64 written = TestPhotos::fileNumber(path);
    openWatchedFolder();
    const QString message = "Turned off folder watching because manual rotating was triggered.";

    rotateClockwise(path);

    QCOMPARE(mainPaneText().count(message), 1);
    QVERIFY(!watchSwitch()->isOn());
    QCOMPARE(slider()->styleSheet(), greyGroove);
    // Read once it is a new file: a read during the rotation would make it leave the photo.
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(path) != written, 15000);
    QCOMPARE(storedOrientation(path), 1);
    waitUntilIdle(10000);
    // It stays off: a new photo is left alone, and a second rotation says nothing more.
    const QString later = folder() + "/later.jpg";
    writeFileUnnoticed(later);
    const quint64 laterWritten = TestPhotos::fileNumber(later);
    rotateClockwise(later);
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(later) != laterWritten, 15000);
    QCOMPARE(storedOrientation(later), 1);
    QCOMPARE(mainPaneText().count(message), 1);
}

// Stop during a watcher run whose tools are slow: the run ends, every photo is whole, and no
// run follows, neither from triggers that came in during the run nor from the run's own last
// writes, whether watching stays on or is turned off.
void WatcherTest::stopEndsAWatcherRunWithoutFollowUp_data() {
    QTest::addColumn<bool>("turnWatchingOff");
    QTest::newRow("watching stays on") << false;
    QTest::newRow("watching turned off") << true;
}

void WatcherTest::stopEndsAWatcherRunWithoutFollowUp() {
    QFETCH(bool, turnWatchingOff);
    QTemporaryDir tools;
    QVERIFY(tools.isValid());
    writeSlowJpegtran(tools.path());
    qputenv("PIVOTTA_TOOLS_DIR", QFile::encodeName(tools.path()));
    const QByteArray bytes = photoBytes(6);
    for (int i = 0; i < 8; ++i) {
        writeFile(folder() + QString("/p%1.jpg").arg(i), bytes);
        backdate(folder() + QString("/p%1.jpg").arg(i));
    }
    openWatchedFolder();
    QSignalSpy started(engine(), &RotationEngine::runStarted);
    QSignalSpy finished(engine(), &RotationEngine::runFinished);

    triggerWatcherRun();
    QTRY_COMPARE(started.count(), 1);
    writeFile(folder() + "/during.jpg", bytes); // a trigger noted while the run goes on
    QTest::qWait(1500);
    window->findChild<QPushButton *>("stopRotatingButton")->click();
    if (turnWatchingOff)
        flipWatchSwitch();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    QVERIFY(finished.at(0).at(0).value<RunSummary>().interrupted);

    QTest::qWait(3500); // longer than every settling delay
    qunsetenv("PIVOTTA_TOOLS_DIR");
    QCOMPARE(started.count(), 1);
    QVERIFY(idle());
    const QStringList left = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left)
        QVERIFY2(name.endsWith(".jpg") && !name.startsWith('.'), qPrintable(name));
    for (int i = 0; i < 8; ++i) {
        const QString path = folder() + QString("/p%1.jpg").arg(i);
        QVERIFY2(fileBytes(path) == bytes || storedOrientation(path) == 1, qPrintable(path));
    }
}

// ---- Folders coming and going ----

void WatcherTest::watchedFolderGoes_data() {
    QTest::addColumn<bool>("renamed");
    QTest::newRow("deleted") << false;
    QTest::newRow("renamed") << true;
}

void WatcherTest::watchedFolderGoes() {
    QFETCH(bool, renamed);
    openWatchedFolder();

    if (renamed) {
        // The system reports nothing when a watched folder itself is renamed; a change inside it
        // later comes under the old name.
        const QString elsewhere = sandbox->filePath("elsewhere");
        QVERIFY(QDir().rename(folder(), elsewhere));
        writeFile(elsewhere + "/moved.jpg", photoBytes(6));
    } else {
        QVERIFY(QDir(folder()).removeRecursively());
    }

    QTRY_VERIFY(!watcher()->watchedPaths().contains(folder()));
    QTRY_VERIFY(!watcher()->watchedPaths().contains(folder() + "/sub"));
    QCOMPARE(mainPaneText().count("The watched folder " + QDir::toNativeSeparators(folder()) +
                                  " is no longer there."),
             1);
    waitUntilIdle(10000);
    if (renamed) // watching ended with the folder's name
        QCOMPARE(storedOrientation(sandbox->filePath("elsewhere/moved.jpg")), 6);

    // The folder is back under its name and opened again: it is watched as before.
    QVERIFY(QDir().mkpath(folder() + "/sub"));
    folderBar()->openFolder(folder());
    QVERIFY(watcher()->systemWatchedPaths().contains(folder()));
    QVERIFY(watcher()->systemWatchedPaths().contains(folder() + "/sub"));
    writeFile(folder() + "/sub/back.jpg", photoBytes(3));
    const quint64 written = TestPhotos::fileNumber(folder() + "/sub/back.jpg");
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(folder() + "/sub/back.jpg") != written, 15000);
    QCOMPARE(storedOrientation(folder() + "/sub/back.jpg"), 1);
    waitUntilIdle(20000);
}

// A subfolder created while watching is watched at once; one deleted and created again too,
// also when it is made again at once (the system may give it the same inode number).
void WatcherTest::subfoldersComeAndGo() {
    QVERIFY(QDir().mkpath(folder() + "/remade"));
    openWatchedFolder();
    const QString created = folder() + "/new/deeper";
    const QString recreated = folder() + "/sub";
    const QString remade = folder() + "/remade";

    QVERIFY(QDir().mkpath(created));
    QVERIFY(QDir(recreated).removeRecursively());
    QVERIFY(QDir(remade).removeRecursively());
    QVERIFY(QDir().mkpath(remade));
    QTRY_VERIFY(watcher()->systemWatchedPaths().contains(created));
    QTRY_VERIFY(!watcher()->watchedPaths().contains(recreated));
    QVERIFY(QDir().mkpath(recreated));
    QTRY_VERIFY(watcher()->systemWatchedPaths().contains(recreated));
    waitUntilIdle(20000);

    // Only the subfolders' own notifications can bring these photos in.
    const QList<QPair<QString, int>> arrivals{
        {created + "/a.jpg", 6}, {recreated + "/b.jpg", 8}, {remade + "/c.jpg", 3}};
    QHash<QString, quint64> written;
    for (const auto &[path, tag] : arrivals) {
        writeFile(path, photoBytes(tag));
        written[path] = TestPhotos::fileNumber(path);
    }
    for (const QString &path : written.keys())
        QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(path) != written[path], 15000);
    for (const QString &path : written.keys())
        QCOMPARE(storedOrientation(path), 1);
    waitUntilIdle(20000);
}

// ---- Large libraries ----

// A photo that arrives in a watched tree full of photos: the watcher run reads that photo alone,
// not the rest of the tree.
void WatcherTest::arrivalIsLookedAtAlone() {
    const QByteArray upright = photoBytes(1);
    for (const QString sub : {"", "/sub", "/sub/deeper", "/other"}) {
        QVERIFY(QDir().mkpath(folder() + sub));
        for (int i = 0; i < 10; ++i)
            writeFile(folder() + sub + QString("/old%1.jpg").arg(i), upright);
    }
    writeFile(folder() + "/other/tagged.jpg", photoBytes(6)); // there before watching: left
    openWatchedFolder();
    QSignalSpy finished(engine(), &RotationEngine::runFinished);

    const QString arrived = folder() + "/sub/deeper/arrived.jpg";
    const QString copy = sandbox->filePath("arrived.jpg");
    writeFile(copy, photoBytes(8));
    QVERIFY(QFile::rename(copy, arrived)); // moved in whole
    const quint64 written = TestPhotos::fileNumber(arrived);

    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(arrived) != written, 15000);
    waitUntilIdle(20000);
    QCOMPARE(storedOrientation(arrived), 1);
    QVERIFY(finished.count() >= 1);
    const RunSummary first = finished.at(0).at(0).value<RunSummary>();
    QCOMPARE(first.kind, RunSummary::WatcherRun);
    QCOMPARE(first.entriesSeen, 1);
    QCOMPARE(first.rotated, 1);
    // The run's own replacement is no arrival to look at again.
    QCOMPARE(finished.count(), 1);
    QCOMPARE(storedOrientation(folder() + "/other/tagged.jpg"), 6);
}

// ---- Other programs ----

// Two photos moved in, one kept open by a viewer, the other by a writer. The viewer's is turned
// at once. The writer's is told once as still being written and awaited: no run looks at it
// again while the writer keeps it, even when it writes more; once the writer is done, it is
// turned.
void WatcherTest::arrivalHeldByAWriterIsToldOnce() {
    watcher()->setDelays(200, 400, 100);
    openWatchedFolder();
    const QString viewed = folder() + "/viewed.jpg";
    const QString written = folder() + "/written.jpg";
    writeFile(sandbox->filePath("viewed.jpg"), photoBytes(6));
    writeFile(sandbox->filePath("written.jpg"), photoBytes(8));
    QProcess viewer;
    viewer.start("/bin/sh",
                 {"-c", "exec 3<\"$0\"; echo open; read line", sandbox->filePath("viewed.jpg")});
    QProcess writer;
    writer.start("/bin/sh",
                 {"-c",
                  "exec 3>>\"$0\"; echo open; read line; printf xyz >&3; echo wrote; read line",
                  sandbox->filePath("written.jpg")});
    QVERIFY(viewer.waitForReadyRead() && writer.waitForReadyRead());
    QCOMPARE(writer.readAllStandardOutput(), QByteArray("open\n"));
    QVERIFY(QFile::rename(sandbox->filePath("viewed.jpg"), viewed));
    QVERIFY(QFile::rename(sandbox->filePath("written.jpg"), written));
    const QString told = "written.jpg is still being written by another program";

    QTRY_VERIFY_WITH_TIMEOUT(storedOrientation(viewed) == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(mainPaneText().contains(told), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!engine()->isBusy() && !watcher()->isRunScheduled(), 15000);
    QCOMPARE(watcher()->photosAwaited(), QStringList{written});
    QSignalSpy runs(engine(), &RotationEngine::runStarted);
    writer.write("\n");
    QVERIFY(writer.waitForReadyRead());
    QCOMPARE(writer.readAllStandardOutput(), QByteArray("wrote\n"));
    // Polled every 100 ms for a second and a half, the change noticed as well: no run.
    QTest::qWait(1500);
    QCOMPARE(runs.count(), 0);
    QCOMPARE(mainPaneText().count(told), 1);

    writer.closeWriteChannel();
    QVERIFY(writer.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(storedOrientation(written) == 1, 15000);
    waitUntilIdle(20000);
    QCOMPARE(mainPaneText().count(told), 1);
    QVERIFY(TestPhotos::fileBytes(written).endsWith("xyz"));
    viewer.closeWriteChannel();
    QVERIFY(viewer.waitForFinished());
}

// Imports make dated folders: photos put into a folder made while watching are turned, those
// put in before its watch was added and those put in after.
void WatcherTest::folderMadeWhileWatching() {
    openWatchedFolder();
    const QString dated = folder() + "/2026/12-10";
    QVERIFY(QDir().mkpath(dated));
    writeFile(dated + "/first.jpg", photoBytes(6));
    const quint64 firstWritten = TestPhotos::fileNumber(dated + "/first.jpg");
    QTRY_VERIFY_WITH_TIMEOUT(watcher()->systemWatchedPaths().contains(dated), 10000);
    writeFile(dated + "/second.jpg", photoBytes(3));
    const quint64 secondWritten = TestPhotos::fileNumber(dated + "/second.jpg");

    // Replaced photos have other file numbers; their bytes are read only once all is quiet, as
    // opening a photo the run holds would wait for the run.
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(dated + "/first.jpg") != firstWritten &&
                                 TestPhotos::fileNumber(dated + "/second.jpg") != secondWritten,
                             20000);
    waitUntilIdle(20000);
    QCOMPARE(storedOrientation(dated + "/first.jpg"), 1);
    QCOMPARE(storedOrientation(dated + "/second.jpg"), 1);
    QVERIFY(!mainPaneText().contains("failed", Qt::CaseInsensitive));
}

// The system takes only so many watched folders: the folders beyond the limit are told once,
// with the limit and how to raise it, and the folders that are watched go on being watched.
void WatcherTest::watchLimitIsToldOnce() {
    for (const QString sub : {"/a", "/b", "/c", "/d"})
        QVERIFY(QDir().mkpath(folder() + sub));
    // A system that takes three folders.
    FolderNotifier *system = watcher()->systemWatcher();
    watcher()->setWatchRegistration([system](const QStringList &folders) {
        QStringList refused;
        for (const QString &path : folders) {
            if (system->folders().size() >= 3 || !system->addFolders({path}).isEmpty())
                refused << path;
        }
        return refused;
    });

    folderBar()->openFolder(folder());
    watchSwitch()->setOn(true);
    QVERIFY(QDir().mkpath(folder() + "/e")); // one more, refused too
    QTRY_VERIFY(watcher()->isRunScheduled());
    waitUntilIdle(10000);

    QCOMPARE(watcher()->watchedPaths().size(), 3);
    const QString pane = mainPaneText();
    QCOMPARE(int(pane.count("fs.inotify.max_user_watches")), 3);
    QCOMPARE(int(pane.count("cannot be watched")), 1);
    QVERIFY2(pane.contains("3 folder(s) in " + QDir::toNativeSeparators(folder()) +
                           " cannot be watched"),
             qPrintable(pane));
    QVERIFY(pane.contains("sudo sysctl fs.inotify.max_user_watches="));
    QVERIFY(pane.contains("/etc/sysctl.d/"));
    // What is watched still is.
    const QString watchedFolder = watcher()->watchedPaths().last();
    const QString arrived = watchedFolder + "/arrived.jpg";
    writeFile(arrived, photoBytes(6));
    const quint64 written = TestPhotos::fileNumber(arrived);
    QTRY_VERIFY_WITH_TIMEOUT(TestPhotos::fileNumber(arrived) != written, 15000);
    waitUntilIdle(10000);
    QCOMPARE(storedOrientation(arrived), 1);
}

namespace {
EntryStamp stamp(quint64 inode, qint64 size, qint32 nanoseconds, bool folder = false) {
    EntryStamp entry;
    entry.key = FileKey{1, inode};
    entry.size = size;
    entry.modified = FileTime{1700000000, nanoseconds};
    entry.folder = folder;
    return entry;
}
} // namespace

void WatcherTest::changesBetweenLooks_data() {
    QTest::addColumn<FolderEntries>("now");
    QTest::addColumn<QList<QByteArray>>("photos");
    QTest::addColumn<QList<QByteArray>>("folders");

    const FolderEntries before{{"a.jpg", stamp(10, 500, 0)}, {"d", stamp(11, 0, 0, true)}};
    const auto with = [&before](const QByteArray &name, const EntryStamp &entry) {
        FolderEntries now = before;
        now.insert(name, entry);
        return now;
    };
    const QList<QByteArray> none;
    QTest::newRow("nothing changed") << before << none << none;
    QTest::newRow("a photo arrived")
        << with("b.jpg", stamp(12, 900, 0)) << QList<QByteArray>{"b.jpg"} << none;
    QTest::newRow("a photo grew") << with("a.jpg", stamp(10, 501, 0)) << QList<QByteArray>{"a.jpg"}
                                  << none;
    QTest::newRow("a photo written again within the second")
        << with("a.jpg", stamp(10, 500, 1)) << QList<QByteArray>{"a.jpg"} << none;
    QTest::newRow("another file under the same name, size and time")
        << with("a.jpg", stamp(13, 500, 0)) << QList<QByteArray>{"a.jpg"} << none;
    QTest::newRow("a photo went") << FolderEntries{{"d", stamp(11, 0, 0, true)}} << none << none;
    QTest::newRow("a folder made")
        << with("e", stamp(14, 0, 0, true)) << none << QList<QByteArray>{"e"};
    QTest::newRow("a folder made again under its name")
        << with("d", stamp(15, 0, 0, true)) << none << QList<QByteArray>{"d"};
    QTest::newRow("a photo where a folder was")
        << with("d", stamp(16, 700, 0)) << QList<QByteArray>{"d"} << none;
}

// What a look hands on: every photo that is new or changed in any of its stamp, and every folder
// that is new, so that the run reads those and nothing else.
void WatcherTest::changesBetweenLooks() {
    QFETCH(FolderEntries, now);
    QFETCH(QList<QByteArray>, photos);
    QFETCH(QList<QByteArray>, folders);
    const FolderEntries before{{"a.jpg", stamp(10, 500, 0)}, {"d", stamp(11, 0, 0, true)}};
    const FolderChanges changes = changesBetween(before, now);
    QCOMPARE(changes.photos, photos);
    QCOMPARE(changes.folders, folders);
}

// A look keeps photos and visible folders: hidden entries (the runs' own temporary files), files
// that are no photos and links are left out, as a batch leaves them.
void WatcherTest::lookLeavesOutWhatBatchesLeaveOut() {
    const QByteArray photo = photoBytes(6);
    QVERIFY(QDir().mkpath(folder() + "/.hidden"));
    writeFile(folder() + "/a.jpg", photo);
    writeFile(folder() + "/B.JPEG", photo);
    writeFile(folder() + "/.a.jpg.pivotta-temporary.tmp", photo);
    writeFile(folder() + "/notes.txt", "not a photo");
    QVERIFY(QFile::link(folder() + "/a.jpg", folder() + "/link.jpg"));
    QVERIFY(QFile::link(folder() + "/sub", folder() + "/linked"));

    FolderEntries entries;
    QVERIFY(lookAtFolder(folder(), &entries));
    QList<QByteArray> names = entries.keys();
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (QList<QByteArray>{"B.JPEG", "a.jpg", "sub"}));
    QVERIFY(entries.value("sub").folder);
    QCOMPARE(entries.value("a.jpg").size, qint64(photo.size()));
    QCOMPARE(entries.value("a.jpg").key.inode, TestPhotos::fileNumber(folder() + "/a.jpg"));
    QVERIFY(!lookAtFolder(folder() + "/gone", &entries));
}

QTEST_MAIN(WatcherTest)
#include "tst_watcher.moc"

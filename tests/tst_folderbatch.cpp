// The rotation engine's runs over a folder, with the real jpegtran and exiv2 on copies of the test
// photos (and slow stand-ins where timing matters): what is rotated and what is left byte for
// byte, the summary, dry run, stop, the rules for runs that meet (a second start, watcher starts
// during a batch, rechecks, photos still arriving), and messages in scan order when several
// photos are turned side by side.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "engine/rotationengine.h"
#include "messagelog.h"
#include "standintools.h"
#include "testphotos.h"

namespace {
using TestPhotos::fileBytes;
using TestPhotos::PhotoCondition;
using TestPhotos::storedOrientation;
using TestPhotos::storedPixels;

// Generous: every run here takes a few seconds at most.
constexpr int runWaitMs = 60000;

int angleOfTag(int tag) {
    return tag == 3 ? 180 : tag == 6 ? 90 : tag == 8 ? 270 : 0;
}

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
}

// A pane's text, line by line, less what differs from run to run: times of day, the duration.
QStringList withoutTimes(QString text) {
    text.replace(QRegularExpression("\\b\\d{1,2}:\\d\\d:\\d\\d\\b"), "hh:mm:ss");
    text.replace(QRegularExpression("The operation took [^(]*"), "The operation took ... ");
    return text.split('\n');
}
} // namespace

class FolderBatchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rotatesWhatNeedsItAndNothingElse();
    void dryRunChangesNoByte();
    void stopEndsTheScan();
    void noFolderChosen();
    void secondStartIsRefused_data();
    void secondStartIsRefused();
    void watcherStartDuringUserBatchWaits();
    void recheckEndsDespiteAFailingPhoto();
    void watcherLeavesArrivingPhotosForLater();
    void watcherTakesWhatTheLeaseShowsComplete();
    void otherProgramsAtWork_data();
    void otherProgramsAtWork();
    void messagesStayInScanOrderSideBySide();
    void stopMidBatchLeavesEveryPhotoWhole_data();
    void stopMidBatchLeavesEveryPhotoWhole();

private:
    // A copy of a test photo (tag 0 to 8, landscape or portrait) at `relativePath`, with a
    // modification time well in the past (a fresh one looks like a photo still being copied).
    QString addPhoto(const QString &relativePath, int tag, bool landscape = true);
    // The same, a small piece of the photo cut losslessly, for runs of many photos; all with
    // the same time, so that runs over them read alike.
    QString addSmallPhoto(const QString &relativePath, int tag);
    // Calls `action` once, the first time the main pane shows `text` (at its end, if asked).
    void whenShown(const QString &text, std::function<void()> action, bool atEnd = false);
    // Calls `action` from the event loop, as a user's click or the watcher would come (not at
    // all once the test's engine is gone).
    void later(std::function<void()> action) { QTimer::singleShot(0, engine.get(), action); }
    // Waits until `count` runs have finished since the test began.
    bool runsFinished(int count) {
        return QTest::qWaitFor([this, count] { return finished->count() >= count; }, runWaitMs);
    }
    RunSummary summary(int run) const { return finished->at(run).first().value<RunSummary>(); }
    QStringList leftovers() const {
        return TestPhotos::rotationLeftovers({folder->path(), sandbox.filePath("systemtemp")});
    }
    QString mainText() const { return log->mainText(); }
    QString detailedText() const { return log->detailedText(); }

    QTemporaryDir sandbox;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<RotationEngine> engine;
    std::unique_ptr<MessageLog> log;
    std::unique_ptr<QSignalSpy> finished;
    QList<RunSummary::Kind> started;
    QStringList statusTexts;
};

void FolderBatchTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    if (!QFileInfo::exists("/usr/bin/jpegtran") || !QFileInfo::exists("/usr/bin/exiv2"))
        QSKIP("the real jpegtran and exiv2 are needed in /usr/bin");
    const QString systemTemp = sandbox.filePath("systemtemp");
    QVERIFY(QDir().mkpath(systemTemp));
    qputenv("TMPDIR", QFile::encodeName(systemTemp));
    qunsetenv("PIVOTTA_TOOLS_DIR");
}

void FolderBatchTest::init() {
    settings().clear();
    settings().setValue("trim", false);
    folder = std::make_unique<QTemporaryDir>(sandbox.filePath("photos-XXXXXX"));
    QVERIFY(folder->isValid());
    engine = std::make_unique<RotationEngine>();
    log = std::make_unique<MessageLog>(engine.get());
    finished = std::make_unique<QSignalSpy>(engine.get(), &RotationEngine::runFinished);
    started.clear();
    statusTexts.clear();
    connect(engine.get(), &RotationEngine::runStarted, this,
            [this](RunSummary::Kind kind) { started << kind; });
    connect(log->wording(), &PaneWording::status, this,
            [this](const QString &text) { statusTexts << text; });
}

void FolderBatchTest::cleanup() {
    finished.reset();
    log.reset();
    engine.reset();
    folder.reset();
}

QString FolderBatchTest::addPhoto(const QString &relativePath, int tag, bool landscape) {
    const QString target = folder->filePath(relativePath);
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString shared = QString("%1/orientation/%2_%3.jpg")
                               .arg(PIVOTTA_TESTDATA_DIR, landscape ? "Landscape" : "Portrait")
                               .arg(tag);
    if (!QFile::copy(shared, target))
        return QString();
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (!TestPhotos::setModificationTime(target, QDateTime::currentDateTime().addDays(-3)))
        return QString();
    return target;
}

QString FolderBatchTest::addSmallPhoto(const QString &relativePath, int tag) {
    const QString target = folder->filePath(relativePath);
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!TestPhotos::writeCroppedPhoto(tag, target) ||
        !TestPhotos::setModificationTime(target, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5))))
        return QString();
    return target;
}

void FolderBatchTest::whenShown(const QString &text, std::function<void()> action, bool atEnd) {
    auto done = std::make_shared<bool>(false);
    // Connected after the log, so the log has the message when this runs.
    connect(log->wording(), &PaneWording::message, this, [this, text, action, done, atEnd] {
        const QString shown = mainText();
        if (*done || !(atEnd ? shown.endsWith(text) : shown.contains(text)))
            return;
        *done = true;
        action();
    });
}

void FolderBatchTest::rotatesWhatNeedsItAndNothingElse() {
    QMap<QString, int> tags; // photo path -> tag
    for (int tag = 0; tag <= 8; ++tag) {
        tags[addPhoto(QString("Landscape_%1.jpg").arg(tag), tag)] = tag;
        tags[addPhoto(QString("Portrait_%1.jpg").arg(tag), tag, false)] = tag;
    }
    tags[addPhoto("sub/deeper/IMG.JPG", 8)] = 8;
    const QString png = addPhoto("a.png", 6);
    QVERIFY(!png.isEmpty() && !tags.contains(QString()));
    QMap<QString, QByteArray> originals;
    QMap<QString, QImage> references;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        originals[it.key()] = fileBytes(it.key());
        if (angleOfTag(it.value()) != 0)
            references[it.key()] = TestPhotos::referenceRotation(it.key(), angleOfTag(it.value()));
    }
    const QByteArray pngBytes = fileBytes(png);
    QSignalSpy listed(engine.get(), &RotationEngine::photosListed);
    QSignalSpy progress(engine.get(), &RotationEngine::progress);

    QVERIFY(engine->startUserBatch(folder->path(), false));
    QVERIFY(runsFinished(1));

    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        const QString name = QFileInfo(it.key()).fileName();
        if (references.contains(it.key())) {
            QVERIFY2(storedOrientation(it.key()) == 1, qPrintable(name));
            QVERIFY2(storedPixels(it.key()) == references[it.key()], qPrintable(name));
        } else {
            QVERIFY2(fileBytes(it.key()) == originals[it.key()], qPrintable(name));
        }
    }
    QCOMPARE(fileBytes(png), pngBytes);
    QVERIFY2(mainText().contains("7 image(s) with EXIF orientation metadata were found, out of "
                                 "19 photo(s) total."),
             qPrintable(mainText()));
    QVERIFY(mainText().contains("7 image(s) were successfully rotated."));
    QVERIFY(mainText().contains("The operation took"));
    const RunSummary result = summary(0);
    QCOMPARE(result.kind, RunSummary::UserBatch);
    QCOMPARE(result.photosToRotate, 7);
    QCOMPARE(result.entriesSeen, 19);
    QCOMPARE(result.rotated, 7);
    QCOMPARE(result.failed, 0);
    QVERIFY(!result.interrupted);
    QVERIFY(statusTexts.contains(
        QRegularExpression("^\\d photos with EXIF orientation metadata were found, out of 10 "
                           "photos total\\.$")));
    QCOMPARE(listed.count(), 1);
    QCOMPARE(listed.first().first().toInt(), 19);
    // Progress is told a few times a second at most, always rising, and ends complete.
    QVERIFY(progress.count() >= 1 && progress.count() <= 19);
    for (int i = 1; i < progress.count(); ++i)
        QVERIFY(progress.at(i).first().toInt() > progress.at(i - 1).first().toInt());
    QCOMPARE(progress.last(), (QVariantList{19, 19}));
    QCOMPARE(leftovers(), QStringList());
    QVERIFY(!engine->isBusy());
}

void FolderBatchTest::dryRunChangesNoByte() {
    const QStringList photos{addPhoto("a.jpg", 6), addPhoto("b.jpg", 3), addPhoto("c.jpg", 1),
                             addPhoto("sub/d.jpeg", 8, false)};
    QList<QByteArray> originals;
    for (const QString &photo : photos)
        originals << fileBytes(photo);
    QList<PhotoOutcome> outcomes;
    connect(engine.get(), &RotationEngine::photoFinished, this,
            [&outcomes](const PhotoOutcome &outcome) { outcomes << outcome; });

    QVERIFY(engine->startUserBatch(folder->path(), true));
    QVERIFY(runsFinished(1));

    for (int i = 0; i < photos.size(); ++i)
        QCOMPARE(fileBytes(photos[i]), originals[i]);
    QCOMPARE(mainText().count(" (dry run)"), 3);
    QVERIFY(mainText().contains("3 image(s) with EXIF orientation metadata were found, out of 4 "
                                "photo(s) total."));
    QVERIFY(mainText().contains("3 image(s) would be rotated."));
    QVERIFY(!mainText().contains("successfully rotated"));
    QCOMPARE(outcomes.size(), 3);
    for (const PhotoOutcome &outcome : outcomes)
        QCOMPARE(outcome.kind, PhotoOutcome::WouldRotate);
    QCOMPARE(summary(0).rotated, 0);
    QCOMPARE(leftovers(), QStringList());
}

// One photo at a time, Stop pressed once the first photo is done: the run ends there.
void FolderBatchTest::stopEndsTheScan() {
    QStringList photos;
    for (int i = 0; i < 6; ++i)
        photos << addPhoto(QString("p%1.jpg").arg(i), 6);
    engine->setParallelRotations(1);
    bool pressed = false;
    connect(engine.get(), &RotationEngine::photoRotated, this, [&] {
        if (!pressed)
            later([this] { engine->stop(); });
        pressed = true;
    });

    QVERIFY(engine->startUserBatch(folder->path(), false));
    QVERIFY(runsFinished(1));

    QVERIFY(mainText().contains("Rotating interrupted."));
    QVERIFY(mainText().contains("1 image(s) were successfully rotated."));
    int rotated = 0;
    for (const QString &photo : photos)
        rotated += storedOrientation(photo) == 1 ? 1 : 0;
    QCOMPARE(rotated, 1);
    QCOMPARE(summary(0).rotated, 1);
    QVERIFY(summary(0).interrupted);
    QCOMPARE(leftovers(), QStringList());
}

void FolderBatchTest::noFolderChosen() {
    QVERIFY(engine->startUserBatch(QString(), false));
    QVERIFY(runsFinished(1));

    QVERIFY(mainText().contains("Failed opening folder"));
    QVERIFY(mainText().contains("0 image(s) with EXIF orientation metadata were found, out of 0 "
                                "photo(s) total."));
    QCOMPARE(summary(0).entriesSeen, 0);
    QVERIFY(!engine->isBusy());
}

void FolderBatchTest::secondStartIsRefused_data() {
    QTest::addColumn<bool>("runningIsWatcher");
    QTest::newRow("during a user batch") << false;
    QTest::newRow("during a watcher batch") << true;
}

void FolderBatchTest::secondStartIsRefused() {
    QFETCH(bool, runningIsWatcher);
    const QString first = addPhoto("a.jpg", 6);
    const QString second = addPhoto("b.jpg", 6);
    bool secondStart = true;
    bool asked = false;
    whenShown("Rotating 90", [&] {
        later([&] {
            secondStart = engine->startUserBatch(folder->path(), false);
            asked = true;
        });
    });

    if (runningIsWatcher)
        engine->startWatcherRun(folder->path());
    else
        QVERIFY(engine->startUserBatch(folder->path(), false));
    QVERIFY(runsFinished(1));

    QVERIFY(asked);
    QVERIFY(!secondStart);
    QVERIFY2(
        statusTexts.contains("Rotating is already in progress. Please wait until it has finished."),
        qPrintable(statusTexts.join('\n')));
    QCOMPARE(mainText().count("Scanning folder contents."), runningIsWatcher ? 0 : 1);
    // Each photo was rotated exactly once: a second turn would differ from a single one.
    QCOMPARE(storedOrientation(first), 1);
    QCOMPARE(storedOrientation(second), 1);
    QCOMPARE(mainText().count("Rotating 90"), 2);
    QCOMPARE(started.size(), 1);
    QVERIFY(!engine->isBusy());
    QCOMPARE(leftovers(), QStringList());
}

void FolderBatchTest::watcherStartDuringUserBatchWaits() {
    addPhoto("a.jpg", 6);
    bool nestedRunStarted = true;
    bool pendingNoted = false;
    whenShown("Rotating 90", [&] {
        later([&] {
            engine->startWatcherRun(folder->path());
            nestedRunStarted = engine->isWatcherRunActive();
            pendingNoted = engine->hasRunPending();
        });
    });
    int noticesAtBatchEnd = -1;
    connect(engine.get(), &RotationEngine::runFinished, this, [&](const RunSummary &ended) {
        if (ended.kind == RunSummary::UserBatch)
            noticesAtBatchEnd = detailedText().count("Possible folder content change detected");
    });

    QVERIFY(engine->startUserBatch(folder->path(), false));

    QVERIFY(runsFinished(1));
    QVERIFY(!nestedRunStarted);
    QVERIFY(pendingNoted);
    // A watcher run inside the user batch would have met the photo in work.
    QVERIFY(!mainText().contains("is already being rotated"));
    QCOMPARE(noticesAtBatchEnd, 1);
    // The postponed watcher run follows once the user batch is over.
    QVERIFY(runsFinished(2));
    QCOMPARE(started, (QList<RunSummary::Kind>{RunSummary::UserBatch, RunSummary::WatcherRun}));
    QCOMPARE(detailedText().count("Possible folder content change detected"), 2);
    QTRY_VERIFY(!engine->isBusy());
    QCOMPARE(mainText().count("Rotating 90"), 1);
}

// A photo that cannot be rotated keeps its angle; triggers that arrive while it fails must not
// make the watcher try it again and again.
void FolderBatchTest::recheckEndsDespiteAFailingPhoto() {
    const QString stuck = addPhoto("stuck.jpg", 6);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(stuck, readOnly));
    const QByteArray original = fileBytes(stuck);
    int triggers = 0;
    connect(log->wording(), &PaneWording::message, this, [&] {
        // A folder change noticed at each failure while the run is on, as the failed attempt's
        // own files cause.
        if (triggers < 5 && mainText().count("is read-only") > triggers) {
            ++triggers;
            engine->startWatcherRun(folder->path());
        }
    });

    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(1));

    QCOMPARE(triggers, 1);
    QCOMPARE(mainText().count("Rechecking for changed photos since start of previous operation"),
             1);
    QCOMPARE(fileBytes(stuck), original);
    QVERIFY(!engine->isWatcherRunActive());
    QVERIFY(!engine->hasRunPending());

    // Later watcher runs leave it alone while it is unchanged, and try again once it changed.
    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(2));
    QCOMPARE(mainText().count("is read-only"), 1);
    QVERIFY(QFile::setPermissions(stuck, readOnly | QFileDevice::WriteOwner));
    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(3));
    QCOMPARE(storedOrientation(stuck), 1);
    QCOMPARE(summary(2).rotated, 1);
    QCOMPARE(started.size(), 3);
    QCOMPARE(leftovers(), QStringList());
}

// The folder watcher reports a photo as soon as it appears; one that may still be being copied
// (young and without its end marker, or empty) is left, and the run lists it so that the watcher
// can look at it again later. A young copy that is complete is turned at once.
void FolderBatchTest::watcherLeavesArrivingPhotosForLater() {
    const QDateTime now = QDateTime::currentDateTime();
    const QString arriving = addPhoto("arriving.jpg", 6);
    const QByteArray whole = fileBytes(arriving);
    const QByteArray partial = whole.left(whole.size() * 2 / 3);
    const auto writeArriving = [&](const QByteArray &bytes) {
        QFile file(arriving);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        QVERIFY(TestPhotos::setModificationTime(arriving, now));
    };
    writeArriving(partial);
    const QString complete = addPhoto("complete.jpg", 3);
    QVERIFY(TestPhotos::setModificationTime(complete, now));
    const QString empty = folder->filePath("empty.jpg");
    QFile emptyFile(empty);
    QVERIFY(emptyFile.open(QIODevice::WriteOnly));
    emptyFile.close();
    QVERIFY(TestPhotos::setModificationTime(empty, now.addSecs(-20 * 60)));
    // Wide windows, so that the outcome does not depend on how fast the test runs: changed
    // within ten minutes, empty and younger than an hour, or incomplete and younger than a day.
    engine->setArrivalTimes(10 * 60 * 1000, 60 * 60 * 1000, 24 * 60 * 60 * 1000);

    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(1));

    QCOMPARE(fileBytes(arriving), partial);
    QCOMPARE(storedOrientation(complete), 1);
    QStringList arrivingNow = summary(0).photosArriving;
    arrivingNow.sort();
    QCOMPARE(arrivingNow, (QStringList{arriving, empty}));
    QVERIFY2(!mainText().contains("empty.jpg"), qPrintable(mainText()));
    QVERIFY2(!mainText().contains("arriving.jpg"), qPrintable(mainText()));
    QVERIFY(!engine->hasRunPending());

    // The copy is complete: the watcher's next run rotates it, however young it is.
    writeArriving(whole);
    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(2));
    QCOMPARE(storedOrientation(arriving), 1);
    QCOMPARE(summary(1).photosArriving, QStringList{empty});
    QVERIFY(!engine->isBusy());
    QVERIFY(!mainText().contains("empty.jpg"));
    QCOMPARE(leftovers(), QStringList());
}

// Where the lease shows that no program writes a young photo, one whose main picture is whole is
// complete, even with data after its end marker (a motion photo's video): it is turned at once. A
// complete young photo that a program still has open for writing is left and told once, counted
// with the photos left for a later run and listed for the watcher.
void FolderBatchTest::watcherTakesWhatTheLeaseShowsComplete() {
    const QDateTime now = QDateTime::currentDateTime();
    const QString motion = addSmallPhoto("motion.jpg", 6);
    const QString written = addSmallPhoto("written.jpg", 8);
    QVERIFY(!motion.isEmpty() && !written.isEmpty());
    const QByteArray video = QByteArray("\0\0\0\x18"
                                        "ftypmp42",
                                        12) +
                             QByteArray(5000, 'v');
    {
        QFile file(motion);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(video), video.size());
    }
    QVERIFY(TestPhotos::setModificationTime(motion, now));
    QVERIFY(TestPhotos::setModificationTime(written, now));
    const QByteArray writtenBytes = fileBytes(written);
    engine->setArrivalTimes(10 * 60 * 1000, 60 * 60 * 1000, 24 * 60 * 60 * 1000);
    QProcess writer;
    writer.start("/bin/sh", {"-c", "exec 3>>\"$0\"; echo open; read line", written});
    QVERIFY(writer.waitForReadyRead());

    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(1));
    writer.closeWriteChannel();
    QVERIFY(writer.waitForFinished());

    QCOMPARE(storedOrientation(motion), 1);
    QVERIFY(fileBytes(motion).endsWith(video));
    QCOMPARE(fileBytes(written), writtenBytes);
    const RunSummary result = summary(0);
    QCOMPARE(result.rotated, 1);
    QCOMPARE(result.leftForLater, 1);
    QCOMPARE(result.failed, 0);
    QCOMPARE(result.photosArriving, QStringList{written});
    QCOMPARE(mainText().count("written.jpg is still being written by another program"), 1);

    // The writer is done: the watcher's next run turns it.
    engine->startWatcherRun(folder->path());
    QVERIFY(runsFinished(2));
    QCOMPARE(storedOrientation(written), 1);
    QCOMPARE(summary(1).leftForLater, 0);
    QCOMPARE(leftovers(), QStringList());
}

void FolderBatchTest::otherProgramsAtWork_data() {
    QTest::addColumn<QString>("other"); // what another program does to the first photo
    QTest::addColumn<PhotoOutcome::Kind>("outcome");
    QTest::addColumn<PhotoReason::Kind>("reason");
    QTest::addColumn<QString>("told"); // what the main pane says of the first photo

    QTest::newRow("a viewer keeps a photo open")
        << "reader" << PhotoOutcome::Rotated << PhotoReason::None << QString();
    QTest::newRow("an indexer reads the folder again and again")
        << "reading loop" << PhotoOutcome::Rotated << PhotoReason::None << QString();
    QTest::newRow("a writer keeps a photo open")
        << "writer" << PhotoOutcome::Left << PhotoReason::StillBeingWritten
        << "is still being written by another program";
    QTest::newRow("a file server holds a photo by its lease")
        << "lease" << PhotoOutcome::Left << PhotoReason::InUse << "is in use by another program";
    QTest::newRow("another Pivotta turns a photo")
        << "rotation" << PhotoOutcome::Left << PhotoReason::InUse << "is in use by another program";
}

// Readers neither delay a photo nor make it "changed"; a writer, another program's lease and
// another Pivotta leave just the photo they hold, untouched and counted as left for a later run,
// never as failed.
void FolderBatchTest::otherProgramsAtWork() {
    QFETCH(QString, other);
    QFETCH(PhotoOutcome::Kind, outcome);
    QFETCH(PhotoReason::Kind, reason);
    QFETCH(QString, told);
    QStringList photos;
    for (int i = 0; i < 16; ++i)
        photos << addSmallPhoto(QString("p%1.jpg").arg(i, 2, 10, QChar('0')), 6);
    QVERIFY(!photos.contains(QString()));
    const QString held = photos.first();
    const QByteArray heldBytes = fileBytes(held);
    engine->setParallelRotations(4);

    QProcess program;
    if (other == "reader" || other == "writer")
        program.start(
            "/bin/sh",
            {"-c",
             QString("exec 3%1\"$0\"; echo open; read line").arg(other == "reader" ? "<" : ">>"),
             held});
    else if (other == "reading loop")
        program.start("/bin/sh", {"-c", "echo open; while :; do cat \"$0\"/*.jpg >/dev/null; done",
                                  folder->path()});
    else
        program.start(PIVOTTA_HOLDPHOTO, {other, held});
    QVERIFY(program.waitForReadyRead());
    QMap<QString, PhotoOutcome> outcomes;
    connect(engine.get(), &RotationEngine::photoFinished, this,
            [&outcomes](const PhotoOutcome &done) { outcomes[done.photo.path] = done; });

    QVERIFY(engine->startUserBatch(folder->path(), false));
    const bool ended = runsFinished(1);
    if (other == "reading loop")
        program.kill();
    else
        program.closeWriteChannel();
    QVERIFY(program.waitForFinished());
    QVERIFY(ended);

    QCOMPARE(outcomes.size(), 16);
    QCOMPARE(outcomes.value(held).kind, outcome);
    QCOMPARE(outcomes.value(held).reason.kind, reason);
    const bool left = outcome == PhotoOutcome::Left;
    for (const QString &photo : std::as_const(photos)) {
        if (photo == held && left)
            QCOMPARE(fileBytes(photo), heldBytes);
        else
            QVERIFY2(storedOrientation(photo) == 1, qPrintable(photo));
    }
    const RunSummary result = summary(0);
    QCOMPARE(result.rotated, left ? 15 : 16);
    QCOMPARE(result.leftForLater, left ? 1 : 0);
    QCOMPARE(result.failed, 0);
    const QString shown = mainText();
    QVERIFY2(!shown.contains("changed while"), qPrintable(shown));
    if (left) {
        QVERIFY2(shown.contains("p00.jpg " + told), qPrintable(shown));
        QVERIFY(shown.contains("1 photo(s) were left for a later run"));
    } else {
        QVERIFY2(!shown.contains("left for a later run"), qPrintable(shown));
    }
    QCOMPARE(leftovers(), QStringList());
}

// With several photos read and turned side by side and finishing out of order, the main pane
// reads line for line as with one photo at a time, and every photo ends as it should.
void FolderBatchTest::messagesStayInScanOrderSideBySide() {
    // Turns, upright photos, a mirrored one, one without a tag, a read-only one, a file that is
    // no photo at all, and a subfolder.
    const QList<QPair<QString, int>> layout{{"p00.jpg", 6}, {"p01.jpg", 1},     {"p02.jpg", 3},
                                            {"p03.jpg", 2}, {"p04.jpg", 8},     {"p05.jpg", 6},
                                            {"p06.jpg", 0}, {"p07.jpg", 6},     {"p08.jpg", 3},
                                            {"p09.jpg", 8}, {"sub/p10.jpg", 6}, {"sub/p11.jpg", 1}};
    const QString readOnly = folder->filePath("p07.jpg");
    const QString notAPhoto = folder->filePath("p12.jpg");
    const auto makePhotos = [&]() -> bool {
        QDir(folder->path()).removeRecursively();
        QDir().mkpath(folder->path());
        for (const auto &[name, tag] : layout) {
            if (addSmallPhoto(name, tag).isEmpty())
                return false;
        }
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        QFile text(notAPhoto);
        return text.open(QIODevice::WriteOnly) && text.write("no photo\n") > 0;
    };
    const auto scanOrder = [&] {
        QStringList order;
        QDirIterator it(folder->path(), {"*.jpg"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            order << it.next();
        return order;
    };
    QVERIFY(makePhotos());
    const QStringList order = scanOrder();
    QMap<QString, QByteArray> originals;
    QMap<QString, QImage> references;
    for (const auto &[name, tag] : layout) {
        const QString path = folder->filePath(name);
        originals[path] = fileBytes(path);
        if (angleOfTag(tag) != 0 && path != readOnly)
            references[path] = TestPhotos::referenceRotation(path, angleOfTag(tag));
    }
    // jpegtran takes the longer the earlier it is started, so that photos in work side by side
    // finish in the reverse order. Each run takes the next free slot (mkdir is atomic); photos
    // are started in scan order, each with its main picture first.
    const QString slotFolder = sandbox.filePath("jpegtran-slots");
    QDir(slotFolder).removeRecursively();
    QVERIFY(QDir().mkpath(slotFolder));
    const QString delays = QString("i=0\n"
                                   "while ! mkdir '%1'/$i 2>/dev/null; do i=$((i+1)); done\n"
                                   "sleep $(awk -v i=$i 'BEGIN { d = 0.05 * (%2 - i); "
                                   "print (d > 0 ? d : 0) }')\n")
                               .arg(slotFolder)
                               .arg(order.size());
    StandInTools::ToolFolder tools(sandbox.path());
    QVERIFY(tools.write("jpegtran", delays + StandInTools::realJpegtran));
    QVERIFY(tools.write("exiv2", StandInTools::realExiv2));
    QList<PhotoOutcome> reports;
    QStringList finishOrder;
    connect(engine.get(), &RotationEngine::photoFinished, this,
            [&reports](const PhotoOutcome &outcome) { reports << outcome; });
    connect(engine.get(), &RotationEngine::photoRotated, this,
            [&finishOrder](const QString &path) { finishOrder << path; });
    const auto runWith = [&](int parallel, int run) {
        QDir(slotFolder).removeRecursively();
        QDir().mkpath(slotFolder);
        reports.clear();
        finishOrder.clear();
        log->clear();
        engine->setParallelRotations(parallel);
        // One read at a time against several in flight.
        engine->setReadsInFlight(parallel == 1 ? 1 : 16);
        QVERIFY(engine->startUserBatch(folder->path(), false));
        QVERIFY(runsFinished(run));
        for (auto it = originals.cbegin(); it != originals.cend(); ++it) {
            const PhotoCondition expected =
                references.contains(it.key()) ? PhotoCondition::Rotated : PhotoCondition::Original;
            QVERIFY2(TestPhotos::conditionOf(it.key(), it.value(), references.value(it.key())) ==
                         expected,
                     qPrintable(it.key()));
        }
        QCOMPARE(summary(run - 1).rotated, references.size());
        // The read-only photo, and the file that is no photo at all.
        QCOMPARE(summary(run - 1).failed, 2);
        QCOMPARE(leftovers(), QStringList());
    };

    runWith(1, 1);
    if (QTest::currentTestFailed())
        return;
    const QStringList oneAtATime = withoutTimes(mainText());
    // The summary names the folder and counts the photos that could not be rotated.
    QVERIFY(oneAtATime.contains("Folder: " + QDir::toNativeSeparators(folder->path())));
    QVERIFY(oneAtATime.contains("2 photo(s) could not be rotated."));
    const QStringList detailedOneAtATime = withoutTimes(detailedText());
    const QList<PhotoOutcome> reportsOneAtATime = reports;
    QVERIFY(makePhotos());
    QCOMPARE(scanOrder(), order); // the same folder listed the same way
    runWith(4, 2);
    if (QTest::currentTestFailed())
        return;

    // The photos did finish out of order...
    QStringList reportedRotated;
    for (const PhotoOutcome &report : std::as_const(reports)) {
        if (report.kind == PhotoOutcome::Rotated)
            reportedRotated << QFileInfo(report.photo.path).canonicalFilePath();
    }
    QCOMPARE(finishOrder.size(), reportedRotated.size());
    QVERIFY2(finishOrder != reportedRotated, qPrintable(finishOrder.join('\n')));
    // ... and yet they are told in scan order, word for word; only the duration line says how
    // many ran side by side.
    QStringList sideBySide = withoutTimes(mainText());
    const QRegularExpression atOnceLabel("\\((\\d+) photos side by side\\)");
    const QStringList labelled = sideBySide.filter(atOnceLabel);
    QCOMPARE(labelled.size(), 1);
    const int atOnce = atOnceLabel.match(labelled.first()).captured(1).toInt();
    QVERIFY2(atOnce >= 2 && atOnce <= 4, qPrintable(labelled.first()));
    sideBySide.replaceInStrings(atOnceLabel, "(single-process)");
    QCOMPARE(sideBySide, oneAtATime);
    QCOMPARE(withoutTimes(detailedText()), detailedOneAtATime);
    QCOMPARE(reports.size(), reportsOneAtATime.size());
    for (int i = 0; i < reports.size(); ++i) {
        QCOMPARE(reports[i].photo.path, reportsOneAtATime[i].photo.path);
        QCOMPARE(reports[i].kind, reportsOneAtATime[i].kind);
        QCOMPARE(reports[i].turn, reportsOneAtATime[i].turn);
        QCOMPARE(reports[i].reason.kind, reportsOneAtATime[i].reason.kind);
    }
}

void FolderBatchTest::stopMidBatchLeavesEveryPhotoWhole_data() {
    QTest::addColumn<bool>("watcherRun");
    QTest::addColumn<QString>("stopAt");

    QTest::newRow("right after the start") << false << "start";
    QTest::newRow("while the tools run") << false << "first turn";
    QTest::newRow("once a photo is done") << false << "first rotated";
    QTest::newRow("a watcher run, while the tools run") << true << "first turn";
}

// Stop with several photos in slow tools: the run ends at once, every photo is as it was or
// completely rotated, no temporary file is left, and no run follows, though one was asked for.
void FolderBatchTest::stopMidBatchLeavesEveryPhotoWhole() {
    QFETCH(bool, watcherRun);
    QFETCH(QString, stopAt);
    QStringList photos;
    QMap<QString, QByteArray> originals;
    for (int i = 0; i < 8; ++i) {
        const QString photo = addSmallPhoto(QString("s%1.jpg").arg(i), 6);
        QVERIFY(!photo.isEmpty());
        photos << photo;
        originals[photo] = fileBytes(photo);
    }
    const QImage reference = TestPhotos::referenceRotation(photos.first(), 90);
    StandInTools::ToolFolder tools(sandbox.path());
    QVERIFY(tools.write("jpegtran", "sleep 0.5\n" + StandInTools::realJpegtran));
    QVERIFY(tools.write("exiv2", "sleep 0.5\n" + StandInTools::realExiv2));
    engine->setParallelRotations(4);
    QList<PhotoOutcome> outcomes;
    connect(engine.get(), &RotationEngine::photoFinished, this,
            [&outcomes](const PhotoOutcome &outcome) { outcomes << outcome; });
    bool stopped = false;
    const auto stopOnce = [&] {
        if (!stopped) {
            later([this] {
                engine->stop();
                // A change noticed while the run stops (its own files going) starts nothing.
                engine->startWatcherRun(folder->path());
            });
        }
        stopped = true;
    };
    if (stopAt == "first turn")
        whenShown("Rotating 90", stopOnce);
    else if (stopAt == "first rotated")
        connect(engine.get(), &RotationEngine::photoRotated, this, stopOnce);

    if (watcherRun)
        engine->startWatcherRun(folder->path());
    else
        QVERIFY(engine->startUserBatch(folder->path(), false));
    // A change noticed during the run: a follow-up run would be due, were it not for the Stop.
    engine->startWatcherRun(folder->path());
    QVERIFY(engine->hasRunPending());
    if (stopAt == "start")
        stopOnce();
    QTRY_COMPARE_WITH_TIMEOUT(finished->count(), 1, runWaitMs);

    QVERIFY(stopped);
    const RunSummary result = summary(0);
    QVERIFY(result.interrupted);
    QVERIFY(mainText().contains("Rotating interrupted."));
    int rotated = 0;
    for (const QString &photo : std::as_const(photos)) {
        const PhotoCondition condition =
            TestPhotos::conditionOf(photo, originals[photo], reference);
        QVERIFY2(condition != PhotoCondition::Damaged, qPrintable(photo));
        rotated += condition == PhotoCondition::Rotated ? 1 : 0;
    }
    QCOMPARE(result.rotated, rotated);
    QVERIFY(rotated < photos.size());
    // Every photo whose turn was cut short is told about, once.
    int left = 0;
    for (const PhotoOutcome &outcome : std::as_const(outcomes)) {
        if (outcome.kind != PhotoOutcome::Left)
            continue;
        QCOMPARE(outcome.reason.kind, PhotoReason::Stopped);
        ++left;
        const QString told =
            "Stopped before " + outcome.photo.path + " was rotated. The photo was left unchanged.";
        QVERIFY2(mainText().count(told) == 1, qPrintable(told + "\n" + mainText()));
    }
    QCOMPARE(mainText().count("Stopped before "), left);
    if (stopAt == "first turn")
        QVERIFY(left >= 1); // the first photo at least was in exiv2
    if (stopAt == "start")
        QCOMPARE(rotated, 0);
    if (stopAt == "first rotated")
        QVERIFY(rotated >= 1);
    if (!watcherRun)
        QVERIFY(
            mainText().contains(QString("%1 image(s) were successfully rotated.").arg(rotated)));
    QVERIFY(!mainText().contains("Rechecking for changed photos"));
    QCOMPARE(leftovers(), QStringList());
    QVERIFY(!engine->isBusy());
    QVERIFY(!engine->hasRunPending());
    // No run follows.
    QTest::qWait(2000);
    QCOMPARE(started.size(), 1);
    QCOMPARE(finished->count(), 1);
}

QTEST_MAIN(FolderBatchTest)
#include "tst_folderbatch.moc"

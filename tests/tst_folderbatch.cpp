// The folder batch with the real jpegtran and exiv2 on copies of the test photos: what is
// rotated and what is left byte for byte, the summary, dry run, stop, and the rules for runs
// that meet (a second start, watcher starts during a batch, rechecks, photos still arriving).
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <functional>
#include <memory>

#include "exif/exifrecord.h"
#include "exif/orientation.h"
#include "mainwindow/pivotta.h"
#include "testphotos.h"

class PivottaTestAccess {
public:
    static void run(Pivotta &window, bool watcherInitiated) {
        window.rotateFilesInCurrentDirectory(watcherInitiated, false);
    }
    static bool watcherRunActive(Pivotta &window) { return window.watcherRunActive; }
    static bool retriggerScheduled(Pivotta &window) { return window.retriggerScheduled; }
    static bool rotationInProgress(Pivotta &window) { return window.rotationInProgress(); }
    static void setWatcherRetryDelay(Pivotta &window, int ms) { window.watcherRetryDelayMs = ms; }
    static void setSettleTimes(Pivotta &window, int arrivalMs, int emptyMs) {
        window.arrivalSettleMs = arrivalMs;
        window.emptyPhotoSettleMs = emptyMs;
    }
};

namespace {
using TestPhotos::fileBytes;
using TestPhotos::storedOrientation;
using TestPhotos::storedPixels;

int angleOfTag(int tag) {
    return tag == 3 ? 180 : tag == 6 ? 90 : tag == 8 ? 270 : 0;
}

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
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
    void photoChangedWhileExaminedIsLeft();

private:
    // A copy of a test photo (tag 0 to 8, landscape or portrait) at `relativePath`, with a
    // modification time well in the past (a fresh one looks like a photo still being copied).
    QString addPhoto(const QString &relativePath, int tag, bool landscape = true);
    void openFolder();
    // Calls `action` once, the first time the main pane shows `text` (at its end, if asked).
    void whenShown(const QString &text, std::function<void()> action, bool atEnd = false);
    QStringList leftovers() const;
    QString mainText() const { return mainPane()->toPlainText(); }
    QString detailedText() const {
        return window->findChild<QTextEdit *>("cmdLineOutput_2")->toPlainText();
    }
    QTextBrowser *mainPane() const { return window->findChild<QTextBrowser *>("cmdLineOutput"); }

    QTemporaryDir sandbox;
    std::unique_ptr<QTemporaryDir> folder;
    Pivotta *window = nullptr;
};

void FolderBatchTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Q_INIT_RESOURCE(resources);
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
    folder = std::make_unique<QTemporaryDir>(sandbox.filePath("photos-XXXXXX"));
    QVERIFY(folder->isValid());
    window = new Pivotta(false, false, false, QString(), QString());
    settings().setValue("trim", false);
    // The scan ends quietly once the window is closed, so it must be shown.
    window->show();
}

void FolderBatchTest::cleanup() {
    delete window;
    window = nullptr;
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

void FolderBatchTest::openFolder() {
    auto *combo = window->findChild<QComboBox *>("directoryComboBox");
    combo->addItem(QDir::toNativeSeparators(folder->path()));
    combo->setCurrentIndex(combo->count() - 1);
    QCOMPARE(combo->currentText(), QDir::toNativeSeparators(folder->path()));
}

void FolderBatchTest::whenShown(const QString &text, std::function<void()> action, bool atEnd) {
    auto done = std::make_shared<bool>(false);
    connect(mainPane(), &QTextEdit::textChanged, window, [this, text, action, done, atEnd] {
        const QString shown = mainText();
        if (*done || !(atEnd ? shown.endsWith(text) : shown.contains(text)))
            return;
        *done = true;
        action();
    });
}

// Temporary files anywhere in the tree or in the temporary folder.
QStringList FolderBatchTest::leftovers() const {
    QStringList found;
    for (const QString &root : {folder->path(), sandbox.filePath("systemtemp")}) {
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(".pivotta-") || path.contains("Pivotta_"))
                found << path;
        }
    }
    return found;
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
        if (angleOfTag(it.value()) == 0)
            continue;
        const QString reference = sandbox.filePath("reference.jpg");
        QFile::remove(reference);
        QCOMPARE(QProcess::execute("/usr/bin/jpegtran",
                                   {"-rotate", QString::number(angleOfTag(it.value())), "-copy",
                                    "all", "-outfile", reference, it.key()}),
                 0);
        references[it.key()] = storedPixels(reference);
    }
    const QByteArray pngBytes = fileBytes(png);
    QStringList progress;
    connect(window->statusBar(), &QStatusBar::messageChanged, window,
            [&progress](const QString &message) { progress << message; });
    openFolder();

    PivottaTestAccess::run(*window, false);

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
    QVERIFY(progress.contains(
        QRegularExpression("^\\d photos with EXIF orientation metadata were found, out of 10 "
                           "photos total\\.$")));
    QCOMPARE(leftovers(), QStringList());
    QVERIFY(window->findChild<QPushButton *>("rotateNowButton")->isEnabled());
    QVERIFY(window->findChild<QSlider *>("horizontalSlider")->isEnabled());
    QVERIFY(!PivottaTestAccess::rotationInProgress(*window));
}

void FolderBatchTest::dryRunChangesNoByte() {
    const QStringList photos{addPhoto("a.jpg", 6), addPhoto("b.jpg", 3), addPhoto("c.jpg", 1),
                             addPhoto("sub/d.jpeg", 8, false)};
    QList<QByteArray> originals;
    for (const QString &photo : photos)
        originals << fileBytes(photo);
    window->findChild<QAction *>("action_Dry_run")->setChecked(true);
    openFolder();

    PivottaTestAccess::run(*window, false);

    for (int i = 0; i < photos.size(); ++i)
        QCOMPARE(fileBytes(photos[i]), originals[i]);
    QCOMPARE(mainText().count(" (dry run)"), 3);
    QVERIFY(mainText().contains("3 image(s) with EXIF orientation metadata were found, out of 4 "
                                "photo(s) total."));
    QVERIFY(mainText().contains("0 image(s) were successfully rotated."));
}

void FolderBatchTest::stopEndsTheScan() {
    QStringList photos;
    for (int i = 0; i < 6; ++i)
        photos << addPhoto(QString("p%1.jpg").arg(i), 6);
    openFolder();
    // The stop button is pressed while the first photo is being rotated.
    whenShown("Rotating 90",
              [this] { window->findChild<QPushButton *>("stopRotatingButton")->click(); });

    PivottaTestAccess::run(*window, false);

    QVERIFY(mainText().contains("Rotating interrupted."));
    QVERIFY(mainText().contains("1 image(s) were successfully rotated."));
    int rotated = 0;
    for (const QString &photo : photos)
        rotated += storedOrientation(photo) == 1 ? 1 : 0;
    QCOMPARE(rotated, 1);
    QCOMPARE(leftovers(), QStringList());
}

void FolderBatchTest::noFolderChosen() {
    PivottaTestAccess::run(*window, false);

    QVERIFY(mainText().contains("Failed opening folder"));
    QVERIFY(mainText().contains("0 image(s) with EXIF orientation metadata were found, out of 0 "
                                "photo(s) total."));
    QVERIFY(!PivottaTestAccess::rotationInProgress(*window));
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
    openFolder();
    bool controlsDisabled = false;
    QString statusNote;
    whenShown("Rotating 90", [&] {
        controlsDisabled = !window->findChild<QPushButton *>("rotateNowButton")->isEnabled() &&
                           !window->findChild<QAction *>("actionRotate_folder_now")->isEnabled();
        PivottaTestAccess::run(*window, false);
        statusNote = window->statusBar()->currentMessage();
    });

    PivottaTestAccess::run(*window, runningIsWatcher);

    QVERIFY2(statusNote.contains("already in progress"), qPrintable(statusNote));
    QCOMPARE(controlsDisabled, !runningIsWatcher);
    QCOMPARE(mainText().count("Scanning folder contents."), runningIsWatcher ? 0 : 1);
    // Each photo was rotated exactly once: a second turn would differ from a single one.
    QCOMPARE(storedOrientation(first), 1);
    QCOMPARE(storedOrientation(second), 1);
    QCOMPARE(mainText().count("Rotating 90"), 2);
    QVERIFY(window->findChild<QPushButton *>("rotateNowButton")->isEnabled());
    QCOMPARE(leftovers(), QStringList());
}

void FolderBatchTest::watcherStartDuringUserBatchWaits() {
    addPhoto("a.jpg", 6);
    openFolder();
    bool nestedRunStarted = true;
    whenShown("Rotating 90", [&] {
        PivottaTestAccess::run(*window, true);
        nestedRunStarted = PivottaTestAccess::watcherRunActive(*window);
    });

    PivottaTestAccess::run(*window, false);

    QVERIFY(!nestedRunStarted);
    // A watcher run inside the user batch would have met the photo in work.
    QVERIFY(!mainText().contains("is already being rotated"));
    QCOMPARE(detailedText().count("Possible folder content change detected"), 1);
    // The postponed watcher run follows once the user batch is over.
    QTRY_COMPARE(detailedText().count("Possible folder content change detected"), 2);
    QTRY_VERIFY(!PivottaTestAccess::rotationInProgress(*window));
    QCOMPARE(mainText().count("Rotating 90"), 1);
}

// A photo that cannot be rotated keeps its angle; triggers that arrive while it fails must not
// make the watcher try it again and again.
void FolderBatchTest::recheckEndsDespiteAFailingPhoto() {
    const QString stuck = addPhoto("stuck.jpg", 6);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(stuck, readOnly));
    const QByteArray original = fileBytes(stuck);
    openFolder();
    int triggers = 0;
    connect(mainPane(), &QTextEdit::textChanged, window, [&] {
        // A folder change noticed at each failure, as the failed attempt's own files cause.
        if (triggers < 5 && mainText().count("is read-only") > triggers) {
            ++triggers;
            PivottaTestAccess::run(*window, true);
        }
    });

    PivottaTestAccess::run(*window, true);

    QCOMPARE(triggers, 1);
    QCOMPARE(mainText().count("Rechecking for changed photos since start of previous operation"),
             1);
    QCOMPARE(fileBytes(stuck), original);
    QVERIFY(!PivottaTestAccess::watcherRunActive(*window));

    // Later watcher runs leave it alone while it is unchanged, and try again once it changed.
    PivottaTestAccess::run(*window, true);
    QCOMPARE(mainText().count("is read-only"), 1);
    QVERIFY(QFile::setPermissions(stuck, readOnly | QFileDevice::WriteOwner));
    PivottaTestAccess::run(*window, true);
    QCOMPARE(storedOrientation(stuck), 1);
    QCOMPARE(leftovers(), QStringList());
}

// The folder watcher reports a photo as soon as it appears; one that may still be being copied
// is left for a later watcher run.
void FolderBatchTest::watcherLeavesArrivingPhotosForLater() {
    const QDateTime now = QDateTime::currentDateTime();
    const QString arriving = addPhoto("arriving.jpg", 6);
    QVERIFY(TestPhotos::setModificationTime(arriving, now));
    const QString empty = folder->filePath("empty.jpg");
    QFile emptyFile(empty);
    QVERIFY(emptyFile.open(QIODevice::WriteOnly));
    emptyFile.close();
    QVERIFY(TestPhotos::setModificationTime(empty, now.addSecs(-20 * 60)));
    const QByteArray original = fileBytes(arriving);
    openFolder();
    // Wide windows, so that the outcome does not depend on how fast the test runs: changed
    // within ten minutes, or empty and younger than an hour.
    PivottaTestAccess::setSettleTimes(*window, 10 * 60 * 1000, 60 * 60 * 1000);
    PivottaTestAccess::setWatcherRetryDelay(*window, 50);

    PivottaTestAccess::run(*window, true);

    QCOMPARE(fileBytes(arriving), original);
    QVERIFY(PivottaTestAccess::retriggerScheduled(*window));
    QVERIFY2(!mainText().contains("empty.jpg"), qPrintable(mainText()));

    // The copy is complete: the scheduled run rotates it.
    QVERIFY(TestPhotos::setModificationTime(arriving, now.addDays(-1)));
    QTRY_COMPARE(storedOrientation(arriving), 1);
    QTRY_VERIFY(!PivottaTestAccess::rotationInProgress(*window));
    QVERIFY(!mainText().contains("empty.jpg"));
    QCOMPARE(leftovers(), QStringList());
}

// Reading the angle of a photo that the EXIF parser rejects lets other slots run (the progress
// dot); a photo changed there is not rotated by the angle of what it was.
void FolderBatchTest::photoChangedWhileExaminedIsLeft() {
    const QString photo = folder->filePath("cut.jpg");
    const QByteArray whole =
        fileBytes(QString(PIVOTTA_TESTDATA_DIR) + "/orientation/Landscape_6.jpg");
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(whole.left(whole.size() / 2)); // no end marker: the parser rejects it
    file.close();
    QVERIFY(TestPhotos::setModificationTime(photo, QDateTime::currentDateTime().addDays(-1)));
    openFolder();
    whenShown(
        ". ",
        [&] {
            QVERIFY(file.open(QIODevice::Append));
            file.write("x");
            file.close();
        },
        true);

    PivottaTestAccess::run(*window, false);

    QVERIFY2(mainText().contains("changed while it was being examined"), qPrintable(mainText()));
    QCOMPARE(fileBytes(photo), whole.left(whole.size() / 2) + "x");
    QCOMPARE(leftovers(), QStringList());
}

QTEST_MAIN(FolderBatchTest)
#include "tst_folderbatch.moc"

// One photo's chain end to end, on descriptors and bytes, with the real jpegtran and exiv2:
// - races driven through the chain's test hooks, not sleeps: a symbolic link swapped for the
//   photo, a writer still holding it, a photo growing after its image ends where no lease can be
//   had, another program opening it while it is leased;
// - the result against jpegtran's own output: only the orientation values, the turned thumbnail
//   and the turned further pictures differ;
// - crafted photos with gain maps, previews and a motion photo's video, turned picture by
//   picture, checked with exiftool and Qt's decoder;
// - reasons that are true: damaged image data, a full disk, protected folders and photos;
// - the original kept in the desktop's trash, restorable, and a trash that takes nothing.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

#include "craftedphotos.h"
#include "engine/photorotation.h"
#include "engine/rotationengine.h"
#include "files/fileproblem.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/orientationvalues.h"
#include "jpeg/photopictures.h"
#include "jpeg/turnedpicture.h"
#include "messagelog.h"
#include "presentation/headlessreport.h"
#include "testphotos.h"
#include "tools/toolcommands.h"

using CraftedPhotos::FurtherPicture;
using CraftedPhotos::gainMap;
using CraftedPhotos::preview;
using CraftedPhotos::Recipe;
using CraftedPhotos::recipe;
using Hook = PhotoRotation::HookPoint;

namespace {
constexpr int chainWaitMs = 60000;

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
}

QByteArray fileBytes(const QString &path) {
    return TestPhotos::fileBytes(path);
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool appendTo(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

// A program's standard output for the given standard input; empty when it fails.
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

bool run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray slice(const QByteArray &bytes, const FileRange &range) {
    return bytes.mid(range.offset, range.length);
}

QImage decoded(const QByteArray &jpeg) {
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

QJsonObject exiftoolTags(const QString &path, const QStringList &arguments) {
    return QJsonDocument::fromJson(
               outputOf("exiftool", QStringList{"-j", "-n"} + arguments + QStringList{path}))
        .array()
        .first()
        .toObject();
}

// jpegtran's own turn of one picture, with the arguments the chain gives it.
QByteArray jpegtranTurn(const QByteArray &picture, Turn turn) {
    return outputOf("jpegtran", jpegtranArguments(turn, parseJpegStructure(picture), false, true),
                    picture);
}

// A picture found where the index or the container says must be whole, upright by its tags, of
// the turned size and show the original picture turned.
void verifyTurnedPicture(const QByteArray &original, const QByteArray &result, Turn turn,
                         bool mainPicture = false) {
    const JpegStructure before = parseJpegStructure(original);
    const JpegStructure after = parseJpegStructure(result);
    QVERIFY2(after.isComplete(), qPrintable(after.problem));
    QCOMPARE(after.imageEnd, qint64(result.size()));
    QVERIFY(findOrientations(result).allAre(1));
    const QImage image = decoded(result);
    // The main picture trimmed, as the chain's jobs ask; a further picture whole, turned exactly
    // where a lossless turn would trim it.
    QCOMPARE(image.size(), turnedSize(before.frame, turn, mainPicture));
    QVERIFY(showsTheOriginalTurned(original, result, turn));
}

// A frame marker written into the middle of the image data, as a damaged copy can hold one.
QByteArray withStrayFrameMarker(const QByteArray &jpeg) {
    const int scan = jpeg.indexOf("\xFF\xDA");
    const int at = scan + 3000;
    return jpeg.left(at) + QByteArray::fromHex("FFC50011080010001003012200021101031101") +
           jpeg.mid(at);
}

struct Ending {
    bool ended = false;
    PhotoRotationOutcome outcome;
};

} // namespace

Q_DECLARE_METATYPE(Recipe)
Q_DECLARE_METATYPE(PhotoRotationOutcome::Kind)
Q_DECLARE_METATYPE(PhotoReason::Kind)

class PhotoChainTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void races_data();
    void races();
    void onlyOrientationThumbnailAndPicturesDiffer_data();
    void onlyOrientationThumbnailAndPicturesDiffer();
    void everyPictureTurned_data();
    void everyPictureTurned();
    void photoWithoutMetadataTurnedByHand();
    void reasonsThatAreTrue_data();
    void reasonsThatAreTrue();
    void originalKeptInTheTrash();
    void trashThatTakesNothingLeavesThePhoto();
    void headlessReportNamesTheTrash();

private:
    QString copyPhoto(const QString &name, const QString &into = QString());
    QString makePhoto(const Recipe &made, const QString &name = "photo.jpg");
    PhotoRotation::Job jobFor(const QString &photo, std::shared_ptr<HeldPhoto> held = nullptr,
                              Turn turn = Turn::Rotate90);
    // Rotates with the chain's own PhotoRotation; with `stopAt`, stops it there.
    Ending rotate(const PhotoRotation::Job &job,
                  const PhotoRotation::TestHooks &hooks = PhotoRotation::TestHooks(),
                  std::optional<Hook> stopAt = std::nullopt);
    void verifyNothingLeftBehind();
    QString shownText() const { return log.mainText() + "\n" + log.detailedText(); }
    QString trashPath() const { return sandbox.filePath("data/Trash"); }

    QTemporaryDir sandbox;
    std::unique_ptr<QTemporaryDir> folder;
    MessageLog log;
    QStringList unprotect; // paths whose chattr flags a test set
    QString mounted;       // a small file system a test mounted
};

void PhotoChainTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    for (const QString tool : {"jpegtran", "exiv2", "exiftool", "djpeg", "cjpeg", "convert"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is needed (scripts/setup.sh installs it)"));
    }
    QVERIFY(sandbox.isValid());
    // Never the user's own trash; on the photos' file system, so that the home trash takes them.
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.filePath("data")));
}

void PhotoChainTest::init() {
    settings().clear();
    folder = std::make_unique<QTemporaryDir>(sandbox.filePath("photos-XXXXXX"));
    QVERIFY(folder->isValid());
    log.clear();
}

void PhotoChainTest::cleanup() {
    for (const QString &path : std::as_const(unprotect))
        run("chattr", {"-ai", path});
    unprotect.clear();
    if (!mounted.isEmpty())
        run("umount", {mounted});
    mounted.clear();
    folder.reset();
    QDir(trashPath()).removeRecursively();
}

QString PhotoChainTest::copyPhoto(const QString &name, const QString &into) {
    const QString target = (into.isEmpty() ? folder->path() : into) + "/" + name;
    return QFile::copy(TestPhotos::sharedPhoto(6), target) &&
                   QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
               ? target
               : QString();
}

QString PhotoChainTest::makePhoto(const Recipe &made, const QString &name) {
    const QString path = folder->filePath(name);
    QString error;
    if (!CraftedPhotos::makePhoto(made, path, &error)) {
        qWarning() << error;
        return {};
    }
    return path;
}

PhotoRotation::Job PhotoChainTest::jobFor(const QString &photo, std::shared_ptr<HeldPhoto> held,
                                          Turn turn) {
    PhotoRotation::Job job;
    job.photo = held ? held : HeldPhoto::openChosen(photo, nullptr);
    job.photoPath = photo;
    job.turn = turn;
    job.folder = folder->path();
    return job;
}

Ending PhotoChainTest::rotate(const PhotoRotation::Job &job, const PhotoRotation::TestHooks &hooks,
                              std::optional<Hook> stopAt) {
    Ending ending;
    if (!job.photo)
        return ending;
    PhotoRotation rotation(job);
    PhotoRotation::TestHooks stopping = hooks;
    stopping.at = [&](Hook point) {
        if (hooks.at)
            hooks.at(point);
        if (point == stopAt)
            rotation.stop();
    };
    rotation.setTestHooks(stopping);
    log.listenTo(&rotation);
    connect(&rotation, &PhotoRotation::finished, this,
            [&ending](const PhotoRotationOutcome &outcome) {
                ending.ended = true;
                ending.outcome = outcome;
            });
    rotation.start();
    static_cast<void>(QTest::qWaitFor([&ending] { return ending.ended; }, chainWaitMs));
    return ending;
}

void PhotoChainTest::verifyNothingLeftBehind() {
    QCOMPARE(TestPhotos::rotationLeftovers({folder->path()}), QStringList());
    const QString shown = shownText();
    QVERIFY2(!shown.contains(".pivotta-") && !shown.contains("/proc/"), qPrintable(shown));
}

void PhotoChainTest::races_data() {
    QTest::addColumn<QString>("race");
    QTest::addColumn<PhotoRotationOutcome::Kind>("outcome");
    QTest::addColumn<PhotoReason::Kind>("reason");
    QTest::addColumn<QByteArray>("appended"); // what the race adds to the photo
    QTest::addColumn<QString>("shown");

    const auto failed = PhotoRotationOutcome::Failed;
    const auto later = PhotoRotationOutcome::TryLater;
    QTest::newRow("a link swapped for the photo before its turn")
        << "link before" << failed << PhotoReason::ReplacedMeanwhile << QByteArray()
        << "another file took its name";
    QTest::newRow("a link swapped for the photo while it is turned")
        << "link while turned" << failed << PhotoReason::ReplacedMeanwhile << QByteArray()
        << "another file took its name";
    QTest::newRow("a writer still holding the photo")
        << "writer holding" << later << PhotoReason::StillBeingWritten << QByteArray()
        << "is still being written by another program";
    QTest::newRow("no lease: growing after its image ends, between the looks")
        << "grows between looks" << later << PhotoReason::StillBeingWritten
        << CraftedPhotos::trailerPattern(3000) << "is still being written by another program";
    QTest::newRow("no lease: growing after its image ends, once it was read")
        << "grows once read" << later << PhotoReason::ChangedWhileRotated
        << CraftedPhotos::trailerPattern(3000) << "changed while it was being rotated";
    QTest::newRow("no lease: left alone, turned after two looks")
        << "no lease" << PhotoRotationOutcome::Rotated << PhotoReason::None << QByteArray()
        << "Done with success.";
    QTest::newRow("another program opens the leased photo")
        << "opened while leased" << later << PhotoReason::ChangedWhileRotated << QByteArray("x")
        << "changed while it was being rotated";
    const auto stopped = PhotoRotationOutcome::Stopped;
    QTest::newRow("stopped once it is read") << "stop once read" << stopped << PhotoReason::Stopped
                                             << QByteArray() << "The photo was left unchanged.";
    QTest::newRow("stopped once the rotated version is written")
        << "stop once written" << stopped << PhotoReason::Stopped << QByteArray()
        << "The photo was left unchanged.";
}

// The photo is held in its folder as the scan holds it; whatever happens to its name, nothing
// outside the folder is read or written, and nothing the other program writes is lost.
void PhotoChainTest::races() {
    QFETCH(QString, race);
    QFETCH(PhotoRotationOutcome::Kind, outcome);
    QFETCH(PhotoReason::Kind, reason);
    QFETCH(QByteArray, appended);
    QFETCH(QString, shown);
    const QString inside = folder->filePath("inside");
    const QString outside = folder->filePath("outside");
    QVERIFY(QDir().mkpath(inside) && QDir().mkpath(outside));
    const QString photo = copyPhoto("p.jpg", inside);
    const QString secret = copyPhoto("secret.jpg", outside);
    QVERIFY(!photo.isEmpty() && !secret.isEmpty());
    const QByteArray original = fileBytes(photo);
    const QDateTime secretTime = QFileInfo(secret).lastModified();
    const QImage reference = TestPhotos::referenceRotation(photo, 90, true);
    std::shared_ptr<HeldPhoto> held =
        HeldPhoto::open(HeldFolder::openRoot(inside, nullptr), "p.jpg", nullptr);
    QVERIFY(held);

    const auto swapForLink = [&] {
        QVERIFY(QFile::rename(photo, inside + "/moved.jpg"));
        QVERIFY(QFile::link(secret, photo));
    };
    QProcess other; // the other program, where the race has one
    PhotoRotation::TestHooks hooks;
    hooks.noLease = race.startsWith("grows") || race == "no lease";
    hooks.at = [&](Hook point) {
        if ((race == "link while turned" && point == Hook::PhotoRead))
            swapForLink();
        else if ((race == "grows between looks" && point == Hook::FirstLook) ||
                 (race == "grows once read" && point == Hook::PhotoRead))
            QVERIFY(appendTo(photo, appended));
        else if (race == "opened while leased" && point == Hook::PhotoRead)
            // Its open waits until the lease is let go.
            other.start("/bin/sh", {"-c", "printf x >> \"$0\"", photo});
    };
    if (race == "link before")
        swapForLink();
    if (race == "writer holding") {
        other.start("/bin/sh", {"-c", "exec 3>>\"$0\"; echo open; read line", photo});
        QVERIFY(other.waitForReadyRead());
    }

    std::optional<Hook> stopAt;
    if (race == "stop once read")
        stopAt = Hook::PhotoRead;
    else if (race == "stop once written")
        stopAt = Hook::ResultWritten;
    const Ending ending = rotate(jobFor(photo, held), hooks, stopAt);

    QVERIFY(ending.ended);
    // Whatever the end, the lease is let go: nobody waits for Pivotta any more.
    QVERIFY(!held->holdsLease());
    QCOMPARE(ending.outcome.kind, outcome);
    QCOMPARE(ending.outcome.reason.kind, reason);
    QVERIFY2(shownText().contains(shown), qPrintable(shownText()));
    if (race == "opened while leased") {
        // Let go at once: far sooner than the kernel's own 45 seconds.
        QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(10000));
        QCOMPARE(other.exitStatus(), QProcess::NormalExit);
        QCOMPARE(other.exitCode(), 0);
    }
    QCOMPARE(fileBytes(secret), original);
    QCOMPARE(QFileInfo(secret).lastModified(), secretTime);
    if (race.startsWith("link")) {
        QVERIFY(QFileInfo(photo).isSymLink());
        QCOMPARE(fileBytes(inside + "/moved.jpg"), original);
    } else if (outcome == PhotoRotationOutcome::Rotated) {
        QCOMPARE(TestPhotos::storedPixels(photo), reference);
    } else {
        QCOMPARE(fileBytes(photo), original + appended);
    }
    if (race == "writer holding") {
        // Closed a moment ago, and complete: turned at once, once the scan lets go of it too.
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());
        held.reset();
        QCOMPARE(rotate(jobFor(photo)).outcome.kind, PhotoRotationOutcome::Rotated);
        QCOMPARE(TestPhotos::storedPixels(photo), reference);
    }
    verifyNothingLeftBehind();
}

void PhotoChainTest::onlyOrientationThumbnailAndPicturesDiffer_data() {
    QTest::addColumn<Recipe>("made");
    Recipe plain = recipe(6, {});
    plain.xmpOrientation = 6;
    QTest::newRow("EXIF and XMP orientation") << plain;
    Recipe rich = recipe(6, {preview(QSize(320, 240), 6)});
    rich.thumbnail = true;
    rich.xmpOrientation = 6;
    QTest::newRow("thumbnail and a preview with its own orientation") << rich;
}

// The rotated photo is jpegtran's own output but for the orientation values set to 1, the
// thumbnail turned in its slot, and the further pictures turned, listed where the index says.
void PhotoChainTest::onlyOrientationThumbnailAndPicturesDiffer() {
    QFETCH(Recipe, made);
    const QString photo = makePhoto(made);
    QVERIFY(!photo.isEmpty());
    const QByteArray original = fileBytes(photo);
    const PhotoPictures pictures = describePictures(original);
    QVERIFY(pictures.isUsable());
    const Turn turn = Turn::Rotate90;
    const QByteArray primary = jpegtranTurn(original.left(pictures.primary.imageEnd), turn);
    QVERIFY(!primary.isEmpty());

    const Ending ending = rotate(jobFor(photo, nullptr, turn));
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    const QByteArray result = fileBytes(photo);
    const JpegStructure structure = parseJpegStructure(result);
    QVERIFY2(structure.isComplete(), qPrintable(structure.problem));

    // The main picture, byte for byte.
    const QByteArray resultPrimary = result.left(structure.imageEnd);
    QCOMPARE(resultPrimary.size(), primary.size());
    const JpegStructure expected = parseJpegStructure(primary);
    std::vector<FileRange> allowed;
    for (const OrientationValue &value : findOrientations(primary).values)
        allowed.push_back({value.at, value.size});
    allowed.push_back(expected.thumbnail);
    allowed.push_back({expected.thumbnailLengthField, expected.thumbnailLengthFieldSize});
    allowed.push_back(expected.mpfSegment);
    int differing = 0;
    for (qsizetype i = 0; i < primary.size(); ++i) {
        if (resultPrimary[i] == primary[i])
            continue;
        ++differing;
        const bool inAllowed = std::any_of(allowed.begin(), allowed.end(), [i](const FileRange &r) {
            return !r.isEmpty() && i >= r.offset && i < r.end();
        });
        QVERIFY2(inAllowed, qPrintable(QString("byte %1 of the main picture differs").arg(i)));
    }
    QVERIFY(differing >= 2); // the EXIF and the XMP orientation at least
    QVERIFY(findOrientations(resultPrimary).allAre(1));

    // The thumbnail, as jpegtran turns it on its own, in its old place.
    if (made.thumbnail) {
        const QByteArray thumbnail = outputOf("jpegtran", jpegtranThumbnailArguments(turn),
                                              slice(original, pictures.primary.thumbnail));
        QVERIFY(!thumbnail.isEmpty());
        QCOMPARE(structure.thumbnail.offset, expected.thumbnail.offset);
        QCOMPARE(slice(result, structure.thumbnail), thumbnail);
    }

    // Each further picture, jpegtran's own turn of it with its orientation values set.
    const PhotoPictures after = describePictures(result);
    QVERIFY(after.isUsable());
    const std::vector<FileRange> before = pictures.picturesToTurn();
    const std::vector<FileRange> now = after.picturesToTurn();
    QCOMPARE(now.size(), before.size());
    for (size_t k = 0; k < now.size(); ++k) {
        QByteArray turned = jpegtranTurn(slice(original, before[k]), turn);
        QCOMPARE(turned.size(), qsizetype(now[k].length));
        setOrientationInPlace(turned);
        QCOMPARE(slice(result, now[k]), turned);
    }
    QCOMPARE(exiftoolTags(photo, {"-IFD0:Orientation"}).value("Orientation").toInt(), 1);
    verifyNothingLeftBehind();
}

void PhotoChainTest::everyPictureTurned_data() {
    QTest::addColumn<Recipe>("made");
    QTest::addColumn<int>("pictures"); // turned besides the main one; -1: the photo is left

    QTest::newRow("gain map in the index and the container, little-endian index")
        << recipe(6, {gainMap()}) << 1;
    QTest::newRow("two previews, big-endian index")
        << recipe(8, {preview(QSize(320, 240)), preview(QSize(400, 300), 8)}, true) << 2;
    FurtherPicture containerOnly = gainMap();
    containerOnly.inIndex = false;
    QTest::newRow("gain map only in the container") << recipe(3, {containerOnly}) << 1;
    QTest::newRow("gain map with odd sides, turned exactly")
        << recipe(6, {gainMap(QSize(403, 301))}) << 1;
    Recipe motion = recipe(6, {gainMap()}, false, 200000);
    motion.trailerBytes = 1000;
    motion.thumbnail = true;
    motion.xmpOrientation = 6;
    QTest::newRow("motion photo with a gain map, thumbnail and XMP") << motion << 1;
    FurtherPicture notJpeg = gainMap();
    notJpeg.notJpeg = true;
    QTest::newRow("a gain map that is not a JPEG") << recipe(6, {notJpeg}) << -1;
}

// Crafted as phones and cameras write them, turned through the whole chain, and read back by
// exiftool and Qt: each picture lies whole where the index and the container say, upright and
// turned; the video and the other trailing bytes are as they were.
void PhotoChainTest::everyPictureTurned() {
    QFETCH(Recipe, made);
    QFETCH(int, pictures);
    const QString photo = makePhoto(made);
    QVERIFY(!photo.isEmpty());
    const QByteArray original = fileBytes(photo);
    const PhotoPictures before = describePictures(original);
    const Turn turn = turnForOrientation(made.orientation);

    const Ending ending = rotate(jobFor(photo, nullptr, turn));

    QVERIFY(ending.ended);
    if (pictures < 0) {
        QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);
        QCOMPARE(ending.outcome.reason.kind, PhotoReason::PicturesUnreadable);
        QVERIFY2(log.mainText().contains("is not a whole JPEG picture"),
                 qPrintable(log.mainText()));
        QCOMPARE(fileBytes(photo), original);
        verifyNothingLeftBehind();
        return;
    }
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    QVERIFY2(log.detailedText().contains(
                 QString("%1 further picture(s) (gain maps, previews) turned too.").arg(pictures)),
             qPrintable(log.detailedText()));
    const QByteArray result = fileBytes(photo);
    const JpegStructure primary = parseJpegStructure(result);
    QVERIFY2(primary.isComplete(), qPrintable(primary.problem));
    verifyTurnedPicture(original.left(before.primary.imageEnd), result.left(primary.imageEnd), turn,
                        true);
    const QJsonObject tags = exiftoolTags(photo, {"-a", "-G1", "-Orientation"});
    QCOMPARE(tags.value("IFD0:Orientation").toInt(), 1);
    QCOMPARE(tags.value("XMP-tiff:Orientation").toInt(), made.xmpOrientation ? 1 : 0);

    // exiftool's index: the main picture ends where its image ends, each picture lies whole.
    const std::vector<FileRange> originals = before.picturesToTurn();
    const QJsonObject index = exiftoolTags(photo, {"-G1", "-MPF:all"});
    int listed = 0;
    for (const TrailingPart &part : before.parts) {
        if (part.kind != TrailingPart::Picture)
            continue;
        const int picture = listed++;
        if (part.indexEntry < 0)
            continue;
        const QString group = QString("MPImage%1:").arg(part.indexEntry + 1);
        const qint64 start = qint64(index.value(group + "MPImageStart").toDouble());
        const qint64 length = qint64(index.value(group + "MPImageLength").toDouble());
        verifyTurnedPicture(slice(original, originals[size_t(picture)]), result.mid(start, length),
                            turn);
    }
    QCOMPARE(listed, pictures);
    if (before.index.status == MultiPictureIndex::Read)
        QCOMPARE(qint64(index.value("MPImage1:MPImageLength").toDouble()), primary.imageEnd);

    // exiftool's container: the items laid one after the other from the main picture's end.
    const QJsonArray directory =
        exiftoolTags(photo, {"-struct", "-XMP-Container:all"}).value("Directory").toArray();
    qint64 position = primary.imageEnd;
    int picture = 0;
    for (int k = 1; k < directory.size(); ++k) {
        const QJsonObject item = directory[k].toObject().value("Item").toObject();
        const qint64 length = qint64(item.value("Length").toDouble());
        if (item.value("Mime").toString() == "image/jpeg") {
            while (before.parts[size_t(picture)].containerItem != k)
                ++picture;
            int turnedPicture = 0;
            for (int i = 0; i < picture; ++i)
                turnedPicture += before.parts[size_t(i)].kind == TrailingPart::Picture ? 1 : 0;
            verifyTurnedPicture(slice(original, originals[size_t(turnedPicture)]),
                                result.mid(position, length), turn);
        } else {
            QCOMPARE(result.mid(position, length), CraftedPhotos::videoPattern(made.videoBytes));
        }
        position += length + qint64(item.value("Padding").toDouble());
    }
    QCOMPARE(result.right(made.trailerBytes), CraftedPhotos::trailerPattern(made.trailerBytes));
    if (made.thumbnail) {
        const QByteArray thumbnail = slice(result, primary.thumbnail);
        QVERIFY(isTurnedThumbnail(slice(original, before.primary.thumbnail), thumbnail, turn));
        QVERIFY(log.detailedText().contains("EXIF thumbnail turned too."));
    }
    verifyNothingLeftBehind();
}

// A quarter turn by hand of a photo without EXIF, XMP or IPTC: exiv2 reads nothing, which is no
// failure, and no metadata is added.
void PhotoChainTest::photoWithoutMetadataTurnedByHand() {
    const QString photo = folder->filePath("bare.jpg");
    QVERIFY(run("convert", {"-size", "64x48", "gradient:red-blue", photo}));
    QVERIFY(parseJpegStructure(fileBytes(photo)).exifSegment.isEmpty());
    const QImage reference = TestPhotos::referenceRotation(photo, 270, true);

    const Ending ending = rotate(jobFor(photo, nullptr, Turn::Rotate270));

    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    QCOMPARE(TestPhotos::storedPixels(photo), reference);
    const JpegStructure after = parseJpegStructure(fileBytes(photo));
    QVERIFY(after.exifSegment.isEmpty() && after.xmpSegment.isEmpty());
    verifyNothingLeftBehind();
}

void PhotoChainTest::reasonsThatAreTrue_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<PhotoReason::Kind>("reason");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("notShown");

    QTest::newRow("a stray frame marker in the image data")
        << "stray marker" << PhotoReason::DamagedImageData
        << "its image data is damaged: a marker FF C5 stands inside it"
        << "this JPEG type cannot be turned losslessly";
    QTest::newRow("a full disk while writing")
        << "full disk" << PhotoReason::NotWritten << "the disk is full"
        << "Unknown error";
    QTest::newRow("an append-only folder")
        << "append-only folder" << PhotoReason::Protected << "the folder is append-only"
        << "Rotating 90";
    QTest::newRow("an immutable photo")
        << "immutable photo" << PhotoReason::Protected << "the photo is immutable"
        << "Rotating 90";
}

// Each photo is left byte for byte as it was, no temporary file stays, and the message names
// the real reason.
void PhotoChainTest::reasonsThatAreTrue() {
    QFETCH(QString, fault);
    QFETCH(PhotoReason::Kind, reason);
    QFETCH(QString, shown);
    QFETCH(QString, notShown);
    QString photo = copyPhoto("photo.jpg");
    QVERIFY(!photo.isEmpty());
    if (fault == "stray marker") {
        QVERIFY(writeFile(photo, withStrayFrameMarker(fileBytes(photo))));
        QVERIFY(parseJpegStructure(fileBytes(photo)).hasStrayFrameMarker());
    } else if (fault == "full disk") {
        // Room for the photo, not for its rotated version as well.
        const QString disk = folder->filePath("disk");
        QVERIFY(QDir().mkpath(disk));
        const qint64 size = QFileInfo(photo).size() + 256 * 1024;
        if (!run("mount", {"-t", "tmpfs", "-o", QString("size=%1").arg(size), "tmpfs", disk}))
            QSKIP("a small file system cannot be mounted here (needs root)");
        mounted = disk;
        QVERIFY(QFile::rename(photo, disk + "/photo.jpg") ||
                QFile::copy(photo, disk + "/photo.jpg"));
        photo = disk + "/photo.jpg";
    } else {
        const QString target = fault == "append-only folder" ? folder->path() : photo;
        if (!run("chattr", {fault == "append-only folder" ? "+a" : "+i", target}))
            QSKIP("chattr cannot set these flags here (needs root and a file system with them)");
        unprotect << target;
    }
    const QByteArray original = fileBytes(photo);

    const Ending ending = rotate(jobFor(photo));

    QVERIFY(ending.ended);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);
    QCOMPARE(ending.outcome.reason.kind, reason);
    QVERIFY2(log.mainText().contains(shown), qPrintable(log.mainText()));
    QVERIFY2(!log.mainText().contains(notShown), qPrintable(log.mainText()));
    QCOMPARE(fileBytes(photo), original);
    QCOMPARE(TestPhotos::rotationLeftovers({QFileInfo(photo).path()}), QStringList());
}

// The original goes to the trash right before the rename, as the freedesktop.org trash keeps it:
// files/NAME with the original bytes and info/NAME.trashinfo saying where it came from.
void PhotoChainTest::originalKeptInTheTrash() {
    const QString photo = copyPhoto("photo.jpg");
    const QByteArray original = fileBytes(photo);
    PhotoRotation::Job job = jobFor(photo);
    job.keepOriginal = true;

    const Ending ending = rotate(job);

    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    QCOMPARE(ending.outcome.trashFolder, trashPath());
    QCOMPARE(ending.outcome.keptOriginal, trashPath() + "/files/photo.jpg");
    QVERIFY(log.detailedText().contains("the original was kept in the trash as"));
    QCOMPARE(TestPhotos::storedOrientation(photo), 1);
    QCOMPARE(fileBytes(trashPath() + "/files/photo.jpg"), original);
    const QList<QByteArray> info = fileBytes(trashPath() + "/info/photo.jpg.trashinfo").split('\n');
    QCOMPARE(info.value(0), QByteArray("[Trash Info]"));
    QCOMPARE(info.value(1),
             "Path=" + QUrl::toPercentEncoding(QFileInfo(photo).canonicalFilePath(), "/"));
    QVERIFY(QDateTime::fromString(QString::fromLatin1(info.value(2).mid(13)), "yyyy-MM-ddTHH:mm:ss")
                .isValid());
    // Restoring it, as a file manager does, gives the original back.
    QVERIFY(QFile::remove(photo));
    QVERIFY(QFile::rename(trashPath() + "/files/photo.jpg", photo));
    QCOMPARE(fileBytes(photo), original);
    verifyNothingLeftBehind();
}

// A trash that takes nothing (immutable, so that root is stopped too) leaves the photo as it was.
void PhotoChainTest::trashThatTakesNothingLeavesThePhoto() {
    const QString photo = copyPhoto("photo.jpg");
    const QByteArray original = fileBytes(photo);
    QVERIFY(QDir().mkpath(trashPath() + "/files") && QDir().mkpath(trashPath() + "/info"));
    if (!run("chattr", {"+i", trashPath() + "/files"}))
        QSKIP("chattr cannot make folders immutable here (needs root)");
    unprotect << trashPath() + "/files";
    PhotoRotation::Job job = jobFor(photo);
    job.keepOriginal = true;

    const Ending ending = rotate(job);

    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);
    QCOMPARE(ending.outcome.reason.kind, PhotoReason::OriginalNotKept);
    QVERIFY2(log.mainText().contains("could not be kept in the trash"), qPrintable(log.mainText()));
    QCOMPARE(fileBytes(photo), original);
    QCOMPARE(QDir(trashPath() + "/info").entryList(QDir::Files), QStringList());
    verifyNothingLeftBehind();
}

// A batch with the setting on: the run's summary knows the trash, and the headless report ends
// with it.
void PhotoChainTest::headlessReportNamesTheTrash() {
    settings().setValue("keepOriginalsInTrash", true);
    QVERIFY(!copyPhoto("a.jpg").isEmpty() && !copyPhoto("b.jpg").isEmpty());
    RotationEngine engine;
    log.listenTo(&engine);
    QSignalSpy finished(&engine, &RotationEngine::runFinished);

    QVERIFY(engine.startUserBatch(folder->path(), false));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, chainWaitMs);

    const RunSummary summary = finished.first().first().value<RunSummary>();
    QCOMPARE(summary.rotated, 2);
    QCOMPARE(summary.trashFolders, QStringList{trashPath()});
    QCOMPARE(headlessSummaryLines(summary).last(),
             "The original photos are in the trash: " + QDir::toNativeSeparators(trashPath()));
    QCOMPARE(QDir(trashPath() + "/files").entryList(QDir::Files), (QStringList{"a.jpg", "b.jpg"}));
}

QTEST_MAIN(PhotoChainTest)
#include "tst_photochain.moc"

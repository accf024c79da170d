// Rotating one photo: the real jpegtran and exiv2 on copies of the test photos, and stand-in
// tools (selected with PIVOTTA_TOOLS_DIR) for the faults the real ones cannot be made to show.
// Whatever happens, the photo is either as it was or completely rotated, no temporary file is
// left beside it or in the temporary folder, and nothing a tool started goes on running. The
// file times each mode gives the rotated photo are checked to the nanosecond.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "craftedphotos.h"
#include "engine/photorotation.h"
#include "engine/rotationengine.h"
#include "files/fileproblem.h"
#include "files/filetimes.h"
#include "files/heldphoto.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/orientationvalues.h"
#include "jpeg/photopictures.h"
#include "messagelog.h"
#include "settings/settings.h"
#include "standintools.h"
#include "testphotos.h"
#include "tools/toolrun.h"

Q_DECLARE_METATYPE(PhotoRotationOutcome::Kind)
Q_DECLARE_METATYPE(PhotoOutcome::Kind)
Q_DECLARE_METATYPE(PhotoReason::Kind)

namespace {
using StandInTools::realExiv2;
using StandInTools::realJpegtran;
using TestPhotos::fileBytes;
using TestPhotos::storedOrientation;
using TestPhotos::storedPixels;

// Generous: a rotation of a test photo takes well under a second.
constexpr int rotationWaitMs = 60000;

// How one PhotoRotation ended.
struct Ending {
    int finishedSignals = 0;
    PhotoRotationOutcome outcome;
};

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
}

// The photo held as the scan holds it when it hands it over.
std::shared_ptr<HeldPhoto> held(const QString &photo) {
    return HeldPhoto::openChosen(photo, nullptr);
}

// A file's times to the nanosecond, as the system keeps them.
FileStatus statusOf(const QString &path) {
    FileStatus status;
    const std::shared_ptr<HeldPhoto> photo = held(path);
    if (photo)
        status = photo->status();
    return status;
}

// A rotation of one photo with the settings as a run would read them at its start.
PhotoRotation::Job jobFor(const QString &photo, Turn turn, const QString &folder,
                          std::shared_ptr<HeldPhoto> heldPhoto = nullptr) {
    PhotoRotation::Job job;
    job.photo = heldPhoto ? heldPhoto : held(photo);
    job.photoPath = photo;
    job.turn = turn;
    job.folder = folder;
    job.perfect = Settings::perfect();
    job.trim = Settings::trim();
    job.fileTimeMode = Settings::fileTimeMode();
    return job;
}

// The picture without its XMP and MPF segments, which tell where the further pictures lie.
QByteArray withoutPictureLists(const QByteArray &jpeg) {
    const JpegStructure structure = parseJpegStructure(jpeg);
    QByteArray result = jpeg;
    const FileRange xmp = structure.xmpSegment;
    const FileRange mpf = structure.mpfSegment;
    for (const FileRange &segment :
         xmp.offset > mpf.offset ? QList<FileRange>{xmp, mpf} : QList<FileRange>{mpf, xmp}) {
        if (!segment.isEmpty())
            result.remove(segment.offset - 4, segment.length + 4);
    }
    return result;
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A program's standard output for the given standard input; empty when it fails.
QByteArray outputOf(const QString &program, const QStringList &arguments, const QByteArray &input) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}
} // namespace

class TransformTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rotatesLosslessly_data();
    void rotatesLosslessly();
    void fileTimeModes_data();
    void fileTimeModes();
    void faultsLeaveThePhotoWhole_data();
    void faultsLeaveThePhotoWhole();
    void perfectWithTheRealTool_data();
    void perfectWithTheRealTool();
    void gainMapKeepsItsShape_data();
    void gainMapKeepsItsShape();
    void badPhotosWithRealTools_data();
    void badPhotosWithRealTools();
    void protectedOrMissingPhotos_data();
    void protectedOrMissingPhotos();
    void outsideNamesShowLiterally();
    void stopFromAMessageListenerEndsTheChain();
    void photoChangedAfterItsTurnWasRead_data();
    void photoChangedAfterItsTurnWasRead();
    void onePhotoIsNeverRotatedTwiceAtOnce();
    void hangingToolEndsWithItsChildren_data();
    void hangingToolEndsWithItsChildren();
    void destroyedToolRunLeavesNoChild();
    void toolRunServesLargeInputs();
    void singlePhotoByItsOrientation_data();
    void singlePhotoByItsOrientation();

private:
    QString copyPhoto(const QString &shared, const QString &name);
    void useTools(const QString &jpegtranBody, const QString &exiv2Body);
    // Rotates the photo with a PhotoRotation of its own and waits for its end; the photo is
    // opened now unless it is given held.
    Ending rotate(const QString &photo, int angle, std::shared_ptr<HeldPhoto> heldPhoto = nullptr);
    void verifyNothingLeftBehind(const QString &photo);
    QString mainText() const { return log.mainText(); }
    QString detailedText() const { return log.detailedText(); }

    QTemporaryDir sandbox;
    QString systemTemp;
    std::unique_ptr<QTemporaryDir> photos;
    std::unique_ptr<StandInTools::ToolFolder> tools;
    MessageLog log;
    int toolTimeoutMs = 30000;
};

void TransformTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    if (!QFileInfo::exists("/usr/bin/jpegtran") || !QFileInfo::exists("/usr/bin/exiv2"))
        QSKIP("the real jpegtran and exiv2 are needed in /usr/bin");
    QVERIFY(sandbox.isValid());
    // A temporary folder of the test's own, so that copies left in it can be seen.
    systemTemp = sandbox.filePath("systemtemp");
    QVERIFY(QDir().mkpath(systemTemp));
    qputenv("TMPDIR", QFile::encodeName(systemTemp));
    QCOMPARE(QDir::tempPath(), systemTemp);
}

void TransformTest::init() {
    settings().clear();
    qunsetenv("PIVOTTA_TOOLS_DIR");
    photos = std::make_unique<QTemporaryDir>(sandbox.filePath("photos-XXXXXX"));
    QVERIFY(photos->isValid());
    log.clear();
    toolTimeoutMs = 30000;
    // Trimming is on when nothing is stored; the references are made without it unless a test
    // says otherwise.
    settings().setValue("trim", false);
}

void TransformTest::cleanup() {
    if (photos) {
        // Folders made read-only by a test must be writable again to be removed.
        QFile::setPermissions(photos->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
    }
    photos.reset();
    tools.reset();
    qunsetenv("PIVOTTA_TOOLS_DIR");
}

QString TransformTest::copyPhoto(const QString &shared, const QString &name) {
    const QString target = photos->filePath(name);
    if (!QFile::copy(QString(PIVOTTA_TESTDATA_DIR) + "/orientation/" + shared, target))
        return QString();
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return target;
}

void TransformTest::useTools(const QString &jpegtranBody, const QString &exiv2Body) {
    tools = std::make_unique<StandInTools::ToolFolder>(sandbox.path());
    QVERIFY(tools->isValid());
    QVERIFY(tools->write("jpegtran", jpegtranBody));
    QVERIFY(tools->write("exiv2", exiv2Body));
}

Ending TransformTest::rotate(const QString &photo, int angle,
                             std::shared_ptr<HeldPhoto> heldPhoto) {
    PhotoRotation::Job job = jobFor(photo, turnForAngle(angle), photos->path(), heldPhoto);
    if (!job.photo)
        return {};
    job.toolTimeoutMs = toolTimeoutMs;
    PhotoRotation rotation(job);
    log.listenTo(&rotation);
    Ending ending;
    connect(&rotation, &PhotoRotation::finished, this,
            [&ending](const PhotoRotationOutcome &outcome) {
                ++ending.finishedSignals;
                ending.outcome = outcome;
            });
    rotation.start();
    // A rotation that never ends shows as no finished() signal; callers check the count.
    static_cast<void>(
        QTest::qWaitFor([&ending] { return ending.finishedSignals > 0; }, rotationWaitMs));
    return ending;
}

void TransformTest::verifyNothingLeftBehind(const QString &photo) {
    const QDir folder = QFileInfo(photo).absoluteDir();
    const QStringList besidePhoto = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    QCOMPARE(besidePhoto, QStringList{QFileInfo(photo).fileName()});
    QCOMPARE(QDir(systemTemp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    // Messages name the photo, never the file it was rotated in.
    QVERIFY2(!mainText().contains(".pivotta-"), qPrintable(mainText()));
    QVERIFY2(!detailedText().contains(".pivotta-"), qPrintable(detailedText()));
}

void TransformTest::rotatesLosslessly_data() {
    QTest::addColumn<QString>("shared");
    QTest::addColumn<int>("angle");
    QTest::addColumn<bool>("trim");

    QTest::newRow("180, landscape") << "Landscape_3.jpg" << 180 << false;
    QTest::newRow("90, portrait, trim") << "Portrait_6.jpg" << 90 << true;
    QTest::newRow("270, landscape") << "Landscape_8.jpg" << 270 << false;
    QTest::newRow("90, landscape, trim") << "Landscape_6.jpg" << 90 << true;
}

void TransformTest::rotatesLosslessly() {
    QFETCH(QString, shared);
    QFETCH(int, angle);
    QFETCH(bool, trim);
    settings().setValue("trim", trim);
    const QString photo = copyPhoto(shared, "photo.jpg");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    QVERIFY(QFile::setPermissions(photo, permissions));
    const QImage reference = TestPhotos::referenceRotation(photo, angle, trim);
    QVERIFY(!reference.isNull());

    const Ending ending = rotate(photo, angle);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    QCOMPARE(storedOrientation(photo), 1);
    const QImage rotated = storedPixels(photo);
    QVERIFY(!rotated.isNull());
    QCOMPARE(rotated, reference);
    QCOMPARE(QFileInfo(photo).permissions() &
                 ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             permissions);
    QVERIFY(detailedText().contains("Done with success."));
    QVERIFY(detailedText().contains("Cleared orientation"));
    verifyNothingLeftBehind(photo);
}

void TransformTest::fileTimeModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("exifDate");
    QTest::addColumn<QString>("expectedTime"); // "recent": written by the rotation itself
    QTest::addColumn<QString>("message");

    QTest::newRow("leave alone") << int(FileTimeMode::LeaveAlone) << true << "recent"
                                 << "Cleared orientation";
    QTest::newRow("from EXIF") << int(FileTimeMode::FromExifDate) << true << "2020:01:02 03:04:05"
                               << "Restored file date to EXIF date value:";
    QTest::newRow("from EXIF, no date")
        << int(FileTimeMode::FromExifDate) << false << "recent"
        << "Couldn't restore file modification date; EXIF date missing.";
    QTest::newRow("restore") << int(FileTimeMode::RestoreOriginal) << false << "before"
                             << "Restored file date to original date value for";
}

// Restoring gives the modification time back to the nanosecond; the EXIF date is local time to
// the second; either keeps the access time as it was. Left alone, both are what writing made them.
void TransformTest::fileTimeModes() {
    QFETCH(int, mode);
    QFETCH(bool, exifDate);
    QFETCH(QString, expectedTime);
    QFETCH(QString, message);
    settings().setValue("setFileTimestamp", mode);
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    if (exifDate) {
        QCOMPARE(
            QProcess::execute("/usr/bin/exiv2", {"-M",
                                                 "set Exif.Photo.DateTimeOriginal Ascii 2020:01:02 "
                                                 "03:04:05",
                                                 photo}),
            0);
    }
    // Times no millisecond clock can give.
    const FileTime modified{981173106, 123456789};
    const FileTime accessed{1000000000, 987654321};
    QVERIFY(held(photo));
    QVERIFY(setFileTimesAt(*held(photo)->folder(), "photo.jpg", modified, accessed, nullptr));

    const FileTime rotationStart = FileTime::now();
    const Ending ending = rotate(photo, 90);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);

    // Looked at before anything reads the photo, which would move its access time.
    const FileStatus after = statusOf(photo);
    QCOMPARE(storedOrientation(photo), 1);
    if (expectedTime == "recent") {
        QVERIFY(!(after.modified < rotationStart));
        QVERIFY(after.accessed != accessed);
    } else {
        const FileTime expected =
            expectedTime == "before" ? modified : *fileTimeFromExifDate(expectedTime);
        QCOMPARE(after.modified.seconds, expected.seconds);
        QCOMPARE(after.modified.nanoseconds, expected.nanoseconds);
        QCOMPARE(after.accessed.seconds, accessed.seconds);
        QCOMPARE(after.accessed.nanoseconds, accessed.nanoseconds);
    }
    QVERIFY2((mainText() + detailedText()).contains(message), qPrintable(mainText()));
    if (mode == int(FileTimeMode::RestoreOriginal))
        QVERIFY(mainText().contains("Reading original modification date for photo.jpg"));
    verifyNothingLeftBehind(photo);
}

void TransformTest::faultsLeaveThePhotoWhole_data() {
    QTest::addColumn<QString>("jpegtran"); // "%PHOTO%" stands for the photo's path
    QTest::addColumn<QString>("exiv2");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<PhotoRotationOutcome::Kind>("outcome");
    QTest::addColumn<QByteArray>("appended"); // what the stand-in adds to the photo
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    const QString halfOutput = "/usr/bin/jpegtran -rotate 90 -copy all | head -c 20000\n";
    const QString photo = "photo.jpg";
    const QStringList none;
    const auto failed = PhotoRotationOutcome::Failed;
    const auto rotated = PhotoRotationOutcome::Rotated;
    // A stand-in that refuses to be given any file: every picture comes on its standard input.
    const QString noFileGiven =
        "for a in \"$@\"; do\n"
        "  if [ -e \"$a\" ]; then echo \"jpegtran: given $a\" >&2; exit 1; fi\n"
        "done\n" +
        realJpegtran;

    QTest::newRow("jpegtran crashes")
        << "printf partial\nkill -SEGV $$\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Not rotated, jpegtran crashed: ", "photo.jpg"} << none;
    QTest::newRow("jpegtran dies half-way through writing")
        << halfOutput + "kill -KILL $$\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Not rotated, jpegtran crashed"} << none;
    QTest::newRow("jpegtran exits 2, input ended early")
        << "/usr/bin/jpegtran \"$@\"\necho 'Premature end of JPEG file' >&2\nexit 2\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure", "ends too early"}
        << QStringList{"Done with success."};
    // Any other warning leaves the photo too: the damage it warns about would be turned with it.
    QTest::newRow("jpegtran exits 2 with another warning")
        << "/usr/bin/jpegtran \"$@\" || exit 1\n"
           "echo 'Corrupt JPEG data: premature end of data segment' >&2\nexit 2\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure", "damaged image data",
                       "premature end of data segment"}
        << QStringList{"Done with success."};
    QTest::newRow("jpegtran is given no file, whatever the name")
        << noFileGiven << realExiv2 << QString::fromUtf8("fötö ü 日本.jpg") << false << rotated
        << QByteArray() << QStringList{"Done with success."}
        << QStringList{"Oops", "Unicode/international"};
    QTest::newRow("not perfect, perfect required")
        << "echo 'jpegtran: transformation is not perfect' >&2\nexit 1\n"
        << realExiv2 << photo << true << failed << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure",
                       "This error is due to the photo's size: its height of 1800 pixels is not a "
                       "multiple of the block size 16.",
                       "Uncheck the option \"Require perfect metadata for rotation\""}
        << QStringList{"Unicode/international", "non-standard metadata"};
    QTest::newRow("not perfect, perfect not required")
        << "echo 'jpegtran: transformation is not perfect' >&2\nexit 1\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure"}
        << QStringList{"This error is due to", "Unicode/international"};
    QTest::newRow("jpegtran hangs") << "exec sleep 20\n"
                                    << realExiv2 << photo << false << failed << QByteArray()
                                    << QStringList{"did not finish within"} << none;
    QTest::newRow("jpegtran claims success, output cut short")
        << halfOutput + "exit 0\n"
        << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"is not what a lossless turn gives"} << QStringList{"Done with success."};
    QTest::newRow("jpegtran missing")
        << QString() << realExiv2 << photo << false << failed << QByteArray()
        << QStringList{"Couldn't find", "could not be started"} << none;
    // The write waits for the lease, which is let go at once: the photo is left as it is now.
    QTest::newRow("photo changes while rotated")
        << "/usr/bin/jpegtran \"$@\" || exit 1\nprintf x >> '%PHOTO%'\n"
        << realExiv2 << photo << false << PhotoRotationOutcome::TryLater << QByteArray("x")
        << QStringList{"changed while it was being rotated"} << QStringList{"Done with success."};
    QTest::newRow("exiv2 fails") << realJpegtran << "echo 'exiv2: cannot read' >&2\nexit 1\n"
                                 << photo << false << failed << QByteArray()
                                 << QStringList{"Failed clearing EXIF orientation metadata.",
                                                "left unchanged"}
                                 << QStringList{"Done with success."};
    QTest::newRow("exiv2 crashes") << realJpegtran << "kill -SEGV $$\n"
                                   << photo << false << failed << QByteArray()
                                   << QStringList{"Clear orientation start error",
                                                  "Failed clearing EXIF orientation metadata."}
                                   << QStringList{"Done with success."};
    QTest::newRow("exiv2 claims success, reads no tag")
        << realJpegtran << "exit 0\n"
        << photo << false << failed << QByteArray()
        << QStringList{"Failed clearing EXIF orientation metadata."}
        << QStringList{"Done with success."};
    QTest::newRow("exiv2 reads an orientation left")
        << realJpegtran << "echo 'Exif.Image.Orientation 1'\necho 'Exif.Image.Orientation 6'\n"
        << photo << false << failed << QByteArray()
        << QStringList{"is not right", "Exif.Image.Orientation 6"}
        << QStringList{"Done with success."};
    QTest::newRow("exiv2 hangs") << realJpegtran << "exec sleep 20\n"
                                 << photo << false << failed << QByteArray()
                                 << QStringList{"unable to detect successful finish"}
                                 << QStringList{"Done with success."};
    QTest::newRow("exiv2 missing")
        << realJpegtran << QString() << photo << false << failed << QByteArray()
        << QStringList{"Couldn't find", "Failed clearing EXIF orientation metadata."}
        << QStringList{"Done with success."};
}

void TransformTest::faultsLeaveThePhotoWhole() {
    QFETCH(QString, jpegtran);
    QFETCH(QString, exiv2);
    QFETCH(QString, name);
    QFETCH(bool, perfect);
    QFETCH(PhotoRotationOutcome::Kind, outcome);
    QFETCH(QByteArray, appended);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    settings().setValue("perfect", perfect);
    toolTimeoutMs = 500;
    const QString photo = copyPhoto("Landscape_6.jpg", name);
    useTools(QString(jpegtran).replace("%PHOTO%", photo), exiv2);
    const QByteArray original = fileBytes(photo);
    const QImage reference = TestPhotos::referenceRotation(photo, 90);

    const Ending ending = rotate(photo, 90);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, outcome);
    QCOMPARE(ending.outcome.reason.kind == PhotoReason::None,
             outcome == PhotoRotationOutcome::Rotated);
    const bool rotated = outcome == PhotoRotationOutcome::Rotated;

    const QString output = mainText() + "\n" + detailedText();
    for (const QString &text : shown)
        QVERIFY2(output.contains(text), qPrintable(text + "\nnot in:\n" + output));
    for (const QString &text : notShown)
        QVERIFY2(!output.contains(text), qPrintable(text + "\nin:\n" + output));
    // The reasons quote jpegtran's words, never its banner.
    QVERIFY2(!mainText().contains("Emulating") && !mainText().contains("libjpeg-turbo"),
             qPrintable(mainText()));
    if (rotated) {
        QCOMPARE(storedOrientation(photo), 1);
        QCOMPARE(storedPixels(photo), reference);
    } else {
        QCOMPARE(fileBytes(photo), original + appended);
    }
    verifyNothingLeftBehind(photo);
}

// 1200 by 1800 pixels in 16-pixel blocks: turning the landscape copy leaves a partial block,
// the portrait one does not.
void TransformTest::perfectWithTheRealTool_data() {
    QTest::addColumn<QString>("shared");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("partial blocks") << "Landscape_6.jpg" << false;
    QTest::newRow("whole blocks") << "Portrait_6.jpg" << true;
}

void TransformTest::perfectWithTheRealTool() {
    QFETCH(QString, shared);
    QFETCH(bool, rotated);
    settings().setValue("perfect", true);
    const QString photo = copyPhoto(shared, "photo.jpg");
    const QByteArray original = fileBytes(photo);

    const Ending ending = rotate(photo, 90);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind,
             rotated ? PhotoRotationOutcome::Rotated : PhotoRotationOutcome::Failed);
    QCOMPARE(storedOrientation(photo), rotated ? 1 : 6);
    if (!rotated) {
        QCOMPARE(fileBytes(photo), original);
        // The refusal names its real cause: the photo's size, not its metadata.
        QVERIFY2(mainText().contains("This error is due to the photo's size: its height of 1800 "
                                     "pixels is not a multiple of the block size 16."),
                 qPrintable(mainText()));
        QVERIFY(detailedText().contains("transformation is not perfect"));
        QVERIFY(!mainText().contains("Unicode/international"));
    }
    verifyNothingLeftBehind(photo);
}

void TransformTest::gainMapKeepsItsShape_data() {
    QTest::addColumn<int>("angle");
    QTest::addColumn<bool>("grey"); // a grey gain map in 8-pixel blocks, else colour in 16
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("damaged"); // image data in the gain map that jpegtran warns about
    QTest::addColumn<PhotoReason::Kind>("left"); // None: rotated
    // What the main pane says of the photo that is left; "%1" stands for the photo, "%2" for the
    // gain map's block size.
    QTest::addColumn<QString>("message");

    QTest::newRow("quarter turn: 300 rows are no whole blocks, the gain map is encoded anew")
        << 90 << true << false << false << PhotoReason::None << QString();
    QTest::newRow("quarter turn, colour: encoded anew, not trimmed to 288 rows")
        << 90 << false << false << false << PhotoReason::None << QString();
    QTest::newRow("three-quarter turn: 400 columns are, the gain map is turned losslessly")
        << 270 << true << false << false << PhotoReason::None << QString();
    QTest::newRow("quarter turn, perfect required: the photo is left")
        << 90 << true << true << false << PhotoReason::NeedsReencoding
        << "picture 2 of %1 would have to be encoded anew to keep its shape, as its height of 300 "
           "pixels is not a multiple of the block size %2, and \"Require perfect metadata for "
           "rotation\" allows no such change. The photo was left unchanged.";
    QTest::newRow("quarter turn, damaged gain map: jpegtran's warning leaves the photo")
        << 90 << false << false << true << PhotoReason::JpegtranFailed
        << "Not rotated: picture 2 of %1 (jpegtran found damaged image data in the photo";
}

// A photo of 1600x1200 pixels tagged 6 with a gain map of 400x300, named in the container, with the
// gain map's parameters in its own XMP and an orientation of its own. Turned, the gain map keeps
// its photo's shape, 300x400: encoded anew where a lossless turn would drop its partial row of
// blocks, its metadata kept and its pixels the original's turned; the main picture is jpegtran's
// own turn whatever happens to the gain map. A gain map that is not to be encoded anew, or that
// jpegtran finds damaged, leaves the photo as it was.
void TransformTest::gainMapKeepsItsShape() {
    QFETCH(int, angle);
    QFETCH(bool, grey);
    QFETCH(bool, perfect);
    QFETCH(bool, damaged);
    QFETCH(PhotoReason::Kind, left);
    QFETCH(QString, message);
    settings().setValue("perfect", perfect);
    CraftedPhotos::FurtherPicture gainMap = CraftedPhotos::gainMap(QSize(400, 300));
    gainMap.grey = grey;
    gainMap.ownXmp = true;
    gainMap.orientation = 6;
    CraftedPhotos::Recipe recipe = CraftedPhotos::recipe(6, {gainMap});
    recipe.source = QString(PIVOTTA_TESTDATA_DIR) + "/orientation/Portrait_6.jpg";
    recipe.size = QSize(1600, 1200);
    const QString photo = photos->filePath("photo.jpg");
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    QByteArray original = fileBytes(photo);
    const PhotoPictures before = describePictures(original);
    QVERIFY(before.isUsable());
    QCOMPARE(before.pictureCount(), 1);
    QCOMPARE(QSize(before.primary.frame.width, before.primary.frame.height), QSize(1600, 1200));
    const FileRange gainMapRange = before.picturesToTurn()[0];
    if (damaged) {
        // Bytes that are no marker but no valid coding either, in the middle of its image data.
        qint64 middle = gainMapRange.end() - 2 - 1000;
        if (uchar(original[middle - 1]) == 0xFF) // a stuffed FF keeps its zero
            ++middle;
        original.replace(middle, 400, QByteArray(400, char(0x55)));
        QVERIFY(writeFile(photo, original));
        QVERIFY(describePictures(original).isUsable());
    }
    const QByteArray originalGainMap = original.mid(gainMapRange.offset, gainMapRange.length);
    const Turn turn = turnForAngle(angle);
    const QString block = grey ? "8" : "16";
    const QString reencoded = "its gain map (picture 2, 400x300 pixels) was encoded anew at "
                              "quality 95 so that it keeps its shape: no lossless turn keeps it "
                              "whole, as its height of 300 pixels is not a multiple of the block "
                              "size " +
                              block + ".";

    const Ending ending = rotate(photo, angle);

    QCOMPARE(ending.finishedSignals, 1);
    if (left != PhotoReason::None) {
        QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);
        QCOMPARE(ending.outcome.reason.kind, left);
        QCOMPARE(ending.outcome.reason.picture, 2);
        QCOMPARE(fileBytes(photo), original);
        QVERIFY2(mainText().contains(message.arg(QDir::toNativeSeparators(photo), block)),
                 qPrintable(mainText()));
        QVERIFY(!mainText().contains("encoded anew at"));
        verifyNothingLeftBehind(photo);
        return;
    }
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);
    const QByteArray result = fileBytes(photo);
    const PhotoPictures after = describePictures(result);
    QVERIFY(after.isUsable());
    QCOMPARE(after.pictureCount(), 1);
    const QByteArray resultGainMap =
        result.mid(after.picturesToTurn()[0].offset, after.picturesToTurn()[0].length);
    const JpegStructure gainMapStructure = parseJpegStructure(resultGainMap);
    QCOMPARE(QSize(gainMapStructure.frame.width, gainMapStructure.frame.height), QSize(300, 400));
    QCOMPARE(gainMapStructure.frame.components.size(), size_t(grey ? 1 : 3));
    QVERIFY(findOrientations(resultGainMap).allAre(1));
    const bool exact = angle == 90;
    QCOMPARE(mainText().contains(reencoded), exact);
    QCOMPARE(ending.outcome.reencoded, exact ? QList<int>{2} : QList<int>());
    if (exact) {
        // Its own metadata kept, only its orientation set upright; its pixels the original's
        // turned, as ImageMagick turns them, within the rounding of a new coding.
        QByteArray upright = originalGainMap;
        setOrientationInPlace(upright);
        const QList<QByteArray> metadata = CraftedPhotos::metadataSegments(resultGainMap);
        QCOMPARE(metadata, CraftedPhotos::metadataSegments(upright));
        QVERIFY(std::any_of(metadata.begin(), metadata.end(), [](const QByteArray &segment) {
            return segment.contains("hdrgm:GainMapMax");
        }));
        const double difference =
            TestPhotos::meanDifference(QImage::fromData(resultGainMap, "JPEG"),
                                       TestPhotos::turnedByImageMagick(originalGainMap, turn));
        QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    } else {
        QByteArray lossless = outputOf(
            "jpegtran", jpegtranArguments(turn, parseJpegStructure(originalGainMap), false, false),
            originalGainMap);
        setOrientationInPlace(lossless);
        QCOMPARE(resultGainMap, lossless);
    }
    // The main picture, jpegtran's own turn with its orientation set upright, but for where its
    // index and its container say the gain map lies now.
    const QByteArray primary = original.left(before.primary.imageEnd);
    QByteArray expected =
        outputOf("jpegtran", jpegtranArguments(turn, before.primary, false, false), primary);
    QVERIFY(!expected.isEmpty());
    setOrientationInPlace(expected);
    QCOMPARE(withoutPictureLists(result.left(after.primary.imageEnd)),
             withoutPictureLists(expected));
    QCOMPARE(storedOrientation(photo), 1);
    verifyNothingLeftBehind(photo);
}

void TransformTest::badPhotosWithRealTools_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QFile shared(QString(PIVOTTA_TESTDATA_DIR) + "/orientation/Landscape_6.jpg");
    QVERIFY(shared.open(QIODevice::ReadOnly));
    const QByteArray whole = shared.readAll();
    QTest::newRow("not a JPEG") << QByteArray("garbage, not a photo\n") << "Oops";
    QTest::newRow("empty") << QByteArray() << "Oops";
    QTest::newRow("cut short") << whole.left(whole.size() / 2) << "ends too early";
}

void TransformTest::badPhotosWithRealTools() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString photo = photos->filePath("bad.jpg");
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const Ending ending = rotate(photo, 90);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);

    QVERIFY2(mainText().contains(message), qPrintable(mainText()));
    QCOMPARE(fileBytes(photo), bytes);
    verifyNothingLeftBehind(photo);
}

void TransformTest::protectedOrMissingPhotos_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");

    QTest::newRow("read-only photo") << "photo"
                                     << "is read-only";
    QTest::newRow("read-only folder") << "folder"
                                      << "the folder of";
    QTest::newRow("photo deleted before its turn") << "deleted"
                                                   << "is no longer there";
    // Its head is a photo's, the rest a hole: reading it whole would cost seconds and memory.
    QTest::newRow("larger than any photo") << "huge"
                                           << "is larger than any photo Pivotta turns";
}

// Tests run as root in CI, where permission bits do not stop writing: the photo must stay
// untouched because Pivotta checks them, not because the system refused.
void TransformTest::protectedOrMissingPhotos() {
    QFETCH(QString, setup);
    QFETCH(QString, message);
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    const QByteArray original = fileBytes(photo);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // Held before it goes, as the scan holds what it found.
    const std::shared_ptr<HeldPhoto> heldBefore = setup == "deleted" ? held(photo) : nullptr;
    if (setup == "photo")
        QVERIFY(QFile::setPermissions(photo, readOnly));
    else if (setup == "folder")
        QVERIFY(QFile::setPermissions(photos->path(), readOnly | QFileDevice::ExeOwner));
    else if (setup == "huge")
        QVERIFY(QFile::resize(photo, (qint64(3) << 29) + original.size()));
    else
        QVERIFY(QFile::remove(photo));
    const qint64 sizeBefore = QFileInfo(photo).size();

    const Ending ending = rotate(photo, 90, heldBefore);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Failed);
    QVERIFY2(mainText().contains(message), qPrintable(mainText()));
    QVERIFY(!mainText().contains("Rotating 90"));
    if (setup == "deleted") {
        QVERIFY(!QFileInfo::exists(photo));
        QCOMPARE(QDir(photos->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    } else {
        QCOMPARE(QFileInfo(photo).size(), sizeBefore);
        QFile head(photo);
        QVERIFY(head.open(QIODevice::ReadOnly));
        QCOMPARE(head.read(original.size()), original);
        verifyNothingLeftBehind(photo);
    }
    if (setup == "photo")
        QCOMPARE(QFileInfo(photo).permissions() &
                     ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                 readOnly);
}

// A name that would be markup, an entity or a placeholder if it were not escaped.
void TransformTest::outsideNamesShowLiterally() {
    const QString name = QString::fromUtf8("<b>x &amp; 'q' \"d\" %1 ü日本.jpg");
    const QString photo = copyPhoto("Portrait_6.jpg", name);
    QVERIFY(!photo.isEmpty());

    const Ending ending = rotate(photo, 90);

    QCOMPARE(ending.finishedSignals, 1);
    QCOMPARE(ending.outcome.kind, PhotoRotationOutcome::Rotated);

    QCOMPARE(storedOrientation(photo), 1);
    QVERIFY2(mainText().contains(name), qPrintable(mainText()));
    QVERIFY2(detailedText().contains(name), qPrintable(detailedText()));
    verifyNothingLeftBehind(photo);
}

// stop() called by a listener of the chain's own messages, the moment jpegtran is done: the chain
// ends there, says nothing more once it has finished, and leaves the photo as it was.
void TransformTest::stopFromAMessageListenerEndsTheChain() {
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    const QByteArray original = fileBytes(photo);
    PhotoRotation rotation(jobFor(photo, Turn::Rotate90, photos->path()));
    log.listenTo(&rotation);
    int ends = 0;
    PhotoRotationOutcome outcome;
    QList<PhotoStep::Kind> toldAfterTheEnd;
    connect(&rotation, &PhotoRotation::step, this, [&](const PhotoStep &step) {
        if (ends > 0)
            toldAfterTheEnd << step.kind;
        else if (step.kind == PhotoStep::TurnAnnounced)
            rotation.stop();
    });
    connect(&rotation, &PhotoRotation::finished, this, [&](const PhotoRotationOutcome &ending) {
        ++ends;
        outcome = ending;
    });

    rotation.start();
    QTRY_VERIFY_WITH_TIMEOUT(ends > 0, rotationWaitMs);
    QTest::qWait(500); // time for a tool run that should not have started

    QCOMPARE(ends, 1);
    QCOMPARE(outcome.kind, PhotoRotationOutcome::Stopped);
    QCOMPARE(toldAfterTheEnd, QList<PhotoStep::Kind>());
    QVERIFY(mainText().contains("Rotating 90"));
    QCOMPARE(fileBytes(photo), original);
    verifyNothingLeftBehind(photo);
}

void TransformTest::photoChangedAfterItsTurnWasRead_data() {
    QTest::addColumn<bool>("replacedByUprightPhoto");
    QTest::newRow("grown") << false;
    QTest::newRow("replaced by an upright photo") << true;
}

// The turn read from a photo holds only for the photo it was read from. The photo here changes
// between the reading of its orientation and the start of its rotation: it is left as it is now,
// not turned by the angle of what it was.
void TransformTest::photoChangedAfterItsTurnWasRead() {
    QFETCH(bool, replacedByUprightPhoto);
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    // Held as it was examined.
    const std::shared_ptr<HeldPhoto> examined = held(photo);
    const QByteArray changed =
        replacedByUprightPhoto
            ? fileBytes(QString(PIVOTTA_TESTDATA_DIR) + "/orientation/Landscape_1.jpg")
            : fileBytes(photo) + "x";
    QFile rewritten(photo);
    QVERIFY(rewritten.open(QIODevice::WriteOnly));
    QCOMPARE(rewritten.write(changed), changed.size());
    rewritten.close();

    PhotoRotation rotation(jobFor(photo, Turn::Rotate90, photos->path(), examined));
    log.listenTo(&rotation);
    QSignalSpy finished(&rotation, &PhotoRotation::finished);
    rotation.start();

    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().value<PhotoRotationOutcome>().kind,
             PhotoRotationOutcome::TryLater);
    QVERIFY2(mainText().contains("changed while it was being examined"), qPrintable(mainText()));
    QCOMPARE(fileBytes(photo), changed);
    verifyNothingLeftBehind(photo);
}

// A rotation runs while the event loop goes on. A second rotation of the photo, or a batch of its
// folder, asked for meanwhile is refused: the photo would be turned twice.
void TransformTest::onePhotoIsNeverRotatedTwiceAtOnce() {
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    const QImage reference = TestPhotos::referenceRotation(photo, 90);
    RotationEngine engine;
    log.listenTo(&engine);
    QSignalSpy rotated(&engine, &RotationEngine::photoRotated);
    QSignalSpy finished(&engine, &RotationEngine::runFinished);
    QStringList statusTexts;
    connect(log.wording(), &PaneWording::status, this,
            [&statusTexts](const QString &text) { statusTexts << text; });
    bool asked = false;
    bool secondRotation = true;
    bool batch = true;
    // Asked for as a user would, from the event loop, once the photo is being turned.
    connect(log.wording(), &PaneWording::message, this, [&](const OutputMessage &message) {
        if (asked || !message.text.contains("Rotating 90"))
            return;
        asked = true;
        QTimer::singleShot(0, &engine, [&] {
            secondRotation = engine.rotatePhoto(photo, Turn::Rotate90, photos->path());
            batch = engine.startUserBatch(photos->path(), false);
        });
    });

    QVERIFY(engine.rotatePhoto(photo, Turn::Rotate90, photos->path()));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, rotationWaitMs);

    QVERIFY(asked);
    QVERIFY(!secondRotation);
    QVERIFY(!batch);
    QVERIFY2(mainText().contains("Photos are being rotated right now. Please try again when that "
                                 "has finished."),
             qPrintable(mainText()));
    QVERIFY(statusTexts.contains(
        "Rotating is already in progress. Please wait until it has finished."));
    QCOMPARE(storedPixels(photo), reference);
    QCOMPARE(rotated.count(), 1);
    QCOMPARE(QFileInfo(rotated.first().first().toString()).canonicalFilePath(),
             QFileInfo(photo).canonicalFilePath());
    const auto summary = finished.first().first().value<RunSummary>();
    QCOMPARE(summary.kind, RunSummary::SinglePhoto);
    QCOMPARE(summary.rotated, 1);
    QCOMPARE(summary.failed, 0);
    // Only the first run ran.
    QCOMPARE(mainText().count("Rotating 90"), 1);
    QVERIFY(!engine.isBusy());
    verifyNothingLeftBehind(photo);
}

void TransformTest::hangingToolEndsWithItsChildren_data() {
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("name");
    const QString international = QString::fromUtf8("fötö 日本.jpg");
    QTest::newRow("its time is up") << false << "photo.jpg";
    QTest::newRow("stopped") << true << "photo.jpg";
    // jpegtran is never given the name, whatever it is.
    QTest::newRow("its time is up, international name") << false << international;
    QTest::newRow("stopped, international name") << true << international;
}

// A tool that started a process of its own and then hangs: when its time is up, or on Stop, the
// tool ends with everything it started, and the photo stays whole.
void TransformTest::hangingToolEndsWithItsChildren() {
    QFETCH(bool, stop);
    QFETCH(QString, name);
    const QString marker = sandbox.filePath("child-marker");
    const QString childIdFile = sandbox.filePath("child-id");
    QFile::remove(marker);
    QFile::remove(childIdFile);
    // The child writes into the marker every 100 ms for half a minute; jpegtran itself hangs.
    useTools(QString("sh -c 'echo $$ > \"$1\"; for i in $(seq 300); do echo x >> \"$2\"; sleep "
                     "0.1; done' child '%1' '%2' &\nsleep 30\n")
                 .arg(childIdFile, marker),
             realExiv2);
    const QString photo = copyPhoto("Landscape_6.jpg", name);
    const QByteArray original = fileBytes(photo);
    RotationEngine engine;
    engine.setToolTimeout(stop ? rotationWaitMs : 3000);
    log.listenTo(&engine);
    QList<PhotoOutcome> outcomes;
    connect(&engine, &RotationEngine::photoFinished, this,
            [&outcomes](const PhotoOutcome &outcome) { outcomes << outcome; });
    QSignalSpy finished(&engine, &RotationEngine::runFinished);

    QVERIFY(engine.rotatePhoto(photo, Turn::Rotate90, photos->path()));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
    const qint64 childId = QString::fromUtf8(fileBytes(childIdFile)).trimmed().toLongLong();
    // Whatever the outcome, the child does not outlive the test.
    const auto endChild = qScopeGuard([childId] {
        if (StandInTools::processRunning(childId))
            QProcess::execute("kill", {QString::number(childId)});
    });
    QVERIFY(StandInTools::processRunning(childId));
    if (stop)
        engine.stop();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, rotationWaitMs);

    QTRY_VERIFY_WITH_TIMEOUT(!StandInTools::processRunning(childId), 5000);
    const qint64 markerSize = QFileInfo(marker).size();
    QTest::qWait(300);
    QCOMPARE(QFileInfo(marker).size(), markerSize);
    QCOMPARE(fileBytes(photo), original);
    QVERIFY(!mainText().contains("Unicode/international"));
    QCOMPARE(outcomes.size(), 1);
    const auto summary = finished.first().first().value<RunSummary>();
    QCOMPARE(summary.rotated, 0);
    QCOMPARE(summary.interrupted, stop);
    if (stop) {
        QCOMPARE(outcomes.first().kind, PhotoOutcome::Left);
        QCOMPARE(outcomes.first().reason.kind, PhotoReason::Stopped);
        QVERIFY2(mainText().contains("Stopped before " + QDir::toNativeSeparators(photo) +
                                     " was rotated. The photo was left unchanged."),
                 qPrintable(mainText()));
        QVERIFY(mainText().contains("Rotating interrupted."));
    } else {
        QCOMPARE(outcomes.first().kind, PhotoOutcome::Failed);
        QCOMPARE(outcomes.first().reason.kind, PhotoReason::ToolTimedOut);
        QCOMPARE(summary.failed, 1);
        QVERIFY2(mainText().contains("Not rotated: jpegtran did not finish within 3 seconds and "
                                     "was stopped. " +
                                     QDir::toNativeSeparators(photo) + " was left unchanged."),
                 qPrintable(mainText()));
    }
    QVERIFY(!engine.isBusy());
    QVERIFY(!engine.hasRunPending());
    verifyNothingLeftBehind(photo);
}

// A ToolRun destroyed while its tool runs waits for nothing: the tool ends with everything it
// started, and once the event loop has run it is reaped too, with no warning and no zombie.
void TransformTest::destroyedToolRunLeavesNoChild() {
#ifndef Q_OS_LINUX
    QSKIP("reads /proc");
#endif
    const QString toolIdFile = sandbox.filePath("tool-id");
    const QString childIdFile = sandbox.filePath("tool-child-id");
    QFile::remove(toolIdFile);
    QFile::remove(childIdFile);
    StandInTools::ToolFolder folder(sandbox.path());
    QVERIFY(folder.write("hang", QString("echo $$ > '%1'\n"
                                         "sh -c 'echo $$ > \"$1\"; exec sleep 30' child '%2' &\n"
                                         "exec sleep 30\n")
                                     .arg(toolIdFile, childIdFile)));
    QTest::failOnWarning(QRegularExpression("QProcess"));
    auto *run = new ToolRun;
    run->start(folder.path() + "/hang", {}, rotationWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(toolIdFile).size() > 0 && QFileInfo(childIdFile).size() > 0,
                             10000);
    const qint64 toolId = QString::fromUtf8(fileBytes(toolIdFile)).trimmed().toLongLong();
    const qint64 childId = QString::fromUtf8(fileBytes(childIdFile)).trimmed().toLongLong();
    const auto endChildren = qScopeGuard([toolId, childId] {
        for (const qint64 id : {toolId, childId}) {
            if (StandInTools::processRunning(id))
                QProcess::execute("kill", {"-9", QString::number(id)});
        }
    });
    QVERIFY(StandInTools::processRunning(toolId));
    QVERIFY(StandInTools::processRunning(childId));

    delete run;

    QTRY_VERIFY_WITH_TIMEOUT(!StandInTools::processRunning(toolId), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!StandInTools::processRunning(childId), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QString("/proc/%1").arg(toolId)), 5000);
}

// Hundreds of megabytes through a tool's standard input and output, a range of the caller's
// bytes, while the event loop goes on; and a tool that reads none of its input and ends: no
// broken pipe ends the program.
void TransformTest::toolRunServesLargeInputs() {
    QByteArray input(200 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < input.size(); i += 4096)
        input[i] = char(i / 4096);
    const qint64 offset = 3 << 20;
    const qint64 length = input.size() - offset - 12345;
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(10);
    for (const QString &program : {QString("/bin/cat"), QString("/bin/true")}) {
        ToolRun run;
        QList<ToolResult> results;
        connect(&run, &ToolRun::done, this, [&results](const ToolResult &r) { results << r; });
        ticks = 0;
        run.start(program, {}, rotationWaitMs, input, offset, length);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, rotationWaitMs);
        QCOMPARE(results.first().ending, ToolResult::Finished);
        QCOMPARE(results.first().exitCode, 0);
        if (program == "/bin/cat") {
            QVERIFY(ticks > 0); // the event loop went on meanwhile
            QCOMPARE(results.first().output.size(), length);
            QVERIFY(results.first().output == QByteArrayView(input.constData() + offset, length));
        } else {
            QVERIFY(results.first().output.isEmpty());
        }
    }
}

void TransformTest::singlePhotoByItsOrientation_data() {
    QTest::addColumn<QString>("shared"); // empty: a file that is no photo
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QList<PhotoOutcome::Kind>>("outcomes");
    QTest::addColumn<int>("photosToRotate");
    QTest::addColumn<int>("rotated");
    QTest::addColumn<int>("failed");

    using Kinds = QList<PhotoOutcome::Kind>;
    QTest::newRow("turned") << "Landscape_6.jpg" << false << Kinds{PhotoOutcome::Rotated} << 1 << 1
                            << 0;
    QTest::newRow("dry run") << "Landscape_6.jpg" << true << Kinds{PhotoOutcome::WouldRotate} << 1
                             << 0 << 0;
    QTest::newRow("upright") << "Landscape_1.jpg" << false << Kinds{} << 0 << 0 << 0;
    QTest::newRow("mirrored") << "Landscape_2.jpg" << false << Kinds{PhotoOutcome::Left} << 0 << 0
                              << 0;
    QTest::newRow("no photo") << QString() << false << Kinds{PhotoOutcome::Failed} << 0 << 0 << 1;
}

// The engine decides a single photo's turn itself and counts its run as a run of one photo: the
// summary is right as it comes, dry run included.
void TransformTest::singlePhotoByItsOrientation() {
    QFETCH(QString, shared);
    QFETCH(bool, dryRun);
    QFETCH(QList<PhotoOutcome::Kind>, outcomes);
    QFETCH(int, photosToRotate);
    QFETCH(int, rotated);
    QFETCH(int, failed);
    QString photo = photos->filePath("photo.jpg");
    if (shared.isEmpty()) {
        QFile text(photo);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("no photo\n") > 0);
    } else {
        photo = copyPhoto(shared, "photo.jpg");
    }
    const QByteArray original = fileBytes(photo);
    RotationEngine engine;
    log.listenTo(&engine);
    QList<PhotoOutcome::Kind> told;
    connect(&engine, &RotationEngine::photoFinished, this,
            [&told](const PhotoOutcome &outcome) { told << outcome.kind; });
    QSignalSpy finished(&engine, &RotationEngine::runFinished);

    QVERIFY(engine.rotateByOrientation(photo, photos->path(), dryRun));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, rotationWaitMs);

    const auto summary = finished.first().first().value<RunSummary>();
    QCOMPARE(summary.kind, RunSummary::SinglePhoto);
    QCOMPARE(summary.entriesSeen, 1);
    QCOMPARE(summary.photosToRotate, photosToRotate);
    QCOMPARE(summary.rotated, rotated);
    QCOMPARE(summary.failed, failed);
    QCOMPARE(told, outcomes);
    QCOMPARE(fileBytes(photo) == original, rotated == 0);
    QCOMPARE(mainText().contains("Automatic rotating requires EXIF orientation metadata"),
             photosToRotate == 0);
    QVERIFY(!engine.isBusy());
    verifyNothingLeftBehind(photo);
}

QTEST_MAIN(TransformTest)
#include "tst_transform.moc"

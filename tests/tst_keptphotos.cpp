// Every byte kept: crafted photos, made from the shared photos with the real tools at test time,
// rotated end to end by the real chain (one photo's PhotoRotation, or the RotationEngine where
// the rule is the batch's) with the real jpegtran and exiv2, one row per rule of the lossless
// turn; stand-in jpegtran scripts only for the faults the real one cannot be made to show. Each
// result is compared with the original as read by independent tools: the pixels against
// jpegtran's own turn, the EXIF and XMP orientation, the thumbnail and the second picture as
// exiftool extracts them, turned, the bytes after the image that are no picture, the coding, owner,
// group, permissions, extended attributes and ACL; a photo that is left must be byte for byte as it
// was, and the trash holds only what the row's rotation kept there. No row may leave a temporary
// file beside the photo or anything in the system's temporary folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <optional>

#include "craftedphotos.h"
#include "engine/photorotation.h"
#include "engine/rotationengine.h"
#include "files/heldphoto.h"
#include "files/heldtempfile.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/photopictures.h"
#include "messagelog.h"
#include "standintools.h"
#include "testphotos.h"

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using CraftedPhotos::Recipe;

namespace {

// Who rotates the photo: its own chain, or a user batch over its folder.
enum class Runner { Rotation, Engine };

// What the photo's folder holds besides the photo, or what is done to the photo first.
enum class Setup {
    None,
    OtherOwner,            // owned by nobody:nogroup (needs root)
    Attributes,            // a user.* extended attribute and an ACL entry for another user
    HardLink,              // a second name for the same file
    LeftInTrash,           // a second name in the trash, kept for it by a run that then ended
    InTrashForAnother,     // a second name in the trash whose .trashinfo names another place
    StaleTempFile,         // a temporary file that a killed Pivotta left beside it
    FolderNamedLikeAPhoto, // an empty folder named "album.jpg"
};

enum class Expect {
    Rotated,
    Left,             // byte for byte as it was, with a message
    ChangedMeanwhile, // as the other program left it
    Gone,             // deleted while it was being rotated
};

// For QCOMPARE's report.
char *toString(Expect expect) {
    static const char *const names[] = {"Rotated", "Left", "ChangedMeanwhile", "Gone"};
    return qstrdup(names[int(expect)]);
}

// Generous: a rotation of a test photo takes well under a second.
constexpr int runWaitMs = 60000;

// The stand-in of the row "changed meanwhile" writes this byte at this offset of the photo.
constexpr int editOffset = 4000;
constexpr char editByte = 'X';

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
}

bool isRoot() {
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// A program's standard output; empty when it fails.
QByteArray outputOf(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// What exiftool, a reader independent of Pivotta, finds in the photo.
struct ExiftoolView {
    int exifOrientation = 0;  // IFD0's, 0 when none
    int xmpOrientation = 0;   // XMP tiff:Orientation, 0 when none
    QByteArray thumbnail;     // IFD1's JPEG thumbnail
    QByteArray secondPicture; // the second picture of a multi-picture index, found by its offset
};

QByteArray binaryValue(const QJsonObject &tags, const QString &key) {
    const QString value = tags.value(key).toString();
    return value.startsWith("base64:") ? QByteArray::fromBase64(value.mid(7).toLatin1())
                                       : QByteArray();
}

ExiftoolView exiftoolView(const QString &photo) {
    const QByteArray json = outputOf("exiftool", {"-j", "-G1", "-b", "-n", "-Orientation",
                                                  "-ThumbnailImage", "-PreviewImage", photo});
    const QJsonObject tags = QJsonDocument::fromJson(json).array().first().toObject();
    ExiftoolView view;
    view.exifOrientation = tags.value("IFD0:Orientation").toInt();
    view.xmpOrientation = tags.value("XMP-tiff:Orientation").toInt();
    view.thumbnail = binaryValue(tags, "IFD1:ThumbnailImage");
    view.secondPicture = binaryValue(tags, "MPImage2:PreviewImage");
    return view;
}

// Everything about a photo that the rotation must keep, turn or reset, read before and after.
struct PhotoRecord {
    QByteArray bytes;
    JpegStructure structure;
    ExiftoolView tags;
    bool hasXmp = false;
    uint owner = 0;
    uint group = 0;
    QFileDevice::Permissions permissions;
    QByteArray desktopTags; // the extended attribute user.xdg.tags
    QString acl;            // getfacl's text, empty without the tool
};

PhotoRecord recordOf(const QString &photo) {
    const QFileInfo info(photo);
    PhotoRecord record;
    record.bytes = TestPhotos::fileBytes(photo);
    record.structure = parseJpegStructure(record.bytes);
    record.tags = exiftoolView(photo);
    record.hasXmp = record.bytes.contains("http://ns.adobe.com/xap/1.0/");
    record.owner = info.ownerId();
    record.group = info.groupId();
    record.permissions = info.permissions();
    record.desktopTags = CraftedPhotos::extendedAttribute(photo, "user.xdg.tags");
    record.acl = CraftedPhotos::aclText(photo);
    return record;
}

// The restart interval as jpegtran's "-restart" names it: "2" rows when it is a whole number of
// rows of blocks (the turned image's rows then have another length), else "5B" blocks.
QString restartEvery(const JpegStructure &structure) {
    const int interval = structure.restartInterval;
    const int perRow = structure.frame.blocksPerRow();
    if (interval == 0 || perRow == 0)
        return {};
    return interval % perRow == 0 ? QString::number(interval / perRow)
                                  : QString::number(interval) + "B";
}

// The bytes after the primary picture that are no picture, in their order.
QByteArray otherData(const QByteArray &photo, const PhotoPictures &pictures) {
    QByteArray other;
    for (const TrailingPart &part : pictures.parts) {
        if (part.kind == TrailingPart::OtherData)
            other += photo.mid(part.range.offset, part.range.length);
    }
    return other;
}

QImage decoded(const QByteArray &jpeg) {
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

// Whether user attributes and ACLs can be set in `folder` with the system's tools.
bool attributesSupported(const QString &folder) {
    if (QStandardPaths::findExecutable("setfacl").isEmpty() ||
        QStandardPaths::findExecutable("setfattr").isEmpty() ||
        QStandardPaths::findExecutable("getfacl").isEmpty() ||
        QStandardPaths::findExecutable("getfattr").isEmpty())
        return false;
    const QString probe = folder + "/probe";
    QFile file(probe);
    const bool supported = file.open(QIODevice::WriteOnly) && file.write("x") == 1 &&
                           (file.close(), true) &&
                           CraftedPhotos::setExtendedAttribute(probe, "user.probe", "1") &&
                           CraftedPhotos::setAcl(probe, "u:nobody:r");
    QFile::remove(probe);
    return supported;
}

Recipe tagged(int orientation) {
    Recipe recipe;
    recipe.orientation = orientation;
    return recipe;
}

} // namespace

Q_DECLARE_METATYPE(Recipe)
Q_DECLARE_METATYPE(Runner)
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Expect)

class KeptPhotosTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyByteKept_data();
    void everyByteKept();

private:
    // Why a row cannot run here; empty when it can.
    QString reasonToSkip(Setup setup) const;
    void prepare(Setup setup, const QString &photo);
    void useStandInJpegtran(const QString &body);
    // Rotates with the photo's own chain; nothing when it did not end.
    std::optional<Expect> rotateAlone(const QString &photo, Turn turn);
    // Rotates with a user batch over the photo's folder and fills `summary`; nothing when the
    // batch did not end.
    std::optional<Expect> rotateInBatch(RunSummary *summary);
    // The photo has what its recipe asked for, so that no comparison holds for want of it.
    void verifyCrafted(const Recipe &recipe, const PhotoRecord &before);
    void verifyRotated(const QString &photo, const PhotoRecord &before, const QImage &reference,
                       Turn turn);
    void verifyNothingLeftBehind();
    void verifyTrash(Setup setup, Expect expected, const PhotoRecord &before);
    // The state a run leaves when it ends between the link into the trash and the rename.
    void leaveInTrash(const QString &photo, const QByteArray &infoPath);
    QString trashPath() const { return sandbox.filePath("data/Trash"); }
    QString shownText() const { return log.mainText() + "\n" + log.detailedText(); }

    QTemporaryDir sandbox;
    QString systemTemp;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<StandInTools::ToolFolder> tools;
    MessageLog log;
};

void KeptPhotosTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    for (const QString tool : {"jpegtran", "exiv2", "exiftool", "djpeg", "cjpeg", "convert"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is needed (scripts/setup.sh installs it)"));
    }
    QVERIFY(sandbox.isValid());
    // A temporary folder of the test's own, so that a copy left in it shows.
    systemTemp = sandbox.filePath("systemtemp");
    QVERIFY(QDir().mkpath(systemTemp));
    qputenv("TMPDIR", QFile::encodeName(systemTemp));
    QCOMPARE(QDir::tempPath(), systemTemp);
    // Never the user's own trash; on the photos' file system, so that the home trash takes them.
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.filePath("data")));
}

void KeptPhotosTest::init() {
    // Nothing stored: trim is on, as Preferences writes it at first start.
    settings().clear();
    qunsetenv("PIVOTTA_TOOLS_DIR");
    folder = std::make_unique<QTemporaryDir>(sandbox.filePath("photos-XXXXXX"));
    QVERIFY(folder->isValid());
    QVERIFY(QDir(trashPath()).removeRecursively());
    log.clear();
}

void KeptPhotosTest::cleanup() {
    folder.reset();
    tools.reset();
    qunsetenv("PIVOTTA_TOOLS_DIR");
}

void KeptPhotosTest::everyByteKept_data() {
    QTest::addColumn<Recipe>("recipe");
    QTest::addColumn<Runner>("runner");
    QTest::addColumn<QVariantMap>("preferences");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("jpegtran"); // a stand-in's script; empty for the real tool
    QTest::addColumn<Expect>("expected");
    QTest::addColumn<QStringList>("shown");

    const auto alone = Runner::Rotation;
    const auto batch = Runner::Engine;
    const QVariantMap defaults;
    const QString real;
    const auto rotated = Expect::Rotated;
    const auto left = Expect::Left;

    // 1. The bytes after the image, and a multi-picture index that points into them.
    Recipe trailing = tagged(6);
    trailing.secondPicture = true;
    trailing.trailerBytes = 100 * 1024;
    QTest::newRow("1 trailing data and a second picture")
        << trailing << alone << defaults << Setup::None << real << rotated
        << QStringList{"byte(s) that follow the image"};

    // 2. The EXIF thumbnail, turned with the photo.
    Recipe thumbnail = tagged(8);
    thumbnail.thumbnail = true;
    QTest::newRow("2 thumbnail") << thumbnail << alone << defaults << Setup::None << real << rotated
                                 << QStringList{"EXIF thumbnail turned too."};

    // 3. XMP tiff:Orientation reset with the EXIF tag.
    Recipe xmp = tagged(6);
    xmp.xmpOrientation = 6;
    QTest::newRow("3 XMP orientation")
        << xmp << alone << defaults << Setup::None << real << rotated << QStringList();

    // 4. The coding choices the input made.
    Recipe progressive = tagged(3);
    progressive.progressive = true;
    QTest::newRow("4 progressive")
        << progressive << alone << defaults << Setup::None << real << rotated << QStringList();
    Recipe arithmetic = tagged(6);
    arithmetic.arithmetic = true;
    arithmetic.restart = "2";
    QTest::newRow("4 arithmetic, restart every 2 rows")
        << arithmetic << alone << defaults << Setup::None << real << rotated << QStringList();
    Recipe standard = tagged(8);
    standard.standardTables = true;
    standard.restart = "5B";
    QTest::newRow("4 standard tables, restart every 5 blocks")
        << standard << alone << defaults << Setup::None << real << rotated << QStringList();

    // 5. Owner, group, attributes; hard links.
    QTest::newRow("5 owner nobody:nogroup")
        << tagged(6) << alone << defaults << Setup::OtherOwner << real << rotated << QStringList();
    QTest::newRow("5 extended attributes and ACL")
        << tagged(6) << alone << defaults << Setup::Attributes << real << rotated << QStringList();
    QTest::newRow("5 hard link") << tagged(6) << alone << defaults << Setup::HardLink << real
                                 << left << QStringList{"has 2 names (hard links)"};
    QTest::newRow("5 original left in the trash by a run that ended before the rename")
        << tagged(6) << alone << defaults << Setup::LeftInTrash << real << rotated
        << QStringList{"was taken out of the trash again"};
    QTest::newRow("5 original left in the trash, kept there again")
        << tagged(6) << batch << QVariantMap{{"keepOriginalsInTrash", true}} << Setup::LeftInTrash
        << real << rotated
        << QStringList{"was taken out of the trash again", "the original was kept in the trash"};
    QTest::newRow("5 second name in the trash, kept for another place")
        << tagged(6) << alone << defaults << Setup::InTrashForAnother << real << left
        << QStringList{"has 2 names (hard links); another is", "/Trash/files/photo.jpg"};

    // 6. An edit meanwhile that keeps the photo's size and time: only its change time tells,
    // and the lease it breaks ("%PHOTO%" stands for the photo's path).
    const QString edit =
        QString("t=$(stat -c %y '%PHOTO%')\n"
                "/usr/bin/jpegtran \"$@\" || exit 1\n"
                "printf %1 | dd of='%PHOTO%' bs=1 seek=%2 conv=notrunc 2>/dev/null\n"
                "touch -d \"$t\" '%PHOTO%'\n")
            .arg(editByte)
            .arg(editOffset);
    QTest::newRow("6 changed meanwhile, same size and time")
        << tagged(6) << alone << defaults << Setup::None << edit << Expect::ChangedMeanwhile
        << QStringList{"changed while it was being rotated"};

    // 7. The result is checked: every warning fails, and so does a broken result.
    QTest::newRow("7 jpegtran warning")
        << tagged(6) << alone << defaults << Setup::None
        << "/usr/bin/jpegtran \"$@\" || exit 1\n"
           "echo 'jpegtran: Corrupt JPEG data: premature end of data segment' >&2\nexit 2\n"
        << left << QStringList{"Not rotated", "premature end of data segment"};
    QTest::newRow("7 broken result ending in an end marker")
        << tagged(6) << alone << defaults << Setup::None
        << "/usr/bin/jpegtran -rotate 90 -copy all | head -c 60000\n"
           "printf '\\377\\331'\n"
        << left << QStringList{"is not what a lossless turn gives"};

    // 8. Edges: what trim drops is said; perfect names the photo's size.
    Recipe oddSides = tagged(3);
    oddSides.size = QSize(1003, 601);
    QTest::newRow("8 trim, odd sides")
        << oddSides << alone << defaults << Setup::None << real << rotated
        << QStringList{"9 rows and 11 columns of edge pixels dropped."};
    QTest::newRow("8 trim, whole blocks") << tagged(8) << alone << defaults << Setup::None << real
                                          << rotated << QStringList{"no edge pixels dropped."};
    QTest::newRow("8 perfect, odd sides")
        << tagged(6) << alone << QVariantMap{{"perfect", true}} << Setup::None << real << left
        << QStringList{"This error is due to the photo's size: its height of 1800 pixels is not "
                       "a multiple of the block size 16."};

    // 9. jpegtran's real reason, no copy in the temporary folder; leftovers of a killed Pivotta
    // go at a batch's start.
    QTest::newRow("9 full disk")
        << tagged(6) << alone << defaults << Setup::None
        << "head -c 30000\n"
           "echo 'jpegtran: Output file write error --- out of disk space?' >&2\nexit 1\n"
        << left << QStringList{"no space left on the disk"};
    QTest::newRow("9 photo deleted mid-run") << tagged(6) << alone << defaults << Setup::None
                                             << "rm -f '%PHOTO%'\nexec /usr/bin/jpegtran \"$@\"\n"
                                             << Expect::Gone << QStringList{"is no longer there."};
    QTest::newRow("9 unsupported JPEG type")
        << tagged(6) << alone << defaults << Setup::None
        << "echo 'jpegtran: Unsupported JPEG process: SOF type 0xc3' >&2\nexit 1\n"
        << left << QStringList{"this JPEG type cannot be turned losslessly"};
    QTest::newRow("9 stale temporary file at a batch's start")
        << tagged(6) << batch << defaults << Setup::StaleTempFile << real << rotated
        << QStringList{"Removed 1 temporary file(s) that an earlier Pivotta left in"};

    // 10. The orientation read as careful readers do: the first APP1 that is EXIF, a LONG tag.
    Recipe carefulReading = tagged(6);
    carefulReading.orientationAsLong = true;
    carefulReading.fakeExifInComment = true;
    QTest::newRow("10 orientation as LONG behind a fake EXIF block in a comment")
        << carefulReading << batch << defaults << Setup::None << real << rotated << QStringList();

    // 11. Mirrored photos turned upright when asked, and counted.
    QTest::newRow("11 mirrored, fixed when asked")
        << tagged(2) << batch << QVariantMap{{"fixMirroredOrientations", true}} << Setup::None
        << real << rotated << QStringList{"1 image(s) were successfully rotated."};

    // 12. Only files are photos.
    QTest::newRow("12 folder named like a photo")
        << tagged(6) << batch << defaults << Setup::FolderNamedLikeAPhoto << real << rotated
        << QStringList{"1 image(s) with EXIF orientation metadata were found, out of 1 photo(s) "
                       "total."};
}

void KeptPhotosTest::everyByteKept() {
    QFETCH(Recipe, recipe);
    QFETCH(Runner, runner);
    QFETCH(QVariantMap, preferences);
    QFETCH(Setup, setup);
    QFETCH(QString, jpegtran);
    QFETCH(Expect, expected);
    QFETCH(QStringList, shown);
    for (auto it = preferences.cbegin(); it != preferences.cend(); ++it)
        settings().setValue(it.key(), it.value());

    const QString skip = reasonToSkip(setup);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString photo = folder->filePath("photo.jpg");
    QString error;
    QVERIFY2(CraftedPhotos::makePhoto(recipe, photo, &error), qPrintable(error));
    prepare(setup, photo);
    if (QTest::currentTestFailed())
        return;
    const PhotoRecord before = recordOf(photo);
    verifyCrafted(recipe, before);
    // Pivotta's decision must agree with exiftool's reading.
    const Turn turn = turnForOrientation(before.tags.exifOrientation);
    QVERIFY(turn != Turn::None);
    const QImage reference =
        TestPhotos::referenceTransform(photo, turn, settings().value("trim", true).toBool());
    QVERIFY(!reference.isNull());
    if (!jpegtran.isEmpty())
        useStandInJpegtran(QString(jpegtran).replace("%PHOTO%", photo));

    RunSummary summary;
    const std::optional<Expect> outcome =
        runner == Runner::Rotation ? rotateAlone(photo, turn) : rotateInBatch(&summary);

    const QString output = shownText();
    QVERIFY2(outcome.has_value(), "the rotation did not end");
    QCOMPARE(*outcome, expected);
    for (const QString &text : shown)
        QVERIFY2(output.contains(text), qPrintable(text + "\nnot in:\n" + output));
    // jpegtran is never given a name, so no copy goes anywhere; messages name the photo, never a
    // temporary file; and no refusal blames the metadata.
    for (const char *text : {"Unicode/international", ".pivotta-", "non-standard metadata"})
        QVERIFY2(!output.contains(text), qPrintable(QString(text) + "\nin:\n" + output));
    if (runner == Runner::Engine) {
        QCOMPARE(summary.entriesSeen, 1);
        QCOMPARE(summary.rotated, expected == Expect::Rotated ? 1 : 0);
    }
    verifyNothingLeftBehind();

    switch (expected) {
    case Expect::Rotated:
        verifyRotated(photo, before, reference, turn);
        break;
    case Expect::Left:
        QCOMPARE(TestPhotos::fileBytes(photo), before.bytes);
        break;
    case Expect::ChangedMeanwhile: {
        QByteArray edited = before.bytes;
        edited[editOffset] = editByte;
        QCOMPARE(TestPhotos::fileBytes(photo), edited);
        break;
    }
    case Expect::Gone:
        QVERIFY(!QFileInfo::exists(photo));
        break;
    }
    if (setup == Setup::HardLink) {
        const QString second = folder->filePath("second name.jpg");
        QCOMPARE(TestPhotos::fileBytes(second), before.bytes);
        QCOMPARE(int(std::filesystem::hard_link_count(QFile::encodeName(photo).toStdString())), 2);
    }
    verifyTrash(setup, expected, before);
}

// The trash holds the original only where it was kept by this rotation, and a second name kept
// for another place stays.
void KeptPhotosTest::verifyTrash(Setup setup, Expect expected, const PhotoRecord &before) {
    const QString entry = trashPath() + "/files/photo.jpg";
    const QStringList infos = QDir(trashPath() + "/info").entryList(QDir::Files);
    switch (setup) {
    case Setup::LeftInTrash:
        if (settings().value("keepOriginalsInTrash").toBool()) {
            QCOMPARE(TestPhotos::fileBytes(entry), before.bytes);
            QCOMPARE(int(std::filesystem::hard_link_count(QFile::encodeName(entry).toStdString())),
                     1);
            QCOMPARE(infos, QStringList{"photo.jpg.trashinfo"});
        } else {
            QVERIFY(!QFileInfo::exists(entry));
            QCOMPARE(infos, QStringList());
        }
        break;
    case Setup::InTrashForAnother:
        QCOMPARE(expected, Expect::Left);
        QCOMPARE(int(std::filesystem::hard_link_count(QFile::encodeName(entry).toStdString())), 2);
        QCOMPARE(infos, QStringList{"photo.jpg.trashinfo"});
        break;
    default:
        QVERIFY(!QFileInfo::exists(trashPath()));
        break;
    }
}

void KeptPhotosTest::leaveInTrash(const QString &photo, const QByteArray &infoPath) {
    QVERIFY(QDir().mkpath(trashPath() + "/files") && QDir().mkpath(trashPath() + "/info"));
    QVERIFY(CraftedPhotos::makeHardLink(photo, trashPath() + "/files/photo.jpg"));
    QFile info(trashPath() + "/info/photo.jpg.trashinfo");
    QVERIFY(info.open(QIODevice::WriteOnly));
    const QByteArray text = "[Trash Info]\nPath=" + infoPath.toPercentEncoding("/") +
                            "\nDeletionDate=2024-05-06T17:57:31\n";
    QCOMPARE(info.write(text), text.size());
}

QString KeptPhotosTest::reasonToSkip(Setup setup) const {
    if (setup == Setup::OtherOwner && !isRoot())
        return "a photo owned by nobody:nogroup can only be made and kept by root; run the tests "
               "as root to check owner and group";
    if (setup == Setup::Attributes && !attributesSupported(folder->path()))
        return "setfattr/setfacl (the Debian packages attr and acl) are missing, or the temporary "
               "folder takes no user attributes or ACLs";
    return {};
}

void KeptPhotosTest::prepare(Setup setup, const QString &photo) {
    switch (setup) {
    case Setup::None:
        return;
    case Setup::OtherOwner:
        QVERIFY(CraftedPhotos::setOwner(photo, "nobody:nogroup"));
        return;
    case Setup::Attributes:
        QVERIFY(CraftedPhotos::setExtendedAttribute(photo, "user.xdg.tags", "holiday,beach"));
        QVERIFY(CraftedPhotos::setAcl(photo, "u:nobody:rw"));
        return;
    case Setup::HardLink:
        QVERIFY(CraftedPhotos::makeHardLink(photo, folder->filePath("second name.jpg")));
        return;
    case Setup::LeftInTrash:
        leaveInTrash(photo, QFile::encodeName(QFileInfo(photo).canonicalFilePath()));
        return;
    case Setup::InTrashForAnother:
        leaveInTrash(photo, QFile::encodeName(folder->filePath("elsewhere/photo.jpg")));
        return;
    case Setup::StaleTempFile: {
        QFile stale(folder->filePath(QString::fromUtf8(tempNameFor("photo.jpg"))));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        QCOMPARE(stale.write(TestPhotos::fileBytes(photo)), QFileInfo(photo).size());
        return;
    }
    case Setup::FolderNamedLikeAPhoto:
        QVERIFY(QDir(folder->path()).mkdir("album.jpg"));
        return;
    }
}

void KeptPhotosTest::useStandInJpegtran(const QString &body) {
    tools = std::make_unique<StandInTools::ToolFolder>(sandbox.path());
    QVERIFY(tools->isValid());
    QVERIFY(tools->write("jpegtran", body));
    QVERIFY(tools->write("exiv2", StandInTools::realExiv2));
}

std::optional<Expect> KeptPhotosTest::rotateAlone(const QString &photo, Turn turn) {
    PhotoRotation::Job job;
    job.photo = HeldPhoto::openChosen(photo, nullptr);
    if (!job.photo)
        return std::nullopt;
    job.photoPath = photo;
    job.turn = turn;
    job.folder = folder->path();
    job.perfect = Settings::perfect();
    job.trim = Settings::trim();
    job.fileTimeMode = Settings::fileTimeMode();
    PhotoRotation rotation(job);
    log.listenTo(&rotation);
    QSignalSpy finished(&rotation, &PhotoRotation::finished);
    rotation.start();
    if (!QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, runWaitMs))
        return std::nullopt;
    switch (finished.first().first().value<PhotoRotationOutcome>().kind) {
    case PhotoRotationOutcome::Rotated:
        return Expect::Rotated;
    case PhotoRotationOutcome::TryLater:
        return Expect::ChangedMeanwhile;
    default:
        return QFileInfo::exists(photo) ? Expect::Left : Expect::Gone;
    }
}

std::optional<Expect> KeptPhotosTest::rotateInBatch(RunSummary *summary) {
    RotationEngine engine;
    engine.setParallelRotations(1);
    log.listenTo(&engine);
    QSignalSpy finished(&engine, &RotationEngine::runFinished);
    if (!engine.startUserBatch(folder->path(), false) ||
        !QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, runWaitMs))
        return std::nullopt;
    *summary = finished.first().first().value<RunSummary>();
    return summary->rotated == 1 ? Expect::Rotated : Expect::Left;
}

void KeptPhotosTest::verifyCrafted(const Recipe &recipe, const PhotoRecord &before) {
    QVERIFY2(before.structure.isComplete(), qPrintable(before.structure.problem));
    QCOMPARE(before.tags.exifOrientation, recipe.orientation);
    QCOMPARE(before.tags.xmpOrientation, recipe.xmpOrientation);
    QCOMPARE(before.tags.thumbnail.isEmpty(), !recipe.thumbnail);
    QCOMPARE(before.tags.secondPicture.isEmpty(), !recipe.secondPicture);
    QCOMPARE(before.structure.trailingBytes() > 0, recipe.secondPicture || recipe.trailerBytes > 0);
    QCOMPARE(before.structure.frame.progressive(), recipe.progressive);
    QCOMPARE(before.structure.frame.arithmetic(), recipe.arithmetic);
    QCOMPARE(restartEvery(before.structure), recipe.restart);
    if (recipe.size.isValid())
        QCOMPARE(QSize(before.structure.frame.width, before.structure.frame.height), recipe.size);
}

void KeptPhotosTest::verifyRotated(const QString &photo, const PhotoRecord &before,
                                   const QImage &reference, Turn turn) {
    const PhotoRecord after = recordOf(photo);
    QVERIFY2(after.structure.isComplete(), qPrintable(after.structure.problem));

    // The picture is jpegtran's own turn; the tags say upright; no XMP where there was none.
    QCOMPARE(TestPhotos::storedPixels(photo), reference);
    QCOMPARE(after.tags.exifOrientation, 1);
    QCOMPARE(after.tags.xmpOrientation, before.tags.xmpOrientation == 0 ? 0 : 1);
    QCOMPARE(after.hasXmp, before.hasXmp);

    // The coding the input chose.
    QCOMPARE(after.structure.frame.marker, before.structure.frame.marker);
    QCOMPARE(restartEvery(after.structure), restartEvery(before.structure));
    // Huffman tables are written anew, the standard ones: the size stays within the bounds of
    // a lossless turn (the result check above holds it to them).

    // The bytes after the image that are no picture, unchanged and in their order; the second
    // picture turned too, found by exiftool where the index says.
    const PhotoPictures picturesBefore = describePictures(before.bytes);
    const PhotoPictures picturesAfter = describePictures(after.bytes);
    QVERIFY2(picturesAfter.isUsable(), qPrintable(picturesAfter.problemDetail));
    QCOMPARE(picturesAfter.pictureCount(), picturesBefore.pictureCount());
    QCOMPARE(otherData(after.bytes, picturesAfter), otherData(before.bytes, picturesBefore));
    QCOMPARE(after.tags.secondPicture.isEmpty(), before.tags.secondPicture.isEmpty());
    if (!before.tags.secondPicture.isEmpty()) {
        const QImage expected = TestPhotos::turnedImage(decoded(before.tags.secondPicture), turn);
        const double difference =
            TestPhotos::meanDifference(decoded(after.tags.secondPicture), expected);
        QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    }

    // The thumbnail shows the original thumbnail turned.
    QCOMPARE(after.tags.thumbnail.isEmpty(), before.tags.thumbnail.isEmpty());
    if (!before.tags.thumbnail.isEmpty()) {
        const QImage expected = TestPhotos::turnedImage(decoded(before.tags.thumbnail), turn);
        const double difference =
            TestPhotos::meanDifference(decoded(after.tags.thumbnail), expected);
        QVERIFY2(difference < 3.0, qPrintable(QString::number(difference)));
    }

    // The file's identity.
    QCOMPARE(after.owner, before.owner);
    QCOMPARE(after.group, before.group);
    QCOMPARE(after.permissions, before.permissions);
    QCOMPARE(after.desktopTags, before.desktopTags);
    QCOMPARE(after.acl, before.acl);
}

void KeptPhotosTest::verifyNothingLeftBehind() {
    QCOMPARE(TestPhotos::rotationLeftovers({folder->path()}), QStringList());
    QCOMPARE(QDir(systemTemp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_MAIN(KeptPhotosTest)
#include "tst_keptphotos.moc"

// Rotating one photo: the real jpegtran and exiv2 on copies of the test photos, and stand-in
// tools (selected with PIVOTTA_TOOLS_DIR) for the faults the real ones cannot be made to show.
// Whatever happens, the photo is either as it was or completely rotated, and no temporary file
// is left beside it or in the temporary folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include "exif/exifrecord.h"
#include "exif/orientation.h"
#include "mainwindow/pivotta.h"
#include "testphotos.h"
#include "settings/preferences.h"

class PivottaTestAccess {
public:
    static bool rotate(Pivotta &window, const QString &path, int angle) {
        return window.rotatePhoto(path, angle, false);
    }
    static void setFinishTimeout(Pivotta &window, int ms) { window.toolFinishTimeoutMs = ms; }
    static int rotatedTotal(Pivotta &window) { return window.rotatedTotal; }
};

namespace {
using TestPhotos::fileBytes;
using TestPhotos::storedOrientation;
using TestPhotos::storedPixels;

const QString realJpegtran = "exec /usr/bin/jpegtran \"$@\"\n";
const QString realExiv2 = "exec /usr/bin/exiv2 \"$@\"\n";
// Every jpegtran stand-in starts by finding its output file and its input file (the last one).
const QString findFiles = "out=''; prev=''\n"
                          "for a in \"$@\"; do\n"
                          "  if [ \"$prev\" = -outfile ]; then out=\"$a\"; fi\n"
                          "  prev=\"$a\"\n"
                          "done\n"
                          "in=\"$a\"\n";

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
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
    void badPhotosWithRealTools_data();
    void badPhotosWithRealTools();
    void protectedOrMissingPhotos_data();
    void protectedOrMissingPhotos();
    void outsideNamesShowLiterally();
    void onePhotoIsNeverRotatedTwiceAtOnce();

private:
    QString copyPhoto(const QString &shared, const QString &name);
    QString referenceRotation(const QString &original, int angle, bool trim);
    void useTools(const QString &jpegtranBody, const QString &exiv2Body);
    void verifyNothingLeftBehind(const QString &photo);
    QString mainText() const {
        return window->findChild<QTextBrowser *>("cmdLineOutput")->toPlainText();
    }
    QString detailedText() const {
        return window->findChild<QTextEdit *>("cmdLineOutput_2")->toPlainText();
    }

    QTemporaryDir sandbox;
    QString systemTemp;
    std::unique_ptr<QTemporaryDir> photos;
    std::unique_ptr<QTemporaryDir> tools;
    Pivotta *window = nullptr;
};

void TransformTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Q_INIT_RESOURCE(resources);
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
    window = new Pivotta(false, false, false, QString(), QString());
    // The Preferences dialog turns trimming on at its first start; the references are made
    // without it unless a test says otherwise.
    settings().setValue("trim", false);
}

void TransformTest::cleanup() {
    delete window;
    window = nullptr;
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

// What jpegtran itself makes of the photo, for comparing pixels.
QString TransformTest::referenceRotation(const QString &original, int angle, bool trim) {
    const QString reference = sandbox.filePath("reference.jpg");
    QFile::remove(reference);
    QStringList arguments{"-rotate", QString::number(angle), "-copy", "all"};
    if (trim)
        arguments << "-trim";
    arguments << "-outfile" << reference << original;
    if (QProcess::execute("/usr/bin/jpegtran", arguments) != 0)
        return QString();
    return reference;
}

void TransformTest::useTools(const QString &jpegtranBody, const QString &exiv2Body) {
    tools = std::make_unique<QTemporaryDir>(sandbox.filePath("tools-XXXXXX"));
    QVERIFY(tools->isValid());
    const auto write = [this](const QString &name, const QString &body) {
        if (body.isEmpty())
            return;
        QFile script(tools->filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\n" + findFiles + body).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
    };
    write("jpegtran", jpegtranBody);
    write("exiv2", exiv2Body);
    qputenv("PIVOTTA_TOOLS_DIR", QFile::encodeName(tools->path()));
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
    const QString reference = referenceRotation(photo, angle, trim);
    QVERIFY(!reference.isEmpty());

    QVERIFY(PivottaTestAccess::rotate(*window, photo, angle));

    QCOMPARE(storedOrientation(photo), 1);
    const QImage rotated = storedPixels(photo);
    QVERIFY(!rotated.isNull());
    QCOMPARE(rotated, storedPixels(reference));
    QCOMPARE(QFileInfo(photo).permissions() &
                 ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             permissions);
    QCOMPARE(PivottaTestAccess::rotatedTotal(*window), 1);
    QCOMPARE(window->findChild<QLabel *>("counter")->text(), QString("1"));
    QVERIFY(detailedText().contains("Done with success."));
    QVERIFY(detailedText().contains("Cleared orientation"));
    verifyNothingLeftBehind(photo);
}

void TransformTest::fileTimeModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("exifDate");
    QTest::addColumn<QString>("expectedTime"); // "recent": written by the rotation itself
    QTest::addColumn<QString>("message");

    QTest::newRow("leave alone") << int(Preferences::DONOTHING) << true << "recent"
                                 << "Cleared orientation";
    QTest::newRow("from EXIF") << int(Preferences::SETFILETOEXIFTIMESTAMP) << true
                               << "2020-01-02T03:04:05"
                               << "Restored file date to EXIF date value:";
    QTest::newRow("from EXIF, no date")
        << int(Preferences::SETFILETOEXIFTIMESTAMP) << false << "recent"
        << "Couldn't restore file modification date; EXIF date missing.";
    QTest::newRow("restore") << int(Preferences::RESTORE) << false << "2001-02-03T04:05:06"
                             << "Restored file date to original date value for";
}

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
    const QDateTime before(QDate(2001, 2, 3), QTime(4, 5, 6));
    QVERIFY(TestPhotos::setModificationTime(photo, before));

    const QDateTime rotationStart = QDateTime::currentDateTime().addSecs(-2);
    QVERIFY(PivottaTestAccess::rotate(*window, photo, 90));

    QCOMPARE(storedOrientation(photo), 1);
    const QDateTime after = QFileInfo(photo).lastModified();
    if (expectedTime == "recent")
        QVERIFY2(after >= rotationStart, qPrintable(after.toString()));
    else
        QCOMPARE(after, QDateTime::fromString(expectedTime, Qt::ISODate));
    QVERIFY2((mainText() + detailedText()).contains(message), qPrintable(mainText()));
    if (mode == Preferences::RESTORE)
        QVERIFY(mainText().contains("Reading original modification date for photo.jpg"));
    verifyNothingLeftBehind(photo);
}

void TransformTest::faultsLeaveThePhotoWhole_data() {
    QTest::addColumn<QString>("jpegtran");
    QTest::addColumn<QString>("exiv2");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("rotated");
    QTest::addColumn<QByteArray>("appended"); // what the stand-in adds to the photo
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    const QString halfOutput =
        "/usr/bin/jpegtran -rotate 90 -copy all \"$in\" | head -c 20000 > \"$out\"\n";
    const QString photo = "photo.jpg";
    const QStringList none;

    QTest::newRow("jpegtran crashes")
        << "printf partial > \"$out\"\nkill -SEGV $$\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Not rotated, jpegtran crashed: ", "photo.jpg"} << none;
    QTest::newRow("jpegtran dies half-way through writing")
        << halfOutput + "kill -KILL $$\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Not rotated, jpegtran crashed"} << none;
    QTest::newRow("jpegtran exits 2, input ended early")
        << "/usr/bin/jpegtran \"$@\"\necho 'Premature end of JPEG file' >&2\nexit 2\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure", "ends too early"}
        << QStringList{"Done with success."};
    QTest::newRow("jpegtran exits 2 with another warning")
        << "/usr/bin/jpegtran \"$@\" || exit 1\necho 'jpegtran: odd marker' >&2\nexit 2\n"
        << realExiv2 << photo << false << true << QByteArray()
        << QStringList{"jpegtran says: Warning (return code 2)", "Done with success."} << none;
    QTest::newRow("jpegtran fails on every name")
        << "echo \"jpegtran: can't open $in\" >&2\nexit 1\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Unicode/international characters in file name",
                       "Oops, jpegtran says: Failure", "can't open"}
        << QStringList{"Done with success."};
    QTest::newRow("jpegtran fails on international names only")
        << "case \"$in\" in *[!\\ -~]*) echo \"can't open $in\" >&2; exit 1;; esac\n" + realJpegtran
        << realExiv2 << QString::fromUtf8("fötö ü 日本.jpg") << false << true << QByteArray()
        << QStringList{"Unicode/international characters in file name", "Done with success."}
        << QStringList{"Oops"};
    QTest::newRow("not perfect, perfect required")
        << "echo 'jpegtran: transformation is not perfect' >&2\nexit 1\n"
        << realExiv2 << photo << true << false << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure",
                       "This error is due to non-standard metadata.",
                       "Uncheck the option \"Require perfect metadata for rotation\""}
        << QStringList{"Unicode/international"};
    QTest::newRow("not perfect, perfect not required")
        << "echo 'jpegtran: transformation is not perfect' >&2\nexit 1\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Oops, jpegtran says: Failure"}
        << QStringList{"This error is due to non-standard metadata.", "Unicode/international"};
    QTest::newRow("jpegtran hangs") << "exec sleep 20\n"
                                    << realExiv2 << photo << false << false << QByteArray()
                                    << QStringList{"did not finish within"} << none;
    QTest::newRow("jpegtran claims success, output cut short")
        << halfOutput + "exit 0\n"
        << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"left no complete photo"} << QStringList{"Done with success."};
    QTest::newRow("jpegtran missing")
        << QString() << realExiv2 << photo << false << false << QByteArray()
        << QStringList{"Couldn't find", "could not be started"} << none;
    QTest::newRow("photo changes while rotated")
        << "/usr/bin/jpegtran \"$@\" || exit 1\nprintf x >> \"$in\"\n"
        << realExiv2 << photo << false << false << QByteArray("x")
        << QStringList{"changed while it was being rotated"} << QStringList{"Done with success."};
    QTest::newRow("exiv2 fails") << realJpegtran << "echo 'exiv2: cannot write' >&2\nexit 1\n"
                                 << photo << false << false << QByteArray()
                                 << QStringList{"Failed clearing EXIF orientation metadata.",
                                                "left unchanged"}
                                 << QStringList{"Done with success."};
    QTest::newRow("exiv2 crashes") << realJpegtran << "kill -SEGV $$\n"
                                   << photo << false << false << QByteArray()
                                   << QStringList{"Clear orientation start error",
                                                  "Failed clearing EXIF orientation metadata."}
                                   << QStringList{"Done with success."};
    QTest::newRow("exiv2 claims success, tag unchanged")
        << realJpegtran << "exit 0\n"
        << photo << false << false << QByteArray()
        << QStringList{"Failed clearing EXIF orientation metadata."}
        << QStringList{"Done with success."};
    QTest::newRow("exiv2 hangs") << realJpegtran << "exec sleep 20\n"
                                 << photo << false << false << QByteArray()
                                 << QStringList{"unable to detect successful finish"}
                                 << QStringList{"Done with success."};
    QTest::newRow("exiv2 missing")
        << realJpegtran << QString() << photo << false << false << QByteArray()
        << QStringList{"Couldn't find", "Failed clearing EXIF orientation metadata."}
        << QStringList{"Done with success."};
}

void TransformTest::faultsLeaveThePhotoWhole() {
    QFETCH(QString, jpegtran);
    QFETCH(QString, exiv2);
    QFETCH(QString, name);
    QFETCH(bool, perfect);
    QFETCH(bool, rotated);
    QFETCH(QByteArray, appended);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    settings().setValue("perfect", perfect);
    useTools(jpegtran, exiv2);
    PivottaTestAccess::setFinishTimeout(*window, 500);
    const QString photo = copyPhoto("Landscape_6.jpg", name);
    const QByteArray original = fileBytes(photo);
    const QString reference = referenceRotation(photo, 90, false);

    QCOMPARE(PivottaTestAccess::rotate(*window, photo, 90), rotated);

    const QString output = mainText() + "\n" + detailedText();
    for (const QString &text : shown)
        QVERIFY2(output.contains(text), qPrintable(text + "\nnot in:\n" + output));
    for (const QString &text : notShown)
        QVERIFY2(!output.contains(text), qPrintable(text + "\nin:\n" + output));
    if (rotated) {
        QCOMPARE(storedOrientation(photo), 1);
        QCOMPARE(storedPixels(photo), storedPixels(reference));
    } else {
        QCOMPARE(fileBytes(photo), original + appended);
    }
    QCOMPARE(PivottaTestAccess::rotatedTotal(*window), rotated ? 1 : 0);
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

    QCOMPARE(PivottaTestAccess::rotate(*window, photo, 90), rotated);

    QCOMPARE(storedOrientation(photo), rotated ? 1 : 6);
    if (!rotated) {
        QCOMPARE(fileBytes(photo), original);
        QVERIFY(mainText().contains("This error is due to non-standard metadata."));
        QVERIFY(detailedText().contains("transformation is not perfect"));
        QVERIFY(!mainText().contains("Unicode/international"));
    }
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

    QVERIFY(!PivottaTestAccess::rotate(*window, photo, 90));

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
}

// Tests run as root in CI, where permission bits do not stop writing: the photo must stay
// untouched because Pivotta checks them, not because the system refused.
void TransformTest::protectedOrMissingPhotos() {
    QFETCH(QString, setup);
    QFETCH(QString, message);
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    const QByteArray original = fileBytes(photo);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (setup == "photo")
        QVERIFY(QFile::setPermissions(photo, readOnly));
    else if (setup == "folder")
        QVERIFY(QFile::setPermissions(photos->path(), readOnly | QFileDevice::ExeOwner));
    else
        QVERIFY(QFile::remove(photo));

    QVERIFY(!PivottaTestAccess::rotate(*window, photo, 90));

    QVERIFY2(mainText().contains(message), qPrintable(mainText()));
    QVERIFY(!mainText().contains("Rotating 90"));
    if (setup == "deleted") {
        QVERIFY(!QFileInfo::exists(photo));
        QCOMPARE(QDir(photos->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    } else {
        QCOMPARE(fileBytes(photo), original);
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

    QVERIFY(PivottaTestAccess::rotate(*window, photo, 90));

    QCOMPARE(storedOrientation(photo), 1);
    QVERIFY2(mainText().contains(name), qPrintable(mainText()));
    QVERIFY2(detailedText().contains(name), qPrintable(detailedText()));
    verifyNothingLeftBehind(photo);
}

// The tool waits let other slots run; a second rotation of the same photo started there must
// not run at the same time, or the photo would be turned twice.
void TransformTest::onePhotoIsNeverRotatedTwiceAtOnce() {
    const QString photo = copyPhoto("Landscape_6.jpg", "photo.jpg");
    const QString reference = referenceRotation(photo, 90, false);
    bool nestedResult = true;
    QTimer::singleShot(0, window,
                       [&] { nestedResult = PivottaTestAccess::rotate(*window, photo, 90); });

    QVERIFY(PivottaTestAccess::rotate(*window, photo, 90));

    QVERIFY(!nestedResult);
    QVERIFY(mainText().contains("is already being rotated"));
    QCOMPARE(storedPixels(photo), storedPixels(reference));
    QCOMPARE(PivottaTestAccess::rotatedTotal(*window), 1);
    verifyNothingLeftBehind(photo);
}

QTEST_MAIN(TransformTest)
#include "tst_transform.moc"

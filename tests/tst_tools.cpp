// The engine's pure pieces: tool location, argument lists, reading tool results, the duration
// text, and the temporary-file-and-rename step on real files in a sandbox.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include "engine/durationtext.h"
#include "engine/safereplace.h"
#include "engine/tools.h"

class ToolsTest : public QObject {
    Q_OBJECT

private slots:
    void jpegtranArguments_data();
    void jpegtranArguments();
    void exiv2Arguments();
    void locateTool();
    void jpegtranVerdict_data();
    void jpegtranVerdict();
    void noExifDate_data();
    void noExifDate();
    void toolOutputShowsLiterally();
    void outputNamesThePhoto();
    void durationText_data();
    void durationText();
    void siblingTempNameIsNeverAPhoto();
    void replaceKeepsPermissionsAndLeavesNothing();
    void replaceFailureChangesNothing();
    void writableChecksCountPermissionBits();
    void completeJpeg_data();
    void completeJpeg();
};

void ToolsTest::jpegtranArguments_data() {
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<int>("angle");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("plain") << false << false << 90 << QStringList{"-v",  "-rotate",  "90",  "-copy",
                                                                  "all", "-outfile", "out", "in"};
    QTest::newRow("perfect") << true << false << 180
                             << QStringList{"-v",       "-rotate",  "180", "-copy", "all",
                                            "-perfect", "-outfile", "out", "in"};
    QTest::newRow("trim") << false << true << 270
                          << QStringList{"-v",    "-rotate",  "270", "-copy", "all",
                                         "-trim", "-outfile", "out", "in"};
    QTest::newRow("both") << true << true << 90
                          << QStringList{"-v",       "-rotate", "90",       "-copy", "all",
                                         "-perfect", "-trim",   "-outfile", "out",   "in"};
}

void ToolsTest::jpegtranArguments() {
    QFETCH(bool, perfect);
    QFETCH(bool, trim);
    QFETCH(int, angle);
    QFETCH(QStringList, expected);
    QCOMPARE(jpegtranArgumentList("in", "out", angle, perfect, trim), expected);
}

void ToolsTest::exiv2Arguments() {
    const QString path = QDir::toNativeSeparators("/photos/a b.jpg");
    QCOMPARE(exiv2OrientationResetArguments("/photos/a b.jpg"),
             (QStringList{"-v", "-k", "-M", "set Exif.Image.Orientation Short 1", path}));
    QCOMPARE(exiv2TimeFromExifArguments("/photos/a b.jpg"), (QStringList{"-T", "-v", path}));
}

void ToolsTest::locateTool() {
    QTemporaryDir applicationDir;
    QTemporaryDir overrideDir;
    const QString name = toolFileName("jpegtran");
    const QString besideApplication = QDir::toNativeSeparators(applicationDir.path() + "/" + name);

    // The override folder is the only one searched, even when the tool is not there.
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), overrideDir.path()),
             QDir::toNativeSeparators(overrideDir.path() + "/" + name));

    QFile tool(besideApplication);
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.close();
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), besideApplication);
    QVERIFY(QFile::remove(besideApplication));

#ifdef Q_OS_WIN
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), besideApplication);
#else
    const QString onPath = QStandardPaths::findExecutable("jpegtran");
    if (onPath.isEmpty())
        QSKIP("jpegtran is not installed on the PATH");
    QCOMPARE(::locateTool("jpegtran", applicationDir.path(), QString()), onPath);
    // Found nowhere: the application's folder, so that the message names a real place.
    QCOMPARE(::locateTool("no-such-tool-pivotta", applicationDir.path(), QString()),
             QDir::toNativeSeparators(applicationDir.path() + "/no-such-tool-pivotta"));
#endif
}

void ToolsTest::jpegtranVerdict_data() {
    QTest::addColumn<bool>("normalExit");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("verdict");

    const auto row = [](const char *name, bool normalExit, int exitCode, const char *output,
                        JpegtranVerdict verdict) {
        QTest::newRow(name) << normalExit << exitCode << QString(output) << int(verdict);
    };
    row("success", true, 0, "libjpeg-turbo version 2.1.5", JpegtranVerdict::Success);
    row("warning", true, 2, "Corrupt JPEG data: 2 extraneous bytes before marker 0xd9",
        JpegtranVerdict::SuccessWithWarning);
    row("truncated input", true, 2, "Premature end of JPEG file", JpegtranVerdict::Truncated);
    row("not perfect", true, 1, "jpegtran: transformation is not perfect",
        JpegtranVerdict::NotPerfect);
    row("other failure", true, 1, "Not a JPEG file: starts with 0x67 0x61",
        JpegtranVerdict::Failure);
    row("crash", false, 0, "", JpegtranVerdict::Crashed);
    row("crash after a warning", false, 2, "Premature end of JPEG file", JpegtranVerdict::Crashed);
}

void ToolsTest::jpegtranVerdict() {
    QFETCH(bool, normalExit);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(int, verdict);
    QCOMPARE(int(::jpegtranVerdict(normalExit, exitCode, output)), verdict);
}

void ToolsTest::noExifDate_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("noDate");

    QTest::newRow("exiv2 0.27") << "File 1/1: t.jpg\nNeither tag `Exif.Photo.DateTimeOriginal' "
                                   "nor `Exif.Image.DateTime' found in the file t.jpg\n"
                                << true;
    QTest::newRow("older exiv2") << "t.jpg: Image file contains no Exif timestamp" << true;
    QTest::newRow("time set") << "File 1/1: t.jpg\nUpdating timestamp to 2020:01:02 03:04:05"
                              << false;
    QTest::newRow("file missing") << "t.jpg: Failed to open the file" << false;
}

void ToolsTest::noExifDate() {
    QFETCH(QString, output);
    QFETCH(bool, noDate);
    QCOMPARE(exiv2ReportsNoExifDate(output), noDate);
}

void ToolsTest::toolOutputShowsLiterally() {
    const QString html = toolOutputHtml("a <b>x</b>\nb", "can't open 'c&d.jpg'\n");
    QTextDocument document;
    document.setHtml(html);
    const QString shown = document.toPlainText();
    QVERIFY2(shown.startsWith("a <b>x</b>\nb"), qPrintable(shown));
    QVERIFY2(shown.contains("can't open 'c&d.jpg'"), qPrintable(shown));
    QVERIFY(Qt::mightBeRichText(html));
    QVERIFY(Qt::mightBeRichText(plainTextAsHtml("a & b")));
}

void ToolsTest::outputNamesThePhoto() {
    const QString work = "/p/.a.jpg.pivotta-1234.tmp";
    const QString photo = "/p/a.jpg";
    QCOMPARE(outputNamingPhoto("File 1/1: /p/.a.jpg.pivotta-1234.tmp\nin .a.jpg.pivotta-1234.tmp",
                               work, photo),
             QString("File 1/1: /p/a.jpg\nin a.jpg"));
    QCOMPARE(outputNamingPhoto("nothing to change", work, photo), QString("nothing to change"));
}

void ToolsTest::durationText_data() {
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("expected");

    QTest::newRow("75 s") << qint64(75000) << "took 1 minutes 15 seconds (single-process)";
    QTest::newRow("4.5 s") << qint64(4500) << "took  4.5 seconds (single-process)";
    QTest::newRow("0 s") << qint64(0) << "took  0 seconds (single-process)";
    QTest::newRow("one hour") << qint64(3600000) << "took 60 minutes 0 seconds (single-process)";
}

void ToolsTest::durationText() {
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, expected);
    QCOMPARE(::durationText(elapsedMs, "took %1 minutes %2 seconds (%3)", "took  %2 seconds (%3)",
                            "single-process"),
             expected);
}

void ToolsTest::siblingTempNameIsNeverAPhoto() {
    const QString photo = "/photos/holiday/IMG 1.JPG";
    const QString first = siblingTempPath(photo);
    QCOMPARE(QFileInfo(first).absolutePath(), QString("/photos/holiday"));
    QVERIFY(first != siblingTempPath(photo));
    const QStringList filters{"*.jpg", "*.jpeg", "*.jfif", "*.jpe"};
    for (const QString &name :
         {QFileInfo(first).fileName(), QFileInfo(siblingTempPath("/p/X.JPEG")).fileName(),
          QFileInfo(siblingTempPath("/p/" + QString(300, 'a') + ".jpg")).fileName()}) {
        QVERIFY2(!QDir::match(filters, name), qPrintable(name));
        QVERIFY2(!QDir::match(filters, name.toUpper()), qPrintable(name));
        QVERIFY2(name.size() < 255, qPrintable(name));
    }
}

void ToolsTest::replaceKeepsPermissionsAndLeavesNothing() {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.jpg");
    const QString replacement = siblingTempPath(target);
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const auto permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, permissions));
    QFile fresh(replacement);
    QVERIFY(fresh.open(QIODevice::WriteOnly));
    fresh.write("new");
    fresh.close();

    QString error;
    QVERIFY2(replaceFileAtomically(replacement, target, &error), qPrintable(error));
    QFile result(target);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("new"));
#ifndef Q_OS_WIN
    QCOMPARE(QFileInfo(target).permissions() &
                 (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                  QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                  QFileDevice::WriteOther),
             permissions);
#endif
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.jpg"});
}

void ToolsTest::replaceFailureChangesNothing() {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.jpg");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    QString error;
    QVERIFY(!replaceFileAtomically(dir.filePath(".missing.tmp"), target, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

// Tests run as root in CI, where the permission bits do not stop writing; the checks must still
// see a read-only photo or folder.
void ToolsTest::writableChecksCountPermissionBits() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QFile file(photo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(isWritablePhoto(QFileInfo(photo)));
    QVERIFY(folderAcceptsNewFiles(dir.path()));

    QVERIFY(QFile::setPermissions(photo, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther));
    QVERIFY(!isWritablePhoto(QFileInfo(photo)));
    QVERIFY(!isWritablePhoto(QFileInfo(dir.path())));
    QVERIFY(!isWritablePhoto(QFileInfo(dir.filePath("missing.jpg"))));
#ifndef Q_OS_WIN
    const auto readOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder));
    QVERIFY(!folderAcceptsNewFiles(dir.path()));
    QVERIFY(QFile::setPermissions(dir.path(), readOnlyFolder | QFileDevice::WriteOwner));
#endif
}

void ToolsTest::completeJpeg_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("complete");

    QTest::newRow("markers") << QByteArray("\xFF\xD8\x01\x02\xFF\xD9", 6) << true;
    QTest::newRow("cut short") << QByteArray("\xFF\xD8\x01\x02\x03\x04", 6) << false;
    QTest::newRow("no start") << QByteArray("\x00\xD8\x01\x02\xFF\xD9", 6) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("markers only") << QByteArray("\xFF\xD8\xFF\xD9", 4) << true;
}

void ToolsTest::completeJpeg() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, complete);
    QTemporaryDir dir;
    QFile file(dir.filePath("a.jpg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(looksLikeCompleteJpeg(file.fileName()), complete);
}

QTEST_MAIN(ToolsTest)
#include "tst_tools.moc"

// A photo's identity and its changes noticed by its status, the rules on who may give a file an
// owner, and the cleanup of Pivotta's stale temporary files, which leaves the ones that are held;
// on real files in a sandbox.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

#include "craftedphotos.h"
#include "files/fileidentity.h"
#include "files/filestatus.h"
#include "files/heldfolder.h"
#include "files/heldtempfile.h"
#include "testphotos.h"

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A batch's cleanup, through the held folder.
QStringList removeStaleTempFilesIn(const QString &folderPath) {
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, nullptr);
    QList<FileProblem> problems;
    return folder ? removeStaleTempFilesIn(*folder, &problems) : QStringList{"not opened"};
}

const QString uuidName = ".x.jpg.pivotta-0123abcd-4567-89ab-cdef-0123456789ab.tmp";

} // namespace

class FileIdentityTest : public QObject {
    Q_OBJECT

private slots:
    void stateNoticesEveryChange_data();
    void stateNoticesEveryChange();
    void ownershipRules_data();
    void ownershipRules();
    void hardLinksAreCounted();
    void tempNames_data();
    void tempNames();
    void staleTempFilesGoHeldOnesStay();
};

void FileIdentityTest::stateNoticesEveryChange_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("noticed");
    QTest::newRow("nothing") << "nothing" << false;
    QTest::newRow("rewritten, size and time set back") << "rewrite" << true;
    QTest::newRow("replaced by a copy with size and time") << "replace" << true;
    QTest::newRow("permissions") << "permissions" << true;
    QTest::newRow("hard link added") << "link" << true;
    QTest::newRow("removed") << "remove" << true;
}

void FileIdentityTest::stateNoticesEveryChange() {
    QFETCH(QString, change);
    QFETCH(bool, noticed);
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(writeFile(photo, "original"));
    const QDateTime time = QDateTime::currentDateTime().addDays(-1);
    QVERIFY(TestPhotos::setModificationTime(photo, time));
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(dir.path(), nullptr);
    QVERIFY(folder);
    FileStatus before;
    QVERIFY(folder->statusOf("photo.jpg", &before, nullptr));
    QTest::qWait(20); // a change time that can differ

    if (change == "rewrite") {
        QVERIFY(writeFile(photo, "ORIGINAL"));
        QVERIFY(TestPhotos::setModificationTime(photo, time));
    } else if (change == "replace") {
        const QString other = dir.filePath("other");
        QVERIFY(writeFile(other, "original"));
        QVERIFY(TestPhotos::setModificationTime(other, time));
        std::filesystem::rename(QFile::encodeName(other).toStdString(),
                                QFile::encodeName(photo).toStdString());
    } else if (change == "permissions") {
        QVERIFY(QFile::setPermissions(photo, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    } else if (change == "link") {
        QVERIFY(CraftedPhotos::makeHardLink(photo, dir.filePath("second name.jpg")));
    } else if (change == "remove") {
        QVERIFY(QFile::remove(photo));
    }
    FileStatus now;
    const bool there = folder->statusOf("photo.jpg", &now, nullptr);
    QCOMPARE(!there || !sameFileUnchanged(before, now), noticed);
}

void FileIdentityTest::ownershipRules_data() {
    QTest::addColumn<uint>("owner");
    QTest::addColumn<uint>("group");
    QTest::addColumn<uint>("user");
    QTest::addColumn<bool>("allowed");
    // The user 1000 is in the groups 1000 and 27.
    QTest::newRow("root gives anything") << 65534u << 65534u << 0u << true;
    QTest::newRow("own file, own group") << 1000u << 1000u << 1000u << true;
    QTest::newRow("own file, another of the user's groups") << 1000u << 27u << 1000u << true;
    QTest::newRow("own file, a group the user is not in") << 1000u << 50u << 1000u << false;
    QTest::newRow("another user's file") << 1001u << 1000u << 1000u << false;
}

void FileIdentityTest::ownershipRules() {
    QFETCH(uint, owner);
    QFETCH(uint, group);
    QFETCH(uint, user);
    QFETCH(bool, allowed);
    QCOMPARE(mayGiveOwnershipAs(owner, group, user, {1000, 27}), allowed);
}

void FileIdentityTest::hardLinksAreCounted() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(writeFile(photo, "x"));
    QCOMPARE(fileIdentityOf(photo).linkCount, quint64(1));
    QVERIFY(CraftedPhotos::makeHardLink(photo, dir.filePath("album copy.jpg")));
    QCOMPARE(fileIdentityOf(photo).linkCount, quint64(2));
    QVERIFY(!fileIdentityOf(dir.filePath("missing.jpg")).exists);
}

void FileIdentityTest::tempNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("pivotta");
    QTest::newRow("made by the held folder's temporary files")
        << QString::fromUtf8(tempNameFor("IMG 1.JPG")) << true;
    QTest::newRow("fixed example") << uuidName << true;
    QTest::newRow("photo name with a line break")
        << QString::fromUtf8(tempNameFor("a\nb.jpg")) << true;
    QTest::newRow("no UUID") << ".x.jpg.pivotta-notauuid.tmp" << false;
    QTest::newRow("no leading dot")
        << "x.pivotta-0123abcd-4567-89ab-cdef-0123456789ab.tmp" << false;
    QTest::newRow("upper-case UUID")
        << ".x.jpg.pivotta-0123ABCD-4567-89AB-CDEF-0123456789AB.tmp" << false;
    QTest::newRow("photo") << "x.jpg" << false;
    QTest::newRow("something after .tmp") << uuidName + ".jpg" << false;
}

void FileIdentityTest::tempNames() {
    QFETCH(QString, name);
    QFETCH(bool, pivotta);
    QCOMPARE(isTempName(name.toUtf8()), pivotta);
}

void FileIdentityTest::staleTempFilesGoHeldOnesStay() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("x.jpg");
    QVERIFY(writeFile(photo, "photo"));
    QVERIFY(writeFile(dir.filePath(uuidName), "left by a killed Pivotta"));
    FileProblem problem;
    const std::unique_ptr<HeldTempFile> held =
        HeldTempFile::create(HeldFolder::openRoot(dir.path(), nullptr), "x.jpg", &problem);
    QVERIFY2(held, qPrintable(problem.text()));
    QVERIFY(isTempName(held->name()));
    const QStringList lookAlikes{".x.jpg.pivotta-notauuid.tmp",
                                 "x.pivotta-0123abcd-4567-89ab-cdef-0123456789ab.tmp"};
    for (const QString &name : lookAlikes)
        QVERIFY(writeFile(dir.filePath(name), "not ours"));
    const QString folderName = ".y.jpg.pivotta-11111111-2222-3333-4444-555555555555.tmp";
    QVERIFY(QDir(dir.path()).mkdir(folderName));
    const QString linkName = ".z.jpg.pivotta-11111111-2222-3333-4444-666666666666.tmp";
    QVERIFY(QFile::link(photo, dir.filePath(linkName)));

    QCOMPARE(removeStaleTempFilesIn(dir.path()), QStringList{uuidName});
    QVERIFY(!QFileInfo::exists(dir.filePath(uuidName)));
    QVERIFY(QFileInfo::exists(held->displayPath()));
    for (const QString &name : lookAlikes)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
    QVERIFY(QFileInfo(dir.filePath(folderName)).isDir());
    QVERIFY(QFileInfo(dir.filePath(linkName)).isSymLink());
    QCOMPARE(TestPhotos::fileBytes(photo), QByteArray("photo"));
}

QTEST_MAIN(FileIdentityTest)
#include "tst_fileidentity.moc"

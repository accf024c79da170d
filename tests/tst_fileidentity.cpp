// A photo's identity kept when it is replaced (owner, group, ACLs, extended attributes,
// permissions), changes noticed by its state, and Pivotta's temporary files held and cleaned up,
// on real files in a sandbox. Giving files to another owner needs root: those checks skip
// otherwise.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

#include "craftedphotos.h"
#include "engine/fileidentity.h"
#include "engine/safereplace.h"
#include "engine/tempfileholder.h"
#include "files/heldfolder.h"
#include "files/heldtempfile.h"
#include "testphotos.h"

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

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

bool isRoot() {
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// Whether the file system of `folder` takes user attributes and ACLs, and the tools are there.
bool attributesSupported(const QString &folder) {
    if (QStandardPaths::findExecutable("setfacl").isEmpty() ||
        QStandardPaths::findExecutable("setfattr").isEmpty())
        return false;
    const QString probe = folder + "/probe";
    const bool supported = writeFile(probe, "x") &&
                           CraftedPhotos::setExtendedAttribute(probe, "user.probe", "1") &&
                           CraftedPhotos::setAcl(probe, "u:0:r");
    QFile::remove(probe);
    return supported;
}

const QString uuidName = ".x.jpg.pivotta-0123abcd-4567-89ab-cdef-0123456789ab.tmp";

} // namespace

class FileIdentityTest : public QObject {
    Q_OBJECT

private slots:
    void stateNoticesEveryChange_data();
    void stateNoticesEveryChange();
    void replaceKeepsIdentity();
    void replaceDropsAnAclTheNewFileInherited();
    void replaceLeavesAPhotoChangedMeanwhile();
    void ownershipRules_data();
    void ownershipRules();
    void hardLinksAreCounted();
    void tempNames_data();
    void tempNames();
    void staleTempFilesGoHeldOnesStay();
    void holdSurvivesTheTools();
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
    const FileState before = fileStateOf(photo);
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
    QCOMPARE(fileStateOf(photo) != before, noticed);
}

void FileIdentityTest::replaceKeepsIdentity() {
    QTemporaryDir dir;
    if (!attributesSupported(dir.path()))
        QSKIP("setfacl/setfattr or user attributes and ACLs on the temporary folder are missing "
              "(install the acl and attr packages)");
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(writeFile(photo, "old photo"));
    QVERIFY(QFile::setPermissions(photo, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadGroup));
    const bool root = isRoot();
    if (root)
        QVERIFY(CraftedPhotos::setOwner(photo, "nobody:nogroup"));
    // The group may read only; one named user may write, but the mask lets only reading through.
    QVERIFY(CraftedPhotos::setAcl(photo, "u:nobody:rw,g::r,m::r"));
    QVERIFY(CraftedPhotos::setExtendedAttribute(photo, "user.xdg.tags", "holiday,beach"));
    const QString aclBefore = CraftedPhotos::aclText(photo);
    const FileIdentity identityBefore = fileIdentityOf(photo);
    const QFileDevice::Permissions permissionsBefore = QFileInfo(photo).permissions();

    const QString rotated = siblingTempPath(photo);
    QVERIFY(writeFile(rotated, "rotated photo"));
    const ReplaceOutcome outcome = replacePhotoKeepingIdentity(rotated, photo, fileStateOf(photo));
    QVERIFY2(outcome.result == ReplaceResult::Replaced, qPrintable(outcome.errorText));

    QCOMPARE(TestPhotos::fileBytes(photo), QByteArray("rotated photo"));
    QVERIFY(!QFileInfo::exists(rotated));
    const FileIdentity identityAfter = fileIdentityOf(photo);
    QVERIFY(identityAfter.inode != identityBefore.inode);
    QCOMPARE(identityAfter.owner, identityBefore.owner);
    QCOMPARE(identityAfter.group, identityBefore.group);
    QCOMPARE(CraftedPhotos::aclText(photo), aclBefore);
    QVERIFY2(aclBefore.contains("user:nobody:rw-") && aclBefore.contains("mask::r--"),
             qPrintable(aclBefore));
    QCOMPARE(QFileInfo(photo).permissions(), permissionsBefore);
    QVERIFY(!(QFileInfo(photo).permissions() & QFileDevice::WriteGroup));
    QCOMPARE(CraftedPhotos::extendedAttribute(photo, "user.xdg.tags"), QByteArray("holiday,beach"));
    if (!root)
        QSKIP("the owner nobody:nogroup needs root; the rest was checked");
}

void FileIdentityTest::replaceDropsAnAclTheNewFileInherited() {
    QTemporaryDir dir;
    if (!attributesSupported(dir.path()))
        QSKIP("setfacl/setfattr or user attributes and ACLs on the temporary folder are missing "
              "(install the acl and attr packages)");
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(writeFile(photo, "old photo"));
    const QString aclBefore = CraftedPhotos::aclText(photo);
    QVERIFY(!aclBefore.contains("user:nobody"));
    QVERIFY(CraftedPhotos::run("setfacl", {"-d", "-m", "u:nobody:rw", dir.path()}));
    const QString rotated = siblingTempPath(photo);
    QVERIFY(writeFile(rotated, "rotated photo"));
    QVERIFY(CraftedPhotos::aclText(rotated).contains("user:nobody"));

    const ReplaceOutcome outcome = replacePhotoKeepingIdentity(rotated, photo, fileStateOf(photo));
    QVERIFY2(outcome.result == ReplaceResult::Replaced, qPrintable(outcome.errorText));
    QCOMPARE(CraftedPhotos::aclText(photo), aclBefore);
}

void FileIdentityTest::replaceLeavesAPhotoChangedMeanwhile() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(writeFile(photo, "original"));
    const QDateTime time = QDateTime::currentDateTime().addDays(-1);
    QVERIFY(TestPhotos::setModificationTime(photo, time));
    const FileState before = fileStateOf(photo);
    QTest::qWait(20);
    // Another program edits the photo and keeps its size and time.
    QVERIFY(writeFile(photo, "edited!!"));
    QVERIFY(TestPhotos::setModificationTime(photo, time));

    const QString rotated = siblingTempPath(photo);
    QVERIFY(writeFile(rotated, "rotated"));
    const ReplaceOutcome outcome = replacePhotoKeepingIdentity(rotated, photo, before);
    QCOMPARE(outcome.result, ReplaceResult::PhotoChanged);
    QVERIFY(!outcome.errorText.isEmpty());
    QCOMPARE(TestPhotos::fileBytes(photo), QByteArray("edited!!"));
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
    QTest::newRow("made by siblingTempPath")
        << QFileInfo(siblingTempPath("/p/IMG 1.JPG")).fileName() << true;
    QTest::newRow("fixed example") << uuidName << true;
    QTest::newRow("photo name with a line break")
        << QFileInfo(siblingTempPath("/p/a\nb.jpg")).fileName() << true;
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
    QCOMPARE(isPivottaTempName(name), pivotta);
}

void FileIdentityTest::staleTempFilesGoHeldOnesStay() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("x.jpg");
    QVERIFY(writeFile(photo, "photo"));
    QVERIFY(writeFile(dir.filePath(uuidName), "left by a killed Pivotta"));
    const TempFileHolder held(photo);
    QVERIFY2(held.isValid(), qPrintable(held.errorString()));
    QVERIFY(isPivottaTempName(QFileInfo(held.path()).fileName()));
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
    QVERIFY(QFileInfo::exists(held.path()));
    for (const QString &name : lookAlikes)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
    QVERIFY(QFileInfo(dir.filePath(folderName)).isDir());
    QVERIFY(QFileInfo(dir.filePath(linkName)).isSymLink());
    QCOMPARE(TestPhotos::fileBytes(photo), QByteArray("photo"));
}

// jpegtran writes the held file under its name and exiv2 rewrites it in place: the lock stays
// on the file they wrote, so a cleanup meanwhile keeps it. Released or not, it goes at the end.
void FileIdentityTest::holdSurvivesTheTools() {
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(TestPhotos::writeCroppedPhoto(6, photo));
    QString tempPath;
    {
        const TempFileHolder held(photo);
        QVERIFY(held.isValid());
        tempPath = held.path();
        const quint64 inode = fileIdentityOf(tempPath).inode;
        QVERIFY(CraftedPhotos::run("jpegtran",
                                   {"-rotate", "90", "-copy", "all", "-outfile", tempPath, photo}));
        QVERIFY(CraftedPhotos::run("exiv2",
                                   {"-k", "-M", "set Exif.Image.Orientation Short 1", tempPath}));
        QCOMPARE(fileIdentityOf(tempPath).inode, inode);
        QCOMPARE(TestPhotos::storedOrientation(tempPath), 1);
        QVERIFY(removeStaleTempFilesIn(dir.path()).isEmpty());
        QVERIFY(QFileInfo::exists(tempPath));
    }
    QVERIFY(!QFileInfo::exists(tempPath));

    TempFileHolder replacing(photo);
    QVERIFY(CraftedPhotos::run(
        "jpegtran", {"-rotate", "90", "-copy", "all", "-outfile", replacing.path(), photo}));
    const ReplaceOutcome outcome =
        replacePhotoKeepingIdentity(replacing.path(), photo, fileStateOf(photo));
    QVERIFY2(outcome.result == ReplaceResult::Replaced, qPrintable(outcome.errorText));
    replacing.release();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.jpg"});
}

QTEST_MAIN(FileIdentityTest)
#include "tst_fileidentity.moc"

// The temporary file in a photo's held folder and the replacement of the photo by it: the names,
// the identity and the exact times the new file takes over, a photo changed meanwhile left as it
// is, protections found before anything is made, stale files cleaned up while held ones stay, and
// the path a tool is given.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "engine/photonames.h"
#include "files/filetimes.h"
#include "files/folderwalk.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "files/heldtempfile.h"
#include "otheruser.h"
#include "rawfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FileProblem::Kind)

namespace {

struct timespec timespecOf(qint64 seconds, long nanoseconds) {
    struct timespec time = {};
    time.tv_sec = time_t(seconds);
    time.tv_nsec = nanoseconds;
    return time;
}

bool chattr(const QString &flags, const QString &path) {
    QProcess tool;
    tool.start("chattr", {flags, path});
    return tool.waitForFinished() && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

QList<QByteArray> tempFilesIn(const QString &folder) {
    QList<QByteArray> found;
    for (const QString &name :
         QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
        if (isTempName(QFile::encodeName(name)))
            found << QFile::encodeName(name);
    }
    return found;
}

} // namespace

class HeldReplaceTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tempNames_data();
    void tempNames();
    void replaceKeepsIdentityAndExactTimes_data();
    void replaceKeepsIdentityAndExactTimes();
    void exifDateIsLocalTimeToTheSecond();
    void replaceLeavesAChangedPhotoAsItIs_data();
    void replaceLeavesAChangedPhotoAsItIs();
    void protectionIsFoundBeforeAnythingIsMade_data();
    void protectionIsFoundBeforeAnythingIsMade();
    void staleTempFilesGoHeldOnesStay();
    void toolReachesTheTempFileThroughThisProcess();

private:
    std::unique_ptr<HeldPhoto> openPhoto(const QByteArray &name);

    std::unique_ptr<QTemporaryDir> sandbox;
    QString folderPath;
};

void HeldReplaceTest::init() {
    sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(sandbox->isValid());
    folderPath = sandbox->filePath("photos");
    QVERIFY(QDir().mkpath(folderPath));
}

void HeldReplaceTest::cleanup() {
    RawFiles::removeTree(sandbox->path());
    sandbox.reset();
}

std::unique_ptr<HeldPhoto> HeldReplaceTest::openPhoto(const QByteArray &name) {
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, &problem);
    std::unique_ptr<HeldPhoto> photo = folder ? HeldPhoto::open(folder, name, &problem) : nullptr;
    if (!photo)
        qWarning() << problem.text();
    return photo;
}

void HeldReplaceTest::tempNames_data() {
    QTest::addColumn<QByteArray>("photoName");
    QTest::newRow("plain") << QByteArray("IMG_0001.JPG");
    QTest::newRow("no valid text") << QByteArray("caf\xe9.jpg");
    QTest::newRow("a line break") << QByteArray("a\nb.jpg");
    QTest::newRow("longest name") << QByteArray(251, 'x') + ".jpg";
    QTest::newRow("long, in three-byte characters")
        << QString(QString::fromUtf8("\xe6\x97\xa5").repeated(80) + ".jpg").toUtf8();
    QTest::newRow("long, in four-byte characters")
        << QString(QString::fromUtf8("\xf0\x9f\x93\xb7").repeated(60) + ".jpg").toUtf8();
}

void HeldReplaceTest::tempNames() {
    QFETCH(QByteArray, photoName);
    const QByteArray name = tempNameFor(photoName);
    QVERIFY(name.startsWith('.'));
    QVERIFY(name.endsWith(".tmp"));
    QVERIFY(name.size() <= 255);
    QCOMPARE(QString::fromUtf8(name).toUtf8(), name); // a tool can be given its path
    QVERIFY(isTempName(name));
    QVERIFY(!PhotoNamePatterns(photoNameFilters()).matches(QString::fromUtf8(name)));
    QVERIFY(!isTempName(photoName));
    QVERIFY(tempNameFor(photoName) != name);
}

void HeldReplaceTest::replaceKeepsIdentityAndExactTimes_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("p.jpg");
    QTest::newRow("no valid text") << QByteArray("caf\xe9.jpg");
}

void HeldReplaceTest::replaceKeepsIdentityAndExactTimes() {
    QFETCH(QByteArray, name);
    const QByteArray path = QFile::encodeName(folderPath) + "/" + name;
    QVERIFY(RawFiles::write(path, "the original"));
    QCOMPARE(::chmod(path.constData(), 0640), 0);
    QCOMPARE(::setxattr(path.constData(), "user.tag", "holiday", 7, 0), 0);
    const uint owner = OtherUser::isRoot() ? 65534 : ::geteuid();
    const uint group = OtherUser::isRoot() ? 65534 : ::getegid();
    QCOMPARE(::chown(path.constData(), owner, group), 0);
    const struct timespec times[2] = {timespecOf(1500000000, 987654321),
                                      timespecOf(1600000000, 123456789)};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);

    const std::unique_ptr<HeldPhoto> photo = openPhoto(name);
    QVERIFY(photo);
    QCOMPARE(photo->status().modified, (FileTime{1600000000, 123456789}));
    FileProblem problem;
    std::unique_ptr<HeldTempFile> temp = HeldTempFile::create(photo->folder(), name, &problem);
    QVERIFY2(temp, qPrintable(problem.text()));
    QVERIFY(temp->write("the rotated version", &problem));
    QVERIFY(temp->setTimes(photo->status().modified, photo->status().accessed, &problem));
    QCOMPARE(temp->replace(*photo, &problem), HeldTempFile::Outcome::Replaced);
    temp.reset();

    struct stat replaced;
    QCOMPARE(::stat(path.constData(), &replaced), 0);
    QVERIFY(replaced.st_ino != photo->status().key.inode);
    QCOMPARE(replaced.st_mode & 07777, mode_t(0640));
    QCOMPARE(uint(replaced.st_uid), owner);
    QCOMPARE(uint(replaced.st_gid), group);
    QCOMPARE(qint64(replaced.st_mtim.tv_sec), qint64(1600000000));
    QCOMPARE(replaced.st_mtim.tv_nsec, 123456789L);
    QCOMPARE(qint64(replaced.st_atim.tv_sec), qint64(1500000000));
    QCOMPARE(replaced.st_atim.tv_nsec, 987654321L);
    char tag[16] = {};
    QCOMPARE(::getxattr(path.constData(), "user.tag", tag, sizeof tag), ssize_t(7));
    QCOMPARE(QByteArray(tag), QByteArray("holiday"));
    QCOMPARE(RawFiles::read(path), QByteArray("the rotated version"));
    QVERIFY(tempFilesIn(folderPath).isEmpty());
}

void HeldReplaceTest::exifDateIsLocalTimeToTheSecond() {
    const std::optional<FileTime> time = fileTimeFromExifDate("2021:07:04 18:30:05");
    QVERIFY(time);
    QCOMPARE(time->seconds, QDateTime(QDate(2021, 7, 4), QTime(18, 30, 5)).toSecsSinceEpoch());
    QCOMPARE(time->nanoseconds, 0);
    QVERIFY(!fileTimeFromExifDate("2021:13:04 18:30:05"));
    QVERIFY(!fileTimeFromExifDate("    :  :     :  :  "));
    QVERIFY(!fileTimeFromExifDate(""));

    const QByteArray path = QFile::encodeName(folderPath) + "/p.jpg";
    QVERIFY(RawFiles::write(path, "photo"));
    const std::unique_ptr<HeldPhoto> photo = openPhoto("p.jpg");
    QVERIFY(photo);
    std::unique_ptr<HeldTempFile> temp = HeldTempFile::create(photo->folder(), "p.jpg", nullptr);
    QVERIFY(temp);
    const struct timespec accessed[2] = {timespecOf(1400000000, 555), {0, UTIME_OMIT}};
    QCOMPARE(::futimens(temp->descriptor(), accessed), 0);
    QVERIFY(temp->setTimes(*time, std::nullopt, nullptr));
    FileStatus status;
    QVERIFY(temp->status(&status, nullptr));
    QCOMPARE(status.modified, *time);
    QCOMPARE(status.accessed, (FileTime{1400000000, 555})); // kept as it was
}

void HeldReplaceTest::replaceLeavesAChangedPhotoAsItIs_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("photoAfter");
    QTest::newRow("written meanwhile") << "write" << QByteArray("the original, and more");
    QTest::newRow("swapped for a link") << "link" << QByteArray("outside");
    QTest::newRow("opened for writing by another process") << "open" << QByteArray("the original");
}

void HeldReplaceTest::replaceLeavesAChangedPhotoAsItIs() {
    QFETCH(QString, change);
    QFETCH(QByteArray, photoAfter);
    const QString path = folderPath + "/p.jpg";
    QVERIFY(RawFiles::write(QFile::encodeName(path), "the original"));
    QVERIFY(RawFiles::write(QFile::encodeName(sandbox->filePath("outside.jpg")), "outside"));
    const std::unique_ptr<HeldPhoto> photo = openPhoto("p.jpg");
    QVERIFY(photo);
    std::unique_ptr<HeldTempFile> temp = HeldTempFile::create(photo->folder(), "p.jpg", nullptr);
    QVERIFY(temp);
    QVERIFY(temp->write("the rotated version", nullptr));

    if (change == "write") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(", and more"), qint64(10));
    } else if (change == "link") {
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(sandbox->filePath("outside.jpg"), path));
    } else {
        QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);
        QCOMPARE(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK), -1);
        photo->releaseLease();
        // The break came first: the released lease still counts as broken for this photo.
        QVERIFY(photo->placement(nullptr) == HeldPhoto::Placement::InPlace || change == "open");
        QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);
        QCOMPARE(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK), -1);
    }

    FileProblem problem;
    QCOMPARE(temp->replace(*photo, &problem), HeldTempFile::Outcome::PhotoChanged);
    QVERIFY(!problem.reason.isEmpty());
    temp.reset();
    photo->releaseLease();
    QCOMPARE(RawFiles::read(QFile::encodeName(path)), photoAfter);
    QVERIFY(tempFilesIn(folderPath).isEmpty());
    QCOMPARE(RawFiles::read(QFile::encodeName(sandbox->filePath("outside.jpg"))),
             QByteArray("outside"));
}

void HeldReplaceTest::protectionIsFoundBeforeAnythingIsMade_data() {
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("on");
    QTest::addColumn<FileProblem::Kind>("kind");
    QTest::newRow("nothing") << ""
                             << "" << FileProblem::Kind::None;
    QTest::newRow("append-only folder") << "+a"
                                        << "folder" << FileProblem::Kind::Protected;
    QTest::newRow("immutable folder") << "+i"
                                      << "folder" << FileProblem::Kind::Protected;
    QTest::newRow("append-only photo") << "+a"
                                       << "photo" << FileProblem::Kind::Protected;
    QTest::newRow("immutable photo") << "+i"
                                     << "photo" << FileProblem::Kind::Protected;
}

// chattr needs root (CAP_LINUX_IMMUTABLE) and a file system with these flags; root can set them
// but, unlike permission bits, they stop root too.
void HeldReplaceTest::protectionIsFoundBeforeAnythingIsMade() {
    QFETCH(QString, flags);
    QFETCH(QString, on);
    QFETCH(FileProblem::Kind, kind);
    const QString photoPath = folderPath + "/p.jpg";
    QVERIFY(RawFiles::write(QFile::encodeName(photoPath), "photo"));
    const QString target = on == "folder" ? folderPath : photoPath;
    if (!flags.isEmpty() && !chattr(flags, target))
        QSKIP("chattr cannot set these flags here (needs root and a file system that has them)");
    const auto unprotect = qScopeGuard([&] {
        if (!flags.isEmpty())
            chattr("-ai", target);
    });

    const std::unique_ptr<HeldPhoto> photo = openPhoto("p.jpg");
    QVERIFY(photo);
    const FileProblem blocker = replacementBlocker(*photo);
    QCOMPARE(blocker.kind, kind);
    if (kind == FileProblem::Kind::None)
        return;
    QCOMPARE(blocker.path, target);
    QVERIFY(!blocker.reason.isEmpty());
    if (flags == "+a" && on == "folder") {
        // What the check spares the photo: a file made here would stay for good.
        std::unique_ptr<HeldTempFile> temp =
            HeldTempFile::create(photo->folder(), "p.jpg", nullptr);
        QVERIFY(temp);
        FileProblem problem;
        QCOMPARE(temp->replace(*photo, &problem), HeldTempFile::Outcome::Failed);
        QVERIFY(!temp->remove(&problem));
        chattr("-a", target);
        QVERIFY(temp->remove(&problem));
    }
}

void HeldReplaceTest::staleTempFilesGoHeldOnesStay() {
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, nullptr);
    QVERIFY(folder);
    const std::unique_ptr<HeldTempFile> held = HeldTempFile::create(folder, "a.jpg", nullptr);
    QVERIFY(held);
    const QByteArray stale = tempNameFor("b.jpg");
    const QByteArray linked = tempNameFor("c.jpg");
    const QByteArray folderNamed = tempNameFor("d.jpg");
    const QByteArray base = QFile::encodeName(folderPath) + "/";
    QVERIFY(RawFiles::write(base + stale, "left by a killed Pivotta"));
    QVERIFY(RawFiles::write(base + ".notes", "not Pivotta's"));
    QVERIFY(RawFiles::write(QFile::encodeName(sandbox->filePath("target")), "outside"));
    QCOMPARE(::symlink(QFile::encodeName(sandbox->filePath("target")).constData(),
                       (base + linked).constData()),
             0);
    QCOMPARE(::mkdir((base + folderNamed).constData(), 0755), 0);

    QList<FileProblem> problems;
    QCOMPARE(removeStaleTempFilesIn(*folder, &problems), QStringList{QString::fromUtf8(stale)});
    QVERIFY(problems.isEmpty());
    QStringList left =
        QDir(folderPath)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    QStringList expected{".notes", QString::fromUtf8(held->name()), QString::fromUtf8(linked),
                         QString::fromUtf8(folderNamed)};
    expected.sort();
    QCOMPARE(left, expected);
    QVERIFY(held->write("still writable", nullptr));
    QCOMPARE(RawFiles::read(QFile::encodeName(sandbox->filePath("target"))), QByteArray("outside"));
}

void HeldReplaceTest::toolReachesTheTempFileThroughThisProcess() {
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, nullptr);
    QVERIFY(folder);
    const std::unique_ptr<HeldTempFile> temp = HeldTempFile::create(folder, "a.jpg", nullptr);
    QVERIFY(temp);
    QVERIFY(temp->write("for the tool", nullptr));
    const QString path = temp->toolPath();
    QVERIFY2(path.startsWith(QString("/proc/%1/fd/").arg(QCoreApplication::applicationPid())),
             qPrintable(path));
    // The folder is reached through the descriptor even when its path no longer leads there.
    QVERIFY(QDir(sandbox->path()).rename("photos", "moved"));
    QProcess tool;
    tool.start("/bin/cat", {path});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.readAllStandardOutput(), QByteArray("for the tool"));
}

QTEST_GUILESS_MAIN(HeldReplaceTest)
#include "tst_heldreplace.moc"

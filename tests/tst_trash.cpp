// Originals kept in the freedesktop.org trash before a photo is replaced: the .trashinfo text,
// the original in files/ with its bytes restorable, names that are taken, rolling back, a trash
// that cannot take the original, a copy where no link can be made, the trash at the top of a file
// system, a home trash that is a link, and the original an interrupted run left in the trash as a
// second name of the photo.
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include "files/fileproblem.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "files/heldtempfile.h"
#include "files/trash.h"
#include "rawfiles.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

QStringList entriesOf(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

struct TrashInfo {
    bool valid = false;
    QByteArray path; // decoded
    QByteArray encodedPath;
    QDateTime deletionDate;
};

// Read the way a file manager reads it, independently of the code that wrote it.
TrashInfo readTrashInfo(const QByteArray &path) {
    TrashInfo info;
    const QList<QByteArray> lines = RawFiles::read(path).split('\n');
    if (lines.size() < 3 || lines.at(0) != "[Trash Info]")
        return info;
    for (const QByteArray &line : lines) {
        if (line.startsWith("Path=")) {
            info.encodedPath = line.mid(5);
            info.path = QByteArray::fromPercentEncoding(info.encodedPath);
        } else if (line.startsWith("DeletionDate=")) {
            info.deletionDate =
                QDateTime::fromString(QString::fromLatin1(line.mid(13)), "yyyy-MM-ddTHH:mm:ss");
        }
    }
    info.valid = !info.path.isEmpty() && info.deletionDate.isValid();
    return info;
}

QByteArray realPath(const QString &path) {
    return QFile::encodeName(QFileInfo(path).canonicalFilePath());
}

} // namespace

class TrashTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trashInfoText_data();
    void trashInfoText();
    void trashNames_data();
    void trashNames();
    void originalIsKeptAndRestores_data();
    void originalIsKeptAndRestores();
    void eachOriginalGetsItsOwnName();
    void rollingBackRemovesBoth();
    void trashThatTakesNothingKeepsNoOriginal_data();
    void trashThatTakesNothingKeepsNoOriginal();
    void copyWhereNoLinkCanBeMade();
    void copyThatCannotBeWrittenLeavesNothing();
    void trashAtTheTopOfAFileSystem_data();
    void trashAtTheTopOfAFileSystem();
    void topOfTheFileSystemIsFoundGoingUp();
    void homeTrashThatIsALink_data();
    void homeTrashThatIsALink();
    void homeTrashOnAnotherDiskTakesACopy();
    void secondNameInTheTrash_data();
    void secondNameInTheTrash();

private:
    std::unique_ptr<HeldPhoto> makePhoto(const QString &folder, const QByteArray &name,
                                         const QByteArray &bytes);
    void useDataHome(const QString &dataHome);
    QString trashPath() const { return dataHome + "/Trash"; }
    // The state a run leaves when it ends between keeping the original and the rename: the photo
    // linked into the trash as files/`entry`, with a .trashinfo that names `infoPath`.
    bool leaveInTrash(const QString &photo, const QByteArray &entry, const QByteArray &infoPath);

    std::unique_ptr<QTemporaryDir> sandbox;
    QString dataHome;
    QString photos;
};

void TrashTest::init() {
    sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(sandbox->isValid());
    photos = sandbox->filePath("photos");
    QVERIFY(QDir().mkpath(photos));
    // Never the user's own trash.
    useDataHome(sandbox->filePath("data"));
}

void TrashTest::cleanup() {
    chattr("-i", trashPath() + "/info");
    chattr("-i", trashPath() + "/files");
    RawFiles::removeTree(sandbox->path());
    sandbox.reset();
}

void TrashTest::useDataHome(const QString &folder) {
    dataHome = folder;
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder));
}

std::unique_ptr<HeldPhoto> TrashTest::makePhoto(const QString &folder, const QByteArray &name,
                                                const QByteArray &bytes) {
    const QByteArray path = QFile::encodeName(folder) + "/" + name;
    if (!QDir().mkpath(folder) || !RawFiles::write(path, bytes))
        return nullptr;
    const struct timespec times[2] = {timespecOf(1500000000, 111), timespecOf(1600000000, 222)};
    ::utimensat(AT_FDCWD, path.constData(), times, 0);
    FileProblem problem;
    const std::shared_ptr<HeldFolder> held = HeldFolder::openRoot(folder, &problem);
    std::unique_ptr<HeldPhoto> photo = held ? HeldPhoto::open(held, name, &problem) : nullptr;
    if (!photo)
        qWarning() << problem.text();
    return photo;
}

void TrashTest::trashInfoText_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("pathLine");
    QTest::newRow("plain") << QByteArray("/home/ann/a.jpg") << QByteArray("Path=/home/ann/a.jpg");
    QTest::newRow("blank and percent")
        << QByteArray("/p/my photo 100%.jpg") << QByteArray("Path=/p/my%20photo%20100%25.jpg");
    QTest::newRow("plus and hash")
        << QByteArray("/p/a+b#1.jpg") << QByteArray("Path=/p/a%2Bb%231.jpg");
    QTest::newRow("UTF-8") << QByteArray("/p/\xc3\xbc.jpg") << QByteArray("Path=/p/%C3%BC.jpg");
    QTest::newRow("no valid text")
        << QByteArray("/p/caf\xe9.jpg") << QByteArray("Path=/p/caf%E9.jpg");
    QTest::newRow("relative") << QByteArray("sub/a.jpg") << QByteArray("Path=sub/a.jpg");
    QTest::newRow("line break") << QByteArray("/p/a\nb.jpg") << QByteArray("Path=/p/a%0Ab.jpg");
}

void TrashTest::trashInfoText() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, pathLine);
    const QDateTime date(QDate(2024, 1, 2), QTime(3, 4, 5));
    QCOMPARE(::trashInfoText(path, date),
             "[Trash Info]\n" + pathLine + "\nDeletionDate=2024-01-02T03:04:05\n");
}

void TrashTest::trashNames_data() {
    QTest::addColumn<QByteArray>("photoName");
    QTest::addColumn<int>("attempt");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("first") << QByteArray("a.jpg") << 1 << QByteArray("a.jpg");
    QTest::newRow("second") << QByteArray("a.jpg") << 2 << QByteArray("a.2.jpg");
    QTest::newRow("no extension") << QByteArray("photo") << 3 << QByteArray("photo.3");
    QTest::newRow("hidden") << QByteArray(".a") << 2 << QByteArray(".a.2");
    QTest::newRow("longest, cut to take .trashinfo")
        << QByteArray(251, 'x') + ".jpg" << 12 << QByteArray(238, 'x') + ".12.jpg";
    QTest::newRow("cut between characters") << QByteArray("\xc3\xbc").repeated(126) + ".jpg" << 1
                                            << QByteArray("\xc3\xbc").repeated(120) + ".jpg";
}

void TrashTest::trashNames() {
    QFETCH(QByteArray, photoName);
    QFETCH(int, attempt);
    QFETCH(QByteArray, expected);
    const QByteArray name = trashNameFor(photoName, attempt);
    QCOMPARE(name, expected);
    QVERIFY(name.size() + 10 <= 255);
}

void TrashTest::originalIsKeptAndRestores_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("a.jpg");
    QTest::newRow("blank and percent") << QByteArray("my photo 100%.jpg");
    QTest::newRow("no valid text") << QByteArray("caf\xe9.jpg");
}

// The original goes into the trash before the photo is replaced; afterwards files/NAME holds the
// original's bytes and times, and putting it back where the .trashinfo says gives the original.
void TrashTest::originalIsKeptAndRestores() {
    QFETCH(QByteArray, name);
    const QByteArray original = "original bytes of " + name;
    std::unique_ptr<HeldPhoto> photo = makePhoto(photos, name, original);
    QVERIFY(photo);
    FileProblem problem;
    const std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*photo, &problem);
    QVERIFY2(can, qPrintable(problem.text()));
    QCOMPARE(can->displayPath(), trashPath());
    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, &problem);
    QVERIFY2(kept, qPrintable(problem.text()));

    const QByteArray inFiles = QFile::encodeName(trashPath()) + "/files/" + name;
    const QByteArray infoPath = QFile::encodeName(trashPath()) + "/info/" + name + ".trashinfo";
    QCOMPARE(kept->displayPath(), QFile::decodeName(inFiles));
    const TrashInfo info = readTrashInfo(infoPath);
    QVERIFY(info.valid);
    QCOMPARE(info.path, realPath(photos) + "/" + name);
    QVERIFY(QRegularExpression("\\A[A-Za-z0-9/%._~-]+\\z")
                .match(QString::fromLatin1(info.encodedPath))
                .hasMatch());
    QVERIFY(qAbs(info.deletionDate.secsTo(QDateTime::currentDateTime())) < 3600);
    struct stat linked;
    QCOMPARE(::stat(inFiles.constData(), &linked), 0);
    QCOMPARE(quint64(linked.st_ino), photo->status().key.inode); // the same file, linked

    // The photo is replaced, and the replacement sees no change of its own making.
    std::unique_ptr<HeldTempFile> temp = HeldTempFile::create(photo->folder(), name, &problem);
    QVERIFY(temp);
    QVERIFY(temp->write("rotated", &problem));
    QCOMPARE(temp->replace(*photo, &problem), HeldTempFile::Outcome::Replaced);
    photo.reset();
    QCOMPARE(RawFiles::read(QFile::encodeName(photos) + "/" + name), QByteArray("rotated"));
    QCOMPARE(RawFiles::read(inFiles), original);

    // Restored as a file manager restores it (over the rotated version, once the user agrees).
    QCOMPARE(::rename(inFiles.constData(), info.path.constData()), 0);
    QCOMPARE(::unlink(infoPath.constData()), 0);
    QCOMPARE(RawFiles::read(info.path), original);
    struct stat restored;
    QCOMPARE(::stat(info.path.constData(), &restored), 0);
    QCOMPARE(qint64(restored.st_mtim.tv_sec), qint64(1600000000));
    QCOMPARE(restored.st_mtim.tv_nsec, 222L);
}

void TrashTest::eachOriginalGetsItsOwnName() {
    const std::unique_ptr<HeldPhoto> first = makePhoto(photos + "/one", "a.jpg", "first");
    const std::unique_ptr<HeldPhoto> second = makePhoto(photos + "/two", "a.jpg", "second");
    QVERIFY(first && second);
    const std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*first, nullptr);
    QVERIFY(can);
    const std::unique_ptr<KeptOriginal> keptFirst = can->keep(*first, nullptr);
    const std::unique_ptr<KeptOriginal> keptSecond = can->keep(*second, nullptr);
    QVERIFY(keptFirst && keptSecond);
    QCOMPARE(entriesOf(trashPath() + "/files"), (QStringList{"a.2.jpg", "a.jpg"}));
    QCOMPARE(entriesOf(trashPath() + "/info"),
             (QStringList{"a.2.jpg.trashinfo", "a.jpg.trashinfo"}));
    const QByteArray trash = QFile::encodeName(trashPath());
    QCOMPARE(RawFiles::read(trash + "/files/a.2.jpg"), QByteArray("second"));
    QCOMPARE(readTrashInfo(trash + "/info/a.2.jpg.trashinfo").path,
             realPath(photos) + "/two/a.jpg");
}

void TrashTest::rollingBackRemovesBoth() {
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "photo");
    QVERIFY(photo);
    const std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*photo, nullptr);
    QVERIFY(can);
    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, nullptr);
    QVERIFY(kept);
    QCOMPARE(entriesOf(trashPath() + "/files").size(), 1);
    kept->rollBack();
    QVERIFY(entriesOf(trashPath() + "/files").isEmpty());
    QVERIFY(entriesOf(trashPath() + "/info").isEmpty());
    FileStatus status;
    QVERIFY(photo->statusNow(&status, nullptr));
    QCOMPARE(status.links, quint64(1));
    QCOMPARE(RawFiles::read(QFile::encodeName(photos) + "/a.jpg"), QByteArray("photo"));
}

void TrashTest::trashThatTakesNothingKeepsNoOriginal_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("info is a file") << "info file";
    QTest::newRow("info takes no new file") << "info";
    QTest::newRow("files takes no new file") << "files";
}

// A trash that cannot take the original means the photo must be left as it is: there is no
// trash to be had, or keeping fails and leaves nothing behind. Root passes permission bits, so
// the folders are made immutable where chattr can (which stops root too).
void TrashTest::trashThatTakesNothingKeepsNoOriginal() {
    QFETCH(QString, fault);
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "photo");
    QVERIFY(photo);
    QVERIFY(QDir().mkpath(trashPath() + "/files"));
    if (fault == "info file") {
        QVERIFY(RawFiles::write(QFile::encodeName(trashPath()) + "/info", "not a folder"));
    } else {
        QVERIFY(QDir().mkpath(trashPath() + "/info"));
        const QString folder = trashPath() + "/" + fault;
        if (!chattr("+i", folder)) {
            if (::geteuid() == 0)
                QSKIP("chattr cannot make folders immutable here");
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
    }

    FileProblem problem;
    std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*photo, &problem);
    std::unique_ptr<KeptOriginal> kept = can ? can->keep(*photo, &problem) : nullptr;
    QVERIFY(!kept);
    QVERIFY2(problem.reason.startsWith("the original cannot be kept in the trash"),
             qPrintable(problem.text()));
    QVERIFY(entriesOf(trashPath() + "/files").isEmpty());
    if (fault != "info file")
        QVERIFY(entriesOf(trashPath() + "/info").isEmpty());
    QCOMPARE(RawFiles::read(QFile::encodeName(photos) + "/a.jpg"), QByteArray("photo"));
}

// A trash on another file system than the photo takes a copy: the same bytes, permissions and
// times.
void TrashTest::copyWhereNoLinkCanBeMade() {
    QTemporaryDir elsewhere("/dev/shm/tst_trash-XXXXXX");
    if (!elsewhere.isValid() ||
        QStorageInfo(elsewhere.path()).device() == QStorageInfo(sandbox->path()).device())
        QSKIP("no second file system to put a trash on");
    useDataHome(elsewhere.path());
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "the original");
    QVERIFY(photo);
    QCOMPARE(::fchmod(photo->descriptor(), 0640), 0);
    QVERIFY(photo->acceptOwnChange());
    FileProblem problem;
    const std::unique_ptr<TrashCan> can = TrashCan::openHome(&problem);
    QVERIFY2(can, qPrintable(problem.text()));
    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, &problem);
    QVERIFY2(kept, qPrintable(problem.text()));

    const QByteArray copy = QFile::encodeName(trashPath()) + "/files/a.jpg";
    QCOMPARE(RawFiles::read(copy), QByteArray("the original"));
    struct stat copied;
    QCOMPARE(::stat(copy.constData(), &copied), 0);
    QVERIFY(quint64(copied.st_ino) != photo->status().key.inode ||
            quint64(copied.st_dev) != photo->status().key.device);
    QCOMPARE(copied.st_mode & 0777, mode_t(0640));
    QCOMPARE(qint64(copied.st_mtim.tv_sec), qint64(1600000000));
    QCOMPARE(copied.st_mtim.tv_nsec, 222L);
    QVERIFY(readTrashInfo(QFile::encodeName(trashPath()) + "/info/a.jpg.trashinfo").valid);
}

// A file size limit makes the copy's writes fail the way a full disk does: nothing may stay.
void TrashTest::copyThatCannotBeWrittenLeavesNothing() {
    QTemporaryDir elsewhere("/dev/shm/tst_trash-XXXXXX");
    if (!elsewhere.isValid() ||
        QStorageInfo(elsewhere.path()).device() == QStorageInfo(sandbox->path()).device())
        QSKIP("no second file system to put a trash on");
    useDataHome(elsewhere.path());
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", QByteArray(64 * 1024, 'p'));
    QVERIFY(photo);
    const std::unique_ptr<TrashCan> can = TrashCan::openHome(nullptr);
    QVERIFY(can);

    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    FileProblem problem;
    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, &problem);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!kept);
    QVERIFY2(problem.reason.startsWith("the original cannot be kept in the trash"),
             qPrintable(problem.text()));
    QVERIFY(entriesOf(trashPath() + "/files").isEmpty());
    QVERIFY(entriesOf(trashPath() + "/info").isEmpty());
}

void TrashTest::trashAtTheTopOfAFileSystem_data() {
    QTest::addColumn<QString>("shared"); // what $topdir/.Trash is
    QTest::addColumn<QString>("expected");
    const QString uid = QString::number(::geteuid());
    QTest::newRow("none") << "none"
                          << ".Trash-" + uid;
    QTest::newRow("a folder with the sticky bit") << "sticky"
                                                  << ".Trash/" + uid;
    QTest::newRow("a folder without the sticky bit") << "plain"
                                                     << ".Trash-" + uid;
    QTest::newRow("a link to a folder with the sticky bit") << "link"
                                                            << ".Trash-" + uid;
}

void TrashTest::trashAtTheTopOfAFileSystem() {
    QFETCH(QString, shared);
    QFETCH(QString, expected);
    const QString top = sandbox->filePath("top");
    QVERIFY(QDir().mkpath(top));
    const QString sticky = shared == "link" ? sandbox->filePath("elsewhere") : top + "/.Trash";
    if (shared != "none") {
        QVERIFY(QDir().mkpath(sticky));
        QCOMPARE(::chmod(QFile::encodeName(sticky).constData(), shared == "plain" ? 0777 : 01777),
                 0);
    }
    if (shared == "link")
        QVERIFY(QFile::link(sticky, top + "/.Trash"));
    const std::unique_ptr<HeldPhoto> photo = makePhoto(top + "/sub", "p.jpg", "photo");
    QVERIFY(photo);

    FileProblem problem;
    const std::shared_ptr<HeldFolder> topdir = HeldFolder::openRoot(top, &problem);
    QVERIFY(topdir);
    const std::unique_ptr<TrashCan> can = TrashCan::openAtTop(topdir, &problem);
    QVERIFY2(can, qPrintable(problem.text()));
    QCOMPARE(can->displayPath(), top + "/" + expected);
    struct stat made;
    QCOMPARE(::stat(QFile::encodeName(top + "/" + expected).constData(), &made), 0);
    QCOMPARE(made.st_mode & 07777, mode_t(0700));
    QCOMPARE(made.st_uid, ::geteuid());

    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, &problem);
    QVERIFY2(kept, qPrintable(problem.text()));
    const TrashInfo info =
        readTrashInfo(QFile::encodeName(top + "/" + expected) + "/info/p.jpg.trashinfo");
    QVERIFY(info.valid);
    QCOMPARE(info.path, QByteArray("sub/p.jpg")); // relative to the top
    QCOMPARE(RawFiles::read(QFile::encodeName(top + "/" + expected) + "/files/p.jpg"),
             QByteArray("photo"));
}

void TrashTest::topOfTheFileSystemIsFoundGoingUp() {
    QVERIFY(QDir().mkpath(photos + "/a/b"));
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(photos + "/a/b", &problem);
    QVERIFY(folder);
    const std::shared_ptr<HeldFolder> top = fileSystemTopAbove(folder, &problem);
    QVERIFY2(top, qPrintable(problem.text()));
    QCOMPARE(QFile::decodeName(top->place()->nativePath), QStorageInfo(photos).rootPath());
}

bool TrashTest::leaveInTrash(const QString &photo, const QByteArray &entry,
                             const QByteArray &infoPath) {
    const QByteArray trash = QFile::encodeName(trashPath());
    if (!QDir().mkpath(trashPath() + "/files") || !QDir().mkpath(trashPath() + "/info"))
        return false;
    return ::link(QFile::encodeName(photo).constData(), (trash + "/files/" + entry).constData()) ==
               0 &&
           RawFiles::write(trash + "/info/" + entry + ".trashinfo",
                           ::trashInfoText(infoPath, QDateTime::currentDateTime()));
}

void TrashTest::homeTrashThatIsALink_data() {
    QTest::addColumn<QString>("target"); // what the link leads to
    QTest::addColumn<bool>("taken");
    QTest::newRow("a folder of the user's") << "own" << true;
    QTest::newRow("a folder that does not exist") << "missing" << false;
    QTest::newRow("a file") << "file" << false;
    QTest::newRow("a folder of another user") << "other user" << false;
}

// A home trash kept elsewhere through a link is the user's own: followed to a folder of theirs.
void TrashTest::homeTrashThatIsALink() {
    QFETCH(QString, target);
    QFETCH(bool, taken);
    if (target == "other user" && ::geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    const QString elsewhere = sandbox->filePath("second disk/Trash");
    if (target == "file")
        QVERIFY(QDir().mkpath(sandbox->filePath("second disk")) &&
                RawFiles::write(QFile::encodeName(elsewhere), "not a folder"));
    else if (target != "missing")
        QVERIFY(QDir().mkpath(elsewhere));
    if (target == "other user")
        QCOMPARE(::chown(QFile::encodeName(elsewhere).constData(), 65534, 65534), 0);
    QVERIFY(QDir().mkpath(dataHome));
    QVERIFY(QFile::link(elsewhere, trashPath()));
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "the original");
    QVERIFY(photo);

    FileProblem problem;
    const std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*photo, &problem);
    const std::unique_ptr<KeptOriginal> kept = can ? can->keep(*photo, &problem) : nullptr;
    QCOMPARE(bool(kept), taken);
    QCOMPARE(QFileInfo(trashPath()).isSymLink(), true);
    if (!taken) {
        QVERIFY2(problem.reason.startsWith("the original cannot be kept in the trash"),
                 qPrintable(problem.text()));
        QVERIFY(!QFileInfo::exists(elsewhere + "/files"));
        return;
    }
    QCOMPARE(can->displayPath(), trashPath());
    QCOMPARE(RawFiles::read(QFile::encodeName(elsewhere) + "/files/a.jpg"),
             QByteArray("the original"));
    struct stat linked;
    QCOMPARE(::stat(QFile::encodeName(elsewhere + "/files/a.jpg").constData(), &linked), 0);
    QCOMPARE(quint64(linked.st_ino), photo->status().key.inode);
    QCOMPARE(readTrashInfo(QFile::encodeName(elsewhere) + "/info/a.jpg.trashinfo").path,
             realPath(photos) + "/a.jpg");
}

// A home trash linked to another disk takes the originals of photos on the home's disk too, as a
// copy.
void TrashTest::homeTrashOnAnotherDiskTakesACopy() {
    QTemporaryDir elsewhere("/dev/shm/tst_trash-XXXXXX");
    if (!elsewhere.isValid() ||
        QStorageInfo(elsewhere.path()).device() == QStorageInfo(sandbox->path()).device())
        QSKIP("no second file system to put a trash on");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(sandbox->path()));
    const auto homeBack = qScopeGuard([&home] { qputenv("HOME", home); });
    QVERIFY(QDir().mkpath(dataHome));
    QVERIFY(QFile::link(elsewhere.path(), trashPath()));
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "the original");
    QVERIFY(photo);

    FileProblem problem;
    const std::unique_ptr<TrashCan> can = TrashCan::forPhoto(*photo, &problem);
    QVERIFY2(can, qPrintable(problem.text()));
    QCOMPARE(can->displayPath(), trashPath());
    const std::unique_ptr<KeptOriginal> kept = can->keep(*photo, &problem);
    QVERIFY2(kept, qPrintable(problem.text()));
    QCOMPARE(RawFiles::read(QFile::encodeName(elsewhere.path()) + "/files/a.jpg"),
             QByteArray("the original"));
    FileStatus status;
    QVERIFY(photo->statusNow(&status, nullptr));
    QCOMPARE(status.links, quint64(1));
}

void TrashTest::secondNameInTheTrash_data() {
    QTest::addColumn<QByteArray>("entry"); // the photo's name in files/, empty for none
    QTest::addColumn<QString>("info");     // what its .trashinfo names: "photo", "other", "none"
    QTest::addColumn<QByteArray>("neighbour"); // another file in files/, under this name
    QTest::addColumn<int>("expected");         // TrashCan::SecondName
    const int takenOut = int(TrashCan::SecondName::TakenOut);
    const int inTrash = int(TrashCan::SecondName::InTrash);
    const int notInTrash = int(TrashCan::SecondName::NotInTrash);
    QTest::newRow("kept for it") << QByteArray("a.jpg") << "photo" << QByteArray() << takenOut;
    QTest::newRow("kept for it under a later name")
        << QByteArray("a.3.jpg") << "photo" << QByteArray("a.jpg") << takenOut;
    QTest::newRow("kept for another place")
        << QByteArray("a.jpg") << "other" << QByteArray() << inTrash;
    QTest::newRow("without a .trashinfo")
        << QByteArray("a.jpg") << "none" << QByteArray() << inTrash;
    QTest::newRow("a .trashinfo that is a FIFO")
        << QByteArray("a.jpg") << "fifo" << QByteArray() << inTrash;
    QTest::newRow("not in the trash")
        << QByteArray() << "none" << QByteArray("a.jpg") << notInTrash;
    QTest::newRow("no trash at all") << QByteArray() << "none" << QByteArray() << notInTrash;
}

// A run that ends between the link into the trash and the rename leaves the photo with a second
// name there. The entry its .trashinfo says was kept for this photo is taken out again, and the
// photo has one name; any other entry stays, and is named.
void TrashTest::secondNameInTheTrash() {
    QFETCH(QByteArray, entry);
    QFETCH(QString, info);
    QFETCH(QByteArray, neighbour);
    QFETCH(int, expected);
    const std::unique_ptr<HeldPhoto> photo = makePhoto(photos, "a.jpg", "the photo");
    QVERIFY(photo);
    const QByteArray trash = QFile::encodeName(trashPath());
    const bool noTrash = entry.isEmpty() && neighbour.isEmpty();
    if (!noTrash)
        QVERIFY(QDir().mkpath(trashPath() + "/files") && QDir().mkpath(trashPath() + "/info"));
    if (!neighbour.isEmpty())
        QVERIFY(RawFiles::write(trash + "/files/" + neighbour, "another photo"));
    const QByteArray photoPath = realPath(photos) + "/a.jpg";
    if (!entry.isEmpty()) {
        QVERIFY(leaveInTrash(QFile::decodeName(photoPath), entry,
                             info == "other" ? realPath(photos) + "/elsewhere/a.jpg" : photoPath));
        const QByteArray infoFile = trash + "/info/" + entry + ".trashinfo";
        if (info == "none" || info == "fifo")
            QCOMPARE(::unlink(infoFile.constData()), 0);
        if (info == "fifo")
            QCOMPARE(::mkfifo(infoFile.constData(), 0600), 0);
    } else {
        QVERIFY(::link(photoPath.constData(), (photoPath + ".second").constData()) == 0);
    }
    QVERIFY(photo->acceptOwnChange()); // examined as it is now, with its second name
    const QStringList filesBefore = entriesOf(trashPath() + "/files");
    const QStringList infoBefore = entriesOf(trashPath() + "/info");

    QString entryPath;
    const TrashCan::SecondName found = TrashCan::lookForSecondName(*photo, &entryPath);
    QCOMPARE(int(found), expected);
    QCOMPARE(RawFiles::read(photoPath), QByteArray("the photo"));
    FileStatus now;
    QVERIFY(photo->statusNow(&now, nullptr));
    if (found == TrashCan::SecondName::TakenOut) {
        QCOMPARE(entryPath, trashPath() + "/files/" + QString::fromUtf8(entry));
        QCOMPARE(now.links, quint64(1));
        QCOMPARE(photo->status().links, quint64(1)); // taken as its own change
        QCOMPARE(entriesOf(trashPath() + "/files"),
                 neighbour.isEmpty() ? QStringList() : QStringList{QString::fromUtf8(neighbour)});
        QVERIFY(entriesOf(trashPath() + "/info").isEmpty());
        return;
    }
    QCOMPARE(now.links, quint64(2));
    QCOMPARE(QFileInfo::exists(trashPath()), !noTrash); // looking makes no trash
    QCOMPARE(entryPath, found == TrashCan::SecondName::InTrash
                            ? trashPath() + "/files/" + QString::fromUtf8(entry)
                            : QString());
    QCOMPARE(entriesOf(trashPath() + "/files"), filesBefore);
    QCOMPARE(entriesOf(trashPath() + "/info"), infoBefore);
}

QTEST_GUILESS_MAIN(TrashTest)
#include "tst_trash.moc"

// Photos held by descriptor: what is refused at open (a link swapped in, a FIFO, an unreadable
// photo, a photo another program holds by its lease), the read lease (refused while a writer holds
// the photo, broken by a writer or a truncation and let go at once, never by a reader,
// unavailable for another owner's photo), the rotation lock between Pivottas, looking twice
// where there is no lease, the last check before the rename, and the descriptors that photos in
// work need.
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "files/descriptorbudget.h"
#include "files/fileproblem.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "files/leasebreaks.h"
#include "files/settledcheck.h"
#include "otheruser.h"
#include "rawfiles.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SettledVerdict::Kind)

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int leaseBreakTimeSeconds() {
    bool ok = false;
    const int seconds = readFile("/proc/sys/fs/lease-break-time").trimmed().toInt(&ok);
    return ok ? seconds : 45;
}

qint64 openDescriptors() {
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
}

FileStatus statusWith(qint64 size, qint64 modifiedSeconds, qint64 changedSeconds,
                      quint64 inode = 7) {
    FileStatus status;
    status.key = {1, inode};
    status.type = FileStatus::Type::RegularFile;
    status.size = size;
    status.modified = {modifiedSeconds, 0};
    status.changed = {changedSeconds, 0};
    return status;
}

} // namespace

class HeldPhotosTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void linkSwappedInForAListedPhotoIsRefused();
    void fifoNamedLikeAPhotoIsNeitherWaitedForNorRead();
    void unreadablePhotoIsReported();
    void chosenPhotoFollowsTheUsersLink();
    void leaseIsRefusedOnlyWhileAWriterHasThePhotoOpen_data();
    void leaseIsRefusedOnlyWhileAWriterHasThePhotoOpen();
    void leaseIsBrokenByWritersOnly_data();
    void leaseIsBrokenByWritersOnly();
    void noLeaseForAnotherOwnersPhoto();
    void photoLeasedByAnotherProgramIsInUse();
    void rotationLockKeepsOutAnotherPivotta();
    void looksCompared_data();
    void looksCompared();
    void lastCheckBeforeTheRename_data();
    void lastCheckBeforeTheRename();
    void photosInWorkFitTheDescriptors_data();
    void photosInWorkFitTheDescriptors();
    void aRunningToolNeedsNoMoreThanCounted();
    void limitIsRaisedToTheHardLimit();
    void openingWithoutDescriptorsLeftIsReported();

private:
    std::unique_ptr<HeldPhoto> openPhoto(const QString &name, FileProblem *problem = nullptr);

    std::unique_ptr<QTemporaryDir> sandbox;
    QString folderPath;
};

void HeldPhotosTest::init() {
    sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(sandbox->isValid());
    QVERIFY(QFile::setPermissions(
        sandbox->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                             QFileDevice::ReadOther | QFileDevice::ExeOther));
    folderPath = sandbox->filePath("photos");
    QVERIFY(QDir().mkpath(folderPath));
    QVERIFY(writeFile(folderPath + "/a.jpg", "the photo"));
}

std::unique_ptr<HeldPhoto> HeldPhotosTest::openPhoto(const QString &name, FileProblem *problem) {
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, problem);
    return folder ? HeldPhoto::open(folder, QFile::encodeName(name), problem) : nullptr;
}

void HeldPhotosTest::linkSwappedInForAListedPhotoIsRefused() {
    QVERIFY(writeFile(sandbox->filePath("secret.jpg"), "outside"));
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, nullptr);
    QVERIFY(folder);
    QList<FolderEntry> entries;
    QList<FileProblem> problems;
    QVERIFY(folder->list(&entries, &problems));
    QCOMPARE(entries.size(), 1);

    QVERIFY(QFile::remove(folderPath + "/a.jpg"));
    QVERIFY(QFile::link(sandbox->filePath("secret.jpg"), folderPath + "/a.jpg"));

    FileProblem problem;
    QVERIFY(!HeldPhoto::open(folder, entries.first().name, &problem));
    QCOMPARE(problem.kind, FileProblem::Kind::SymbolicLink);
    QCOMPARE(problem.path, folderPath + "/a.jpg");
}

// A writer waits on the FIFO's other end; had Pivotta opened it for reading, the writer would
// have gone on and its bytes would be gone. They are all still there for the test to read.
void HeldPhotosTest::fifoNamedLikeAPhotoIsNeitherWaitedForNorRead() {
    const QString fifo = folderPath + "/x.jpg";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QProcess writer;
    writer.start("/bin/sh", {"-c", "printf 'fifo bytes' > \"$0\"", fifo});
    QVERIFY(writer.waitForStarted());

    FileProblem problem;
    QVERIFY(!openPhoto("x.jpg", &problem));
    QCOMPARE(problem.kind, FileProblem::Kind::NotRegularFile);
    QVERIFY(!HeldPhoto::openChosen(fifo, &problem));
    QCOMPARE(problem.kind, FileProblem::Kind::NotRegularFile);

    QCOMPARE(readFile(fifo), QByteArray("fifo bytes"));
    QVERIFY(writer.waitForFinished());
}

void HeldPhotosTest::unreadablePhotoIsReported() {
    OTHER_USER_MUST_REACH(folderPath);
    QVERIFY(QFile::setPermissions(folderPath + "/a.jpg", QFileDevice::WriteOwner));
    const int result = OtherUser::run([this] {
        FileProblem problem;
        if (openPhoto("a.jpg", &problem))
            return 1;
        if (problem.kind != FileProblem::Kind::NoPermission || !problem.path.endsWith("/a.jpg") ||
            problem.reason.isEmpty())
            return 2;
        return 0;
    });
    QCOMPARE(result, 0);
}

void HeldPhotosTest::chosenPhotoFollowsTheUsersLink() {
    QVERIFY(QFile::link(folderPath + "/a.jpg", sandbox->filePath("chosen.jpg")));
    FileProblem problem;
    const std::unique_ptr<HeldPhoto> photo =
        HeldPhoto::openChosen(sandbox->filePath("chosen.jpg"), &problem);
    QVERIFY2(photo, qPrintable(problem.text()));
    QCOMPARE(photo->name(), QByteArray("a.jpg"));
    QByteArray bytes;
    QVERIFY(photo->readAll(&bytes, &problem));
    QCOMPARE(bytes, QByteArray("the photo"));
}

void HeldPhotosTest::leaseIsRefusedOnlyWhileAWriterHasThePhotoOpen_data() {
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<HeldPhoto::Lease>("lease");
    QTest::newRow("a writer") << ">>" << HeldPhoto::Lease::OpenForWriting;
    QTest::newRow("a reader and writer") << "<>" << HeldPhoto::Lease::OpenForWriting;
    QTest::newRow("a reader") << "<" << HeldPhoto::Lease::Held;
}

// The other process opens the photo, says so, and keeps it open until its input ends.
void HeldPhotosTest::leaseIsRefusedOnlyWhileAWriterHasThePhotoOpen() {
    QFETCH(QString, redirection);
    QFETCH(HeldPhoto::Lease, lease);
    QProcess holder;
    holder.start("/bin/sh", {"-c", "exec 3" + redirection + "\"$0\"; echo open; read line",
                             folderPath + "/a.jpg"});
    QVERIFY(holder.waitForReadyRead());
    QCOMPARE(holder.readAllStandardOutput(), QByteArray("open\n"));

    const std::unique_ptr<HeldPhoto> photo = openPhoto("a.jpg");
    QVERIFY(photo);
    QCOMPARE(photo->writersNow(), lease);
    QVERIFY(!photo->holdsLease());
    QCOMPARE(photo->takeReadLease(), lease);
    QCOMPARE(photo->holdsLease(), lease == HeldPhoto::Lease::Held);
    photo->releaseLease();

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished());
    QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);
    QVERIFY(!photo->leaseBroken());
}

void HeldPhotosTest::leaseIsBrokenByWritersOnly_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<QByteArray>("photoAfter");
    QTest::newRow("a reader") << "cat \"$0\"" << false << QByteArray("the photo");
    QTest::newRow("a writer") << "printf ', more' >> \"$0\"" << true
                              << QByteArray("the photo, more");
    QTest::newRow("a truncation") << "perl -e 'truncate($ARGV[0], 3) or exit 1' \"$0\"" << true
                                  << QByteArray("the");
}

// A reader goes on at once and leaves the lease as it is. A writer's open or a truncation waits,
// the break is told at once, and the photo's owner lets the lease go, so the other process goes
// on long before the kernel would have taken the lease away itself.
void HeldPhotosTest::leaseIsBrokenByWritersOnly() {
    QFETCH(QString, command);
    QFETCH(bool, breaks);
    QFETCH(QByteArray, photoAfter);
    LeaseBreakNotifier notifier;
    QSignalSpy breaking(&notifier, &LeaseBreakNotifier::leaseBreaking);
    const std::unique_ptr<HeldPhoto> photo = openPhoto("a.jpg");
    QVERIFY(photo);
    QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);

    QProcess other;
    other.start("/bin/sh", {"-c", command, folderPath + "/a.jpg"});
    QVERIFY(other.waitForStarted());
    const int breakTimeMs = (leaseBreakTimeSeconds() - 5) * 1000;
    if (breaks) {
        QVERIFY(breaking.wait(breakTimeMs));
        QCOMPARE(breaking.first().first().toInt(), photo->descriptor());
        QVERIFY(photo->leaseBroken());
        photo->releaseLease();
    }
    QVERIFY(other.waitForFinished(breakTimeMs));
    QCOMPARE(other.exitCode(), 0);
    if (!breaks) {
        QCoreApplication::processEvents();
        QVERIFY(breaking.isEmpty());
        QVERIFY(photo->holdsLease());
        QVERIFY(!photo->leaseBroken());
        QCOMPARE(other.readAllStandardOutput(), photoAfter);
    }
    QCOMPARE(readFile(folderPath + "/a.jpg"), photoAfter);
}

// Root has CAP_LEASE, so the check runs as another user on root's photo.
void HeldPhotosTest::noLeaseForAnotherOwnersPhoto() {
    const QString path = OtherUser::isRoot() ? folderPath + "/a.jpg" : QString("/etc/passwd");
    OTHER_USER_MUST_REACH(path);
    const int result = OtherUser::run([path] {
        FileProblem problem;
        const std::unique_ptr<HeldPhoto> photo = HeldPhoto::openChosen(path, &problem);
        if (!photo)
            return 1;
        if (photo->takeReadLease(&problem) != HeldPhoto::Lease::Unavailable)
            return 2;
        return problem.kind == FileProblem::Kind::NoPermission ? 0 : 3;
    });
    QCOMPARE(result, 0);
}

// A file server with kernel oplocks holds the photo by a write lease: opening it for reading
// would wait for the lease, so it is not waited for and is told as in use.
void HeldPhotosTest::photoLeasedByAnotherProgramIsInUse() {
    QProcess holder;
    holder.start(PIVOTTA_HOLDPHOTO, {"lease", folderPath + "/a.jpg"});
    QVERIFY(holder.waitForReadyRead());
    QCOMPARE(holder.readAllStandardOutput(), QByteArray("held\n"));

    QElapsedTimer opening;
    opening.start();
    FileProblem problem;
    QVERIFY(!openPhoto("a.jpg", &problem));
    QCOMPARE(problem.kind, FileProblem::Kind::InUse);
    QCOMPARE(problem.path, folderPath + "/a.jpg");
    QVERIFY2(opening.elapsed() < (leaseBreakTimeSeconds() - 5) * 1000, "the open waited");

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished());
    QVERIFY(openPhoto("a.jpg"));
}

// Another Pivotta turning the photo holds its rotation lock: the lock is refused, though its read
// lease, shared by nature, is not; once it lets go, the lock is had. Two opens within one program
// keep each other out alike.
void HeldPhotosTest::rotationLockKeepsOutAnotherPivotta() {
    QProcess otherPivotta;
    otherPivotta.start(PIVOTTA_HOLDPHOTO, {"rotation", folderPath + "/a.jpg"});
    QVERIFY(otherPivotta.waitForReadyRead());
    QCOMPARE(otherPivotta.readAllStandardOutput(), QByteArray("held\n"));

    const std::unique_ptr<HeldPhoto> photo = openPhoto("a.jpg");
    QVERIFY(photo);
    QCOMPARE(photo->takeRotationLock(), HeldPhoto::RotationLock::TakenElsewhere);
    QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);
    photo->releaseLease();

    otherPivotta.closeWriteChannel();
    QVERIFY(otherPivotta.waitForFinished());
    QCOMPARE(photo->takeRotationLock(), HeldPhoto::RotationLock::Taken);
    const std::unique_ptr<HeldPhoto> again = openPhoto("a.jpg");
    QVERIFY(again);
    QCOMPARE(again->takeRotationLock(), HeldPhoto::RotationLock::TakenElsewhere);
    photo->releaseRotationLock();
    QCOMPARE(again->takeRotationLock(), HeldPhoto::RotationLock::Taken);
}

void HeldPhotosTest::looksCompared_data() {
    QTest::addColumn<FileStatus>("first");
    QTest::addColumn<FileStatus>("second");
    QTest::addColumn<qint64>("secondsBetweenLooks");
    QTest::addColumn<qint64>("secondsSinceChange"); // at the second look
    QTest::addColumn<SettledVerdict::Kind>("verdict");
    QTest::addColumn<qint64>("waitMs");

    const FileStatus still = statusWith(1000, 0, 0);
    QTest::newRow("unchanged and old")
        << still << still << 1LL << 60LL << SettledVerdict::Kind::Settled << 0LL;
    QTest::newRow("grew") << still << statusWith(2000, 0, 0) << 1LL << 60LL
                          << SettledVerdict::Kind::Changing << settleLookIntervalMs;
    QTest::newRow("written, size kept") << still << statusWith(1000, 5, 5) << 1LL << 60LL
                                        << SettledVerdict::Kind::Changing << settleLookIntervalMs;
    QTest::newRow("another file") << still << statusWith(1000, 0, 0, 8) << 1LL << 60LL
                                  << SettledVerdict::Kind::Changing << settleLookIntervalMs;
    QTest::newRow("looks too close together")
        << still << still << 0LL << 60LL << SettledVerdict::Kind::WaitMore << settleLookIntervalMs;
    QTest::newRow("changed a second ago")
        << still << still << 1LL << 1LL << SettledVerdict::Kind::WaitMore << 1000LL;
    QTest::newRow("change time a second ahead of the clock")
        << still << still << 1LL << -1LL << SettledVerdict::Kind::WaitMore << 3000LL;
    QTest::newRow("a clock far behind the file's")
        << still << still << 1LL << -3600LL << SettledVerdict::Kind::Settled << 0LL;
}

void HeldPhotosTest::looksCompared() {
    QFETCH(FileStatus, first);
    QFETCH(FileStatus, second);
    QFETCH(qint64, secondsBetweenLooks);
    QFETCH(qint64, secondsSinceChange);
    QFETCH(SettledVerdict::Kind, verdict);
    QFETCH(qint64, waitMs);
    const FileTime secondLook{second.changed.seconds + secondsSinceChange, 0};
    const FileTime firstLook{secondLook.seconds - secondsBetweenLooks, 0};
    const SettledVerdict result = compareLooks({first, firstLook}, {second, secondLook});
    QCOMPARE(result.kind, verdict);
    QCOMPARE(result.waitMs, waitMs);
}

void HeldPhotosTest::lastCheckBeforeTheRename_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<HeldPhoto::Placement>("placement");
    QTest::newRow("nothing") << "nothing" << HeldPhoto::Placement::InPlace;
    QTest::newRow("rewritten, size and time set back")
        << "rewrite" << HeldPhoto::Placement::Changed;
    QTest::newRow("another file under its name") << "replace" << HeldPhoto::Placement::Replaced;
    QTest::newRow("a link under its name") << "link" << HeldPhoto::Placement::Replaced;
    QTest::newRow("removed") << "remove" << HeldPhoto::Placement::Replaced;
    QTest::newRow("read by another program") << "read" << HeldPhoto::Placement::InPlace;
    QTest::newRow("lease broken by a writer") << "open" << HeldPhoto::Placement::Changed;
}

void HeldPhotosTest::lastCheckBeforeTheRename() {
    QFETCH(QString, change);
    QFETCH(HeldPhoto::Placement, placement);
    const QString path = folderPath + "/a.jpg";
    const std::unique_ptr<HeldPhoto> photo = openPhoto("a.jpg");
    QVERIFY(photo);
    QCOMPARE(photo->takeReadLease(), HeldPhoto::Lease::Held);

    if (change == "rewrite") {
        photo->releaseLease();
        const QDateTime time = QFileInfo(path).lastModified();
        QVERIFY(writeFile(path, "the PHOTO"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    } else if (change == "replace") {
        QVERIFY(QFile::remove(path));
        QVERIFY(writeFile(path, "the photo"));
    } else if (change == "link") {
        QVERIFY(QFile::rename(path, path + ".old"));
        QVERIFY(QFile::link(path + ".old", path));
    } else if (change == "remove") {
        QVERIFY(QFile::remove(path));
    } else if (change == "read") {
        QCOMPARE(readFile(path), QByteArray("the photo"));
    } else if (change == "open") {
        // O_NONBLOCK: the open gives up at once, but the break has begun.
        const int other = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        QCOMPARE(other, -1);
        QCOMPARE(errno, EWOULDBLOCK);
    }

    FileProblem problem;
    QCOMPARE(photo->placement(&problem), placement);
    QCOMPARE(problem.isProblem(), placement != HeldPhoto::Placement::InPlace);
}

void HeldPhotosTest::photosInWorkFitTheDescriptors_data() {
    QTest::addColumn<int>("wanted");
    QTest::addColumn<qint64>("free");
    QTest::addColumn<int>("expected");
    const int one = descriptorsPerPhotoInWork;
    QTest::newRow("plenty") << 8 << qint64(100000) << 8;
    QTest::newRow("room for three") << 8 << qint64(descriptorsReserved + 3 * one + one - 1) << 3;
    QTest::newRow("room for one") << 8 << qint64(descriptorsReserved + one) << 1;
    QTest::newRow("no room") << 8 << qint64(descriptorsReserved + one - 1) << 0;
    QTest::newRow("less than the reserve") << 8 << qint64(10) << 0;
    QTest::newRow("none wanted") << 0 << qint64(100000) << 0;
}

void HeldPhotosTest::photosInWorkFitTheDescriptors() {
    QFETCH(int, wanted);
    QFETCH(qint64, free);
    QFETCH(int, expected);
    QCOMPARE(photosInWorkFor(wanted, free), expected);
}

// The count the budget relies on, measured: tools started as the engine starts them, with all
// three standard channels.
void HeldPhotosTest::aRunningToolNeedsNoMoreThanCounted() {
    constexpr int tools = 4;
    const qint64 before = openDescriptorCount();
    QCOMPARE(before, openDescriptors() - 1); // the test's own listing holds one more
    std::vector<std::unique_ptr<QProcess>> running;
    for (int i = 0; i < tools; ++i) {
        running.push_back(std::make_unique<QProcess>());
        running.back()->start("/bin/cat", {});
        QVERIFY(running.back()->waitForStarted());
    }
    const qint64 during = openDescriptorCount();
    QVERIFY(during > before);
    QVERIFY2(during - before <= tools * descriptorsPerRunningTool,
             qPrintable(QString("%1 descriptors for %2 tools").arg(during - before).arg(tools)));
    for (const std::unique_ptr<QProcess> &tool : running) {
        tool->closeWriteChannel();
        QVERIFY(tool->waitForFinished());
    }
}

void HeldPhotosTest::limitIsRaisedToTheHardLimit() {
    struct rlimit limit;
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < 64)
        QSKIP("the hard limit is too low to lower the soft one");
    RawFiles::LoweredDescriptorLimit lowered(limit.rlim_max / 2);
    QCOMPARE(descriptorLimit(), qint64(limit.rlim_max / 2));
    QCOMPARE(raiseDescriptorLimit(), qint64(limit.rlim_max));
    QCOMPARE(descriptorLimit(), qint64(limit.rlim_max));
}

void HeldPhotosTest::openingWithoutDescriptorsLeftIsReported() {
    const std::shared_ptr<HeldFolder> folder = HeldFolder::openRoot(folderPath, nullptr);
    QVERIFY(folder);
    FileProblem photoProblem, folderProblem;
    std::unique_ptr<HeldPhoto> photo;
    std::shared_ptr<HeldFolder> again;
    int budget = -1;
    {
        RawFiles::LoweredDescriptorLimit limit(RawFiles::lowestFreeDescriptor());
        photo = HeldPhoto::open(folder, "a.jpg", &photoProblem);
        again = HeldFolder::openRoot(folderPath, &folderProblem);
        budget = photosInWorkNow(4);
    }
    QVERIFY(!photo);
    QCOMPARE(photoProblem.kind, FileProblem::Kind::OutOfDescriptors);
    QCOMPARE(photoProblem.path, folderPath + "/a.jpg");
    QVERIFY(!again);
    QCOMPARE(folderProblem.kind, FileProblem::Kind::OutOfDescriptors);
    QCOMPARE(budget, 0);
}

QTEST_GUILESS_MAIN(HeldPhotosTest)
#include "tst_heldphotos.moc"

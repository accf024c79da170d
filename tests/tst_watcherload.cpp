// The folder watcher under load, with real change notifications: photos arriving in bursts, and
// a photo whose copy stalls half-way.
#include "watcherfixture.h"

using namespace TestPhotos;

class WatcherLoadTest : public QObject, protected WatcherFixture {
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void photosArrivingInBursts();
    void photoStillBeingCopied();
};

// 200 photos in bursts of ten, with pauses shorter and longer than the settling delays: every
// photo is turned exactly once and undamaged, and the watcher comes to rest.
void WatcherLoadTest::photosArrivingInBursts() {
    openWatchedFolder();
    const QList<int> tags{6, 3, 8, 1};
    QHash<int, QByteArray> bytes;
    QHash<int, QImage> upright;
    for (const int tag : tags) {
        bytes[tag] = photoBytes(tag);
        const QString reference = sandbox->filePath(QString("reference%1.jpg").arg(tag));
        writeFile(reference, bytes[tag]);
        upright[tag] = uprightPixels(reference);
        QVERIFY(!upright[tag].isNull());
    }
    const QList<int> pausesMs{100, 400, 1100, 2200};
    for (int burst = 0; burst < 20; ++burst) {
        for (int i = 0; i < 10; ++i) {
            const int number = burst * 10 + i;
            const QString subfolder = number % 3 == 0 ? "/sub" : "";
            writeFile(folder() + subfolder + QString("/p%1.jpg").arg(number),
                      bytes[tags[number % tags.size()]]);
        }
        QTest::qWait(pausesMs[burst % pausesMs.size()]);
    }

    waitUntilIdle(40000);
    for (int number = 0; number < 200; ++number) {
        const QString subfolder = number % 3 == 0 ? "/sub" : "";
        const QString path = folder() + subfolder + QString("/p%1.jpg").arg(number);
        const int tag = tags[number % tags.size()];
        QCOMPARE(storedOrientation(path), 1);
        QVERIFY2(samePicture(storedPixels(path), upright[tag]), qPrintable(path));
    }
    QCOMPARE(QDir(folder()).entryList(QDir::Files).size(), 200 - 67);
    QVERIFY(!mainPaneText().contains("failed", Qt::CaseInsensitive));
}

// A copy that stalls half-way for longer than the settling delays: the photo is not tried while
// incomplete, and is turned once complete, without another file arriving to wake the watcher.
void WatcherLoadTest::photoStillBeingCopied() {
    openWatchedFolder();
    const QByteArray bytes = photoBytes(6);
    const QString reference = sandbox->filePath("reference.jpg");
    writeFile(reference, bytes);
    const QString path = folder() + "/slow.jpg";
    const QByteArray firstHalf = bytes.left(bytes.size() / 2);

    QFile copy(path);
    QVERIFY(copy.open(QIODevice::WriteOnly));
    QCOMPARE(copy.write(firstHalf), firstHalf.size());
    QVERIFY(copy.flush());
    QTest::qWait(6000);
    {
        QFile check(path);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), firstHalf);
    }
    QCOMPARE(copy.write(bytes.mid(firstHalf.size())), bytes.size() - firstHalf.size());
    copy.close();

    waitUntilIdle(20000);
    QCOMPARE(storedOrientation(path), 1);
    QVERIFY(samePicture(storedPixels(path), uprightPixels(reference)));
    QVERIFY2(!mainPaneText().contains("Oops"), qPrintable(mainPaneText()));
    QVERIFY2(!mainPaneText().contains("ends too early"), qPrintable(mainPaneText()));
}

QTEST_MAIN(WatcherLoadTest)
#include "tst_watcherload.moc"

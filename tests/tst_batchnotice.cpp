// The desktop notification at the end of a long batch: its text, and when it is sent. The sender
// is a stand-in that records what it is asked to send; without the service it sends nothing.
#include <QAction>
#include <QWidget>
#include <QtTest>

#include <memory>

#include "engine/runevents.h"
#include "mainwindow/batchnotice.h"

namespace {
struct Sent {
    QString title;
    QString body;
};

class RecordingSender : public NotificationSender {
public:
    RecordingSender(bool serviceThere, QList<Sent> *record)
        : available(serviceThere)
        , sent(record) {}
    bool isAvailable() const override { return available; }
    void send(const QString &title, const QString &body) override { *sent << Sent{title, body}; }

private:
    bool available;
    QList<Sent> *sent;
};

RunSummary batch(int rotated, int failed, qint64 elapsedMs) {
    RunSummary summary;
    summary.kind = RunSummary::UserBatch;
    summary.photosToRotate = rotated + failed;
    summary.rotated = rotated;
    summary.failed = failed;
    summary.elapsedMs = elapsedMs;
    return summary;
}
} // namespace

class BatchNoticeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void text_data();
    void text();
    void sentOnlyForALongBatchToAService_data();
    void sentOnlyForALongBatchToAService();
};

void BatchNoticeTest::initTestCase() {
    QCoreApplication::setApplicationName("Pivotta");
}

void BatchNoticeTest::text_data() {
    QTest::addColumn<RunSummary>("summary");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");

    QTest::newRow("one failed") << batch(48, 1, 20000) << false << "Rotating finished"
                                << "48 turned upright, 1 could not be rotated";
    QTest::newRow("none failed") << batch(52, 0, 20000) << false << "Rotating finished"
                                 << "52 turned upright";
    QTest::newRow("all failed") << batch(0, 3, 20000) << false << "Rotating finished"
                                << "0 turned upright, 3 could not be rotated";
    RunSummary dryRun = batch(0, 0, 20000);
    dryRun.photosToRotate = 17;
    QTest::newRow("dry run") << dryRun << true << "Dry run finished"
                             << "17 would be turned upright";
}

void BatchNoticeTest::text() {
    QFETCH(RunSummary, summary);
    QFETCH(bool, dryRun);
    QFETCH(QString, title);
    QFETCH(QString, body);
    QCOMPARE(batchEndTitle(dryRun), title);
    QCOMPARE(batchEndText(summary, dryRun), body);
}

void BatchNoticeTest::sentOnlyForALongBatchToAService_data() {
    QTest::addColumn<RunSummary>("summary");
    QTest::addColumn<bool>("serviceThere");
    QTest::addColumn<bool>("windowActive");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QString>("sent"); // the body, or empty when nothing is sent

    const RunSummary longBatch = batch(48, 1, 12000);
    QTest::newRow("long batch, window in the background")
        << longBatch << true << false << false << "48 turned upright, 1 could not be rotated";
    QTest::newRow("long dry run") << longBatch << true << false << true
                                  << "49 would be turned upright";
    QTest::newRow("no notification service") << longBatch << false << false << false << QString();
    QTest::newRow("window active") << longBatch << true << true << false << QString();
    QTest::newRow("short batch") << batch(48, 1, 9000) << true << false << false << QString();
    RunSummary stopped = longBatch;
    stopped.interrupted = true;
    QTest::newRow("stopped by the user") << stopped << true << false << false << QString();
    RunSummary watcherRun = longBatch;
    watcherRun.kind = RunSummary::WatcherRun;
    QTest::newRow("watcher run") << watcherRun << true << false << false << QString();
}

void BatchNoticeTest::sentOnlyForALongBatchToAService() {
    QFETCH(RunSummary, summary);
    QFETCH(bool, serviceThere);
    QFETCH(bool, windowActive);
    QFETCH(bool, dryRun);
    QFETCH(QString, sent);

    QWidget window;
    QAction dryRunAction;
    dryRunAction.setCheckable(true);
    dryRunAction.setChecked(dryRun);
    QList<Sent> record;
    BatchNotice notice(&window, &dryRunAction,
                       std::make_unique<RecordingSender>(serviceThere, &record));
    if (windowActive) {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    notice.runStarted(summary.kind);
    dryRunAction.setChecked(!dryRun); // what counts is the choice at the batch's start
    notice.runFinished(summary);
    if (sent.isEmpty()) {
        QVERIFY(record.isEmpty());
        return;
    }
    QCOMPARE(record.size(), 1);
    QCOMPARE(record.first().title, batchEndTitle(dryRun));
    QCOMPARE(record.first().body, sent);
}

QTEST_MAIN(BatchNoticeTest)
#include "tst_batchnotice.moc"

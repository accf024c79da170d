// The output panes: duplicate check, shared text limit, progress marks, escaping, link routing.
#include <QComboBox>
#include <QScrollBar>
#include <QStandardPaths>
#include <QDesktopServices>
#include <QDockWidget>
#include <QSettings>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include "presentation/messagetext.h"
#include "mainwindow/outputtext.h"
#include "mainwindow/photopreview.h"
#include "mainwindow/pivotta.h"

class PivottaTestAccess {
public:
    static QString relativePath(Pivotta &window, const QString &path) {
        return window.pathRelativeToFolder(path);
    }
    static void showFile(Pivotta &window, const QUrl &link) { window.showFile(link); }
    static QString selectedFile(Pivotta &window) { return window.photoPreview()->selectedFile(); }
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class OutputLogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void duplicateCheck_data();
    void duplicateCheck();
    void panesKeepSeparateDuplicateReferences();
    void plainTextMarksJoinTheLastLine();
    void textLimitDropsFromThePaneAppendedTo();
    void textLimitZeroKeepsEverything();
    void loweringTheLimitDoesNotShrink();
    void outsideTextShowsLiterally();
    void pathRelativeToFolder_data();
    void pathRelativeToFolder();
    void linksGoToBrowserOrPreview();
    void viewFollowsBottomOnlyWhenAtBottom();

private:
    QTextBrowser *mainPane() const { return window->findChild<QTextBrowser *>("cmdLineOutput"); }
    QTextEdit *detailedPane() const { return window->findChild<QTextEdit *>("cmdLineOutput_2"); }
    void setTextLimit(int limit) { settings().setValue("textLimit", limit); }
    static QSettings settings() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
    }

    Pivotta *window = nullptr;
};

void OutputLogTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
}

void OutputLogTest::init() {
    settings().clear();
    window = new Pivotta(false, false, false, QString(), QString());
}

void OutputLogTest::cleanup() {
    delete window;
    window = nullptr;
}

void OutputLogTest::duplicateCheck_data() {
    QTest::addColumn<QStringList>("messages"); // a leading '!' asks for the duplicate check
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("same twice, checked") << QStringList{"!A", "!A"} << QStringList{"A"};
    QTest::newRow("A B A, checked") << QStringList{"!A", "!B", "!A"} << QStringList{"A", "B", "A"};
    QTest::newRow("plain then checked") << QStringList{"A", "!A"} << QStringList{"A"};
    QTest::newRow("checked then plain") << QStringList{"!A", "A"} << QStringList{"A", "A"};
}

void OutputLogTest::duplicateCheck() {
    QFETCH(QStringList, messages);
    QFETCH(QStringList, shown);

    for (const QString &message : messages) {
        const bool check = message.startsWith('!');
        window->appendOutput(check ? message.mid(1) : message, check);
    }
    // The main pane starts with one empty paragraph; each message adds one more.
    QStringList blocks = mainPane()->toPlainText().split(QChar::ParagraphSeparator);
    if (blocks.size() == 1)
        blocks = mainPane()->toPlainText().split('\n');
    blocks.removeFirst();
    QCOMPARE(blocks, shown);
}

void OutputLogTest::panesKeepSeparateDuplicateReferences() {
    window->appendOutput("same", true);
    window->appendOutputDetailed("same", true);
    window->appendOutputDetailed("same", true);
    QCOMPARE(mainPane()->toPlainText().count("same"), 1);
    QCOMPARE(detailedPane()->toPlainText().count("same"), 1);
}

void OutputLogTest::plainTextMarksJoinTheLastLine() {
    setTextLimit(2);
    window->appendOutput("line");
    for (int i = 0; i < 3; ++i)
        window->appendOutput(". ", false, true);
    QCOMPARE(mainPane()->document()->lastBlock().text(), QString("line. . . "));
    // Marks are not counted: a second counted message still fits the limit of two.
    window->appendOutput("next");
    QCOMPARE(mainPane()->document()->blockCount(), 3);
}

void OutputLogTest::textLimitDropsFromThePaneAppendedTo() {
    setTextLimit(50);
    for (int i = 1; i <= 30; ++i)
        window->appendOutput(QString("main %1").arg(i));
    for (int i = 1; i <= 25; ++i)
        window->appendOutputDetailed(QString("detail %1").arg(i), false);

    const QString main = mainPane()->toPlainText();
    QVERIFY(main.contains("main 1\n") ||
            main.contains(QString("main 1") + QChar::ParagraphSeparator));
    QVERIFY(main.contains("main 30"));
    const QString detailed = detailedPane()->toPlainText();
    // Appends 51 to 55 each removed the first paragraph of the detailed pane.
    QVERIFY(!detailed.contains("detail 5\n"));
    QVERIFY(detailed.startsWith("detail 6"));
    QVERIFY(detailed.endsWith("detail 25"));
    QCOMPARE(detailedPane()->document()->blockCount(), 20);
}

void OutputLogTest::textLimitZeroKeepsEverything() {
    setTextLimit(0);
    for (int i = 0; i < 300; ++i)
        window->appendOutputDetailed(QString("d%1").arg(i), false);
    QCOMPARE(detailedPane()->document()->blockCount(), 300);
}

void OutputLogTest::loweringTheLimitDoesNotShrink() {
    setTextLimit(1000);
    for (int i = 0; i < 90; ++i)
        window->appendOutputDetailed(QString("d%1").arg(i), false);
    setTextLimit(50);
    QCOMPARE(detailedPane()->document()->blockCount(), 90);
    window->appendOutputDetailed("newest", false);
    QCOMPARE(detailedPane()->document()->blockCount(), 90);
    QVERIFY(detailedPane()->toPlainText().startsWith("d1\n"));
}

void OutputLogTest::outsideTextShowsLiterally() {
    const QString name = "<b>x</b> & <a href='https://example.org'>y</a>.jpg";
    window->appendOutput("File " + escapeHtml(name) + " done");
    QCOMPARE(mainPane()->document()->lastBlock().text(), "File " + name + " done");
    const QString html = mainPane()->toHtml();
    QVERIFY(!html.contains("href=\"https://example.org\""));
    QVERIFY(!html.contains("font-weight:700"));
    // Program-written HTML stays HTML.
    window->appendOutput("<b>bold</b>");
    QVERIFY(mainPane()->toHtml().contains("font-weight:700"));
}

void OutputLogTest::pathRelativeToFolder_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("windows subfolder") << "C:\\photos\\2020\\a.jpg"
                                       << "C:\\photos"
                                       << "2020\\a.jpg";
    QTest::newRow("unix subfolder") << "/home/u/p/2020/a.jpg"
                                    << "/home/u/p"
                                    << "2020/a.jpg";
    QTest::newRow("shorter than folder") << "/a.jpg"
                                         << "/home/user/pictures"
                                         << "a.jpg";
    QTest::newRow("the folder itself") << "/home/u/p"
                                       << "/home/u/p"
                                       << "";
    QTest::newRow("no folder") << "/p/a.jpg"
                               << ""
                               << "p/a.jpg";
}

void OutputLogTest::pathRelativeToFolder() {
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(::pathRelativeToFolder(path, folder), expected);
}

void OutputLogTest::linksGoToBrowserOrPreview() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    const auto unsetHandlers = qScopeGuard([] {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    });
    PivottaTestAccess::showFile(*window, QUrl("https://example.org/page"));
    PivottaTestAccess::showFile(*window, QUrl("http://example.org/other"));
    QCOMPARE(catcher.urls.size(), 2);

    QTemporaryDir sandbox;
    const QString photo = sandbox.filePath("a.jpg");
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_1.jpg", photo));
    PivottaTestAccess::showFile(*window, QUrl::fromLocalFile(photo));
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(PivottaTestAccess::selectedFile(*window), photo);
}

void OutputLogTest::viewFollowsBottomOnlyWhenAtBottom() {
    window->resize(1200, 800);
    window->show();
    QScrollBar *bar = mainPane()->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        window->appendOutput(QString("line %1").arg(i));
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(0);
    window->appendOutput("more");
    QCOMPARE(bar->value(), 0);
}

QTEST_MAIN(OutputLogTest)
#include "tst_outputlog.moc"

// The output panes: duplicate check, shared text limit, progress marks, escaping, link routing,
// links to photos whatever their names hold.
#include <QDesktopServices>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>

#include "mainwindow/outputtext.h"
#include "presentation/messagetext.h"
#include "presentation/outputmessage.h"
#include "windowfixture.h"

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class OutputLogTest : public QObject, protected WindowFixture {
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
    void photoLinksLeadToThePhoto_data();
    void photoLinksLeadToThePhoto();
    void viewFollowsBottomOnlyWhenAtBottom();

private:
    QTextBrowser *mainPane() const { return child<QTextBrowser>("cmdLineOutput"); }
    QTextEdit *detailedPane() const { return child<QTextEdit>("cmdLineOutput_2"); }
    void setTextLimit(int limit) { userSettings().setValue("textLimit", limit); }
    // The three ways into the panes: a line of the main pane, a progress mark joining its last
    // line, and a paragraph of the detailed pane.
    void appendMain(const QString &message, bool checkDuplicate = false) const {
        panes()->append(message, checkDuplicate);
    }
    void appendMark(const QString &mark) const { panes()->write(OutputMessage::mark(mark)); }
    void appendDetailed(const QString &message, bool checkDuplicate) const {
        panes()->write(OutputMessage::detailed(message, checkDuplicate));
    }
    // A link in the main pane clicked, as the user does it.
    void clickLink(const QUrl &link) const { emit mainPane()->anchorClicked(link); }
    // Clicks the first link of the main pane's last line with the mouse; false when it has none.
    bool clickLastLink() const;
};

void OutputLogTest::initTestCase() {
    setUpCase();
}

void OutputLogTest::init() {
    setUp();
    newWindow();
}

void OutputLogTest::cleanup() {
    tearDown();
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
        appendMain(check ? message.mid(1) : message, check);
    }
    // The main pane starts with one empty paragraph; each message adds one more.
    QStringList blocks = mainPane()->toPlainText().split(QChar::ParagraphSeparator);
    if (blocks.size() == 1)
        blocks = mainPane()->toPlainText().split('\n');
    blocks.removeFirst();
    QCOMPARE(blocks, shown);
}

void OutputLogTest::panesKeepSeparateDuplicateReferences() {
    appendMain("same", true);
    appendDetailed("same", true);
    appendDetailed("same", true);
    QCOMPARE(mainPane()->toPlainText().count("same"), 1);
    QCOMPARE(detailedPane()->toPlainText().count("same"), 1);
}

void OutputLogTest::plainTextMarksJoinTheLastLine() {
    setTextLimit(2);
    appendMain("line");
    for (int i = 0; i < 3; ++i)
        appendMark(". ");
    QCOMPARE(mainPane()->document()->lastBlock().text(), QString("line. . . "));
    // Marks are not counted: a second counted message still fits the limit of two.
    appendMain("next");
    QCOMPARE(mainPane()->document()->blockCount(), 3);
}

void OutputLogTest::textLimitDropsFromThePaneAppendedTo() {
    setTextLimit(50);
    for (int i = 1; i <= 30; ++i)
        appendMain(QString("main %1").arg(i));
    for (int i = 1; i <= 25; ++i)
        appendDetailed(QString("detail %1").arg(i), false);

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
        appendDetailed(QString("d%1").arg(i), false);
    QCOMPARE(detailedPane()->document()->blockCount(), 300);
}

void OutputLogTest::loweringTheLimitDoesNotShrink() {
    setTextLimit(1000);
    for (int i = 0; i < 90; ++i)
        appendDetailed(QString("d%1").arg(i), false);
    setTextLimit(50);
    QCOMPARE(detailedPane()->document()->blockCount(), 90);
    appendDetailed("newest", false);
    QCOMPARE(detailedPane()->document()->blockCount(), 90);
    QVERIFY(detailedPane()->toPlainText().startsWith("d1\n"));
}

void OutputLogTest::outsideTextShowsLiterally() {
    const QString name = "<b>x</b> & <a href='https://example.org'>y</a>.jpg";
    appendMain("File " + escapeHtml(name) + " done");
    QCOMPARE(mainPane()->document()->lastBlock().text(), "File " + name + " done");
    const QString html = mainPane()->toHtml();
    QVERIFY(!html.contains("href=\"https://example.org\""));
    QVERIFY(!html.contains("font-weight:700"));
    // Program-written HTML stays HTML.
    appendMain("<b>bold</b>");
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
    clickLink(QUrl("https://example.org/page"));
    clickLink(QUrl("http://example.org/other"));
    QCOMPARE(catcher.urls.size(), 2);

    const QString photo = sandbox->filePath("a.jpg");
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_1.jpg", photo));
    clickLink(QUrl::fromLocalFile(photo));
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(photoPreview()->selectedFile(), photo);
}

bool OutputLogTest::clickLastLink() const {
    const QTextBlock line = mainPane()->document()->lastBlock();
    for (auto fragment = line.begin(); !fragment.atEnd(); ++fragment) {
        if (fragment.fragment().charFormat().anchorHref().isEmpty())
            continue;
        QTextCursor inLink(mainPane()->document());
        inLink.setPosition(fragment.fragment().position() + 1);
        QTest::mouseClick(mainPane()->viewport(), Qt::LeftButton, {},
                          mainPane()->cursorRect(inLink).center());
        return true;
    }
    return false;
}

void OutputLogTest::photoLinksLeadToThePhoto_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("ampersand") << "Tom & Jerry.jpg";
    QTest::newRow("single quote") << "Ann's photo.jpg";
    QTest::newRow("double quote and angle brackets") << "the \"<best>\" one.jpg";
    QTest::newRow("hash and percent") << "#1 at 100%25 %20.jpg";
    QTest::newRow("character reference") << "a&amp;b&#39;c.jpg";
    QTest::newRow("URL delimiters") << "a?b=c;d+e,(f)!$*@:.jpg";
    QTest::newRow("beyond ASCII") << QString::fromUtf8("Sommer 写真 é.jpg");
}

// A link written into the main pane and clicked with the mouse hands back the photo's exact path,
// and the preview shows that photo.
void OutputLogTest::photoLinksLeadToThePhoto() {
    QFETCH(QString, name);
    const QString photo = sandbox->filePath(name);
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg", photo));
    window->resize(1200, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QSignalSpy clicked(panes(), &OutputPanes::photoLinkClicked);

    appendMain("Not rotated: " + fileLink(photo, true, false, sandbox->path(), "#333") + " (test)");
    QCOMPARE(mainPane()->document()->lastBlock().text(), "Not rotated: " + photo + " (test)");
    QVERIFY(clickLastLink());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toString(), photo);
    QCOMPARE(photoPreview()->selectedFile(), photo);
}

void OutputLogTest::viewFollowsBottomOnlyWhenAtBottom() {
    window->resize(1200, 800);
    window->show();
    QScrollBar *bar = mainPane()->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        appendMain(QString("line %1").arg(i));
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(0);
    appendMain("more");
    QCOMPARE(bar->value(), 0);
}

QTEST_MAIN(OutputLogTest)
#include "tst_outputlog.moc"

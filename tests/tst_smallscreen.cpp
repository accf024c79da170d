// Pivotta on a small screen of 1024 by 768 (the test's own screen, see tests/CMakeLists.txt):
// the window, its top bar and the dialogs fit, so that every control and every Close button can
// be reached; on a large screen the window keeps its size.
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>

#include "common/screenfit.h"
#include "settings/settings.h"
#include "windowfixture.h"

namespace {
QRect globalRect(const QWidget *widget) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}
} // namespace

class SmallScreenTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sizeWithinScreen_data();
    void sizeWithinScreen();
    void windowAndTopBarFit_data();
    void windowAndTopBarFit();
    void dialogsFit_data();
    void dialogsFit();

private:
    // Builds, sizes and shows the window as the program's start does.
    void startWindow();

    QRect availableArea;
};

void SmallScreenTest::initTestCase() {
    setUpCase();
    availableArea = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(availableArea.size(), QSize(1024, 768));
}

void SmallScreenTest::init() {
    setUp();
}

void SmallScreenTest::cleanup() {
    tearDown();
}

void SmallScreenTest::startWindow() {
    newWindow();
    window->restore();
    fitIntoScreen(window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void SmallScreenTest::sizeWithinScreen_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("available");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("form on a large screen")
        << QSize(1824, 1111) << QSize(1920, 1200) << QSize(1824, 1111);
    QTest::newRow("form on a laptop") << QSize(1824, 1111) << QSize(1366, 728) << QSize(1358, 696);
    QTest::newRow("only too tall") << QSize(1130, 790) << QSize(1366, 768) << QSize(1130, 736);
    QTest::newRow("fits with its frame exactly")
        << QSize(1016, 736) << QSize(1024, 768) << QSize(1016, 736);
}

void SmallScreenTest::sizeWithinScreen() {
    QFETCH(QSize, size);
    QFETCH(QSize, available);
    QFETCH(QSize, expected);
    QCOMPARE(::sizeWithinScreen(size, available, QMargins(4, 28, 4, 4)), expected);
}

void SmallScreenTest::windowAndTopBarFit_data() {
    QTest::addColumn<QVariant>("storedSize");

    QTest::newRow("first start") << QVariant();
    QTest::newRow("size stored on a large screen") << QVariant(QSize(1824, 1111));
}

// Every control of the top bar is shown whole, inside the window and the screen.
void SmallScreenTest::windowAndTopBarFit() {
    QFETCH(QVariant, storedSize);
    if (storedSize.isValid())
        Settings::setValue("PivottaSize", storedSize);
    startWindow();

    QVERIFY2(availableArea.contains(window->frameGeometry()),
             qPrintable(QString("%1,%2 %3x%4")
                            .arg(window->frameGeometry().x())
                            .arg(window->frameGeometry().y())
                            .arg(window->frameGeometry().width())
                            .arg(window->frameGeometry().height())));
    const QRect windowRect = globalRect(window.get());
    for (const char *name : {"showTreeButton", "directoryComboBox", "browse", "rotateNowButton",
                             "stopRotatingButton", "watchFolderFrame", "horizontalSlider"}) {
        const QWidget *control = window->findChild<QWidget *>(name);
        QVERIFY2(control->isVisible(), name);
        QVERIFY2(windowRect.contains(globalRect(control)), name);
        QVERIFY2(control->width() >= control->minimumSizeHint().width(), name);
    }
}

void SmallScreenTest::dialogsFit_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialog");

    QTest::newRow("About") << "actionAbout"
                           << "About";
    QTest::newRow("Preferences") << "actionPreferences"
                                 << "Preferences";
}

void SmallScreenTest::dialogsFit() {
    QFETCH(QString, action);
    QFETCH(QString, dialog);
    startWindow();

    window->findChild<QAction *>(action)->trigger();
    auto *shown = window->findChild<QDialog *>(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QVERIFY(availableArea.contains(shown->frameGeometry()));
    const QPushButton *close =
        shown->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close);
    QVERIFY(close->isVisible());
    QVERIFY(availableArea.contains(globalRect(close)));
}

QTEST_MAIN(SmallScreenTest)
#include "tst_smallscreen.moc"

// Pivotta on a small screen: 1024 by 768, and 1920 by 1200 at twice the scale (the tests' own
// screens, see tests/CMakeLists.txt). The window, its top bar and the dialogs fit, so that every
// control and every Close button can be reached, and every Preferences control is in view in
// both themes; About is as tall as its texts; the status bar shortens its message and keeps its
// buttons in place; the preview is as sharp as the screen. On a large screen the window keeps
// its size.
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include "common/applicationfont.h"
#include "common/screenfit.h"
#include "mainwindow/batchprogress.h"
#include "mainwindow/elidingstatusbar.h"
#include "mainwindow/previewimage.h"
#include "mainwindow/windowtheme.h"
#include "settings/settings.h"
#include "windowfixture.h"

namespace {
QRect globalRect(const QWidget *widget) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// The controls a page shows the user, those the program has not hidden on purpose.
QList<QWidget *> controlsOf(QWidget *page) {
    QList<QWidget *> controls;
    for (QWidget *widget : page->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(widget) ||
                             qobject_cast<QLabel *>(widget) || qobject_cast<QSlider *>(widget) ||
                             qobject_cast<QAbstractSpinBox *>(widget) ||
                             qobject_cast<QGroupBox *>(widget);
        if (control && !widget->isHidden())
            controls << widget;
    }
    return controls;
}

QPushButton *statusBarButton(QStatusBar *statusBar, const QString &text) {
    for (QPushButton *button : statusBar->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
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
    void everyPreferencesControlIsInView_data();
    void everyPreferencesControlIsInView();
    void aboutIsAsTallAsItsTexts();
    void statusBarShortensItsMessageAndKeepsItsButtons();
    void previewIsAsSharpAsTheScreen();

private:
    // Builds, sizes and shows the window as the program's start does.
    void startWindow();

    QRect availableArea;
};

void SmallScreenTest::initTestCase() {
    setUpCase();
    // The font the program starts with, which decides how much room the texts take.
    QApplication::setFont(startupFont(QApplication::font(), QVariant(), QVariant()));
    availableArea = QGuiApplication::primaryScreen()->availableGeometry();
    const qreal scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    // 1024x768 as it is, or 1920x1200 at twice the scale.
    QVERIFY2((availableArea.size() == QSize(1024, 768) && scale == 1) ||
                 (availableArea.size() == QSize(960, 600) && scale == 2),
             qPrintable(QString("%1x%2 at %3")
                            .arg(availableArea.width())
                            .arg(availableArea.height())
                            .arg(scale)));
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

void SmallScreenTest::everyPreferencesControlIsInView_data() {
    QTest::addColumn<Theme>("theme");
    QTest::addColumn<int>("fontPixels"); // forced in Preferences; 0 for the usual font

    QTest::newRow("light") << Theme::Light << 0;
    QTest::newRow("dark") << Theme::Dark << 0;
    QTest::newRow("dark, larger font") << Theme::Dark << 15;
}

// Each page shows all its controls whole, without scrolling.
void SmallScreenTest::everyPreferencesControlIsInView() {
    QFETCH(Theme, theme);
    QFETCH(int, fontPixels);
    const QFont usualFont = QApplication::font();
    const auto restoreFont = qScopeGuard([usualFont] { QApplication::setFont(usualFont); });
    if (fontPixels > 0)
        QApplication::setFont(startupFont(usualFont, true, fontPixels));
    startWindow();
    part<WindowTheme>()->apply(theme);
    window->findChild<QAction *>("actionPreferences")->trigger();
    auto *preferences = window->findChild<QDialog *>("Preferences");
    QVERIFY(QTest::qWaitForWindowExposed(preferences));
    QVERIFY(availableArea.contains(preferences->frameGeometry()));

    auto *tabs = preferences->findChild<QTabWidget *>("tabWidget");
    for (int index = 0; index < tabs->count(); ++index) {
        tabs->setCurrentIndex(index);
        QWidget *page = tabs->widget(index);
        const auto *area = page->findChild<QScrollArea *>();
        QWidget *view = area ? area->viewport() : page;
        QTRY_VERIFY(page->isVisible() && view->width() > 0);
        QTest::qWait(20); // the page's layout settles
        const QList<QWidget *> controls = controlsOf(page);
        QVERIFY(!controls.isEmpty());
        for (const QWidget *control : controls) {
            const QRect shown(control->mapTo(view, QPoint(0, 0)), control->size());
            QVERIFY2(view->rect().contains(shown),
                     qPrintable(QString("%1 on page %2 at %3,%4 %5x%6 in %7x%8")
                                    .arg(control->objectName(), tabs->tabText(index))
                                    .arg(shown.x())
                                    .arg(shown.y())
                                    .arg(shown.width())
                                    .arg(shown.height())
                                    .arg(view->width())
                                    .arg(view->height())));
        }
    }
}

// The credits need no scrolling, and no empty space is left below them.
void SmallScreenTest::aboutIsAsTallAsItsTexts() {
    startWindow();
    window->findChild<QAction *>("actionAbout")->trigger();
    auto *about = window->findChild<QDialog *>("About");
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QVERIFY(availableArea.contains(about->frameGeometry()));
    const auto *credits = about->findChild<QScrollArea *>("scrollArea");
    const auto *text = about->findChild<QLabel *>("label_2");
    QTRY_COMPARE(credits->verticalScrollBar()->maximum(), 0);
    const int below = credits->viewport()->height() -
                      text->mapTo(credits->viewport(), QPoint()).y() - text->height();
    QVERIFY2(below >= 0 && below <= 3 * text->fontMetrics().lineSpacing(),
             qPrintable(QString("%1 pixels below the credits").arg(below)));
}

// A message too long for its room ends in "…"; the time left of a batch changes its length
// without moving Help and Feedback. The window title tells the batch's progress too.
void SmallScreenTest::statusBarShortensItsMessageAndKeepsItsButtons() {
    startWindow();
    auto *statusBar = qobject_cast<ElidingStatusBar *>(window->statusBar());
    QVERIFY(statusBar);
    QPushButton *help = statusBarButton(statusBar, "Help");
    QPushButton *feedback = statusBarButton(statusBar, "Feedback (web)");
    QVERIFY(help && feedback);

    const QString longMessage = QString("A long status message. ").repeated(20);
    statusBar->showMessage(longMessage);
    const QString shown = statusBar->shownMessage();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY(longMessage.startsWith(shown.chopped(1)));
    QVERIFY(statusBar->fontMetrics().horizontalAdvance(shown) <
            help->mapTo(statusBar, QPoint()).x());
    statusBar->showMessage("Short.");
    QCOMPARE(statusBar->shownMessage(), QString("Short."));

    auto *progress = part<BatchProgress>();
    progress->start();
    progress->show(0, 5000);
    QCOMPARE(window->windowTitle(), QString("0 of 5000 – Pivotta"));
    QTest::qWait(50);
    const QPoint helpAt = help->mapTo(window.get(), QPoint());
    const QPoint feedbackAt = feedback->mapTo(window.get(), QPoint());
    for (const int handled : {1, 22, 2500, 4999}) {
        progress->show(handled, 5000);
        QTest::qWait(20);
        QCOMPARE(help->mapTo(window.get(), QPoint()), helpAt);
        QCOMPARE(feedback->mapTo(window.get(), QPoint()), feedbackAt);
    }
    QCOMPARE(window->windowTitle(), QString("4999 of 5000 – Pivotta"));
    progress->hide();
    QCOMPARE(window->windowTitle(), QString("Pivotta 3"));
}

// The views get a picture with as many pixels as the screen shows there.
void SmallScreenTest::previewIsAsSharpAsTheScreen() {
    const QString photo = sandbox->filePath("photo.jpg");
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg", photo));
    QVERIFY(QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner));
    startWindow();
    previewDock()->showPhoto(photo);

    const auto *rawView = window->findChild<QLabel *>("rawImage");
    const qreal scale = rawView->devicePixelRatioF();
    const QPixmap shown = rawView->pixmap();
    QCOMPARE(shown.devicePixelRatio(), scale);
    const QSize stored = QImageReader(photo).size();
    const QSize expected =
        stored.scaled(rawPreviewBounds(rawView->size() * scale), Qt::KeepAspectRatio);
    QVERIFY2(qAbs(shown.width() - expected.width()) <= 1 &&
                 qAbs(shown.height() - expected.height()) <= 1,
             qPrintable(QString("%1x%2, not %3x%4")
                            .arg(shown.width())
                            .arg(shown.height())
                            .arg(expected.width())
                            .arg(expected.height())));
}

QTEST_MAIN(SmallScreenTest)
#include "tst_smallscreen.moc"

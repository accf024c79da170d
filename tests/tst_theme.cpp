// The light and dark theme: the lightness threshold, the two style sheets, the dark palette and
// a window that settles on a theme instead of looping on the palette changes it causes.
#include <QApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QStyle>
#include <QtTest>

#include <memory>

#include "app/theme.h"
#include "mainwindow/pivotta.h"

namespace {
// Counts the palette changes of the application object.
class PaletteChangeCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            ++count;
        return false;
    }
};

QPalette paletteWithWindowLightness(int lightness) {
    QPalette palette = QApplication::style()->standardPalette();
    palette.setBrush(QPalette::All, QPalette::Window, QColor::fromHsl(0, 0, lightness));
    return palette;
}

// The sheet with every colour blanked out, to compare the rules of the two themes.
QString rulesOnly(QString sheet) {
    return sheet.replace(QRegularExpression("#[0-9a-fA-F]{3,6}|\\bblack\\b|\\bgreen\\b"), "C");
}
} // namespace

class ThemeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void threshold_data();
    void threshold();
    void sheetsShareTheirRules();
    void darkPalette();
    void windowKeepsTheLightRules();
    void paletteChangeChoosesTheme_data();
    void paletteChangeChoosesTheme();
    void appliedThemeSettles();
    void otherChangesLeaveTheThemeAlone();

private:
    std::unique_ptr<Pivotta> window;
};

void ThemeTest::initTestCase() {
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    Q_INIT_RESOURCE(resources);
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta").clear();
}

void ThemeTest::cleanup() {
    window.reset();
    QApplication::setPalette(QApplication::style()->standardPalette());
    qApp->setStyleSheet(QString());
}

void ThemeTest::threshold_data() {
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("light");

    QTest::newRow("lightness 128") << QColor::fromHsl(0, 0, 128) << true;
    QTest::newRow("lightness 127") << QColor::fromHsl(0, 0, 127) << false;
    QTest::newRow("white") << QColor(Qt::white) << true;
    QTest::newRow("dark grey 53") << QColor(53, 53, 53) << false;
    QTest::newRow("light blue") << QColor(200, 220, 255) << true;
}

void ThemeTest::threshold() {
    QFETCH(QColor, color);
    QFETCH(bool, light);
    QCOMPARE(themeForWindowColor(color) == Theme::Light, light);
}

void ThemeTest::sheetsShareTheirRules() {
    const QString light = themeStyleSheet(Theme::Light);
    const QString dark = themeStyleSheet(Theme::Dark);
    QVERIFY(!light.contains("${"));
    QVERIFY(!dark.contains("${"));
    QCOMPARE(rulesOnly(light), rulesOnly(dark));
    QVERIFY(light.contains("background-color: #fdfdfd;"));
    QVERIFY(dark.contains("background-color: #3a3a3a;"));
    QVERIFY(light.contains("background-color: green;"));
    QVERIFY(dark.contains("background-color: #006600;"));
    QVERIFY(light.contains("stop:0 #eee, stop:1 #fff"));
    QVERIFY(dark.contains("stop:0 #666666, stop:1 #777777"));
}

void ThemeTest::darkPalette() {
    const QPalette palette = ::darkPalette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(palette.color(group, QPalette::Window), QColor(53, 53, 53));
        QCOMPARE(palette.color(group, QPalette::Base), QColor(25, 25, 25));
        QCOMPARE(palette.color(group, QPalette::Text), QColor(Qt::white));
        QCOMPARE(palette.color(group, QPalette::BrightText), QColor(Qt::red));
        QCOMPARE(palette.color(group, QPalette::Highlight), QColor(42, 130, 218));
        QCOMPARE(palette.color(group, QPalette::HighlightedText), QColor(Qt::black));
    }
    QCOMPARE(palette.color(QPalette::Window).lightness(), 53);
}

void ThemeTest::windowKeepsTheLightRules() {
    window = std::make_unique<Pivotta>(false, false, false, QString(), QString());
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Light));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // No theme of its own at start-up: the first palette change decides.
    QCOMPARE(qApp->styleSheet(), QString());
    QApplication::setPalette(paletteWithWindowLightness(40));
    QCoreApplication::processEvents();
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Light));
}

void ThemeTest::paletteChangeChoosesTheme_data() {
    QTest::addColumn<int>("lightness");
    QTest::addColumn<bool>("dark");

    QTest::newRow("128 light") << 128 << false;
    QTest::newRow("127 dark") << 127 << true;
    QTest::newRow("black dark") << 0 << true;
    QTest::newRow("white light") << 255 << false;
}

void ThemeTest::paletteChangeChoosesTheme() {
    QFETCH(int, lightness);
    QFETCH(bool, dark);
    window = std::make_unique<Pivotta>(false, false, false, QString(), QString());

    QApplication::setPalette(paletteWithWindowLightness(lightness));
    QCoreApplication::processEvents();
    if (dark) {
        QCOMPARE(QApplication::palette(), ::darkPalette());
        QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    } else {
        QCOMPARE(QApplication::palette(), QApplication::style()->standardPalette());
        QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Light));
    }
}

void ThemeTest::appliedThemeSettles() {
    window = std::make_unique<Pivotta>(false, false, false, QString(), QString());
    PaletteChangeCounter counter;
    qApp->installEventFilter(&counter);

    QApplication::setPalette(paletteWithWindowLightness(100));
    QCoreApplication::processEvents();
    // The change made here, and the dark palette that answered it.
    QCOMPARE(counter.count, 2);

    for (int i = 0; i < 3; ++i) {
        QEvent paletteChange(QEvent::PaletteChange);
        QCoreApplication::sendEvent(window.get(), &paletteChange);
    }
    QCoreApplication::processEvents();
    QCOMPARE(counter.count, 2);
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    qApp->removeEventFilter(&counter);
}

void ThemeTest::otherChangesLeaveTheThemeAlone() {
    window = std::make_unique<Pivotta>(false, false, false, QString(), QString());
    qApp->setStyleSheet("/* none yet */");
    for (auto type : {QEvent::FontChange, QEvent::StyleChange, QEvent::WindowTitleChange}) {
        QEvent change(type);
        QCoreApplication::sendEvent(window.get(), &change);
    }
    QCOMPARE(qApp->styleSheet(), QString("/* none yet */"));
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"

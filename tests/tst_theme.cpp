// The light and dark theme: the lightness threshold, the two style sheets, the dark palette, a
// window that starts dark on a dark desktop, a window that settles on a theme instead of looping
// on the palette changes it causes, and text that stays readable on its background in both
// themes while disabled text looks disabled.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolTip>
#include <QtTest>

#include <cmath>
#include <map>

#include "common/theme.h"
#include "presentation/panecolors.h"
#include "windowfixture.h"

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

// Lets a palette change reach the window and the theme that answers it settle: the window picks
// the theme in a call queued behind the change, and applying it brings more changes.
void settle() {
    for (int round = 0; round < 10; ++round)
        QCoreApplication::processEvents();
}

QPalette paletteWithWindowLightness(int lightness) {
    QPalette palette = QApplication::style()->standardPalette();
    palette.setBrush(QPalette::All, QPalette::Window, QColor::fromHsl(0, 0, lightness));
    return palette;
}

// The sheet with every colour blanked out, to compare the rules of the two themes.
QString rulesOnly(QString sheet) {
    return sheet.replace(QRegularExpression("#[0-9a-fA-F]{3,6}|\\bblack\\b|\\bgreen\\b"), "C");
}

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double luminance(const QColor &color) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

double contrast(const QColor &a, const QColor &b) {
    const double lighter = std::max(luminance(a), luminance(b));
    const double darker = std::min(luminance(a), luminance(b));
    return (lighter + 0.05) / (darker + 0.05);
}

// The colour that covers most of a picture: the background behind a widget's text. Near
// colours count together, so that the rows of a gradient outweigh the corners around a button.
QColor mostCommonColor(const QImage &image) {
    struct Shade {
        int count = 0;
        int red = 0, green = 0, blue = 0;
    };
    std::map<int, Shade> shades;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor color = image.pixelColor(x, y);
            Shade &shade =
                shades[(color.red() / 16) << 8 | (color.green() / 16) << 4 | color.blue() / 16];
            ++shade.count;
            shade.red += color.red();
            shade.green += color.green();
            shade.blue += color.blue();
        }
    }
    const Shade most = std::max_element(shades.begin(), shades.end(), [](auto a, auto b) {
                           return a.second.count < b.second.count;
                       })->second;
    return QColor(most.red / most.count, most.green / most.count, most.blue / most.count);
}

// The colours fixed in a label's rich text.
QList<QColor> inlineColors(const QString &text) {
    static const QRegularExpression colorPattern("color:\\s*(#[0-9a-fA-F]{3,6})");
    QList<QColor> colors;
    for (const QRegularExpressionMatch &match : colorPattern.globalMatch(text))
        colors << QColor(match.captured(1));
    return colors;
}

// What a theme decides in a window: the sheets and rich texts of all its widgets and the pictures
// of their icons.
QStringList themeState(QWidget *window) {
    QStringList state{qApp->styleSheet()};
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *widget : widgets) {
        state << widget->objectName() + ": " + widget->styleSheet();
        if (auto *label = qobject_cast<QLabel *>(widget))
            state << label->text();
        if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            const QImage icon = button->icon().pixmap(16).toImage();
            state << QString::number(qHashBits(icon.constBits(), icon.sizeInBytes()));
        }
    }
    return state;
}

QImage iconPicture(QWidget *window, const char *buttonName) {
    return window->findChild<QAbstractButton *>(buttonName)->icon().pixmap(16).toImage();
}

// The tool tip showing at the moment, if any.
QWidget *shownToolTip() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// Brings a widget on a hidden page of a tab or stack to the front.
void showPagesHolding(QWidget *widget) {
    for (QWidget *child = widget; child->parentWidget(); child = child->parentWidget()) {
        if (auto *stack = qobject_cast<QStackedWidget *>(child->parentWidget()))
            stack->setCurrentWidget(child);
    }
}

// What the widget looks like where it stands, its parent's background included; for a dock, its
// title bar.
QImage pictureOf(QWidget *widget) {
    if (auto *dock = qobject_cast<QDockWidget *>(widget))
        return dock->grab(QRect(0, 2, dock->width(), dock->fontMetrics().height())).toImage();
    if (widget->isWindow() || !widget->parentWidget())
        return widget->grab().toImage();
    return widget->parentWidget()->grab(widget->geometry()).toImage();
}
} // namespace

class ThemeTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void threshold_data();
    void threshold();
    void sheetsShareTheirRules();
    void darkPalette();
    void windowFollowsTheTheme();
    void darkDesktopAtStartGivesTheDarkTheme();
    void darkVariantOfLightColors_data();
    void darkVariantOfLightColors();
    void textIsReadable_data();
    void textIsReadable();
    void paletteChangeChoosesTheme_data();
    void paletteChangeChoosesTheme();
    void appliedThemeSettles();
    void otherChangesLeaveTheThemeAlone();

private:
    QWidget *widgetToRead(const QString &owner, const QString &name) const;
    QWidget *showForReading(const QString &owner, QWidget *widget) const;
};

void ThemeTest::initTestCase() {
    setUpCase();
}

void ThemeTest::init() {
    setUp();
}

void ThemeTest::cleanup() {
    tearDown();
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
    // The dark sheet adds rules of its own after the shared ones: the panes' dark paper.
    const QString panePaper = "#cmdLineOutput {\n    background-color:";
    const qsizetype darkOnly = dark.indexOf(panePaper);
    QVERIFY(darkOnly > 0);
    QVERIFY(!light.contains(panePaper));
    QCOMPARE(rulesOnly(light), rulesOnly(dark.left(darkOnly)));
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
        QCOMPARE(palette.color(group, QPalette::BrightText), QColor(Qt::red));
        // Every role is the theme's own: nothing is left over from the palette it replaces.
        for (int role = 0; role < QPalette::NColorRoles; ++role)
            QVERIFY(palette.isBrushSet(group, QPalette::ColorRole(role)));
    }
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        QCOMPARE(palette.color(group, QPalette::Text), QColor(Qt::white));
        QCOMPARE(palette.color(group, QPalette::Highlight), QColor(42, 130, 218));
        QCOMPARE(palette.color(group, QPalette::HighlightedText), QColor(Qt::black));
    }
    QCOMPARE(palette.color(QPalette::Window).lightness(), 53);

    // The same whatever palette is in force when it is built.
    QApplication::setPalette(paletteWithWindowLightness(220));
    const QPalette afterLight = ::darkPalette();
    QApplication::setPalette(paletteWithWindowLightness(20));
    QCOMPARE(::darkPalette(), afterLight);
}

// The window's own sheet outranks the application's inside the window, so it changes with the
// theme; the forms' own light colours change with it and come back unchanged.
void ThemeTest::windowFollowsTheTheme() {
    newWindow();
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Light));
    auto *about = window->findChild<QDialog *>("About");
    auto *preferences = window->findChild<QDialog *>("Preferences");
    auto *watchLabel = window->findChild<QLabel *>("rotatePhotosWhenAddedLabel");
    auto *aboutText = about->findChild<QLabel *>("label_3");
    const QString aboutSheet = about->styleSheet();
    const QString preferencesSheet = preferences->styleSheet();
    const QString watchLabelSheet = watchLabel->styleSheet();
    const QString aboutLinks = aboutText->text();
    const QImage lightIcon = iconPicture(window.get(), "stopRotatingButton");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // A light desktop at start-up: the window keeps its own light sheet and nothing else changes.
    QCOMPARE(qApp->styleSheet(), QString());

    QApplication::setPalette(paletteWithWindowLightness(40));
    settle();
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Dark));
    QCOMPARE(about->styleSheet(), darkVariant(aboutSheet));
    QCOMPARE(preferences->styleSheet(), darkVariant(preferencesSheet));
    QCOMPARE(watchLabel->styleSheet(), darkVariant(watchLabelSheet));
    QCOMPARE(aboutText->text(), darkVariant(aboutLinks));
    QVERIFY(about->styleSheet() != aboutSheet);
    QVERIFY(iconPicture(window.get(), "stopRotatingButton") != lightIcon);

    QApplication::setPalette(paletteWithWindowLightness(200));
    settle();
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Light));
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Light));
    QCOMPARE(about->styleSheet(), aboutSheet);
    QCOMPARE(preferences->styleSheet(), preferencesSheet);
    QCOMPARE(watchLabel->styleSheet(), watchLabelSheet);
    QCOMPARE(aboutText->text(), aboutLinks);
    QCOMPARE(iconPicture(window.get(), "stopRotatingButton"), lightIcon);
}

// A desktop that is dark when Pivotta starts gets the very theme that a switch to dark gives.
void ThemeTest::darkDesktopAtStartGivesTheDarkTheme() {
    QApplication::setPalette(paletteWithWindowLightness(40));
    newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    settle();
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    QCOMPARE(window->styleSheet(), themeStyleSheet(Theme::Dark));
    QCOMPARE(QApplication::palette(), ::darkPalette());
    const QStringList darkStart = themeState(window.get());
    const QImage darkStartPicture = window->grab().toImage();
    window.reset();

    QApplication::setPalette(QApplication::style()->standardPalette());
    qApp->setStyleSheet(QString());
    newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QApplication::setPalette(paletteWithWindowLightness(40));
    settle();
    QCOMPARE(themeState(window.get()), darkStart);
    QCOMPARE(window->grab().toImage(), darkStartPicture);
}

void ThemeTest::darkVariantOfLightColors_data() {
    QTest::addColumn<QString>("light");
    QTest::addColumn<QString>("dark");

    QTest::newRow("button gradient")
        << "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #d3d3d3, stop:1 #e9e9e9);"
        << "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #555555, stop:1 #666666);";
    QTest::newRow("pressed button") << "stop:0 #b3b3b3, stop:1 #d9d9d9"
                                    << "stop:0 #1d5b94, stop:1 #2a6fb0";
    QTest::newRow("preview paper") << "background-color:#f9f9f9"
                                   << "background-color:#2b2b2b";
    QTest::newRow("page background") << "QScrollArea {background-color:white;}"
                                     << "QScrollArea {background-color:#353535;}";
    QTest::newRow("dark label text") << "padding:0.5em; color:#333;"
                                     << "padding:0.5em; color:#ddd;";
    QTest::newRow("link in rich text, any letter case")
        << "<span style=\" color:#0000FF;\">site</span>"
        << "<span style=\" color:#6ab0f3;\">site</span>";
    QTest::newRow("longer colour with a known start") << "color:#333333;"
                                                      << "color:#333333;";
    QTest::newRow("colour without partner") << "color:#444; border: 0px solid #ccc;"
                                            << "color:#444; border: 0px solid #555;";
    QTest::newRow("word containing white") << "whitespace: nowrap;"
                                           << "whitespace: nowrap;";
    QTest::newRow("no colour") << "padding:0.3em"
                               << "padding:0.3em";
}

void ThemeTest::darkVariantOfLightColors() {
    QFETCH(QString, light);
    QFETCH(QString, dark);
    QCOMPARE(darkVariant(light), dark);
}

QWidget *ThemeTest::widgetToRead(const QString &owner, const QString &name) const {
    if (owner == "status bar") {
        for (auto *button : window->statusBar()->findChildren<QPushButton *>()) {
            if (button->text() == name)
                return button;
        }
        return nullptr;
    }
    if (owner == "menu")
        return window->findChild<QMenu *>(name);
    QWidget *root = window.get();
    if (owner != "window" && owner != "tool tip")
        root = window->findChild<QDialog *>(owner);
    if (name == "Close")
        return root->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close);
    return root->findChild<QWidget *>(name);
}

// Shows what a row reads where a user sees it: the tool tip of a widget, a menu, the preview's
// note. Returns the widget whose picture is read.
QWidget *ThemeTest::showForReading(const QString &owner, QWidget *widget) const {
    if (owner == "tool tip") {
        QToolTip::showText(widget->mapToGlobal(QPoint(2, 2)), widget->toolTip(), widget);
        return shownToolTip();
    }
    if (auto *menu = qobject_cast<QMenu *>(widget)) {
        menu->popup(window->mapToGlobal(QPoint(10, 30)));
        return QTest::qWaitForWindowExposed(menu) ? menu : nullptr;
    }
    if (widget->objectName() == "transformedImage") {
        window->findChild<QWidget *>("imagedock")->show();
        qobject_cast<QLabel *>(widget)->setText(
            "No EXIF orientation metadata in this file to work with.\n\nPhoto may already have "
            "been rotated.");
    }
    return widget;
}

void ThemeTest::textIsReadable_data() {
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("textRole");
    // Disabled text must look disabled: plainly weaker than enabled text, yet visible.
    QTest::addColumn<bool>("disabled");
    // Colours that messages give parts of a pane's text in the light theme; the dark theme's
    // messages take the dark colour set.
    QTest::addColumn<QList<QColor>>("messageColors");

    const QList<QColor> mainPaneColors{QColor("#333"), QColor("#666")};
    const QList<QColor> detailedPaneColors{QColor("#333")};
    QList<QColor> darkMessageColors;
    for (const QString &color : PaneColors::dark().all())
        darkMessageColors << QColor(color);
    const struct {
        const char *owner;
        const char *name;
        QPalette::ColorRole role;
        bool disabled;
        QList<QColor> messageColors;
    } widgets[] = {
        {"window", "menuBar", QPalette::ButtonText, false, {}},
        {"window", "leftdock", QPalette::WindowText, false, {}},
        {"window", "browse", QPalette::ButtonText, false, {}},
        {"window", "rotateNowButton", QPalette::ButtonText, false, {}},
        {"window", "rotatePhotosWhenAddedLabel", QPalette::WindowText, false, {}},
        {"window", "leftDockHelp", QPalette::WindowText, false, {}},
        {"window", "cmdLineOutput", QPalette::Text, false, mainPaneColors},
        {"window", "cmdLineOutput_2", QPalette::Text, false, detailedPaneColors},
        {"window", "transformedImage", QPalette::WindowText, false, {}},
        {"status bar", "Help", QPalette::ButtonText, false, {}},
        {"status bar", "Feedback (web)", QPalette::ButtonText, false, {}},
        {"tool tip", "stopRotatingButton", QPalette::ToolTipText, false, {}},
        {"tool tip", "showTreeButton", QPalette::ToolTipText, false, {}},
        {"menu", "menuFile", QPalette::Text, true, {}},
        {"Preferences", "watchSubfoldersToWatch", QPalette::WindowText, true, {}},
        {"Preferences", "keepAll", QPalette::ButtonText, false, {}},
        {"Preferences", "keep50", QPalette::ButtonText, false, {}},
        {"Preferences", "modificationDatetime_donothing", QPalette::ButtonText, false, {}},
        {"Preferences", "Close", QPalette::ButtonText, false, {}},
        {"About", "label_3", QPalette::WindowText, false, {}},
        {"About", "pushButton", QPalette::ButtonText, false, {}},
        {"About", "Close", QPalette::ButtonText, false, {}},
    };
    for (bool dark : {false, true}) {
        for (const auto &widget : widgets) {
            const bool pane = !widget.messageColors.isEmpty();
            QTest::addRow("%s %s %s", dark ? "dark" : "light", widget.owner, widget.name)
                << dark << widget.owner << widget.name << int(widget.role) << widget.disabled
                << (dark && pane ? darkMessageColors : widget.messageColors);
        }
    }
}

// The background that a widget shows against the colour its text is drawn in, and against the
// colours fixed in its rich text.
void ThemeTest::textIsReadable() {
    QFETCH(bool, dark);
    QFETCH(QString, owner);
    QFETCH(QString, name);
    QFETCH(int, textRole);
    QFETCH(bool, disabled);
    QFETCH(QList<QColor>, messageColors);

    newWindow();
    QWidget *widget = widgetToRead(owner, name);
    QVERIFY(widget);
    // As they are while a folder is open and the docks are shown.
    window->findChild<QWidget *>("rotateNowButton")->setEnabled(true);
    for (const char *dock : {"leftdock", "detailedOutputDock"})
        window->findChild<QWidget *>(dock)->show();
    window->show();
    // A menu and a tool tip are shown once the theme is in force.
    const bool popUp = qobject_cast<QMenu *>(widget) || owner == "tool tip";
    QWidget *shownWindow = popUp ? window.get() : widget->window();
    shownWindow->show();
    showPagesHolding(widget);
    QVERIFY(QTest::qWaitForWindowExposed(shownWindow));
    QApplication::setPalette(paletteWithWindowLightness(dark ? 40 : 220));
    settle();
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(dark ? Theme::Dark : Theme::Light));
    QWidget *shown = showForReading(owner, widget);
    QVERIFY(shown);
    settle();

    const QColor background = mostCommonColor(pictureOf(shown));
    const auto role = QPalette::ColorRole(textRole);
    if (disabled) {
        const QColor text = shown->palette().color(QPalette::Disabled, role);
        const double enabledRatio =
            contrast(shown->palette().color(QPalette::Active, role), background);
        const double ratio = contrast(text, background);
        if (ratio < 1.5 || ratio > 0.6 * enabledRatio) {
            QFAIL(qPrintable(QString("disabled %1 on %2: contrast %3, enabled text %4")
                                 .arg(text.name(), background.name())
                                 .arg(ratio, 0, 'f', 2)
                                 .arg(enabledRatio, 0, 'f', 2)));
        }
        return;
    }
    QList<QColor> textColors = messageColors;
    textColors << shown->palette().color(role);
    if (auto *label = qobject_cast<QLabel *>(shown))
        textColors << inlineColors(label->text());
    for (const QColor &text : textColors) {
        const double ratio = contrast(text, background);
        if (ratio < 3.0) {
            QFAIL(qPrintable(QString("%1 on %2: contrast %3")
                                 .arg(text.name(), background.name())
                                 .arg(ratio, 0, 'f', 2)));
        }
    }
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
    newWindow();

    QApplication::setPalette(paletteWithWindowLightness(lightness));
    settle();
    if (dark) {
        QCOMPARE(QApplication::palette(), ::darkPalette());
        QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    } else {
        QCOMPARE(QApplication::palette(), QApplication::style()->standardPalette());
        QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Light));
    }
}

void ThemeTest::appliedThemeSettles() {
    newWindow();
    PaletteChangeCounter counter;
    qApp->installEventFilter(&counter);

    QApplication::setPalette(paletteWithWindowLightness(100));
    settle();
    // The change made here, and the dark palette that answered it.
    QCOMPARE(counter.count, 2);

    for (int i = 0; i < 3; ++i) {
        QEvent paletteChange(QEvent::PaletteChange);
        QCoreApplication::sendEvent(window.get(), &paletteChange);
    }
    settle();
    QCOMPARE(counter.count, 2);
    QCOMPARE(qApp->styleSheet(), themeStyleSheet(Theme::Dark));
    qApp->removeEventFilter(&counter);
}

void ThemeTest::otherChangesLeaveTheThemeAlone() {
    newWindow();
    qApp->setStyleSheet("/* none yet */");
    for (auto type : {QEvent::FontChange, QEvent::StyleChange, QEvent::WindowTitleChange}) {
        QEvent change(type);
        QCoreApplication::sendEvent(window.get(), &change);
    }
    settle();
    QCOMPARE(qApp->styleSheet(), QString("/* none yet */"));
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"

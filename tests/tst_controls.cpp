// How the window's controls answer the user: each two-position switch flips once per gesture,
// also while a mouse press is held, and with the Space key, and shows the keyboard focus; every
// button that shows only an icon or a symbol has a name that screen readers can say; Tab leaves
// the output panes in one step; the menus' mnemonics are unique; and what needs a folder or a
// photo cannot be used without one.
#include <QAbstractButton>
#include <QAction>
#include <QFrame>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>

#include <algorithm>

#include "mainwindow/toggleswitch.h"
#include "presentation/outputmessage.h"
#include "settings/settings.h"
#include "slidergeometry.h"
#include "windowfixture.h"

using SliderGeometry::grooveFarEnd;

namespace {
bool showsNoWords(const QString &text) {
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); });
}

// The letter after a single "&", lower case; none when the text has no mnemonic.
QChar mnemonicOf(QString text) {
    text.replace("&&", QString());
    const int at = text.indexOf('&');
    return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
}

int pixelsOfColor(const QImage &image, const QColor &color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).rgb() == color.rgb();
    }
    return count;
}
} // namespace

class ControlsTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void heldPressFlipsTheCloseSwitchOnce();
    void oneFlipPerGesture_data();
    void oneFlipPerGesture();
    void flipsFromCodeAreNoGestures_data();
    void flipsFromCodeAreNoGestures();
    void spaceFlipsTheSwitches_data();
    void spaceFlipsTheSwitches();
    void iconOnlyButtonsHaveAccessibleNames();
    void switchesShowTheKeyboardFocus_data();
    void switchesShowTheKeyboardFocus();
    void tabLeavesTheOutputPanesInOneStep_data();
    void tabLeavesTheOutputPanesInOneStep();
    void menusHaveUniqueMnemonicsAndPreferencesItsShortcut();
    void actionsNeedAFolderOrAPhoto();

private:
    void activateWindow();
};

void ControlsTest::initTestCase() {
    setUpCase();
}

void ControlsTest::init() {
    setUp();
    newWindow();
    // As after a start from the file manager, which shows the close-after-finish frame.
    countdown()->showFrame();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void ControlsTest::cleanup() {
    tearDown();
}

void ControlsTest::activateWindow() {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

// Held past the slider's auto-repeat, which pages it again and again.
void ControlsTest::heldPressFlipsTheCloseSwitchOnce() {
    auto *slider = child<QSlider>("closeAppAfterRotatingFinishes");
    QSignalSpy toggled(countdown(), &CloseCountdown::choiceToggled);

    for (bool expected : {true, false}) {
        const QPoint point = grooveFarEnd(slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, point);
        QTest::qWait(1000);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, point);
        QCOMPARE(slider->value(), expected ? slider->maximum() : slider->minimum());
        QCOMPARE(slider->sliderPosition(), slider->value());
        QCOMPARE(Settings::closeAppAfterContextMenuRotate(), expected);
    }
    QCOMPARE(toggled.count(), 2);
}

// Both switches are the same kind of switch: whatever signals a gesture makes the slider send,
// the switch flips once and says so once, and the handle stands where the state is.
void ControlsTest::oneFlipPerGesture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("gesture");
    for (const char *name : {"horizontalSlider", "closeAppAfterRotatingFinishes"}) {
        for (const QString &gesture : SliderGeometry::gestures())
            QTest::addRow("%s, %s", name, qPrintable(gesture)) << QString(name) << gesture;
    }
}

void ControlsTest::oneFlipPerGesture() {
    QFETCH(QString, name);
    QFETCH(QString, gesture);
    auto *slider = window->findChild<QSlider *>(name);
    if (gesture == "jump press" && SliderGeometry::absoluteSetButton(slider) == Qt::NoButton)
        QSKIP("The style has no mouse button that jumps the handle.");
    auto *toggle = slider->findChild<ToggleSwitch *>();
    QVERIFY(toggle);
    QSignalSpy toggled(toggle, &ToggleSwitch::toggled);
    QVERIFY(!toggle->isOn());

    for (bool expected : {true, false}) {
        SliderGeometry::performGesture(slider, gesture);
        QCOMPARE(toggle->isOn(), expected);
        QCOMPARE(slider->value(), expected ? slider->maximum() : slider->minimum());
        QCOMPARE(slider->sliderPosition(), slider->value());
        QCOMPARE(slider->styleSheet().contains("#7c7"), expected);
    }
    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.at(0).at(0).toBool(), true);
    QCOMPARE(toggled.at(1).at(0).toBool(), false);
}

// What the program itself sets is no gesture: the switch moves and is coloured, and says nothing.
void ControlsTest::flipsFromCodeAreNoGestures_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("watch folder") << "horizontalSlider";
    QTest::newRow("close after finishing") << "closeAppAfterRotatingFinishes";
}

void ControlsTest::flipsFromCodeAreNoGestures() {
    QFETCH(QString, name);
    auto *slider = window->findChild<QSlider *>(name);
    auto *toggle = slider->findChild<ToggleSwitch *>();
    QSignalSpy toggled(toggle, &ToggleSwitch::toggled);

    toggle->setOn(true);
    QCOMPARE(slider->value(), slider->maximum());
    QVERIFY(slider->styleSheet().contains("#7c7"));
    toggle->setOn(false);
    QCOMPARE(slider->value(), slider->minimum());
    QVERIFY(slider->styleSheet().contains("#B1B1B1"));
    QCOMPARE(toggled.count(), 0);
}

void ControlsTest::spaceFlipsTheSwitches_data() {
    QTest::addColumn<QString>("name");

    QTest::newRow("watch folder") << "horizontalSlider";
    QTest::newRow("close after finishing") << "closeAppAfterRotatingFinishes";
}

void ControlsTest::spaceFlipsTheSwitches() {
    QFETCH(QString, name);
    auto *slider = window->findChild<QSlider *>(name);
    QVERIFY(slider->focusPolicy() & Qt::TabFocus);
    slider->setFocus();

    QTest::keyClick(slider, Qt::Key_Space);
    QCOMPARE(slider->value(), slider->maximum());
    // A held key repeats its press; that is still one stroke.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QCoreApplication::sendEvent(slider, &repeat);
    QCOMPARE(slider->value(), slider->maximum());
    QTest::keyClick(slider, Qt::Key_Space);
    QCOMPARE(slider->value(), slider->minimum());
}

// The window's own buttons and those of its dialogs; the toolkit's buttons inside its widgets
// (a dock's close button, a tab bar's scroll arrows) carry their own names.
void ControlsTest::iconOnlyButtonsHaveAccessibleNames() {
    int checked = 0;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->objectName().startsWith("qt_") || !showsNoWords(button->text()))
            continue;
        ++checked;
        QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
    }
    // The folder tree, Stop, the preview's six and the notice's close button.
    QVERIFY(checked >= 9);
}

void ControlsTest::switchesShowTheKeyboardFocus_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("watch switch") << "horizontalSlider";
    QTest::newRow("close switch") << "closeAppAfterRotatingFinishes";
}

// A ring in the highlight colour shows which switch Space would flip.
void ControlsTest::switchesShowTheKeyboardFocus() {
    QFETCH(QString, name);
    activateWindow();
    auto *slider = window->findChild<QSlider *>(name);
    const QColor highlight = slider->palette().color(QPalette::Highlight);
    child<QWidget>("cmdLineOutput")->setFocus(Qt::TabFocusReason);
    const int unfocused = pixelsOfColor(slider->grab().toImage(), highlight);

    slider->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(slider->hasFocus());
    const int focused = pixelsOfColor(slider->grab().toImage(), highlight);
    QVERIFY2(
        focused > unfocused + slider->width(),
        qPrintable(
            QString("%1 highlight pixels with focus, %2 without").arg(focused).arg(unfocused)));
}

void ControlsTest::tabLeavesTheOutputPanesInOneStep_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("main pane") << "cmdLineOutput";
    QTest::newRow("detailed pane") << "cmdLineOutput_2";
}

void ControlsTest::tabLeavesTheOutputPanesInOneStep() {
    QFETCH(QString, name);
    child<QAction>("action_Detailed_output")->trigger();
    for (int i = 0; i < 5; ++i) {
        const QString link = QString("<a href=\"file:///photo%1.jpg\">photo%1.jpg</a>").arg(i);
        panes()->append(link);
        panes()->write(OutputMessage::detailed(link, false));
    }
    activateWindow();
    auto *pane = child<QWidget>(qPrintable(name));
    pane->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(pane->hasFocus());

    QTest::keyClick(pane, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != pane);
}

void ControlsTest::menusHaveUniqueMnemonicsAndPreferencesItsShortcut() {
    for (QAction *menuAction : window->menuBar()->actions()) {
        QList<QChar> used;
        for (const QAction *action : menuAction->menu()->actions()) {
            const QChar mnemonic = mnemonicOf(action->text());
            if (mnemonic.isNull())
                continue;
            QVERIFY2(!used.contains(mnemonic),
                     qPrintable(menuAction->text() + ": " + action->text().trimmed()));
            used << mnemonic;
        }
    }

    const QList<QKeySequence> standard = QKeySequence::keyBindings(QKeySequence::Preferences);
    const QKeySequence expected =
        standard.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Comma) : standard.first();
    QCOMPARE(child<QAction>("actionPreferences")->shortcut(), expected);
}

// The folder's actions wait for a folder, the photo's for a photo.
void ControlsTest::actionsNeedAFolderOrAPhoto() {
    const QStringList folderActions{"actionRotate_folder_now", "actionSelectPrevious",
                                    "actionSelectNext"};
    const QStringList photoActions{"actionRotate_currently_selected_file", "actionRotate_Clockwise",
                                   "actionRotate_Counterclockwise"};
    const auto enabled = [this](const QStringList &names) {
        QList<bool> states;
        for (const QString &name : names)
            states << child<QAction>(qPrintable(name))->isEnabled();
        return states;
    };
    QCOMPARE(enabled(folderActions), QList<bool>(3, false));
    QCOMPARE(enabled(photoActions), QList<bool>(3, false));

    folderBar()->openFolder(sandbox->path());
    QCOMPARE(enabled(folderActions), QList<bool>(3, true));
    QCOMPARE(enabled(photoActions), QList<bool>(3, false));

    const QString photo = sandbox->filePath("photo.jpg");
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg", photo));
    previewDock()->showPhoto(photo);
    QCOMPARE(enabled(photoActions), QList<bool>(3, true));
}

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"

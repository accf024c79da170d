// How the window's controls answer the user: each two-position switch flips once per gesture,
// also while a mouse press is held, and with the Space key; and every button that shows only an
// icon or a symbol has a name that screen readers can say.
#include <QAbstractButton>
#include <QFrame>
#include <QKeyEvent>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "mainwindow/pivotta.h"
#include "settings/settings.h"
#include "slidergeometry.h"

using SliderGeometry::grooveFarEnd;

namespace {
bool showsNoWords(const QString &text) {
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); });
}
} // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void heldPressFlipsTheCloseSwitchOnce();
    void spaceFlipsTheSwitches_data();
    void spaceFlipsTheSwitches();
    void iconOnlyButtonsHaveAccessibleNames();

private:
    std::unique_ptr<Pivotta> window;
};

void ControlsTest::initTestCase() {
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    Q_INIT_RESOURCE(resources);
}

void ControlsTest::init() {
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta").clear();
    window = std::make_unique<Pivotta>(false, false, false, QString(), QString());
    // As after a start from the file manager, which shows the close-after-finish frame.
    window->findChild<QFrame *>("closeAppAfterRotatingFinishesFrame")->show();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void ControlsTest::cleanup() {
    window.reset();
}

// Held past the slider's auto-repeat, which pages it again and again.
void ControlsTest::heldPressFlipsTheCloseSwitchOnce() {
    auto *slider = window->findChild<QSlider *>("closeAppAfterRotatingFinishes");
    QSignalSpy toggled(window.get(), &Pivotta::closeAppAfterContextMenuRotate_toggled);

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

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"

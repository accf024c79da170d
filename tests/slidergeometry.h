// Where to press a slider in a test: its handle, and the far end of its groove from the handle
// (a press there pages the slider, and repeats while it is held); and the gestures a user makes
// on a two-position switch, by name.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSlider>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <QtTest>

namespace SliderGeometry {

inline QStyleOptionSlider sliderOption(QSlider *slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.subControls = QStyle::SC_All;
    return option;
}

inline QRect handleRect(QSlider *slider) {
    const QStyleOptionSlider option = sliderOption(slider);
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                           slider);
}

inline QPoint grooveFarEnd(QSlider *slider) {
    const int y = handleRect(slider).center().y();
    return slider->value() == slider->minimum() ? QPoint(slider->width() - 2, y) : QPoint(1, y);
}

// Every way a user can flip a switch; "jump press" needs a style with a button that jumps the
// handle (absoluteSetButton).
inline QStringList gestures() {
    return {"handle click", "groove click", "held groove press", "handle drag",
            "jump press",   "arrow key",    "page key",          "wheel"};
}

inline Qt::MouseButton absoluteSetButton(QSlider *slider) {
    const auto buttons = Qt::MouseButtons(
        slider->style()->styleHint(QStyle::SH_Slider_AbsoluteSetButtons, nullptr, slider));
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
        if (buttons & button)
            return button;
    }
    return Qt::NoButton;
}

inline void performGesture(QSlider *slider, const QString &gesture) {
    if (gesture == "handle click") {
        QTest::mouseClick(slider, Qt::LeftButton, {}, handleRect(slider).center());
    } else if (gesture == "groove click") {
        QTest::mouseClick(slider, Qt::LeftButton, {}, grooveFarEnd(slider));
    } else if (gesture == "held groove press") {
        // Held past the slider's auto-repeat delay.
        const QPoint point = grooveFarEnd(slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, point);
        QTest::qWait(800);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, point);
    } else if (gesture == "handle drag") {
        // Back and forth over the whole groove, so that the handle's position changes whichever
        // end the press left it at.
        const QPoint start = handleRect(slider).center();
        const QPoint end = grooveFarEnd(slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, start);
        for (const QPoint &point : {end, start, end, start})
            QTest::mouseMove(slider, point);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, start);
    } else if (gesture == "jump press") {
        QTest::mouseClick(slider, absoluteSetButton(slider), {}, grooveFarEnd(slider));
    } else if (gesture == "arrow key") {
        QTest::keyClick(slider,
                        slider->value() == slider->minimum() ? Qt::Key_Right : Qt::Key_Left);
    } else if (gesture == "page key") {
        QTest::keyClick(slider, Qt::Key_PageUp);
    } else if (gesture == "wheel") {
        const QPointF point = slider->rect().center();
        QWheelEvent wheel(point, slider->mapToGlobal(point), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(slider, &wheel);
    }
}

} // namespace SliderGeometry

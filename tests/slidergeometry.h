// Where to press a slider in a test: its handle, and the far end of its groove from the handle
// (a press there pages the slider, and repeats while it is held).
#pragma once

#include <QPoint>
#include <QRect>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

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

} // namespace SliderGeometry

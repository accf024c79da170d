// The application font rule.
#include "common/applicationfont.h"

QFont startupFont(QFont font, const QVariant &forceChecked, const QVariant &forceValue) {
    font.setFamily("Segoe UI");
    bool isNumber = false;
    const int pixelSize = forceValue.toInt(&isNumber);
    // A stored value that is no positive number counts as absent rather than breaking the font.
    const bool forced = !forceChecked.isNull() && !forceValue.isNull() && forceChecked.toBool() &&
                        isNumber && pixelSize > 0;
    if (forced)
        font.setPixelSize(pixelSize);
    else
        font.setPointSize(10);
    return font;
}

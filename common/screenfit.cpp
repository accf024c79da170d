// Fitting windows into the available area of their screen.
#include "common/screenfit.h"

#include <QRect>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {
// The window frame as the window system reports it once the window has been shown; before that,
// a title bar and thin borders as the style draws them.
QMargins frameMargins(const QWidget *window) {
    if (const QWindow *handle = window->windowHandle()) {
        const QMargins reported = handle->frameMargins();
        if (!reported.isNull())
            return reported;
    }
    const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const int titleBar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QMargins(border, titleBar + border, border, border);
}

const QScreen *screenOf(const QWidget *window) {
    const QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : window;
    return owner->screen();
}
} // namespace

QSize sizeWithinScreen(const QSize &size, const QSize &available, const QMargins &frame) {
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    return size.boundedTo(room);
}

bool shrinkIntoScreen(QWidget *window) {
    const QScreen *screen = screenOf(window);
    if (!screen || !window->isWindow() || window->isMaximized() || window->isFullScreen())
        return false;
    const QSize fitting =
        sizeWithinScreen(window->size(), screen->availableGeometry().size(), frameMargins(window));
    if (fitting == window->size())
        return false;
    window->resize(fitting);
    return true;
}

void fitIntoScreen(QWidget *window) {
    if (!shrinkIntoScreen(window))
        return;
    const QRect available = screenOf(window)->availableGeometry();
    const QMargins frame = frameMargins(window);
    const QSize frameSize = window->size().grownBy(frame);
    window->move(available.x() + std::max(0, (available.width() - frameSize.width()) / 2),
                 available.y() + std::max(0, (available.height() - frameSize.height()) / 2));
}

void setHeightWithinScreen(QWidget *window, int height) {
    const QScreen *screen = screenOf(window);
    QSize wanted(window->width(), height);
    if (screen)
        wanted = sizeWithinScreen(wanted, screen->availableGeometry().size(), frameMargins(window));
    window->resize(wanted);
}

int heightShowingAll(const QScrollArea *area, int width) {
    const QWidget *content = area->widget();
    if (!content)
        return area->height();
    const int frame = 2 * area->frameWidth();
    const int contentHeight = content->hasHeightForWidth() ? content->heightForWidth(width - frame)
                                                           : content->sizeHint().height();
    return contentHeight + frame;
}

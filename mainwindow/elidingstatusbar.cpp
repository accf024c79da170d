// The status bar that shortens its message. It draws what QStatusBar draws (the panel, the frames
// of its items and the message in the room left of them), with the message elided.
#include "mainwindow/elidingstatusbar.h"

#include <QPainter>
#include <QPaintEvent>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace {
// QStatusBar's own margins around its message.
constexpr int leftMargin = 6;
constexpr int rightMargin = 12;
constexpr int itemGap = 2;
} // namespace

ElidingStatusBar::ElidingStatusBar(QWidget *parent)
    : QStatusBar(parent) {}

QString ElidingStatusBar::shownMessage() const {
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, messageRect().width());
}

// The status bar's items are its widgets other than the size grip.
QList<QWidget *> ElidingStatusBar::itemsShown() const {
    QList<QWidget *> items;
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && !qobject_cast<QSizeGrip *>(child))
            items << child;
    }
    return items;
}

// While a message is shown, only the permanent items are; the message takes the room up to the
// first of them.
QRect ElidingStatusBar::messageRect() const {
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    int left = leftMargin;
    int right = width() - rightMargin;
    for (const QWidget *item : itemsShown()) {
        if (rightToLeft)
            left = std::max(left, item->geometry().right() + 1 + itemGap);
        else
            right = std::min(right, item->x() - itemGap);
    }
    for (const QSizeGrip *grip : findChildren<QSizeGrip *>(Qt::FindDirectChildrenOnly)) {
        if (!grip->isVisible())
            continue;
        if (rightToLeft)
            left = std::max(left, grip->geometry().right() + 1);
        else
            right = std::min(right, grip->x());
    }
    return QRect(left, 0, std::max(0, right - left), height());
}

void ElidingStatusBar::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    QStyleOption panel;
    panel.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &panel, &painter, this);
    for (QWidget *item : itemsShown()) {
        const QRect frame = item->geometry().adjusted(-2, -1, 2, 1);
        if (!event->rect().intersects(frame))
            continue;
        QStyleOption option(0);
        option.rect = frame;
        option.palette = palette();
        option.state = QStyle::State_None;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &option, &painter, item);
    }
    if (currentMessage().isEmpty())
        return;
    painter.setPen(palette().windowText().color());
    painter.drawText(messageRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     shownMessage());
}

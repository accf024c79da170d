// The window's status bar: a QStatusBar whose message, when the room beside the permanent widgets
// is too narrow for it, ends in "…" instead of being cut off.
#pragma once

#include <QStatusBar>

class ElidingStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit ElidingStatusBar(QWidget *parent = nullptr);

    // The message as it is drawn now: whole, or shortened to the room it has.
    QString shownMessage() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect messageRect() const;
    QList<QWidget *> itemsShown() const;
};

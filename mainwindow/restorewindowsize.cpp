// Saving and restoring a top-level window's size (and optionally position).
#include "mainwindow/restorewindowsize.h"

#include "common/debuglog.h"
#include <QPoint>
#include <QSize>
#include <QWidget>

#include "common/screenfit.h"
#include "settings/settings.h"

namespace {
QString windowKey(const char *format, const QWidget *window) {
    return QString::fromLatin1(format).arg(window->metaObject()->className());
}
} // namespace

RestoreWindowSize::RestoreWindowSize(QWidget *servedWindow, bool alsoSavePosition)
    : window(servedWindow)
    , savePosition(alsoSavePosition) {}

void RestoreWindowSize::restore() {
    if (!window->windowFlags().testFlag(Qt::Window))
        return;

    const QVariant position = Settings::value(windowKey(SettingsKey::windowPositionFormat, window));
    const QVariant size = Settings::value(windowKey(SettingsKey::windowSizeFormat, window));
    const QVariant maximized =
        Settings::value(windowKey(SettingsKey::windowMaximizedFormat, window));

    if (!maximized.isNull() && maximized.toBool()) {
        window->showMaximized();
        return;
    }
    const QPoint point = position.toPoint();
    if (savePosition && !point.isNull()) {
        qCDebug(lcPivotta) << "restore position" << window->metaObject()->className();
        window->move(point.x() < 0 || point.y() < 0 ? QPoint(0, 0) : point);
    }
    const QSize storedSize = size.toSize();
    if (storedSize.width() > 0 && storedSize.height() > 0) {
        window->resize(storedSize);
        // Stored on a larger screen, or before the screen's resolution was lowered.
        fitIntoScreen(window);
    }
}

void RestoreWindowSize::save() {
    if (!window->windowFlags().testFlag(Qt::Window))
        return;

    const bool maximized = window->isMaximized();
    Settings::setValue(windowKey(SettingsKey::windowMaximizedFormat, window), maximized);
    if (maximized)
        return;
    if (savePosition)
        Settings::setValue(windowKey(SettingsKey::windowPositionFormat, window), window->pos());
    Settings::setValue(windowKey(SettingsKey::windowSizeFormat, window), window->size());
}

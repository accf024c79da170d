// Keeps a window's size and maximized state in the user settings, keyed by its class name.
#pragma once

class QWidget;

class RestoreWindowSize {
public:
    RestoreWindowSize(QWidget *window, bool savePosition);

    void restore();
    void save();

private:
    QWidget *window;
    const bool savePosition;
};

#include <QObject>
Q_DECLARE_INTERFACE(RestoreWindowSize, "RestoreWindowSize")

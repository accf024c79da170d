// The desktop's notification service: on Linux and other free desktops the freedesktop.org
// notification service on the session bus, reached with Qt D-Bus; elsewhere none.
#pragma once

#include <memory>

#include "mainwindow/batchnotice.h"

std::unique_ptr<NotificationSender> desktopNotificationSender();

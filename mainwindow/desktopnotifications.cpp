// Notifications through org.freedesktop.Notifications. Nothing here waits for the bus: whether the
// service is there is asked when a batch starts, and the answer arrives while it runs; a
// notification is sent without waiting for the reply.
#include "mainwindow/desktopnotifications.h"

#ifdef PIVOTTA_DESKTOP_NOTIFICATIONS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace {
const char *const service = "org.freedesktop.Notifications";
const char *const path = "/org/freedesktop/Notifications";

class FreedesktopNotifications : public QObject, public NotificationSender {
public:
    void prepare() override;
    bool isAvailable() const override { return owned || activatable; }
    void send(const QString &title, const QString &body) override;

private:
    void askBus(QDBusConnection bus);

    bool asked = false;
    bool owned = false;       // the service runs
    bool activatable = false; // the bus starts it when it is called
};

void FreedesktopNotifications::prepare() {
    if (asked)
        return;
    asked = true;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        askBus(bus);
}

// The service may start, stop or be started by the bus on demand; each is noticed.
void FreedesktopNotifications::askBus(QDBusConnection bus) {
    auto *owner =
        new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                owned = !newOwner.isEmpty();
            });
    const auto answer = [this](QDBusPendingCall call, auto use) {
        auto *watcher = new QDBusPendingCallWatcher(call, this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [use](QDBusPendingCallWatcher *finished) {
                    use(*finished);
                    finished->deleteLater();
                });
    };
    QDBusConnectionInterface *busItself = bus.interface();
    answer(busItself->asyncCall("NameHasOwner", QString(service)),
           [this](const QDBusPendingReply<bool> &reply) {
               if (reply.isValid() && reply.value())
                   owned = true;
           });
    answer(busItself->asyncCall("ListActivatableNames"),
           [this](const QDBusPendingReply<QStringList> &reply) {
               activatable = reply.isValid() && reply.value().contains(service);
           });
}

void FreedesktopNotifications::send(const QString &title, const QString &body) {
    QDBusMessage notify = QDBusMessage::createMethodCall(service, path, service, "Notify");
    const QString desktopEntry = QGuiApplication::desktopFileName();
    QVariantMap hints;
    if (!desktopEntry.isEmpty())
        hints.insert("desktop-entry", desktopEntry);
    notify << QCoreApplication::applicationName() << uint(0) << desktopEntry << title << body
           << QStringList() << hints << int(-1);
    QDBusConnection::sessionBus().send(notify);
}
} // namespace

std::unique_ptr<NotificationSender> desktopNotificationSender() {
    return std::make_unique<FreedesktopNotifications>();
}

#else

namespace {
// No notification service is known on this platform.
class NoNotifications : public NotificationSender {
public:
    bool isAvailable() const override { return false; }
    void send(const QString &, const QString &) override {}
};
} // namespace

std::unique_ptr<NotificationSender> desktopNotificationSender() {
    return std::make_unique<NoNotifications>();
}

#endif

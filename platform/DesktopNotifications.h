#pragma once

#include "platform/Platform.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// The program's one notification through org.freedesktop.Notifications on a bus. Calls go out
// without waiting and give up after a second, so a missing or hung service never holds up the
// program; the do-not-disturb state is followed as the service reports it.
class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifications(const QDBusConnection& bus, QObject* parent = nullptr);
    ~DesktopNotifications() override;

    void show(const DesktopNotification& notification);
    void close();
    bool inhibited() const { return m_inhibited; }
    // Whether a call to the service still waits for its answer.
    bool waiting() const { return m_waiting; }

signals:
    void actionInvoked(const QString& key);

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onNotificationClosed(uint id, uint reason);
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    void readInhibited();
    // Sends what was asked last, once the previous call has its answer: a notification shown
    // after a close, or a close after a notification, needs the id the service gave.
    void sendNext();
    void call(const QString& method, const QVariantList& arguments,
              void (DesktopNotifications::*onReply)(QDBusPendingCallWatcher*));
    void onNotifyReply(QDBusPendingCallWatcher* watcher);
    void onCloseReply(QDBusPendingCallWatcher* watcher);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    uint m_id = 0; // the shown notification's id; 0 when none is shown
    bool m_inhibited = false;
    bool m_waiting = false;
    enum class Request
    {
        None,
        Show,
        Close
    };
    Request m_next = Request::None;
    DesktopNotification m_toShow;
};

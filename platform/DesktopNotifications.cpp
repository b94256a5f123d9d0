#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcNotify, "quillpost.notify", QtWarningMsg)

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// Who the notification is from: the program, its icon in the theme and its menu entry.
const QString kApplicationName = QStringLiteral("Quillpost");
const QString kIconName = QStringLiteral("quillpost");
const QString kDesktopEntry = QStringLiteral("org.example.quillpost.Quillpost");
// A service that does not answer within this is taken as absent.
constexpr int kCallTimeoutMs = 1000;

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
    m_bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    // A service that comes or goes forgets the notification and its quiet state.
    m_serviceWatcher =
        new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                m_id = 0;
                m_inhibited = false;
                if (!newOwner.isEmpty())
                    readInhibited();
            });
    readInhibited();
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::show(const DesktopNotification& notification)
{
    m_toShow = notification;
    m_next = Request::Show;
    sendNext();
}

void DesktopNotifications::close()
{
    m_next = Request::Close;
    sendNext();
}

void DesktopNotifications::sendNext()
{
    if (m_waiting || m_next == Request::None)
        return;
    const Request request = std::exchange(m_next, Request::None);
    if (request == Request::Show) {
        const QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopEntry}};
        call(
            QStringLiteral("Notify"),
            {kApplicationName, m_id, kIconName, m_toShow.summary, m_toShow.body, m_toShow.actions, hints, -1},
            &DesktopNotifications::onNotifyReply);
    } else if (m_id != 0) {
        call(QStringLiteral("CloseNotification"), {m_id}, &DesktopNotifications::onCloseReply);
    }
}

void DesktopNotifications::call(const QString& method, const QVariantList& arguments,
                                void (DesktopNotifications::*onReply)(QDBusPendingCallWatcher*))
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    m_waiting = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, onReply);
}

void DesktopNotifications::onNotifyReply(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_waiting = false;
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError())
        qCDebug(lcNotify) << "no notification:" << reply.error().message();
    else
        m_id = reply.value();
    sendNext();
}

void DesktopNotifications::onCloseReply(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_waiting = false;
    m_id = 0;
    sendNext();
}

void DesktopNotifications::readInhibited()
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    message.setArguments({kInterface, QStringLiteral("Inhibited")});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        // Services without the property never ask for quiet.
        const QDBusPendingReply<QDBusVariant> reply = *w;
        m_inhibited = !reply.isError() && reply.value().variant().toBool();
        qCDebug(lcNotify) << "do not disturb:" << m_inhibited;
    });
}

void DesktopNotifications::onActionInvoked(uint id, const QString& key)
{
    // Every client hears every action; only those on this notification are the program's.
    if (id != 0 && id == m_id)
        emit actionInvoked(key);
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    if (id == m_id)
        m_id = 0;
}

void DesktopNotifications::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                               const QStringList& invalidated)
{
    if (interface != kInterface)
        return;
    if (changed.contains(QStringLiteral("Inhibited")))
        m_inhibited = changed.value(QStringLiteral("Inhibited")).toBool();
    else if (invalidated.contains(QStringLiteral("Inhibited")))
        readInhibited();
}

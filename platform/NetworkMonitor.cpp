#include "platform/NetworkMonitor.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

NetworkMonitor::NetworkMonitor()
    : m_monitor(g_network_monitor_get_default())
    , m_available(g_network_monitor_get_network_available(m_monitor))
{
    // Without GLib's event loop under Qt (QT_NO_GLIB), nothing would deliver the monitor's
    // notifications: available() then runs the GLib main context itself.
    const QAbstractEventDispatcher* dispatcher =
        QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
    m_glibLoop = dispatcher && dispatcher->inherits("QEventDispatcherGlib");
    m_handler = g_signal_connect(m_monitor, "network-changed", G_CALLBACK(&NetworkMonitor::changed), this);
}

NetworkMonitor::~NetworkMonitor()
{
    g_signal_handler_disconnect(m_monitor, m_handler);
}

bool NetworkMonitor::available()
{
    if (!m_glibLoop)
        while (g_main_context_iteration(nullptr, FALSE))
            ;
    return m_available;
}

void NetworkMonitor::changed(_GNetworkMonitor*, int available, void* self)
{
    static_cast<NetworkMonitor*>(self)->m_available = available;
}

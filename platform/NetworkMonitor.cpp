#include "platform/NetworkMonitor.h"

#include "core/RuntimeError.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLibrary>

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

// Loading GIO starts GLib's type system, a few milliseconds that every start would pay although
// the monitor is first asked seconds later: GIO is loaded when the first monitor is made.
struct Gio
{
    decltype(&g_network_monitor_get_default) networkMonitorGetDefault;
    decltype(&g_network_monitor_get_network_available) networkMonitorGetNetworkAvailable;
    decltype(&g_signal_connect_data) signalConnectData;
    decltype(&g_signal_handler_disconnect) signalHandlerDisconnect;
    decltype(&g_main_context_iteration) mainContextIteration;
};

const Gio& gio()
{
    static const Gio functions = [] {
        // Never unloaded: GLib's types cannot be unregistered.
        QLibrary library(QStringLiteral("gio-2.0"), 0);
        const auto failure = [](const QString& why) {
            return RuntimeError(QStringLiteral("The network monitor cannot start: ") + why);
        };
        if (!library.load())
            throw failure(library.errorString());
        const auto resolve = [&]<typename Function>(Function& function, const char* name) {
            function = reinterpret_cast<Function>(library.resolve(name));
            if (!function)
                throw failure(QLatin1String(name) + QStringLiteral(" is missing from ") + library.fileName());
        };
        Gio loaded{};
        resolve(loaded.networkMonitorGetDefault, "g_network_monitor_get_default");
        resolve(loaded.networkMonitorGetNetworkAvailable, "g_network_monitor_get_network_available");
        resolve(loaded.signalConnectData, "g_signal_connect_data");
        resolve(loaded.signalHandlerDisconnect, "g_signal_handler_disconnect");
        resolve(loaded.mainContextIteration, "g_main_context_iteration");
        return loaded;
    }();
    return functions;
}

} // namespace

NetworkMonitor::NetworkMonitor()
    : m_monitor(gio().networkMonitorGetDefault())
    , m_available(gio().networkMonitorGetNetworkAvailable(m_monitor))
{
    // Without GLib's event loop under Qt (QT_NO_GLIB), nothing would deliver the monitor's
    // notifications: available() then runs the GLib main context itself.
    const QAbstractEventDispatcher* dispatcher =
        QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
    m_glibLoop = dispatcher && dispatcher->inherits("QEventDispatcherGlib");
    m_handler = gio().signalConnectData(m_monitor, "network-changed", G_CALLBACK(&NetworkMonitor::changed),
                                        this, nullptr, GConnectFlags{});
}

NetworkMonitor::~NetworkMonitor()
{
    gio().signalHandlerDisconnect(m_monitor, m_handler);
}

bool NetworkMonitor::available()
{
    if (!m_glibLoop)
        while (gio().mainContextIteration(nullptr, FALSE))
            ;
    return m_available;
}

void NetworkMonitor::changed(_GNetworkMonitor*, int available, void* self)
{
    static_cast<NetworkMonitor*>(self)->m_available = available;
}

#pragma once

struct _GNetworkMonitor;

// Whether the system reaches the network, as GIO's network monitor sees it: NetworkManager's
// state where that runs, else the kernel's default routes. The monitor's notifications come
// through the GLib main context that Qt's event loop runs, so the state read here is current.
class NetworkMonitor
{
public:
    NetworkMonitor();
    ~NetworkMonitor();
    NetworkMonitor(const NetworkMonitor&) = delete;
    NetworkMonitor& operator=(const NetworkMonitor&) = delete;

    bool available();

private:
    static void changed(_GNetworkMonitor* monitor, int available, void* self);

    _GNetworkMonitor* m_monitor;
    unsigned long m_handler = 0;
    bool m_available = false;
    bool m_glibLoop; // Qt's event loop runs the GLib main context
};

#pragma once

class Platform;

namespace Internet {

// What connects the computer at one moment.
struct Connection
{
    bool network = false; // the system reaches the network
    bool link = false;    // the first point-to-point link (dial-up, VPN) is fully up
};

// A point-to-point link counts once the first one the kernel lists is up, running and has an
// address; one still on its way up counts as not there, even when a later one is up.
Connection CurrentConnection(Platform& platform);

// On-line: the system reaches the network, or a dial-up or VPN link is fully up.
bool IsOnLine(const Connection& connection);

// Whether a connection came up between two polls: the network came back, or a dial-up or VPN
// link came up (also while the network was already up).
bool CameUp(const Connection& now, const Connection& before);

} // namespace Internet

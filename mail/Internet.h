#pragma once

class Platform;

namespace Internet {

// Whether a dial-up connection is fully up: the first point-to-point link the kernel lists is up,
// running and has an address. A link still on its way up counts as off-line, even when a later
// one is up.
bool IsOnLine(Platform& platform);

} // namespace Internet

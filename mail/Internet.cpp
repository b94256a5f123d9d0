#include "mail/Internet.h"

#include "platform/Platform.h"

namespace Internet {

bool IsOnLine(Platform& platform)
{
    const QList<NetworkLink> links = platform.pointToPointLinks();
    if (links.isEmpty())
        return false;
    const NetworkLink& first = links.first();
    return first.up && first.running && first.hasAddress;
}

} // namespace Internet

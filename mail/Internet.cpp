#include "mail/Internet.h"

#include "platform/Platform.h"

namespace Internet {

Connection CurrentConnection(Platform& platform)
{
    const QList<NetworkLink> links = platform.pointToPointLinks();
    const bool linkUp =
        !links.isEmpty() && links.first().up && links.first().running && links.first().hasAddress;
    return {platform.networkAvailable(), linkUp};
}

bool IsOnLine(const Connection& connection)
{
    return connection.network || connection.link;
}

bool CameUp(const Connection& now, const Connection& before)
{
    return (now.network && !before.network) || (now.link && !before.link);
}

} // namespace Internet

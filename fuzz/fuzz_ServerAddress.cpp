// The "POP3 Server :" text in any form a user might type, or any bytes at all.

#include "fuzz/Require.h"

#include "mail/ServerAddress.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<ServerAddress> address = ServerAddress::parse(text);
    if (!text.isEmpty() && !text.contains(QLatin1Char(':')) && !text.contains(QLatin1Char('['))) {
        require(address && address->host == text && address->port == ServerAddress::kPlainPort &&
                    !address->secure,
                "a plain name goes to port 110 exactly as typed");
    }
    if (!address)
        return 0;
    require(!address->host.isEmpty() || text.isEmpty(), "a server text that reads has a host");
    require(address->port != 0, "a server text that reads has a port");

    // Written out again with its scheme and port, the address reads back the same.
    const QString host = address->host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + address->host + QLatin1Char(']')
                             : address->host;
    const QString spelled = (address->secure ? QStringLiteral("pop3s://") : QStringLiteral("pop3://")) +
                            host + QLatin1Char(':') + QString::number(address->port);
    if (const std::optional<ServerAddress> again = ServerAddress::parse(spelled))
        require(again->host == address->host && again->port == address->port &&
                    again->secure == address->secure,
                "an address spelled out reads back the same");
    return 0;
}

#include "mail/ServerAddress.h"

#include <QHostAddress>

#include <algorithm>

namespace {

bool isIPv6(const QString& text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// A host name or IPv4 address written before ":port" or after a scheme. Blanks and the characters
// that give URLs their structure cannot be in one; what remains is for the name lookup to judge.
bool isHostName(const QString& text)
{
    static const QString structural = QStringLiteral("/?#@[]:%");
    return !text.isEmpty() && std::none_of(text.begin(), text.end(),
                                           [](QChar c) { return c.isSpace() || structural.contains(c); });
}

std::optional<quint16> readPort(const QString& text)
{
    if (text.isEmpty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

// "host", "host:port", "[address]" or "[address]:port", with its port, or defaultPort when none
// is given. A bare IPv6 address is not read here: its colons would be taken for a port.
std::optional<ServerAddress> readAuthority(const QString& text, quint16 defaultPort)
{
    ServerAddress result;
    QString portText;
    bool hasPort = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || !isIPv6(text.mid(1, close - 1)))
            return std::nullopt;
        result.host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
        hasPort = !rest.isEmpty();
        portText = rest.mid(1);
    } else {
        const qsizetype colon = text.indexOf(u':');
        result.host = text.left(colon);
        hasPort = colon >= 0;
        if (hasPort)
            portText = text.mid(colon + 1);
        if (!isHostName(result.host))
            return std::nullopt;
    }
    result.port = defaultPort;
    if (hasPort) {
        const std::optional<quint16> port = readPort(portText);
        if (!port)
            return std::nullopt;
        result.port = *port;
    }
    return result;
}

} // namespace

std::optional<ServerAddress> ServerAddress::parse(const QString& text)
{
    for (const bool secure : {false, true}) {
        const QString scheme = secure ? QStringLiteral("pop3s://") : QStringLiteral("pop3://");
        if (!text.startsWith(scheme, Qt::CaseInsensitive))
            continue;
        QString authority = text.mid(scheme.size());
        if (authority.endsWith(u'/')) // as a pasted address often ends
            authority.chop(1);
        std::optional<ServerAddress> address = readAuthority(authority, secure ? kSecurePort : kPlainPort);
        if (address)
            address->secure = secure;
        return address;
    }

    // A name without a colon is used exactly as typed, whatever it holds, as it always was.
    if (!text.contains(u':') || isIPv6(text))
        return ServerAddress{text};
    std::optional<ServerAddress> address = readAuthority(text, kPlainPort);
    if (address)
        address->secure = address->port == kSecurePort;
    return address;
}

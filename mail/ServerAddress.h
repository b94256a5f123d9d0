#pragma once

#include <QString>

#include <optional>

// Where the "POP3 Server :" text points: a host and port, and whether the conversation runs over
// TLS. The text is read as
//   host                  plain POP3 on port 110; the text is taken exactly as typed, as it always
//                         was (an IPv6 address such as ::1 is a host too)
//   [IPv6 address]        the same, the address without its brackets
//   host:port             plain POP3 on that port, except 995, which means POP3 over TLS
//   [IPv6 address]:port   likewise
//   pop3s://host[:port]   POP3 over TLS, port 995 unless given
//   pop3://host[:port]    plain POP3, port 110 unless given
// A plain connection still turns into TLS when the server offers STLS.
struct ServerAddress
{
    static constexpr quint16 kPlainPort = 110;
    static constexpr quint16 kSecurePort = 995;

    QString host;
    quint16 port = kPlainPort;
    bool secure = false;

    // Empty for a text that cannot be read this way.
    static std::optional<ServerAddress> parse(const QString& text);
};

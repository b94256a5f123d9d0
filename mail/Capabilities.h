#pragma once

#include <QString>
#include <QStringList>

// What a POP3 server says it offers in its CAPA list: whether it turns the connection into TLS
// (STLS), and the SASL mechanisms it takes for AUTH.
struct Capabilities
{
    // Mechanisms kept beyond this are dropped: a server cannot make us hold an endless list.
    static constexpr qsizetype kMaxMechanisms = 32;

    bool stls = false;
    QStringList sasl; // in capitals, in the server's order

    // Takes one line of the list, without its line end.
    void note(const QString& line);
};

#pragma once

#include "platform/Utf8Decoder.h"

#include <QObject>
#include <QString>

class QSslSocket;
class QTcpSocket;

// The TCP client socket control of the settings window. Each Connect opens a fresh connection;
// received data waits in the control until GetData takes it.
class Winsock : public QObject
{
    Q_OBJECT
public:
    explicit Winsock(QObject* parent = nullptr);

    QString RemoteHost; // a host name, an IPv4 or an IPv6 address
    int RemotePort = 0;
    // Connect over TLS: the server's certificate must be from an authority the system trusts and
    // be made out to RemoteHost before any data goes either way. A handshake that fails arrives
    // as the reply "-ERR <reason>" and CR LF, the reason in words a person understands, with the
    // connection already closed.
    bool Secure = false;

    // Starts connecting and returns at once; the server's first words arrive as data. Throws
    // RuntimeError when no connection can be started: no host, no valid port, or a connection
    // that is not closed yet. A failure found later (refused, unknown host, unreachable) leaves
    // the control closed again and raises Closed.
    void Connect();
    // Turns the open plain connection into TLS once the server has agreed to STLS, checking the
    // certificate as for Secure. Whatever came in plain before is dropped, so nothing a third
    // party slipped in can pass for a reply after it. The outcome arrives as a reply: "+OK" and
    // CR LF once the certificate is accepted, or "-ERR <reason>" as for Secure. Throws
    // RuntimeError when there is no open plain connection.
    void StartTls();
    // Sends the text as UTF-8; throws RuntimeError when there is no connection to send on (over TLS:
    // no connection that has finished its handshake).
    void SendData(const QString& text);
    // Takes up to maxLength waiting bytes as text. A character split across two takes comes out
    // whole with the second.
    QString GetData(qint32 maxLength);
    // Ends the connection at once: the control is closed and raises no more events. What was
    // handed to SendData still goes out.
    void Close();
    // Whether the connection is TLS with an accepted certificate, from the start or after STLS.
    bool Encrypted() const;

signals:
    // Received data waits; bytesTotal is the number of waiting bytes.
    void DataArrival(qint32 bytesTotal);
    // The connection could not be made or has ended without Close (refused, unknown host,
    // unreachable, closed by the server); reason says why in words. Raised after any data that
    // came before, and never for a TLS handshake that failed: that one is refused as a reply.
    void Closed(const QString& reason);

private:
    // Makes socket the control's connection and follows its data and its end.
    void adopt(QTcpSocket* socket);
    // A TLS socket adopted as the connection, checking the certificate as for Secure.
    QSslSocket* secureSocket();
    void watchHandshake(QSslSocket* socket);
    void watchEnd(QTcpSocket* socket);
    // Makes a reply of the control's own the data that waits.
    void reply(const QByteArray& line);
    // Tells the outcome of socket's handshake as a reply once control is back in the event loop,
    // after closing the connection when it failed.
    void tellLater(QSslSocket* socket, const QByteArray& line, bool closeFirst);

    QTcpSocket* m_socket = nullptr;
    Utf8Decoder m_decoder;
    bool m_handshaking = false; // connected over TLS, certificate not yet accepted
    bool m_upgrading = false;   // the handshake follows STLS: its success is told as a reply
    QByteArray m_ownReply;      // the outcome of a handshake, told as a reply
};

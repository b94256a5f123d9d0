#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// A POP3 server on the loopback address that answers from a script, one connection at a time
// (later connections wait until the current one ends).
//
// A reply is a list of chunks: each chunk goes out in its own write, and the server lets the
// event loop turn between chunks so that the client sees them as separate arrivals. An empty
// list is silence. Bytes go out exactly as given: bare LF lines, missing line ends and huge lines
// are just bytes.
//
//   ScriptedPop3Server server;                                   // greets, +OK to everything
//   server.setReply("STAT", {"+OK 3 4567\r\n"});                 // a STAT reply
//   server.setReply("STAT", {"+OK 3 45", "67\r\n"});             // ... in two arrivals
//   server.setReply("PASS", {"-ERR invalid password\r\n"});
//   server.setReply("PASS", {});                                 // no answer at all
//   server.setGreeting({"+OK hi\r\n"}, ScriptedPop3Server::Then::Close);
//   server.useTls(false);                                        // STLS as a server offers it:
//   server.setReply("CAPA", {"+OK\r\nSTLS\r\n.\r\n"});
//   server.setReply("STLS", {"+OK begin\r\n"}, ScriptedPop3Server::Then::StartTls);
//   winsock.RemotePort = server.port();   // or ScriptedPop3Server::refusedPort()
//   ...
//   QVERIFY(!server.received("QUIT"));
class ScriptedPop3Server : public QObject
{
    Q_OBJECT
public:
    enum class Then
    {
        StayOpen,
        Close,   // the server closes the connection after the reply's last chunk
        StartTls // the connection turns into TLS after the reply's last chunk
    };

    // Listens at a free port of address. The script starts out as a mailbox that works: a
    // greeting, a capability list without STLS, "+OK" to USER and PASS, "+OK 0 0" to STAT, and "+OK" to QUIT
    // followed by the end of the connection; any other command gets "-ERR".
    explicit ScriptedPop3Server(const QHostAddress& address = QHostAddress::LocalHost,
                                QObject* parent = nullptr);
    ~ScriptedPop3Server() override;

    bool isListening() const;
    // Speaks TLS with the test authority's certificate for 127.0.0.1: from the first byte when
    // implicit (POP3 over TLS), else from a reply that says Then::StartTls on. False without the
    // test authority's files (tests/dovecot/harness.sh makes them).
    bool useTls(bool implicit);
    quint16 port() const;
    // A port of 127.0.0.1 where nothing listens, so a connection to it is refused.
    static quint16 refusedPort();

    void setGreeting(const QList<QByteArray>& chunks, Then then = Then::StayOpen);
    // The reply to each command line that begins with prefix (the longest matching prefix wins).
    void setReply(const QByteArray& prefix, const QList<QByteArray>& chunks, Then then = Then::StayOpen);

    // Sends chunks to the client being served now, outside the script: a reply held back by an
    // empty script entry, once the test is ready for it.
    void sendNow(const QList<QByteArray>& chunks) { send({chunks, Then::StayOpen}); }

    // Every line received, over all connections, in order: its exact bytes without the line end
    // (LF, or CR LF).
    QList<QByteArray> receivedLines() const { return m_lines; }
    // Whether some received line begins with prefix.
    bool received(const QByteArray& prefix) const;
    // Every byte received, over all connections.
    QByteArray receivedBytes() const { return m_bytes; }
    // Forgets the lines and bytes received so far.
    void forgetReceived();
    // The number of connections served so far.
    int connectionCount() const { return m_connections; }
    // Whether a client connection is being served now.
    bool hasClient() const { return m_client != nullptr; }

signals:
    void clientConnected();
    void lineReceived(const QByteArray& line);
    void clientDisconnected();

private:
    struct Reply
    {
        QList<QByteArray> chunks;
        Then then = Then::StayOpen;
    };
    struct Piece
    {
        QByteArray bytes;
        Then then = Then::StayOpen;
    };
    class Listener;

    void serveNext();
    void readLines();
    void send(const Reply& reply);
    void sendPiece();
    void endClient();

    Listener* m_server;
    bool m_implicitTls = false;
    QTcpSocket* m_client = nullptr;
    Reply m_greeting;
    QMap<QByteArray, Reply> m_replies;
    QList<Piece> m_outgoing;
    QTimer m_gap;
    QByteArray m_partialLine;
    QList<QByteArray> m_lines;
    QByteArray m_bytes;
    int m_connections = 0;
};

#include "ScriptedPop3Server.h"

#include "TestAuthority.h"

#include <QSslSocket>
#include <QTcpServer>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// Long enough for the client's event loop to take one chunk before the next one is written.
constexpr int chunkGapMs = 20;

} // namespace

// Takes connections as TLS sockets once TLS is on, still plain until encryption starts; a plain
// server never loads TLS.
class ScriptedPop3Server::Listener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    std::optional<QSslConfiguration> tls;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!tls) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto* socket = new QSslSocket(this);
        socket->setSslConfiguration(*tls);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket);
        else
            delete socket;
    }
};

ScriptedPop3Server::ScriptedPop3Server(const QHostAddress& address, QObject* parent)
    : QObject(parent)
    , m_server(new Listener(this))
{
    setGreeting({"+OK Quillpost test server ready\r\n"});
    setReply("CAPA", {"+OK capability list follows\r\nUSER\r\n.\r\n"});
    setReply("USER", {"+OK\r\n"});
    setReply("PASS", {"+OK logged in\r\n"});
    setReply("STAT", {"+OK 0 0\r\n"});
    setReply("QUIT", {"+OK bye\r\n"}, Then::Close);

    m_gap.setSingleShot(true);
    m_gap.setInterval(chunkGapMs);
    connect(&m_gap, &QTimer::timeout, this, &ScriptedPop3Server::sendPiece);
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedPop3Server::serveNext);
    m_server->listen(address, 0);
}

ScriptedPop3Server::~ScriptedPop3Server() = default;

bool ScriptedPop3Server::isListening() const
{
    return m_server->isListening();
}

bool ScriptedPop3Server::useTls(bool implicit)
{
    m_server->tls = TestAuthority::serverConfiguration();
    m_implicitTls = implicit;
    return m_server->tls.has_value();
}

quint16 ScriptedPop3Server::port() const
{
    return m_server->serverPort();
}

quint16 ScriptedPop3Server::refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // free again once the probe is gone
}

void ScriptedPop3Server::setGreeting(const QList<QByteArray>& chunks, Then then)
{
    m_greeting = {chunks, then};
}

void ScriptedPop3Server::setReply(const QByteArray& prefix, const QList<QByteArray>& chunks, Then then)
{
    m_replies.insert(prefix, {chunks, then});
}

bool ScriptedPop3Server::received(const QByteArray& prefix) const
{
    return std::any_of(m_lines.begin(), m_lines.end(),
                       [&](const QByteArray& line) { return line.startsWith(prefix); });
}

void ScriptedPop3Server::forgetReceived()
{
    m_lines.clear();
    m_bytes.clear();
}

void ScriptedPop3Server::serveNext()
{
    if (m_client || !m_server->hasPendingConnections())
        return;
    m_client = m_server->nextPendingConnection();
    ++m_connections;
    m_partialLine.clear();
    connect(m_client, &QIODevice::readyRead, this, &ScriptedPop3Server::readLines);
    connect(m_client, &QAbstractSocket::disconnected, this, &ScriptedPop3Server::endClient);
    emit clientConnected();
    if (m_implicitTls)
        static_cast<QSslSocket*>(m_client)->startServerEncryption();
    send(m_greeting);
}

void ScriptedPop3Server::readLines()
{
    const QByteArray data = m_client->readAll();
    m_bytes += data;
    qsizetype end = data.indexOf('\n'); // only the new bytes can end a line
    if (end >= 0)
        end += m_partialLine.size();
    m_partialLine += data;
    for (; end >= 0; end = m_partialLine.indexOf('\n')) {
        QByteArray line = m_partialLine.left(end);
        m_partialLine.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(line);
        emit lineReceived(line);

        const Reply* reply = nullptr;
        qsizetype matched = -1;
        for (auto it = m_replies.cbegin(); it != m_replies.cend(); ++it)
            if (line.startsWith(it.key()) && it.key().size() > matched) {
                reply = &it.value();
                matched = it.key().size();
            }
        send(reply ? *reply : Reply{{"-ERR unknown command\r\n"}});
    }
}

void ScriptedPop3Server::send(const Reply& reply)
{
    if (!m_client)
        return; // the connection ended while earlier lines were answered
    for (const QByteArray& chunk : reply.chunks)
        m_outgoing.append({chunk});
    if (reply.then != Then::StayOpen) {
        if (reply.chunks.isEmpty())
            m_outgoing.append(Piece());
        m_outgoing.last().then = reply.then;
    }
    if (!m_gap.isActive())
        sendPiece();
}

void ScriptedPop3Server::sendPiece()
{
    if (!m_client || m_outgoing.isEmpty())
        return;
    const Piece piece = m_outgoing.takeFirst();
    m_client->write(piece.bytes);
    m_client->flush();
    if (!m_client)
        return; // the write found the connection gone
    if (piece.then == Then::Close) {
        m_outgoing.clear();
        m_client->disconnectFromHost(); // after the rest of the bytes have gone out
        return;
    }
    if (auto* tls = qobject_cast<QSslSocket*>(m_client); tls && piece.then == Then::StartTls) {
        m_partialLine.clear(); // what came in plain is not part of the encrypted conversation
        tls->startServerEncryption();
    }
    if (!m_outgoing.isEmpty())
        m_gap.start();
}

void ScriptedPop3Server::endClient()
{
    m_gap.stop();
    m_outgoing.clear();
    QTcpSocket* client = std::exchange(m_client, nullptr);
    client->disconnect(this);
    client->deleteLater();
    emit clientDisconnected();
    serveNext();
}

#include "platform/Winsock.h"

#include "core/RuntimeError.h"

#include <QSslSocket>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

namespace {

// How long a closed connection may take to hand its last bytes to a peer that does not read.
constexpr int flushLimitMs = 10000;

// Why the server's certificate was not accepted. Of several reasons the first one here counts:
// a certificate from an unknown authority says nothing trustworthy about its name or dates.
QString certificateReason(const QList<QSslError>& errors, const QString& host)
{
    const QString untrusted = QStringLiteral("The server's certificate is not from a trusted authority");
    const std::pair<QSslError::SslError, QString> reasons[] = {
        {QSslError::SelfSignedCertificate, untrusted},
        {QSslError::SelfSignedCertificateInChain, untrusted},
        {QSslError::UnableToGetLocalIssuerCertificate, untrusted},
        {QSslError::UnableToGetIssuerCertificate, untrusted},
        {QSslError::UnableToVerifyFirstCertificate, untrusted},
        {QSslError::CertificateUntrusted, untrusted},
        {QSslError::InvalidCaCertificate, untrusted},
        {QSslError::HostNameMismatch,
         QStringLiteral("The server's certificate is for another host, not ") + host},
        {QSslError::CertificateExpired, QStringLiteral("The server's certificate has expired")},
        {QSslError::CertificateNotYetValid, QStringLiteral("The server's certificate is not valid yet")},
        {QSslError::CertificateRevoked, QStringLiteral("The server's certificate has been revoked")},
        {QSslError::NoPeerCertificate, QStringLiteral("The server sent no certificate")},
    };
    for (const auto& entry : reasons)
        if (std::any_of(errors.begin(), errors.end(),
                        [kind = entry.first](const QSslError& e) { return e.error() == kind; }))
            return entry.second;
    return QStringLiteral("The server's certificate could not be checked: ") + errors.first().errorString();
}

} // namespace

Winsock::Winsock(QObject* parent)
    : QObject(parent)
{}

void Winsock::Connect()
{
    if (m_socket && m_socket->state() != QAbstractSocket::UnconnectedState)
        throw RuntimeError(QStringLiteral("Invalid operation at current state"));
    if (RemoteHost.isEmpty())
        throw RuntimeError(QStringLiteral("No remote host to connect to"));
    if (RemotePort < 1 || RemotePort > std::numeric_limits<quint16>::max())
        throw RuntimeError(QStringLiteral("Invalid remote port ") + QString::number(RemotePort));

    Close(); // a previous connection that ended on its own (refused, or closed by the server)
    m_decoder = Utf8Decoder();
    if (!Secure) {
        // TLS is loaded only once a server asks for it: a plain connection is a plain socket.
        adopt(new QTcpSocket(this));
        m_socket->connectToHost(RemoteHost, static_cast<quint16>(RemotePort));
        return;
    }
    QSslSocket* tls = secureSocket();
    connect(tls, &QAbstractSocket::connected, this, [this] { m_handshaking = true; });
    tls->connectToHostEncrypted(RemoteHost, static_cast<quint16>(RemotePort));
}

void Winsock::adopt(QTcpSocket* socket)
{
    m_socket = socket;
    // Over TLS this is decrypted data only, so the greeting cannot come before the handshake.
    connect(m_socket, &QIODevice::readyRead, this, [this] {
        emit DataArrival(static_cast<qint32>(
            std::min<qint64>(m_socket->bytesAvailable(), std::numeric_limits<qint32>::max())));
    });
    watchEnd(m_socket);
}

QSslSocket* Winsock::secureSocket()
{
    auto* tls = new QSslSocket(this);
    adopt(tls);
    watchHandshake(tls);
    tls->setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls->setPeerVerifyName(RemoteHost);
    return tls;
}

void Winsock::watchEnd(QTcpSocket* socket)
{
    connect(socket, &QAbstractSocket::stateChanged, this, [this, socket](QAbstractSocket::SocketState state) {
        if (state != QAbstractSocket::UnconnectedState || m_handshaking)
            return;
        // Queued: a failed handshake queues its refusal first, so it arrives as the reply it is.
        QMetaObject::invokeMethod(
            socket,
            [this, socket] {
                if (m_socket == socket)
                    emit Closed(socket->errorString());
            },
            Qt::QueuedConnection);
    });
}

void Winsock::StartTls()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState ||
        qobject_cast<QSslSocket*>(m_socket))
        throw RuntimeError(QStringLiteral("Wrong protocol or connection state for TLS"));
    // The connection itself moves to a TLS socket; what the plain one has read stays behind with it.
    // Close-on-exec, as Qt's own sockets are: the browser, the sound player and the user's command
    // line must not inherit the connection.
    const int descriptor = ::fcntl(static_cast<int>(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0)
        throw RuntimeError(QStringLiteral("The connection could not be secured: ") + qt_error_string(errno));
    QTcpSocket* plain = std::exchange(m_socket, nullptr);
    plain->disconnect(this);
    plain->abort();
    plain->deleteLater();
    m_decoder = Utf8Decoder();
    QSslSocket* tls = secureSocket();
    m_handshaking = true;
    m_upgrading = true;
    if (!tls->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        tellLater(tls, (QStringLiteral("-ERR ") + tls->errorString() + QStringLiteral("\r\n")).toUtf8(),
                  true);
        return;
    }
    tls->startClientEncryption();
}

void Winsock::watchHandshake(QSslSocket* socket)
{
    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        m_handshaking = false;
        if (std::exchange(m_upgrading, false))
            tellLater(socket, "+OK\r\n", false);
    });
    // A connection that cannot be made at all stays unreported, as without TLS; one that was made
    // but could not be secured is refused in words.
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] {
        if (!m_handshaking)
            return;
        m_handshaking = false;
        const QList<QSslError> errors = socket->sslHandshakeErrors();
        const QString reason =
            errors.isEmpty() ? QStringLiteral("The server did not set up a secure connection on this port")
                             : certificateReason(errors, socket->peerVerifyName());
        tellLater(socket, (QStringLiteral("-ERR ") + reason + QStringLiteral("\r\n")).toUtf8(), true);
    });
}

void Winsock::tellLater(QSslSocket* socket, const QByteArray& line, bool closeFirst)
{
    // Out of the socket's own signal, and never before the caller has started to wait.
    QMetaObject::invokeMethod(
        socket,
        [this, socket, line, closeFirst] {
            if (m_socket != socket)
                return;
            if (closeFirst)
                m_socket->abort();
            reply(line);
        },
        Qt::QueuedConnection);
}

void Winsock::reply(const QByteArray& line)
{
    m_ownReply = line;
    emit DataArrival(static_cast<qint32>(m_ownReply.size()));
}

void Winsock::SendData(const QString& text)
{
    const auto* tls = qobject_cast<QSslSocket*>(m_socket);
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState ||
        (tls && tls->mode() != QSslSocket::UnencryptedMode && !tls->isEncrypted()))
        throw RuntimeError(QStringLiteral("Wrong protocol or connection state for sending"));
    const QByteArray bytes = text.toUtf8();
    if (m_socket->write(bytes) != bytes.size())
        throw RuntimeError(QStringLiteral("Sending failed: ") + m_socket->errorString());
    m_socket->flush();
}

QString Winsock::GetData(qint32 maxLength)
{
    if (maxLength <= 0)
        return {};
    if (!m_ownReply.isEmpty()) {
        const QByteArray taken = m_ownReply.left(maxLength);
        m_ownReply.remove(0, taken.size());
        return m_decoder.decode(taken);
    }
    if (!m_socket)
        return {};
    return m_decoder.decode(m_socket->read(maxLength));
}

bool Winsock::Encrypted() const
{
    const auto* tls = qobject_cast<const QSslSocket*>(m_socket);
    return tls && tls->isEncrypted() && !m_handshaking;
}

void Winsock::Close()
{
    m_handshaking = false;
    m_upgrading = false;
    m_ownReply.clear();
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->flush();
    if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() == 0) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // The system has not taken everything yet: the old connection finishes sending on its own
    // while the control is already closed.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(flushLimitMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

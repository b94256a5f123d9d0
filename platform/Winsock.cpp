#include "platform/Winsock.h"

#include "app/RuntimeError.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// How long a closed connection may take to hand its last bytes to a peer that does not read.
constexpr int flushLimitMs = 10000;

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
    m_socket = new QTcpSocket(this);
    m_decoder = Utf8Decoder();
    connect(m_socket, &QIODevice::readyRead, this, [this] {
        emit DataArrival(static_cast<qint32>(
            std::min<qint64>(m_socket->bytesAvailable(), std::numeric_limits<qint32>::max())));
    });
    m_socket->connectToHost(RemoteHost, static_cast<quint16>(RemotePort));
}

void Winsock::SendData(const QString& text)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        throw RuntimeError(QStringLiteral("Wrong protocol or connection state for sending"));
    const QByteArray bytes = text.toUtf8();
    if (m_socket->write(bytes) != bytes.size())
        throw RuntimeError(QStringLiteral("Sending failed: ") + m_socket->errorString());
    m_socket->flush();
}

QString Winsock::GetData(qint32 maxLength)
{
    if (!m_socket || maxLength <= 0)
        return {};
    return m_decoder.decode(m_socket->read(maxLength));
}

void Winsock::Close()
{
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

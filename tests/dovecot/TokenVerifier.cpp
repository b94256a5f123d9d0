#include "TokenVerifier.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <utility>

namespace {

// Far more than Dovecot sends; a client past these is broken, not slow.
constexpr qsizetype kMaxHead = 16 * 1024;
constexpr qsizetype kMaxBody = 16 * 1024;

QByteArray tokenDigest(const QByteArray& token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256).toHex().left(12);
}

} // namespace

TokenVerifier::TokenVerifier(QString tokensPath, QString logPath, QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_tokensPath(std::move(tokensPath))
    , m_logPath(std::move(logPath))
{
    connect(m_server, &QTcpServer::newConnection, this, &TokenVerifier::accept);
}

bool TokenVerifier::listen(const QHostAddress& address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 TokenVerifier::port() const
{
    return m_server->serverPort();
}

QString TokenVerifier::errorString() const
{
    return m_server->errorString();
}

void TokenVerifier::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void TokenVerifier::read(QTcpSocket* socket)
{
    auto buffer = m_buffers.find(socket);
    if (buffer == m_buffers.end())
        return;
    buffer->append(socket->readAll());
    if (!serve(socket, *buffer)) {
        m_buffers.remove(socket);
        socket->disconnectFromHost();
    }
}

bool TokenVerifier::serve(QTcpSocket* socket, QByteArray& buffer)
{
    // Dovecot's HTTP client keeps the connection and may send the next request on it.
    for (int served = 0; served < 1000; ++served) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (buffer.size() > kMaxHead) {
                refuse(socket, "431 Request Header Fields Too Large");
                return false;
            }
            return true;
        }
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
            refuse(socket, "400 Bad Request");
            return false;
        }
        Request request{requestLine[0], requestLine[1], {}, requestLine[2] == "HTTP/1.1"};
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed().toLower();
            bool ok = true;
            if (name == "content-length")
                length = value.toLongLong(&ok);
            else if (name == "connection")
                request.keepAlive = value == "keep-alive" || (request.keepAlive && value != "close");
            else if (name == "transfer-encoding") {
                // Dovecot sends its small form bodies with a length; nothing else is needed here.
                refuse(socket, "411 Length Required");
                return false;
            }
            if (!ok || length < 0 || length > kMaxBody) {
                refuse(socket, "413 Content Too Large");
                return false;
            }
        }
        const qsizetype bodyStart = headEnd + 4;
        if (buffer.size() < bodyStart + length)
            return true;
        request.body = buffer.mid(bodyStart, length);
        buffer.remove(0, bodyStart + length);
        respond(socket, request);
        if (!request.keepAlive)
            return false;
    }
    return false;
}

void TokenVerifier::respond(QTcpSocket* socket, const Request& request)
{
    QJsonObject answer{{QStringLiteral("active"), false}};
    QString outcome = QStringLiteral("inactive");
    QString tokenMark = QStringLiteral("none");
    if (request.method == "POST") {
        // Form encoding's '+' for a space is left alone: tokens hold no spaces, but may hold '+'.
        const QUrlQuery form(QString::fromLatin1(request.body));
        const QByteArray token = form.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toLatin1();
        if (!token.isEmpty()) {
            tokenMark = QStringLiteral("sha256:") + QString::fromLatin1(tokenDigest(token));
            const QString user = userOf(token);
            if (!user.isEmpty()) {
                answer = {{QStringLiteral("active"), true}, {QStringLiteral("username"), user}};
                outcome = QStringLiteral("active username=") + user;
            }
        }
    }
    log(socket, QStringLiteral("%1 %2 token=%3 -> %4")
                    .arg(QString::fromLatin1(request.method), QString::fromLatin1(request.target), tokenMark,
                         outcome));
    const QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                  QByteArray::number(body.size()) +
                  (request.keepAlive ? "\r\n\r\n" : "\r\nConnection: close\r\n\r\n") + body);
}

void TokenVerifier::refuse(QTcpSocket* socket, const QByteArray& status)
{
    log(socket, QStringLiteral("refused: ") + QString::fromLatin1(status));
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

QString TokenVerifier::userOf(const QByteArray& token) const
{
    QFile tokens(m_tokensPath);
    if (!tokens.open(QIODevice::ReadOnly))
        return {};
    while (!tokens.atEnd()) {
        const QList<QByteArray> fields = tokens.readLine().simplified().split(' ');
        if (fields.size() == 2 && fields[0] == token)
            return QString::fromUtf8(fields[1]);
    }
    return {};
}

void TokenVerifier::log(const QTcpSocket* socket, const QString& line) const
{
    // Opened for each line so that every line is on disk at once, whenever the stub is killed.
    QFile file(m_logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(QStringLiteral("%1 %2:%3 %4\n")
                   .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                        socket->peerAddress().toString(), QString::number(socket->peerPort()), line)
                   .toUtf8());
}

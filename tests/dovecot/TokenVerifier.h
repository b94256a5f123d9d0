#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The OAuth 2 token introspection endpoint (RFC 7662) the test Dovecot asks about every bearer
// token: HTTP/1.1 POST with a form body "token=...", answered with {"active":false} or
// {"active":true,"username":"<user>"}.
//
// The good tokens are read from the tokens file at every request, one "TOKEN USERNAME" a line, so
// that a test can append tokens it hands out while the server runs. Every request is appended to the
// log file; a token shows there only as a short SHA-256 prefix, since tests check that no log
// holds a token.
class TokenVerifier : public QObject
{
    Q_OBJECT
public:
    TokenVerifier(QString tokensPath, QString logPath, QObject* parent = nullptr);

    // Listens at address, on port or, with 0, a free one.
    bool listen(const QHostAddress& address, quint16 port = 0);
    quint16 port() const;
    QString errorString() const;

private:
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QByteArray body;
        bool keepAlive = true;
    };

    void accept();
    void read(QTcpSocket* socket);
    // Answers the requests complete in the socket's buffer; false once the connection must end.
    bool serve(QTcpSocket* socket, QByteArray& buffer);
    void respond(QTcpSocket* socket, const Request& request);
    void refuse(QTcpSocket* socket, const QByteArray& status);
    QString userOf(const QByteArray& token) const;
    void log(const QTcpSocket* socket, const QString& line) const;

    QTcpServer* m_server;
    QString m_tokensPath;
    QString m_logPath;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

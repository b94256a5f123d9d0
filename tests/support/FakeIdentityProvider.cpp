#include "FakeIdentityProvider.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

QByteArray base64url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString value(const QUrlQuery& query, const char* key)
{
    return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

// The keys whose values in query are not the expected ones.
QStringList wrongIn(const QUrlQuery& query, const QList<std::pair<QString, QString>>& expected)
{
    QStringList wrong;
    for (const auto& [key, want] : expected)
        if (query.queryItemValue(key, QUrl::FullyDecoded) != want)
            wrong << key;
    return wrong;
}

} // namespace

FakeIdentityProvider::FakeIdentityProvider(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

OAuthEndpoints FakeIdentityProvider::serve(OAuthEndpoints expected)
{
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
    expected.authorizeUrl = QUrl(base + "authorize");
    expected.tokenUrl = QUrl(base + "token");
    m_expected = expected;
    return expected;
}

QString FakeIdentityProvider::issueRefreshToken()
{
    const QString token = QStringLiteral("refresh-%1").arg(++m_issued);
    m_refreshTokens.insert(token);
    return token;
}

void FakeIdentityProvider::read(QTcpSocket* socket)
{
    // The request stays in the socket's buffer until it is whole.
    const QByteArray request = socket->peek(socket->bytesAvailable());
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    const auto length = QRegularExpression(QStringLiteral("content-length: *([0-9]+)"),
                                           QRegularExpression::CaseInsensitiveOption)
                            .match(QString::fromLatin1(request.left(headEnd)));
    const qsizetype bodySize = length.hasMatch() ? length.captured(1).toLongLong() : 0;
    if (headEnd < 0 || request.size() < headEnd + 4 + bodySize)
        return;
    socket->readAll();
    const QUrl url(QStringLiteral("http://127.0.0.1") + QString::fromLatin1(request.split(' ').value(1)));
    QByteArray status = "200 OK", headers = "Content-Type: application/json\r\n", body;
    if (url.path() == QLatin1String("/authorize")) {
        const QUrl location = authorize(QUrlQuery(url));
        status = location.isEmpty() ? "400 Bad Request" : "302 Found";
        headers = "Location: " + location.toEncoded() + "\r\n";
    } else {
        // A form's "+" is a space.
        std::tie(status, body) =
            token(QUrlQuery(QString::fromUtf8(request.mid(headEnd + 4).replace('+', ' '))));
    }
    socket->write("HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

QUrl FakeIdentityProvider::authorize(const QUrlQuery& query)
{
    QUrl redirect(value(query, "redirect_uri"));
    if (!QRegularExpression(QStringLiteral("^http://127\\.0\\.0\\.1:[0-9]+/$"))
             .match(redirect.toString())
             .hasMatch())
        return {};
    QList<std::pair<QString, QString>> expected = {{"client_id", m_expected.clientId},
                                                   {"response_type", "code"},
                                                   {"code_challenge_method", "S256"},
                                                   {"scope", m_expected.scope}};
    for (auto it = m_expected.extraParameters.cbegin(); it != m_expected.extraParameters.cend(); ++it)
        expected.append({it.key(), it.value().toString()});
    QStringList wrong = wrongIn(query, expected);
    for (const char* key : {"code_challenge", "state"})
        if (value(query, key).isEmpty())
            wrong << key;
    QUrlQuery answer;
    if (m_deny || !wrong.isEmpty()) {
        answer.addQueryItem("error", m_deny ? "access_denied" : "invalid_request");
        answer.addQueryItem("error_description", m_deny ? "The user declined" : "wrong " + wrong.join(", "));
    } else {
        // Google's codes hold "/"; "+" tests the encoding further.
        m_code = QStringLiteral("4/0A%1+x/y").arg(++m_issued);
        m_challenge = value(query, "code_challenge");
        m_redirect = redirect.toString();
        answer.addQueryItem("code", QUrl::toPercentEncoding(m_code));
    }
    answer.addQueryItem("state", QUrl::toPercentEncoding(value(query, "state")));
    redirect.setQuery(answer);
    return redirect;
}

std::pair<QByteArray, QByteArray> FakeIdentityProvider::token(const QUrlQuery& form)
{
    const QString grant = value(form, "grant_type");
    ++m_requests[grant];
    QStringList wrong =
        wrongIn(form, {{"client_id", m_expected.clientId}, {"client_secret", m_expected.clientSecret}});
    if (grant == QLatin1String("authorization_code")) {
        // A code is good once.
        wrong << wrongIn(
            form, {{"code", std::exchange(m_code, QStringLiteral("(used)"))}, {"redirect_uri", m_redirect}});
        const QByteArray verifier = value(form, "code_verifier").toUtf8();
        if (QString::fromLatin1(base64url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256))) !=
            m_challenge)
            wrong << "code_verifier";
    } else if (grant == QLatin1String("refresh_token")) {
        wrong << wrongIn(form, {{"scope", m_expected.scope}});
        if (!(m_rotate ? m_refreshTokens.remove(value(form, "refresh_token"))
                       : m_refreshTokens.contains(value(form, "refresh_token"))))
            return {"400 Bad Request",
                    R"({"error":"invalid_grant","error_description":"Token has been revoked."})"};
    } else {
        wrong << "grant_type";
    }
    if (!wrong.isEmpty())
        return {"400 Bad Request",
                QJsonDocument(QJsonObject{{"error", "invalid_request"},
                                          {"error_description", "wrong " + wrong.join(", ")}})
                    .toJson(QJsonDocument::Compact)};
    return {"200 OK",
            tokens(grant == QLatin1String("authorization_code") ? m_handOutRefreshToken : m_rotate)};
}

QByteArray FakeIdentityProvider::tokens(bool withRefreshToken)
{
    const QString accessToken = QStringLiteral("access-%1").arg(++m_issued);
    if (m_hook)
        m_hook(accessToken);
    QJsonObject answer{
        {"access_token", accessToken}, {"token_type", "Bearer"}, {"expires_in", kExpiresInSeconds}};
    if (withRefreshToken)
        answer.insert("refresh_token", issueRefreshToken());
    if (!m_email.isEmpty())
        answer.insert("id_token",
                      QString::fromLatin1(base64url(R"({"alg":"none"})") + '.' +
                                          base64url(QJsonDocument(QJsonObject{{"email", m_email}}).toJson()) +
                                          '.'));
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

std::function<void(const QUrl&)> FakeIdentityProvider::browser(Browser mode, const QString& forgedQuery)
{
    return [this, mode, forgedQuery](const QUrl& address) {
        m_opened = address;
        if (mode == Browser::Ignore)
            return;
        visit(address, [this, mode, forgedQuery](const QUrl& redirect) {
            if (mode == Browser::Follow)
                return visit(redirect, {});
            QUrl forged = redirect;
            forged.setQuery(forgedQuery);
            visit(forged, [this, redirect](const QUrl&) { visit(redirect, {}); });
        });
    };
}

void FakeIdentityProvider::visit(const QUrl& address, const std::function<void(const QUrl& location)>& then)
{
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_browser.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, then] {
        reply->deleteLater();
        if (reply->url().port() != m_server.serverPort())
            m_pages << reply->readAll();
        if (then)
            then(reply->header(QNetworkRequest::LocationHeader).toUrl());
    });
}

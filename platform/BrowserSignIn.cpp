#include "platform/BrowserSignIn.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>

#include <utility>

namespace {

// The OAuth errors of a token endpoint that last until the user signs in again: the grant expired
// or was revoked, the account now needs the user (consent, multi-factor, a policy), or the client
// registration is refused, which the dialog's own sign-in then shows in words. The others
// (invalid_request, unsupported_grant_type, server_error, ...) may pass.
const QStringList kNeedsSignIn = {QStringLiteral("invalid_grant"),        QStringLiteral("invalid_scope"),
                                  QStringLiteral("interaction_required"), QStringLiteral("consent_required"),
                                  QStringLiteral("login_required"),       QStringLiteral("invalid_client"),
                                  QStringLiteral("unauthorized_client")};

// Qt 6.4's reply handler listens at every address unless told otherwise, and drops a token answer
// it cannot use (an HTTP error, an "error" member) with a warning only, so the sign-in would wait
// for ever: this one listens at 127.0.0.1 and hands every token answer on.
class LoopbackListener : public QOAuthHttpServerReplyHandler
{
public:
    LoopbackListener(std::function<void(QNetworkReply*)> tokenReplied, QObject* parent)
        : QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0, parent)
        , m_tokenReplied(std::move(tokenReplied))
    {}

    void networkReplyFinished(QNetworkReply* reply) override { m_tokenReplied(reply); }

private:
    std::function<void(QNetworkReply*)> m_tokenReplied;
};

// Base64url text of random bytes from the system's cryptographic source; Qt 6.4 draws its state
// from a Mersenne Twister seeded with the clock.
QByteArray randomText(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& byte : raw)
        byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

TokenAnswer trouble(TokenAnswer::Outcome outcome, const QString& text)
{
    return {outcome, {}, {}, {}, text};
}

QString said(const QString& error, const QString& description)
{
    return description.isEmpty() ? error : error + QStringLiteral(" (") + description + ')';
}

struct TokenReply
{
    TokenAnswer answer;
    QJsonObject fields;
};

// What a token endpoint's reply means; tokens go into the answer only.
TokenReply readTokenReply(QNetworkReply* reply)
{
    const QJsonObject fields = QJsonDocument::fromJson(reply->readAll()).object();
    const QString error = fields.value(u"error").toString();
    if (!error.isEmpty()) {
        const QString text = said(error, fields.value(u"error_description").toString());
        if (kNeedsSignIn.contains(error))
            return {trouble(TokenAnswer::Expired, "The provider no longer accepts the sign-in: " + text),
                    fields};
        return {trouble(TokenAnswer::Unreachable, "The token endpoint refused: " + text), fields};
    }
    if (reply->error() != QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return {trouble(TokenAnswer::Unreachable,
                        status ? QStringLiteral("The token endpoint answered HTTP %1.").arg(status)
                               : reply->errorString()),
                fields};
    }
    const QString token = fields.value(u"access_token").toString();
    if (token.isEmpty())
        return {trouble(TokenAnswer::Unreachable, "The token endpoint's answer holds no access token."),
                fields};
    bool ok = false;
    // Some endpoints send expires_in as a string.
    const qint64 expiresIn = fields.value(u"expires_in").toVariant().toLongLong(&ok);
    const QDateTime expires =
        ok && expiresIn > 0 ? QDateTime::currentDateTimeUtc().addSecs(expiresIn) : QDateTime();
    return {{TokenAnswer::Done, token, expires, fields.value(u"refresh_token").toString(), {}}, fields};
}

// The e-mail address an OpenID Connect id_token names. Its signature need not be checked: it came
// straight from the token endpoint (OpenID Connect Core 1.0, 3.1.3.7).
QString addressIn(const QString& idToken)
{
    const QStringList parts = idToken.split(u'.');
    if (parts.size() < 2)
        return {};
    const QJsonObject claims =
        QJsonDocument::fromJson(QByteArray::fromBase64(parts[1].toLatin1(), QByteArray::Base64UrlEncoding))
            .object();
    const QString email = claims.value(u"email").toString();
    return email.isEmpty() ? claims.value(u"preferred_username").toString() : email;
}

} // namespace

BrowserSignIn::BrowserSignIn(std::function<void(const QUrl&)> openBrowser, QObject* parent)
    : QObject(parent)
    , m_openBrowser(std::move(openBrowser))
{
    m_timeLimit.setSingleShot(true);
    connect(&m_timeLimit, &QTimer::timeout, this,
            [this] { finish(Result::TimedOut, "The sign-in in the browser was not finished in time."); });
}

void BrowserSignIn::start(const OAuthEndpoints& endpoints)
{
    cancel();
    auto* listener = new LoopbackListener([this](QNetworkReply* reply) { tokenReplied(reply); }, this);
    if (!listener->isListening()) {
        delete listener;
        QTimer::singleShot(0, this, [this] {
            const QString text =
                QStringLiteral("Quillpost could not listen at 127.0.0.1 for the browser's answer.");
            emit finished({Result::Failed, {}, {}, text});
        });
        return;
    }
    listener->setCallbackText(
        QStringLiteral("Quillpost has the answer; you may close this page and go back to Quillpost."));

    auto* flow = new QOAuth2AuthorizationCodeFlow(endpoints.clientId, endpoints.authorizeUrl,
                                                  endpoints.tokenUrl, nullptr, this);
    flow->setReplyHandler(listener);
    flow->setScope(endpoints.scope);
    flow->setState(QString::fromLatin1(randomText(16)));
    const QByteArray verifier = randomText(32); // 43 characters
    const QByteArray challenge =
        QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    flow->setModifyParametersFunction([endpoints, verifier,
                                       challenge](QAbstractOAuth::Stage stage,
                                                  QMultiMap<QString, QVariant>* parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            for (auto it = endpoints.extraParameters.cbegin(); it != endpoints.extraParameters.cend(); ++it)
                parameters->replace(it.key(), it.value());
            parameters->replace(QStringLiteral("code_challenge"), challenge);
            parameters->replace(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            // 6.4 takes the code from the redirect's query with its percent-encodings kept and
            // percent-encodes it once more: decoding twice gives the code the provider sent.
            const QString code = QStringLiteral("code");
            parameters->replace(code,
                                QByteArray::fromPercentEncoding(
                                    QByteArray::fromPercentEncoding(parameters->value(code).toByteArray()))
                                    .toPercentEncoding());
            parameters->replace(QStringLiteral("code_verifier"), verifier);
            // Here rather than through 6.4, which sends the secret without encoding it.
            if (!endpoints.clientSecret.isEmpty())
                parameters->replace(QStringLiteral("client_secret"),
                                    QUrl::toPercentEncoding(endpoints.clientSecret));
        }
    });
    connect(flow, &QAbstractOAuth::authorizeWithBrowser, this,
            [this](const QUrl& url) { m_openBrowser(url); });
    // Connected before grant(), so it sees each redirect before 6.4 handles it.
    connect(flow, &QAbstractOAuth2::authorizationCallbackReceived, this, [this](const QVariantMap& data) {
        m_callbackState = data.value(QStringLiteral("state")).toString();
    });
    // 6.4 reports a refusal before it compares the state; one with another state is not taken.
    connect(flow, &QAbstractOAuth2::error, this, [this](const QString& error, const QString& description) {
        if (m_flow && m_callbackState == m_flow->state())
            finish(Result::Failed, "The sign-in was refused: " + said(error, description));
    });
    m_flow = flow;
    m_listener = listener;
    m_timeLimit.start(m_timeLimitMs);
    flow->grant();
}

void BrowserSignIn::cancel()
{
    finish(Result::Cancelled, "The sign-in was cancelled.");
}

void BrowserSignIn::tokenReplied(QNetworkReply* reply)
{
    const TokenReply tokenReply = readTokenReply(reply);
    const TokenAnswer& answer = tokenReply.answer;
    if (answer.outcome != TokenAnswer::Done)
        finish(Result::Failed, "The provider's code brought no tokens: " + answer.text);
    else if (answer.refreshToken.isEmpty())
        finish(Result::Failed,
               "The provider handed out no refresh token, which Quillpost needs to check mail "
               "without you; sign in again.");
    else
        finish(Result::Done, {}, answer, addressIn(tokenReply.fields.value(u"id_token").toString()));
}

void BrowserSignIn::finish(Result::Outcome outcome, const QString& text, const TokenAnswer& tokens,
                           const QString& address)
{
    if (!m_flow)
        return;
    m_timeLimit.stop();
    m_listener->close();
    // This may run inside a signal of either, and a receiver of finished() may delete this object:
    // they go once control is back in the event loop, on their own.
    m_flow->setParent(nullptr);
    m_flow->deleteLater();
    m_listener->setParent(nullptr);
    m_listener->deleteLater();
    m_flow = nullptr;
    m_listener = nullptr;
    emit finished({outcome, tokens, address, text});
}

TokenAnswer BrowserSignIn::refresh(const OAuthEndpoints& endpoints, const QString& refreshToken)
{
    QByteArray form = "grant_type=refresh_token&refresh_token=" + QUrl::toPercentEncoding(refreshToken) +
                      "&client_id=" + QUrl::toPercentEncoding(endpoints.clientId) +
                      "&scope=" + QUrl::toPercentEncoding(endpoints.scope);
    if (!endpoints.clientSecret.isEmpty())
        form += "&client_secret=" + QUrl::toPercentEncoding(endpoints.clientSecret);
    QNetworkRequest request(endpoints.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkAccessManager network;
    QNetworkReply* reply = network.post(request, form);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kRefreshDeadlineMs, &loop, &QEventLoop::quit);
    // As with the keyring: the window keeps its content while the answer is awaited; typing waits.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply->isFinished())
        return trouble(
            TokenAnswer::Unreachable,
            QStringLiteral("No answer from the token endpoint within %1 s.").arg(kRefreshDeadlineMs / 1000));
    return readTokenReply(reply).answer;
}

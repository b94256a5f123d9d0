#pragma once

#include "platform/BrowserSignIn.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QSet>
#include <QTcpServer>
#include <QUrlQuery>

#include <functional>
#include <utility>

class QTcpSocket;

// A stand-in OAuth 2 provider at 127.0.0.1 (authorization and token endpoint, plain HTTP/1.1) that
// checks what a client must send (client, PKCE S256, state, a loopback redirect_uri, scope, extra
// parameters, client secret) and answers as Microsoft's and Google's do; and a stand-in for the
// system browser that signs in there. A failed check answers invalid_request naming it.
//
//   FakeIdentityProvider provider;
//   provider.setAccessTokenHook([&](const QString& token) { mailServer.accept(token); });
//   BrowserSignIn signIn(provider.browser());
//   signIn.start(provider.serve({{}, {}, "scope", "client-id", "secret", {{"prompt", "consent"}}}));
class FakeIdentityProvider : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kExpiresInSeconds = 3599;

    enum class Browser
    {
        Follow,     // opens the authorization address and follows its redirect
        Ignore,     // never opens it: the user closed the browser
        ForgedFirst // sends the program's listener redirect_uri?forgedQuery first, then follows
    };
    Q_ENUM(Browser)

    explicit FakeIdentityProvider(QObject* parent = nullptr);

    // expected with this provider's addresses; every request must carry its client, scope and extras.
    OAuthEndpoints serve(OAuthEndpoints expected);
    // The browser's stand-in, for BrowserSignIn; it goes its way asynchronously, as a browser does.
    std::function<void(const QUrl&)> browser(Browser mode = Browser::Follow, const QString& forgedQuery = {});

    void setDenySignIn(bool deny) { m_deny = deny; }                // redirects with error=access_denied
    void setIdTokenEmail(const QString& email) { m_email = email; } // hands out an unsigned id_token
    void setHandOutRefreshToken(bool handOut) { m_handOutRefreshToken = handOut; }
    void setRotateRefreshToken(bool rotate) { m_rotate = rotate; }
    void setAccessTokenHook(std::function<void(const QString&)> hook) { m_hook = std::move(hook); }
    // A refresh token as a finished sign-in leaves one.
    QString issueRefreshToken();
    // Every refresh token handed out so far gets invalid_grant.
    void revoke() { m_refreshTokens.clear(); }

    int tokenRequests(const QString& grantType) const { return m_requests.value(grantType); }
    QUrl openedAddress() const { return m_opened; }
    // The pages the program's listener showed the browser.
    QList<QByteArray> loopbackPages() const { return m_pages; }

private:
    void read(QTcpSocket* socket);
    QUrl authorize(const QUrlQuery& query);
    std::pair<QByteArray, QByteArray> token(const QUrlQuery& form);
    QByteArray tokens(bool withRefreshToken);
    void visit(const QUrl& address, const std::function<void(const QUrl& location)>& then);

    QTcpServer m_server;
    QNetworkAccessManager m_browser;
    OAuthEndpoints m_expected;
    bool m_deny = false, m_handOutRefreshToken = true, m_rotate = false;
    QString m_email, m_challenge, m_redirect, m_code = QStringLiteral("(none issued)");
    QSet<QString> m_refreshTokens;
    std::function<void(const QString&)> m_hook;
    int m_issued = 0;
    QHash<QString, int> m_requests;
    QUrl m_opened;
    QList<QByteArray> m_pages;
};

#pragma once

#include "platform/TokenAnswer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <functional>

class QNetworkReply;
class QOAuth2AuthorizationCodeFlow;
class QOAuthHttpServerReplyHandler;

// Where and how to sign in with one provider.
struct OAuthEndpoints
{
    QUrl authorizeUrl, tokenUrl;
    QString scope, clientId, clientSecret; // clientSecret empty for public clients
    QVariantMap extraParameters;           // added to the authorization request
};

// Signing in once through the system browser: authorization code, PKCE S256, redirect to 127.0.0.1.
class BrowserSignIn : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 5 * 60 * 1000;
    static constexpr int kRefreshDeadlineMs = 30 * 1000;

    // How one sign-in ended.
    struct Result
    {
        enum Outcome
        {
            Done,
            Cancelled,
            TimedOut,
            Failed
        };
        Outcome outcome = Failed;
        TokenAnswer tokens; // Done: the access token, its expiry and the refresh token
        QString address;    // Done: the e-mail address the provider named, if it named one
        QString text;       // what went wrong, in words for a status line
    };

    // openBrowser shows the authorization address to the user: the desktop's browser, or a stand-in.
    explicit BrowserSignIn(std::function<void(const QUrl&)> openBrowser, QObject* parent = nullptr);

    // Starts a sign-in, cancelling one that runs; answers with finished(), never before returning.
    void start(const OAuthEndpoints& endpoints);
    // Ends the sign-in with finished(Cancelled) unless it has already finished.
    void cancel();
    // How long the user has to finish in the browser; from the next start on.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    // A new access token from the token endpoint, awaited at most kRefreshDeadlineMs, user input excluded.
    static TokenAnswer refresh(const OAuthEndpoints& endpoints, const QString& refreshToken);

signals:
    // Done: the tokens, and the address when the provider named one; otherwise text says why not.
    void finished(const BrowserSignIn::Result& result);

private:
    void finish(Result::Outcome outcome, const QString& text, const TokenAnswer& tokens = {},
                const QString& address = {});
    void tokenReplied(QNetworkReply* reply);

    std::function<void(const QUrl&)> m_openBrowser;
    int m_timeLimitMs = kTimeLimitMs;
    QTimer m_timeLimit;
    // A fresh flow for each sign-in, since Qt 6.4 replaces the scope with the one a token answer names.
    QPointer<QOAuth2AuthorizationCodeFlow> m_flow;
    QPointer<QOAuthHttpServerReplyHandler> m_listener;
    QString m_callbackState; // the state of the redirect being handled
};

Q_DECLARE_METATYPE(BrowserSignIn::Result)

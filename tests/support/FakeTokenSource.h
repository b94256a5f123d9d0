#pragma once

#include "platform/TokenSource.h"

#include <QList>
#include <QStringList>

#include <functional>

// Sources of access tokens that answer from a script and record every call.
//
//   FakeTokenSource tokens;
//   tokens.accounts = {{"account_1", "alice@example.test", "google"}};
//   tokens.onlineAnswers = {{TokenAnswer::Done, "token-1"}, {TokenAnswer::Expired, {}, {}, {}, "revoked"}};
//   tokens.browser = provider.browser();   // a stand-in browser (FakeIdentityProvider)
class FakeTokenSource : public TokenSource
{
public:
    QList<OnlineAccount> accounts;
    // Answers handed out in turn; with none left, Unreachable.
    QList<TokenAnswer> onlineAnswers;
    QList<TokenAnswer> refreshAnswers;
    // "token <id>", "refresh <refresh token>", "browser <address>", in order.
    QStringList calls;
    std::function<void(const QUrl&)> browser;

    QList<OnlineAccount> onlineAccounts() override { return accounts; }
    TokenAnswer onlineAccountToken(const QString& id) override;
    TokenAnswer refresh(const OAuthEndpoints& endpoints, const QString& refreshToken) override;
    void openBrowser(const QUrl& address) override;
};

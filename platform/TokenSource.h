#pragma once

#include "platform/BrowserSignIn.h"
#include "platform/OnlineAccounts.h"
#include "platform/TokenAnswer.h"

#include <QList>
#include <QString>
#include <QUrl>

// Where OAuth 2 access tokens come from, beside the password: the desktop's online accounts, and
// the token endpoint of a provider the user signed in to with the browser. One real implementation
// (LinuxTokenSource); tests hand in one that answers by script.
class TokenSource
{
public:
    virtual ~TokenSource() = default;

    // The desktop's mail accounts that sign in with OAuth 2; none where the desktop has none.
    virtual QList<OnlineAccount> onlineAccounts() = 0;
    // A token of one of them, asked afresh at every check.
    virtual TokenAnswer onlineAccountToken(const QString& id) = 0;
    // A new access token for a browser sign-in's refresh token.
    virtual TokenAnswer refresh(const OAuthEndpoints& endpoints, const QString& refreshToken) = 0;
    // Shows a provider's sign-in page in the desktop's browser.
    virtual void openBrowser(const QUrl& address) = 0;
};

#pragma once

#include "platform/TokenAnswer.h"

#include <QDateTime>
#include <QString>

struct SignIn;
class TokenSource;

// The login a check sends for the account: the password as typed, or an OAuth 2 access token from
// where the account signs in. The conversation takes it as it comes. A browser sign-in's token is
// kept until a minute before it runs out; the desktop's online accounts are asked afresh each time,
// since they keep and refresh their tokens themselves.
class AccountLogin
{
public:
    // How long before its end a kept token is given up, so that it cannot run out in the middle of
    // a check.
    static constexpr qint64 kMarginSecs = 60;

    struct Login
    {
        TokenAnswer::Outcome outcome = TokenAnswer::Done;
        bool token = false; // an access token for AUTH, rather than a password for USER and PASS
        QString secret;
        bool fresh = false; // fetched for this check: a server refusing it refuses the sign-in itself
        QString text;       // why there is none
    };

    explicit AccountLogin(TokenSource& tokens);

    // The login for the account now. A refresh token that the provider replaced on the way is
    // replaced in signIn too.
    Login login(SignIn& signIn, const QString& password);
    // The server refused the kept token: the next check asks for a new one.
    void forget();

private:
    TokenSource& m_tokens;
    QString m_refreshToken; // what the kept token was got with
    QString m_token;
    QDateTime m_expires;
};

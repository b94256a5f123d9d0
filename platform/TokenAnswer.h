#pragma once

#include <QDateTime>
#include <QString>

// What a source of OAuth 2 access tokens answered: the desktop's online accounts, or the token
// endpoint of a provider the user signed in to with the browser.
struct TokenAnswer
{
    enum Outcome
    {
        Done,       // token is an access token to sign in with
        Expired,    // the sign-in is no longer good (revoked, expired, the account needs attention):
                    // only signing in again helps; text says why
        Unreachable // no network, no such service, or no answer in time: later may work; text says why
    };
    Outcome outcome = Unreachable;
    QString token;
    QDateTime expires;    // when the token runs out; invalid when the source did not say
    QString refreshToken; // a new refresh token handed out with it, to keep instead of the old one
    QString text;
};

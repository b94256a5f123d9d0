#pragma once

#include "platform/BrowserSignIn.h"

#include <QString>

// How the account logs in: with the password (the default, and what a settings file without the
// sign-in keys means), with one of the desktop's online accounts, or with a provider the user
// signed in to in the browser (OAuth 2). Part of the window's live settings, like the password.
struct SignIn
{
    enum class Kind
    {
        Password,
        OnlineAccount,
        Browser
    };
    enum class Provider
    {
        Microsoft,
        Google,
        Other
    };

    Kind kind = Kind::Password;
    QString onlineAccount; // the online account's id
    // The browser sign-in's provider, and what the user typed for it; an empty text stands for the
    // provider's own value (the client ID and secret: those the program was built with).
    Provider provider = Provider::Microsoft;
    QString clientId, clientSecret, tenant, authorizeUrl, tokenUrl, scope;
    QString refreshToken; // what the browser sign-in left: the program's lasting right to sign in

    friend bool operator==(const SignIn&, const SignIn&) = default;

    bool oauth() const { return kind != Kind::Password; }

    // The value of the settings key "SignIn": "password", "goa:<online account id>" or "oauth".
    QString key() const;
    // Takes a key's value; anything else signs in with the password.
    void setKey(const QString& key);
    // The value of the key "OAuthProvider", and back; another value means Microsoft.
    QString providerKey() const;
    void setProviderKey(const QString& key);

    // Where the browser sign-in goes and what it sends, with what the user typed in place of the
    // provider's own values.
    OAuthEndpoints endpoints() const;
    // The client ID sent when the user typed none: the one the program was built with, or none.
    QString builtInClientId() const;
    // The provider's POP3 server as the user would type it; empty for "Other".
    QString server() const;
    // The tenant sent when the user typed none.
    static QString defaultTenant() { return QStringLiteral("consumers"); }

    // A browser sign-in's secrets as the keyring keeps them (the refresh token, and a client secret
    // the user typed), and back.
    QString secrets() const;
    void setSecrets(const QString& stored);

    // What an online account of this provider type uses as its POP3 server; empty when unknown.
    static QString serverOfOnlineAccount(const QString& providerType);
};

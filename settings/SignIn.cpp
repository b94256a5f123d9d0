#include "settings/SignIn.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kGoaPrefix = QStringLiteral("goa:");

// The client registrations the program was built with (CMake cache variables; empty by default).
const QString kMicrosoftClientId = QStringLiteral(QUILLPOST_MICROSOFT_CLIENT_ID);
const QString kGoogleClientId = QStringLiteral(QUILLPOST_GOOGLE_CLIENT_ID);
const QString kGoogleClientSecret = QStringLiteral(QUILLPOST_GOOGLE_CLIENT_SECRET);

QString orElse(const QString& typed, const QString& preset)
{
    return typed.isEmpty() ? preset : typed;
}

} // namespace

QString SignIn::key() const
{
    switch (kind) {
    case Kind::OnlineAccount:
        return kGoaPrefix + onlineAccount;
    case Kind::Browser:
        return QStringLiteral("oauth");
    case Kind::Password:
        break;
    }
    return QStringLiteral("password");
}

void SignIn::setKey(const QString& key)
{
    kind = Kind::Password;
    onlineAccount.clear();
    if (key.startsWith(kGoaPrefix) && key.size() > kGoaPrefix.size()) {
        kind = Kind::OnlineAccount;
        onlineAccount = key.mid(kGoaPrefix.size());
    } else if (key == QLatin1String("oauth")) {
        kind = Kind::Browser;
    }
}

QString SignIn::providerKey() const
{
    switch (provider) {
    case Provider::Google:
        return QStringLiteral("google");
    case Provider::Other:
        return QStringLiteral("other");
    case Provider::Microsoft:
        break;
    }
    return QStringLiteral("microsoft");
}

void SignIn::setProviderKey(const QString& key)
{
    provider = key == QLatin1String("google")  ? Provider::Google
               : key == QLatin1String("other") ? Provider::Other
                                               : Provider::Microsoft;
}

QString SignIn::builtInClientId() const
{
    switch (provider) {
    case Provider::Microsoft:
        return kMicrosoftClientId;
    case Provider::Google:
        return kGoogleClientId;
    case Provider::Other:
        break;
    }
    return {};
}

OAuthEndpoints SignIn::endpoints() const
{
    OAuthEndpoints preset;
    switch (provider) {
    case Provider::Microsoft: {
        // Outlook.com accounts sign in at "consumers", Microsoft 365 at "organizations" or the
        // organization's own tenant.
        const QString base = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/")
                                 .arg(orElse(tenant, defaultTenant()));
        preset = {QUrl(base + QStringLiteral("authorize")),
                  QUrl(base + QStringLiteral("token")),
                  QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access"),
                  kMicrosoftClientId,
                  {},
                  {}};
        break;
    }
    case Provider::Google:
        // Without these Google hands out no refresh token, or only at the first consent.
        preset = {QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
                  QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
                  QStringLiteral("https://mail.google.com/"),
                  kGoogleClientId,
                  kGoogleClientSecret,
                  {{QStringLiteral("access_type"), QStringLiteral("offline")},
                   {QStringLiteral("prompt"), QStringLiteral("consent")}}};
        break;
    case Provider::Other:
        break;
    }
    // A typed client ID comes with its own secret, or none.
    const bool ownClient = !clientId.isEmpty();
    return {QUrl(orElse(authorizeUrl, preset.authorizeUrl.toString())),
            QUrl(orElse(tokenUrl, preset.tokenUrl.toString())),
            orElse(scope, preset.scope),
            orElse(clientId, preset.clientId),
            ownClient ? clientSecret : preset.clientSecret,
            preset.extraParameters};
}

QString SignIn::secrets() const
{
    QJsonObject stored{{QStringLiteral("refresh_token"), refreshToken}};
    if (!clientSecret.isEmpty())
        stored.insert(QStringLiteral("client_secret"), clientSecret);
    return QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact));
}

void SignIn::setSecrets(const QString& stored)
{
    const QJsonObject secrets = QJsonDocument::fromJson(stored.toUtf8()).object();
    refreshToken = secrets.value(QStringLiteral("refresh_token")).toString();
    clientSecret = secrets.value(QStringLiteral("client_secret")).toString();
}

QString SignIn::server() const
{
    switch (provider) {
    case Provider::Microsoft:
        return QStringLiteral("outlook.office365.com:995");
    case Provider::Google:
        return QStringLiteral("pop.gmail.com:995");
    case Provider::Other:
        break;
    }
    return {};
}

QString SignIn::serverOfOnlineAccount(const QString& providerType)
{
    if (providerType == QLatin1String("google"))
        return QStringLiteral("pop.gmail.com:995");
    if (providerType == QLatin1String("ms365") || providerType == QLatin1String("windows_live"))
        return QStringLiteral("outlook.office365.com:995");
    return {};
}

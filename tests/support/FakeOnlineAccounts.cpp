#include "support/FakeOnlineAccounts.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include <algorithm>

namespace {

const QString kConnection = QStringLiteral("fake-online-accounts");
const QString kRoot = QStringLiteral("/org/gnome/OnlineAccounts");
const QString kOAuth2 = QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based");

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

// Where GOA puts an account's object.
QString pathOf(const FakeOnlineAccounts::Account& account)
{
    return kRoot + "/Accounts/" + account.id;
}

} // namespace

FakeOnlineAccounts::FakeOnlineAccounts(const QString& busAddress)
    : m_connection(QDBusConnection::connectToBus(busAddress, kConnection))
{
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
    if (!m_connection.registerVirtualObject(kRoot, this, QDBusConnection::SubPath) ||
        !m_connection.registerService(QStringLiteral("org.gnome.OnlineAccounts")))
        qFatal("the stand-in for Online Accounts cannot register: %s",
               qPrintable(m_connection.lastError().message()));
}

FakeOnlineAccounts::~FakeOnlineAccounts()
{
    m_connection.unregisterObject(kRoot, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(kConnection);
}

bool FakeOnlineAccounts::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (silent)
        return true;
    if (message.member() == QLatin1String("GetManagedObjects") && message.path() == kRoot) {
        ManagedObjects objects;
        for (const Account& account : accounts) {
            Interfaces& interfaces = objects[QDBusObjectPath(pathOf(account))];
            interfaces[QStringLiteral("org.gnome.OnlineAccounts.Account")] = {
                {QStringLiteral("Id"), account.id},
                {QStringLiteral("ProviderType"), account.providerType},
                {QStringLiteral("AttentionNeeded"), account.attentionNeeded},
                {QStringLiteral("MailDisabled"), account.mailDisabled}};
            if (account.mail)
                interfaces[QStringLiteral("org.gnome.OnlineAccounts.Mail")] = {
                    {QStringLiteral("EmailAddress"), account.address}};
            if (account.oauth2)
                interfaces[kOAuth2] = {};
        }
        return connection.send(message.createReply(QVariant::fromValue(objects)));
    }
    const bool known = std::ranges::any_of(accounts, [&](const Account& account) {
        return account.oauth2 && pathOf(account) == message.path();
    });
    if (!known || message.interface() != kOAuth2 || message.member() != QLatin1String("GetAccessToken"))
        return false;
    if (tokenCalls++ >= answers.size())
        return true;
    const Answer& answer = answers[tokenCalls - 1];
    return connection.send(answer.error.isEmpty()
                               ? message.createReply(QVariantList{answer.token, answer.expiresIn})
                               : message.createErrorReply(answer.error, QStringLiteral("as the test asked")));
}

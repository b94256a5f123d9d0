#include "platform/OnlineAccounts.h"

#include "core/Logging.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>

#include <algorithm>
#include <optional>

namespace {

const QString kService = QStringLiteral("org.gnome.OnlineAccounts");
const QString kRoot = QStringLiteral("/org/gnome/OnlineAccounts");
const QString kAccount = QStringLiteral("org.gnome.OnlineAccounts.Account");
const QString kMail = QStringLiteral("org.gnome.OnlineAccounts.Mail");
const QString kOAuth2 = QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based");
const QString kNotAuthorized = QStringLiteral("org.gnome.OnlineAccounts.Error.NotAuthorized");

// GetManagedObjects' answer: each object's interfaces with their properties, by object path.
using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

// Calls the service and runs events until the answer comes or the deadline passes. A local loop
// rather than a blocking call, so that a service living in this process can answer meanwhile.
QDBusMessage ask(const QDBusConnection& bus, const QString& path, const QString& interface,
                 const QString& method, int deadlineMs)
{
    const QDBusPendingCall pending =
        bus.asyncCall(QDBusMessage::createMethodCall(kService, path, interface, method), deadlineMs);
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    // The window's controls keep their content while the answer is awaited; typing waits.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return pending.reply();
}

// Why the reply is not the answer expected: the service's error, no answer in time, or an answer of
// another form; empty when it is.
QString whyNot(const QDBusMessage& reply, const QString& signature, int deadlineMs)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.signature() == signature ? QString()
                                              : "Online Accounts answered with (" + reply.signature() + ')';
    // The bus library turns a deadline that passed into this error.
    if (reply.errorName() == QDBusError::errorString(QDBusError::NoReply))
        return QStringLiteral("no answer from Online Accounts within %1 ms").arg(deadlineMs);
    return reply.errorName() + ": " + reply.errorMessage();
}

// The service's objects, or nothing with the reason in why.
std::optional<ManagedObjects> managedObjects(const QDBusConnection& bus, int deadlineMs, QString& why)
{
    const QDBusMessage reply = ask(bus, kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                   QStringLiteral("GetManagedObjects"), deadlineMs);
    why = whyNot(reply, QStringLiteral("a{oa{sa{sv}}}"), deadlineMs);
    if (!why.isEmpty())
        return std::nullopt;
    return qdbus_cast<ManagedObjects>(reply.arguments().value(0));
}

TokenAnswer refusal(TokenAnswer::Outcome outcome, const QString& why)
{
    qCInfo(lcSignin) << (outcome == TokenAnswer::Expired ? "sign-in no longer good:" : "no token:") << why;
    TokenAnswer answer;
    answer.outcome = outcome;
    answer.text = why;
    return answer;
}

} // namespace

OnlineAccounts::OnlineAccounts(const QDBusConnection& bus, int deadlineMs)
    : m_bus(bus)
    , m_deadlineMs(deadlineMs)
{}

QList<OnlineAccount> OnlineAccounts::mailAccounts()
{
    QString why;
    const auto objects = managedObjects(m_bus, std::min(kListingDeadlineMs, m_deadlineMs), why);
    if (!objects) {
        qCInfo(lcSignin) << "no online accounts:" << why;
        return {};
    }
    QList<OnlineAccount> accounts;
    for (const Interfaces& interfaces : *objects) {
        const QVariantMap account = interfaces.value(kAccount);
        // GOA takes the Mail interface away when mail is switched off, but only some time after.
        if (!interfaces.contains(kMail) || !interfaces.contains(kOAuth2) ||
            account.value(QStringLiteral("MailDisabled")).toBool())
            continue;
        accounts.append({account.value(QStringLiteral("Id")).toString(),
                         interfaces.value(kMail).value(QStringLiteral("EmailAddress")).toString(),
                         account.value(QStringLiteral("ProviderType")).toString()});
    }
    std::ranges::sort(accounts, {}, &OnlineAccount::address);
    return accounts;
}

TokenAnswer OnlineAccounts::accessToken(const QString& id)
{
    QString why;
    const auto objects = managedObjects(m_bus, std::min(kListingDeadlineMs, m_deadlineMs), why);
    if (!objects)
        return refusal(TokenAnswer::Unreachable, why);
    const auto found = std::find_if(objects->cbegin(), objects->cend(), [&id](const Interfaces& interfaces) {
        return interfaces.value(kAccount).value(QStringLiteral("Id")).toString() == id;
    });
    if (found == objects->cend() || !found->contains(kOAuth2))
        return refusal(TokenAnswer::Expired, "Online Accounts no longer hold the account " + id);
    // GOA hands out its last token even to an account whose sign-in it knows to be bad.
    const QVariantMap account = found->value(kAccount);
    if (account.value(QStringLiteral("AttentionNeeded")).toBool())
        return refusal(TokenAnswer::Expired,
                       QStringLiteral("the account needs signing in again in Online Accounts"));
    if (account.value(QStringLiteral("MailDisabled")).toBool())
        return refusal(TokenAnswer::Expired,
                       QStringLiteral("mail is switched off for the account in Online Accounts"));

    // The token's lifetime counts from about when it was asked for.
    const QDateTime asked = QDateTime::currentDateTimeUtc();
    const QDBusMessage reply =
        ask(m_bus, found.key().path(), kOAuth2, QStringLiteral("GetAccessToken"), m_deadlineMs);
    why = whyNot(reply, QStringLiteral("si"), m_deadlineMs);
    if (!why.isEmpty())
        return refusal(reply.errorName() == kNotAuthorized ? TokenAnswer::Expired : TokenAnswer::Unreachable,
                       why);
    TokenAnswer token;
    token.outcome = TokenAnswer::Done;
    token.token = reply.arguments().value(0).toString();
    // GOA says 0 when it does not know.
    if (const int expiresIn = reply.arguments().value(1).toInt(); expiresIn > 0)
        token.expires = asked.addSecs(expiresIn);
    return token;
}

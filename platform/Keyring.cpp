#include "platform/Keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <optional>

namespace {

const QString kService = QStringLiteral("Quillpost");
const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Whether the session has no Secret Service: none runs, and the bus cannot start one.
bool noSecretService()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return true;
    if (bus.interface()->isServiceRegistered(kSecretService))
        return false;
    const QDBusReply<QStringList> startable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return startable.isValid() && !startable.value().contains(kSecretService);
}

// Whether the Secret Service's default collection, where new entries go, is locked. Its entries
// are then out of sight: the keyring library, with no prompt to unlock it, reports them as not
// there.
bool defaultCollectionLocked()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kSecretService, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, Keyring::kDeadlineMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

} // namespace

SecretAnswer Keyring::run(QKeychain::Job* job, const std::function<void(const QString&)>& lateAnswer)
{
    std::optional<SecretAnswer> answer;
    QEventLoop loop;
    // The loop is the receiver: once it is gone, a late answer reaches nothing.
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        switch (done->error()) {
        case QKeychain::NoError: {
            const auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(done);
            answer = SecretAnswer{SecretAnswer::Done, reading ? reading->textData() : QString()};
            break;
        }
        case QKeychain::EntryNotFound:
            answer = SecretAnswer{SecretAnswer::NotFound, {}};
            break;
        default:
            answer = SecretAnswer{noSecretService() ? SecretAnswer::NoService : SecretAnswer::Unreachable,
                                  done->errorString()};
        }
        loop.quit();
    });
    QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);
    job->setAutoDelete(false);
    job->start();
    // The window's controls keep their content while the answer is awaited; typing waits.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (answer) {
        delete job;
        return *answer;
    }
    job->setAutoDelete(true);
    if (lateAnswer)
        QObject::connect(job, &QKeychain::Job::finished, job, [lateAnswer](QKeychain::Job* done) {
            const auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(done);
            if (reading && done->error() == QKeychain::NoError)
                lateAnswer(reading->textData());
        });
    return {SecretAnswer::Unreachable,
            QStringLiteral("no answer from the Secret Service within %1 ms").arg(kDeadlineMs)};
}

SecretAnswer Keyring::read(const QString& account, const std::function<void(const QString&)>& lateAnswer)
{
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(account);
    const SecretAnswer answer = run(job, lateAnswer);
    if (answer.outcome == SecretAnswer::NotFound && defaultCollectionLocked())
        return {SecretAnswer::Unreachable, QStringLiteral("the keyring is locked")};
    return answer;
}

SecretAnswer Keyring::write(const QString& account, const QString& secret)
{
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(account);
    job->setTextData(secret);
    return run(job);
}

SecretAnswer Keyring::remove(const QString& account)
{
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(account);
    return run(job);
}

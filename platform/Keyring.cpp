#include "platform/Keyring.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <optional>

namespace {

const QString kService = QStringLiteral("Quillpost");

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
            answer = SecretAnswer{SecretAnswer::Unreachable, done->errorString()};
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
    return run(job, lateAnswer);
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

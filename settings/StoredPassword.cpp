#include "settings/StoredPassword.h"

#include "core/Logging.h"
#include "platform/Platform.h"
#include "settings/CCipher.h"

namespace StoredPassword {

namespace {

// The account whose keyring entry start-up could not read. Its password is unknown rather than
// empty: an OK with the box still empty must not remove an entry the user never saw.
std::optional<QString> unreadAccount;

QString enciphered(const QString& password)
{
    CCipher cipher;
    cipher.Text(password);
    cipher.Key(ApplicationKey());
    cipher.Encrypt();
    return cipher.Text();
}

QString deciphered(const QString& stored)
{
    CCipher cipher;
    cipher.Text(stored);
    cipher.Key(ApplicationKey());
    cipher.Decrypt();
    return cipher.Text();
}

} // namespace

QString Account(const QString& userId, const QString& server)
{
    return userId + QLatin1Char('@') + server;
}

QString Save(Platform& platform, const QString& userId, const QString& server, const QString& password)
{
    const QString account = Account(userId, server);
    if (password.isEmpty() && account == unreadAccount) {
        qCInfo(lcKeyring, "the keyring entry of %s was never read: it stays", qUtf8Printable(account));
        return {};
    }
    unreadAccount.reset();
    if (password.isEmpty()) {
        const SecretAnswer removed = platform.removeSecret(account);
        // An entry left behind would come back at the next start, when the keyring answers again.
        if (removed.outcome == SecretAnswer::Unreachable)
            qCInfo(lcKeyring, "could not remove the keyring entry of %s: %s", qUtf8Printable(account),
                   qUtf8Printable(removed.text));
        return {};
    }
    const SecretAnswer written = platform.writeSecret(account, password);
    if (written.outcome == SecretAnswer::Done) {
        qCInfo(lcKeyring, "password of %s saved in the keyring", qUtf8Printable(account));
        return {};
    }
    qCInfo(lcKeyring, "keyring unavailable (%s): the password of %s stays enciphered in the settings file",
           qUtf8Printable(written.text), qUtf8Printable(account));
    return enciphered(password);
}

std::optional<QString> Load(Platform& platform, const QString& stored, const QString& userId,
                            const QString& server, const std::function<bool(const QString&)>& lateAnswer)
{
    unreadAccount.reset();
    if (!stored.isEmpty())
        return deciphered(stored);
    // No account yet (a first run): nothing to ask for, and no reason to have the desktop offer
    // to unlock or create a keyring.
    if (userId.isEmpty() || server.isEmpty())
        return std::nullopt;
    const QString account = Account(userId, server);
    const SecretAnswer read = platform.readSecret(account, [account, lateAnswer](const QString& password) {
        if (lateAnswer(password) && unreadAccount == account)
            unreadAccount.reset();
    });
    switch (read.outcome) {
    case SecretAnswer::Done:
        return read.text;
    case SecretAnswer::NotFound:
        qCInfo(lcKeyring, "no password stored for %s", qUtf8Printable(account));
        return std::nullopt;
    case SecretAnswer::Unreachable:
        qCInfo(lcKeyring, "keyring unavailable (%s): no password for %s", qUtf8Printable(read.text),
               qUtf8Printable(account));
        unreadAccount = account;
    }
    return std::nullopt;
}

} // namespace StoredPassword

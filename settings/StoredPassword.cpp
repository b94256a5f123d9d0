#include "settings/StoredPassword.h"

#include "core/Logging.h"
#include "platform/Platform.h"
#include "settings/CCipher.h"

namespace StoredPassword {

namespace {

// The account whose keyring entry could not be read. Its password is unknown rather than empty: an
// OK with the box still empty must not remove an entry the user never saw, and a check must not
// log in without it.
std::optional<QString> unreadAccount;
// The account whose entry this run has read or written: the keyring holds its password.
std::optional<QString> keptAccount;

// Reads the account's entry; an unread one is remembered as such.
std::optional<QString> read(Platform& platform, const QString& account,
                            const std::function<void(const QString&)>& lateAnswer)
{
    const SecretAnswer answer = platform.readSecret(account, lateAnswer);
    switch (answer.outcome) {
    case SecretAnswer::Done:
        unreadAccount.reset();
        keptAccount = account;
        return answer.text;
    case SecretAnswer::NotFound:
    case SecretAnswer::NoService:
        qCInfo(lcKeyring, "no password stored for %s%s", qUtf8Printable(account),
               answer.outcome == SecretAnswer::NoService ? " (no Secret Service)" : "");
        unreadAccount.reset();
        keptAccount.reset();
        break;
    case SecretAnswer::Unreachable:
        qCInfo(lcKeyring, "keyring unavailable (%s): no password for %s", qUtf8Printable(answer.text),
               qUtf8Printable(account));
        unreadAccount = account;
    }
    return std::nullopt;
}

} // namespace

QString Account(const QString& userId, const QString& server)
{
    return userId + QLatin1Char('@') + server;
}

QString Deciphered(const QString& stored)
{
    CCipher cipher;
    cipher.Text(stored);
    cipher.Key(ApplicationKey());
    cipher.Decrypt();
    return cipher.Text();
}

QString Enciphered(const QString& password)
{
    CCipher cipher;
    cipher.Text(password);
    cipher.Key(ApplicationKey());
    cipher.Encrypt();
    return cipher.Text();
}

Kept Keep(Platform& platform, const QString& userId, const QString& server, const QString& password,
          const QString& previousAccount)
{
    const QString account = Account(userId, server);
    Kept kept;
    if (password.isEmpty() && account == unreadAccount) {
        qCInfo(lcKeyring, "the keyring entry of %s was never read: it stays", qUtf8Printable(account));
    } else if (password.isEmpty()) {
        unreadAccount.reset();
        const SecretAnswer removed = platform.removeSecret(account);
        // An entry left behind comes back at the next start, when the keyring answers again.
        if (removed.outcome != SecretAnswer::Unreachable)
            keptAccount.reset();
        else if (keptAccount == account)
            kept.failure = removed.text;
    } else {
        unreadAccount.reset();
        const SecretAnswer written = platform.writeSecret(account, password);
        kept.inKeyring = written.outcome == SecretAnswer::Done;
        if (kept.inKeyring)
            keptAccount = account;
        qCInfo(lcKeyring, "password of %s %s", qUtf8Printable(account),
               kept.inKeyring
                   ? "saved in the keyring"
                   : qUtf8Printable("stays enciphered in the settings file: keyring unavailable, " +
                                    written.text));
    }
    if (!previousAccount.isEmpty() && previousAccount != account) {
        const SecretAnswer removed = platform.removeSecret(previousAccount);
        if (removed.outcome != SecretAnswer::Unreachable && keptAccount == previousAccount)
            keptAccount.reset();
        if (removed.outcome == SecretAnswer::Unreachable)
            qCInfo(lcKeyring, "could not remove the keyring entry of %s: %s", qUtf8Printable(previousAccount),
                   qUtf8Printable(removed.text));
    }
    return kept;
}

std::optional<QString> Load(Platform& platform, const QString& stored, const QString& userId,
                            const QString& server, const std::function<bool(const QString&)>& lateAnswer)
{
    unreadAccount.reset();
    if (!stored.isEmpty())
        return Deciphered(stored);
    // No account yet (a first run): nothing to ask for, and no reason to have the desktop offer
    // to unlock or create a keyring.
    if (userId.isEmpty() || server.isEmpty())
        return std::nullopt;
    const QString account = Account(userId, server);
    return read(platform, account, [account, lateAnswer](const QString& password) {
        if (lateAnswer(password) && unreadAccount == account)
            unreadAccount.reset();
    });
}

bool IsUnread(const QString& userId, const QString& server)
{
    return unreadAccount == Account(userId, server);
}

std::optional<QString> ReadAgain(Platform& platform, const QString& userId, const QString& server)
{
    return read(platform, Account(userId, server), {});
}

} // namespace StoredPassword

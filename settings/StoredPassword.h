#pragma once

#include <QString>

#include <functional>
#include <optional>

class Platform;

// Where the POP3 password lives between runs: in the desktop's keyring, under the program's name
// and the account "<user ID>@<server>", when a Secret Service takes it; otherwise enciphered in
// the settings file's "Password" key, as it always was. An account that signs in with the browser
// keeps its secrets (the refresh token) in the same entry instead: the account's secret.
namespace StoredPassword {

// The keyring entry's name: another user ID or server never picks up this account's password.
QString Account(const QString& userId, const QString& server);

// The "Password" value OK saves with the rest of the settings: the password enciphered, so that
// the file holds it whatever the keyring does after the save.
QString Enciphered(const QString& password);
// A value enciphered in the settings file, deciphered.
QString Deciphered(const QString& stored);

// What Keep did with the keyring.
struct Kept
{
    bool inKeyring = false; // the keyring holds the password: the file may give up its copy
    QString failure;        // not empty: the entry of an emptied password is still there, and why
};

// Runs once OK has saved the settings, the password enciphered among them, so that a save that
// fails leaves the keyring as it was and a crash at any step leaves the password in one of the
// two. Puts the password into the keyring; an empty one removes the account's entry, unless that
// entry could not be read. Once the new account's password is kept, the entry of the account saved
// before (previousAccount, when the user ID or server changed) is removed.
Kept Keep(Platform& platform, const QString& userId, const QString& server, const QString& password,
          const QString& previousAccount);

// The password that start-up puts into the window. A cipher text in the file wins: it was saved
// when the keyring could not take the password, or before the keyring was used, and is then the
// newest. Otherwise the keyring's entry; none when neither holds a password. A keyring that
// answers only after start-up stopped waiting hands the password to lateAnswer, which tells
// whether it took it.
std::optional<QString> Load(Platform& platform, const QString& stored, const QString& userId,
                            const QString& server, const std::function<bool(const QString&)>& lateAnswer);

// Whether the keyring could not be read for this account (not reachable, or locked), so that its
// password is unknown rather than empty.
bool IsUnread(const QString& userId, const QString& server);
// Asks the keyring again for an account whose entry could not be read; none while it still cannot
// answer.
std::optional<QString> ReadAgain(Platform& platform, const QString& userId, const QString& server);

} // namespace StoredPassword

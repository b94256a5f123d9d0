#pragma once

#include <QString>

#include <functional>
#include <optional>

class Platform;

// Where the POP3 password lives between runs: in the desktop's keyring, under the program's name
// and the account "<user ID>@<server>", when a Secret Service takes it; otherwise enciphered in
// the settings file's "Password" key, as it always was.
namespace StoredPassword {

// The keyring entry's name: another user ID or server never picks up this account's password.
QString Account(const QString& userId, const QString& server);

// Puts the password where the next start finds it, and returns the "Password" value to save
// with the rest of the settings: empty once the keyring has confirmed its entry, otherwise the
// cipher text. Until that value is saved, the file keeps the password it held before, so a
// crash in between leaves the password in at least one of the two places. An empty password
// removes the account's entry, unless start-up could not read that entry.
QString Save(Platform& platform, const QString& userId, const QString& server, const QString& password);

// The password that start-up puts into the window. A cipher text in the file wins: it was saved
// when the keyring could not take the password, or before the keyring was used, and is then the
// newest. Otherwise the keyring's entry; none when neither holds a password. A keyring that
// answers only after start-up stopped waiting hands the password to lateAnswer, which tells
// whether it took it.
std::optional<QString> Load(Platform& platform, const QString& stored, const QString& userId,
                            const QString& server, const std::function<bool(const QString&)>& lateAnswer);

} // namespace StoredPassword

#pragma once

#include <QString>

// The settings kept between runs: application "Quillpost", section "Settings", one key each.
namespace StoredSettings {

inline const QString kApplication = QStringLiteral("Quillpost");
inline const QString kSection = QStringLiteral("Settings");

struct Key
{
    const char* name;
    const char* defaultValue; // the Sample key's default depends on where the program lives
};

inline constexpr Key Interval{"Interval", "10"};
inline constexpr Key IfOffLine{"IfOffLine", "0"};
inline constexpr Key POP3Server{"POP3Server", ""};
inline constexpr Key UserId{"UserId", ""};
inline constexpr Key Password{"Password", ""};
inline constexpr Key ToolTip{"ToolTip", "1"};
inline constexpr Key Sound{"Sound", "1"};
inline constexpr Key Sample{"Sample", nullptr};
inline constexpr Key Run{"Run", "0"};
inline constexpr Key CommandLine{"CommandLine", ""};
inline constexpr Key StartUp{"StartUp", "1"};
inline constexpr Key AutoRun{"AutoRun", "0"};
inline constexpr Key Notify{"Notify", "1"}; // "1" a desktop notification on new mail, "0" none
inline constexpr Key AlreadyRun{"AlreadyRun", "0"};
// The server text whose server turned the connection into TLS (STLS) once: from then on it must.
// Written by the check that first saw it; OK removes it with another server text.
inline constexpr Key SecuredServer{"SecuredServer", ""};
// How the account signs in, when not with the password (absent keys: the password). Browser
// sign-ins keep their provider, what the user typed in place of its own values, and, only while no
// keyring takes them, their secrets enciphered.
inline constexpr Key SignInWith{"SignIn", "password"};
inline constexpr Key OAuthProvider{"OAuthProvider", "microsoft"};
inline constexpr Key OAuthClientId{"OAuthClientId", ""};
inline constexpr Key OAuthTenant{"OAuthTenant", ""};
inline constexpr Key OAuthAuthorizeUrl{"OAuthAuthorizeUrl", ""};
inline constexpr Key OAuthTokenUrl{"OAuthTokenUrl", ""};
inline constexpr Key OAuthScope{"OAuthScope", ""};
inline constexpr Key RefreshToken{"RefreshToken", ""};
inline constexpr Key OAuthClientSecret{"OAuthClientSecret", ""};

// The default of a key, as text.
QString defaultOf(const Key& key);

// The program's folder, "/" and "Mailtrill.wav".
QString defaultSamplePath();

} // namespace StoredSettings

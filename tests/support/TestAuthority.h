#pragma once

#include <QSslConfiguration>

#include <optional>

// The certificate authority that tests/dovecot/harness.sh makes for the test Dovecot.
namespace TestAuthority {

// Trusts it in this process only, beside the system's authorities; false when the harness's env
// file names no authority or its file does not hold exactly one certificate.
bool trust();

// A server's side of TLS with the certificate the authority made for 127.0.0.1; none without the
// harness's files.
std::optional<QSslConfiguration> serverConfiguration();

} // namespace TestAuthority

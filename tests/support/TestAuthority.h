#pragma once

// The certificate authority that tests/dovecot/harness.sh makes for the test Dovecot.
namespace TestAuthority {

// Trusts it in this process only, beside the system's authorities; false when the harness's env
// file names no authority or its file does not hold exactly one certificate.
bool trust();

} // namespace TestAuthority

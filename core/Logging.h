#pragma once

#include <QLoggingCategory>

// What start-up found, and where the password went: silent unless switched on with
// QT_LOGGING_RULES="quillpost.*=true". The password is never logged.
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
// Where the password went, and why not into the keyring.
Q_DECLARE_LOGGING_CATEGORY(lcKeyring)
// Why a source of access tokens had none to give. The token is never logged.
Q_DECLARE_LOGGING_CATEGORY(lcSignin)

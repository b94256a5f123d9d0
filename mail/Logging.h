#pragma once

#include <QLoggingCategory>

// Why a check showed "Off-Line", and what start-up found: silent unless switched on with
// QT_LOGGING_RULES="quillpost.*=true". The password is never logged.
Q_DECLARE_LOGGING_CATEGORY(lcCheck)
Q_DECLARE_LOGGING_CATEGORY(lcPop3)
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
// Where the password went, and why not into the keyring.
Q_DECLARE_LOGGING_CATEGORY(lcKeyring)

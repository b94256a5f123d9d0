#pragma once

#include <QLoggingCategory>

// Why a check showed "Off-Line": silent unless switched on with
// QT_LOGGING_RULES="quillpost.*=true". The password is never logged.
Q_DECLARE_LOGGING_CATEGORY(lcCheck)
Q_DECLARE_LOGGING_CATEGORY(lcPop3)

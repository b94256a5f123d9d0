#include "core/Logging.h"

Q_LOGGING_CATEGORY(lcStartup, "quillpost.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcKeyring, "quillpost.keyring", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSignin, "quillpost.signin", QtWarningMsg)

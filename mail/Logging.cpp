#include "mail/Logging.h"

Q_LOGGING_CATEGORY(lcCheck, "quillpost.check", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPop3, "quillpost.pop3", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStartup, "quillpost.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcKeyring, "quillpost.keyring", QtWarningMsg)

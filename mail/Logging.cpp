#include "mail/Logging.h"

Q_LOGGING_CATEGORY(lcCheck, "quillpost.check", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPop3, "quillpost.pop3", QtWarningMsg)

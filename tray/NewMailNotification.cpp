// frmSettings: the desktop's notification of new mail, and the actions offered on it.

#include "settings/frmSettings.h"

#include "platform/Platform.h"

#include <QCheckBox>
#include <QPushButton>

#include <utility>

void frmSettings::NotifyNewMail(qint64 count)
{
    // A mailbox left unread does not nag: only a rise in the count is news.
    const qint64 previous = std::exchange(miLastCount, count);
    if (count <= 0) {
        if (previous > 0)
            m_platform.closeNotification();
        return;
    }
    if (count <= previous || !chkNotify->isChecked())
        return;
    const qint64 arrived = count - previous;
    const QString body = arrived == 1 ? QStringLiteral("1 new e-mail (%1 waiting)").arg(count)
                                      : QStringLiteral("%1 new e-mails (%2 waiting)").arg(arrived).arg(count);
    m_platform.showNotification({QStringLiteral("Quillpost"),
                                 body,
                                 {QStringLiteral("default"), QStringLiteral("Settings"),
                                  QStringLiteral("check"), QStringLiteral("Check Now")}});
}

void frmSettings::notification_ActionInvoked(const QString& key)
{
    if (key == QLatin1String("default")) {
        frmSettings_Show();
    } else if (key == QLatin1String("check") && cmdCheckNow->isEnabled()) {
        // As from the tray menu: never a second check while one runs.
        CheckMail();
    }
}

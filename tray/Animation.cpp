// frmSettings: the blinking tray icon during a check and the alternating picture in the window.

#include "settings/frmSettings.h"

#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "tray/CTrayIcon.h"

void frmSettings::tmrIconAnim_Timer()
{
    if (tmrIconAnim->Tag == QLatin1String("1")) {
        gTrayIcon->Icon(picCheck->Picture());
        tmrIconAnim->Tag = QStringLiteral("2");
    } else {
        gTrayIcon->Icon(picNoMail->Picture());
        tmrIconAnim->Tag = QStringLiteral("1");
    }
    gTrayIcon->Refresh();
}

void frmSettings::tmrWindowAnim_Timer()
{
    // The picture to show appears before the other goes, so the place is never empty.
    if (!picGotMail->isHidden()) {
        picNoMail->setVisible(true);
        picGotMail->setVisible(false);
    } else {
        picGotMail->setVisible(true);
        picNoMail->setVisible(false);
    }
}

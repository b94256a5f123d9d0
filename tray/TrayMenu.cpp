// frmSettings: the user's way in from the tray — the icon's mouse events and its pop-up menu.

#include "settings/frmSettings.h"

#include "tray/CTrayIcon.h"

#include <QCursor>
#include <QMenu>

void frmSettings::picHook_MouseMove(int, int, float x, float)
{
    const QString name = gTrayIcon->GetMouseEvent(x);
    if (name == QLatin1String("DoubleClick"))
        return;
    if (name == QLatin1String("LeftButtonUp"))
        frmSettings_Show();
    // Qt's own X11 tray icon opens the menu itself before it reports the press.
    else if (name == QLatin1String("RightButtonDown") && !mnuPopUp->isVisible())
        mnuPopUp->exec(QCursor::pos());
}

void frmSettings::mnuPopUpSettings_Click()
{
    frmSettings_Show();
}

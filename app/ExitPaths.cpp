// frmSettings: every way the program ends. Each takes the icon out of the tray first.

#include "settings/frmSettings.h"

#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "tray/CTrayIcon.h"

#include <QCloseEvent>
#include <QEventLoop>

void frmSettings::ExitProgram()
{
    gTrayIcon.release();
}

void frmSettings::EndEvents()
{
    // Ending the program delivers what is pending to the desktop first; a tick due then must not
    // start a check, a sound or the set-up message with the icon gone.
    mbEnded = true;
    for (Timer* timer : {tmrCheck, tmrTimeout, tmrIconAnim, tmrWindowAnim})
        timer->setEnabled(false);
    socPOP->Close();
    // A check waiting for its server is abandoned where it stands.
    if (m_replyWait)
        m_replyWait->quit();
}

void frmSettings::cmdQuit_Click()
{
    ExitProgram();
    EndEvents();
    m_platform.endProgram();
}

void frmSettings::mnuPopUpExit_Click()
{
    cmdQuit_Click();
}

void frmSettings::Form_QueryUnload()
{
    ExitProgram();
}

void frmSettings::closeEvent(QCloseEvent* event)
{
    // The window is the program: closing it, logging off or shutting down ends the program, and
    // is never refused. Ending at once also abandons a check that waits for its server.
    Form_QueryUnload();
    EndEvents();
    event->accept();
    m_platform.endProgram();
}

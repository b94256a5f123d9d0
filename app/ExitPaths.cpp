// frmSettings: every way the program ends. Each takes the icon out of the tray first.

#include "settings/frmSettings.h"

#include "platform/Platform.h"
#include "tray/CTrayIcon.h"

#include <QCloseEvent>

void frmSettings::ExitProgram()
{
    gTrayIcon.release();
}

void frmSettings::cmdQuit_Click()
{
    ExitProgram();
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
    event->accept();
    m_platform.endProgram();
}

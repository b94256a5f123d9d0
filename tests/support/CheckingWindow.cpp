#include "CheckingWindow.h"

#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "settings/frmSettings.h"
#include "tray/CTrayIcon.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

CheckingWindow::CheckingWindow(const QString& server, const QString& user, const QString& password,
                               TokenSource* tokens)
{
    gTrayIcon.bind(&m_platform);
    m_window = std::make_unique<frmSettings>(m_platform, tokens ? *tokens : m_platform.tokens);
    frmSettings& w = *m_window;
    w.miInterval = 3600; // no timed check unless the caller asks for one
    w.optIfOffLine[1]->click();
    w.txtServer->setText(server);
    w.SetServer(server);
    w.txtUserId->setText(user);
    w.txtPassword->setText(password);
    w.optTT[2]->click();
    w.optSound[1]->click();
    w.optRun[1]->click();
    w.txtRun->setText(QStringLiteral("mail-arrived --now"));
    gTrayIcon->Icon(w.picNoMail->Picture());
    gTrayIcon->ToolTip(QStringLiteral("Off-Line"));
    gTrayIcon->Notification(w.picHook);
    gTrayIcon->Create();
}

CheckingWindow::~CheckingWindow()
{
    m_window.reset();
    gTrayIcon.release();
}

void CheckingWindow::check()
{
    m_window->cmdCheckNow->click();
}

QStringList CheckingWindow::checkForMessages()
{
    m_platform.messages.clear();
    check();
    QStringList texts;
    for (const auto& message : std::as_const(m_platform.messages))
        texts << message.text;
    return texts;
}

bool CheckingWindow::idle() const
{
    const frmSettings& w = *m_window;
    return w.tmrCheck->Enabled() && w.cmdCheckNow->isEnabled() && w.mnuPopUpCheck->isEnabled() &&
           w.cmdOK->isEnabled() && !w.tmrIconAnim->Enabled() && !w.tmrTimeout->Enabled();
}

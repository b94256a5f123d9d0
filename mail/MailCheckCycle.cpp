// frmSettings: when to check, one check from connection to result, and the new-mail actions.

#include "settings/frmSettings.h"

#include "app/MainModule.h"
#include "core/Conversions.h"
#include "core/RuntimeError.h"
#include "mail/Internet.h"
#include "mail/Logging.h"
#include "mail/ServerAddress.h"
#include "mail/StatReply.h"
#include "platform/PictureBox.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "settings/StoredPassword.h"
#include "tray/CTrayIcon.h"
#include "tray/cWav.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include <optional>
#include <utility>

void frmSettings::SetServer(const QString& text)
{
    const std::optional<ServerAddress> address = ServerAddress::parse(text);
    if (!address)
        qCDebug(lcCheck) << "cannot read the server text" << text;
    msServer = text;
    socPOP->RemoteHost = address ? address->host : QString();
    socPOP->RemotePort = address ? address->port : 0;
    socPOP->Secure = address && address->secure;
}

void frmSettings::tmrCheck_Timer()
{
    ++miOnLineTicks;
    ++miCheckTicks;
    if (miOnLineTicks >= 5) {
        const Internet::Connection connection = Internet::CurrentConnection(m_platform);
        mbOnLine = Internet::IsOnLine(connection);
        // A VPN link coming up while the network is already up is a connection coming up too.
        if (Internet::CameUp(connection, m_connection))
            mbWasOnLine = false;
        m_connection = connection;
        miOnLineTicks = 0;
    }
    if ((mbOnLine && !mbWasOnLine) || miCheckTicks >= miInterval) {
        miCheckTicks = 0;
        CheckMail();
    }
    mbWasOnLine = mbOnLine;
}

void frmSettings::System_Resume()
{
    // What a check was waiting for went away with the sleep; and whatever connects the computer
    // now counts as having come up, so the next poll that finds the network checks at once.
    m_connection = {};
    tmrTimeout_Timer();
}

void frmSettings::cmdCheckNow_Click()
{
    CheckMail();
}

void frmSettings::mnuPopUpCheck_Click()
{
    CheckMail();
}

void frmSettings::SetIdle(bool idle)
{
    if (idle)
        tmrTimeout->setEnabled(false); // a finished conversation leaves no time-out behind
    tmrCheck->setEnabled(idle);
    cmdCheckNow->setEnabled(idle);
    mnuPopUpCheck->setEnabled(idle);
    cmdOK->setEnabled(idle);
}

void frmSettings::CheckMail()
{
    try {
        if (optIfOffLine[0]->isChecked() && !mbOnLine) {
            qCDebug(lcCheck) << "staying off-line: no network";
            gTrayIcon->ToolTip(QStringLiteral("Off-Line"));
            gTrayIcon->Icon(picNoMail->Picture());
            gTrayIcon->Refresh();
            return;
        }
        if (txtServer->text().isEmpty() || txtUserId->text().isEmpty()) {
            qCDebug(lcCheck) << "no server or user ID: asking for them";
            frmSettings_Show();
            MainModule::ShowSetUpMessage(m_platform);
            return;
        }

        qCDebug(lcCheck) << "checking" << socPOP->RemoteHost << "port" << socPOP->RemotePort
                         << (socPOP->Secure ? "over TLS" : "plain");
        SetIdle(false);
        // Asked now, so the desktop's answer is in by the time the result may sound.
        m_platform.notificationsInhibited();
        tmrIconAnim->Tag = QStringLiteral("1");
        tmrIconAnim->setEnabled(true);
        if (miTT != 0) {
            gTrayIcon->ToolTip(QStringLiteral("Checking ..."));
            gTrayIcon->Refresh();
        }
        // Every conversation gets its own full time-out.
        mbTimedOut = false;
        mbClosed = false;
        tmrTimeout->setEnabled(false);
        tmrTimeout->setEnabled(true);

        // A line break or NUL would end a command early and send the rest as commands of their own.
        for (const auto& [box, name] : {std::pair{txtUserId, QStringLiteral("user ID")},
                                        std::pair{txtPassword, QStringLiteral("password")}})
            if (Conversions::breaksCommandLine(box->text())) {
                ShowPop3Error(
                    QStringLiteral("The %1 holds a line break or NUL character, which cannot be sent")
                        .arg(name));
                EndConversation();
                return;
            }

        if (!SecretKnown())
            return;
        const QString refreshToken = m_signIn.refreshToken;
        const AccountLogin::Login login = m_login.login(m_signIn, txtPassword->text());
        if (m_signIn.refreshToken != refreshToken)
            KeepRefreshToken(refreshToken);
        if (login.outcome != TokenAnswer::Done) {
            // Without the network there is no token either; later checks get one.
            if (login.outcome == TokenAnswer::Expired)
                SignInExpired(login.text);
            else
                qCDebug(lcCheck) << "no access token:" << login.text;
            EndConversation();
            return;
        }
        socPOP->Connect();
        if (!WaitForReply())
            return;
        if (!socPOP->Secure && !SecureIfOffered(login.token))
            return;
        if (login.token) {
            if (!Authenticate(login))
                return;
        } else {
            SendCommand(QStringLiteral("USER ") + txtUserId->text());
            if (!WaitForReply())
                return;
            SendCommand(QStringLiteral("PASS ") + login.secret);
            if (!WaitForReply())
                return;
        }
        m_expiryShown = false;
        SendCommand(QStringLiteral("STAT"));
        if (!WaitForReply())
            return;
        const StatReply stat = StatReply::parse(msReply);
        SendCommand(QStringLiteral("QUIT"));
        if (!WaitForReply())
            return;

        socPOP->Close();
        tmrIconAnim->setEnabled(false);
        gTrayIcon->Icon(stat.count > 0 ? picGotMail->Picture() : picNoMail->Picture());
        if (miTT != 0)
            gTrayIcon->ToolTip(stat.resultText(miTT == 2));
        gTrayIcon->Refresh();
        qCDebug(lcCheck) << "result:" << stat.resultText(true);
        NotifyNewMail(stat.count);

        if (stat.count > 0) {
            std::optional<cWav> wav;
            // Do not disturb silences the sound only; the command line is the user's own choice.
            if (m_platform.notificationsInhibited()) {
                qCDebug(lcCheck) << "the desktop asks for quiet: no sound";
            } else if (miSound == 1) {
                m_platform.beep();
            } else if (miSound == 2) {
                wav.emplace(m_platform);
                wav->Play(msSample, 1);
            }
            // The result stands even when the user's command cannot start.
            if (miRun != 0) {
                try {
                    m_platform.startCommandLine(txtRun->text());
                } catch (const std::exception& failure) {
                    qCWarning(lcCheck) << "cannot start the command line:" << failure.what();
                }
            }
        }
        SetIdle(true);
    } catch (const std::exception& failure) {
        qCDebug(lcCheck) << "check failed:" << failure.what();
        EndConversation();
    }
}

QString frmSettings::Secret() const
{
    switch (m_signIn.kind) {
    case SignIn::Kind::Browser:
        return m_signIn.refreshToken.isEmpty() ? QString() : m_signIn.secrets();
    case SignIn::Kind::OnlineAccount:
        return {};
    case SignIn::Kind::Password:
        break;
    }
    return txtPassword->text();
}

bool frmSettings::SecretKnown()
{
    const QString userId = txtUserId->text(), server = txtServer->text();
    if (m_signIn.kind == SignIn::Kind::OnlineAccount || !Secret().isEmpty() ||
        !StoredPassword::IsUnread(userId, server))
        return true;
    // Logging in without it would fail, and repeated failures lock the account at some providers;
    // the keyring may have been unlocked since it was last asked.
    if (const std::optional<QString> secret = StoredPassword::ReadAgain(m_platform, userId, server)) {
        TakeStoredSecret(*secret);
        return true;
    }
    qCDebug(lcCheck) << "the secret is still in a keyring that cannot be read: not logging in";
    EndConversation();
    return false;
}

void frmSettings::SignInExpired(const QString& why)
{
    qCDebug(lcCheck) << "the sign-in no longer works:" << why;
    if (std::exchange(m_expiryShown, true))
        return;
    runStep([this] {
        m_platform.messageBox(MessageIcon::Critical, QStringLiteral("Quillpost"),
                              QStringLiteral("Sign-in for %1 has expired; open Settings and sign in again")
                                  .arg(txtUserId->text()));
    });
}

void frmSettings::EndConversation()
{
    runStep([this] { socPOP->Close(); });
    runStep([this] { tmrIconAnim->setEnabled(false); });
    runStep([this] {
        gTrayIcon->Icon(picNoMail->Picture());
        if (miTT != 0)
            gTrayIcon->ToolTip(QStringLiteral("Off-Line"));
        gTrayIcon->Refresh();
    });
    runStep([this] { SetIdle(true); });
}

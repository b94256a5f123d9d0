#pragma once

#include "mail/AccountLogin.h"
#include "mail/Internet.h"
#include "mail/ReplyReader.h"
#include "settings/SignIn.h"

#include <QDialog>
#include <QRadioButton>
#include <QString>

#include <array>
#include <cstddef>

class FileOpenDialog;
class PictureBox;
class Platform;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class Timer;
class TokenSource;
class Winsock;

// The program's one window and its hub: its controls and window variables are the live settings,
// and it owns the timers, the POP3 socket, the status pictures, the tray hook and the tray menu.
// The handlers of each subsystem are defined in that subsystem's folder.
class frmSettings : public QDialog
{
    Q_OBJECT
public:
    // Creates the window hidden (the load handler runs here). tokens: where sign-ins other than
    // the password get their access tokens.
    frmSettings(Platform& platform, TokenSource& tokens);
    ~frmSettings() override;

    // Shows the window modeless and starts its animation.
    void frmSettings_Show();
    // Selects the whole text of the text box that has the focus.
    void SelectText();

    // Public window variables.
    qint32 miInterval = 0; // check interval in seconds
    qint16 miTT = 0;       // tool tip: 0 none, 1 count, 2 count and size
    qint16 miSound = 0;    // new-mail sound: 0 none, 1 beep, 2 sample
    QString msSample;      // path of the wave sample
    // The server text whose server has offered STLS and been upgraded: it is never spoken to in plain
    // text again.
    QString msSecuredServer;

    // Takes the state that Cancel returns to; start-up and OK call it.
    void TakeSnapshot();
    // The account's stored secret, read from the keyring after start-up (the password, or a browser
    // sign-in's secrets): into the live settings, and into the state that Cancel returns to.
    void TakeStoredSecret(const QString& secret);

    // How the account signs in: part of the live settings, like the password, which an OAuth
    // sign-in leaves empty and disabled.
    const SignIn& signIn() const { return m_signIn; }
    void setSignIn(const SignIn& signIn);

    // Controls, named as the window's design names them.
    QTabWidget* tabLB = nullptr;
    PictureBox* picGotMail = nullptr;
    PictureBox* picNoMail = nullptr;
    PictureBox* picCheck = nullptr;
    PictureBox* picHook = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* cmdWeb = nullptr;
    QPushButton* cmdCheckNow = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdQuit = nullptr;
    QLabel* lblVer = nullptr;

    QGroupBox* Frame5 = nullptr;
    QLineEdit* txtInterval = nullptr;
    std::array<QRadioButton*, 2> optIfOffLine{};
    QGroupBox* Frame4 = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtUserId = nullptr;
    QLineEdit* txtPassword = nullptr;
    QPushButton* cmdSignIn = nullptr; // signs in with an account instead of the password

    QGroupBox* Frame3 = nullptr;
    std::array<QRadioButton*, 3> optTT{};
    QGroupBox* Frame1 = nullptr;
    std::array<QRadioButton*, 3> optSound{};
    std::array<QPushButton*, 2> cmdBrowse{};
    QGroupBox* Frame2 = nullptr;
    std::array<QRadioButton*, 2> optRun{};
    QLineEdit* txtRun = nullptr;
    QCheckBox* chkNotify = nullptr; // a desktop notification when new mail arrives

    QGroupBox* Frame6 = nullptr;
    std::array<QRadioButton*, 2> optStartUp{};
    QGroupBox* Frame7 = nullptr;
    std::array<QRadioButton*, 2> optAutoRun{};

    Timer* tmrCheck = nullptr;
    Timer* tmrTimeout = nullptr;
    Timer* tmrIconAnim = nullptr;
    Timer* tmrWindowAnim = nullptr;
    Winsock* socPOP = nullptr;
    FileOpenDialog* dlgFileOpen = nullptr;
    QMenu* mnuPopUp = nullptr;
    QAction* mnuPopUpCheck = nullptr;
    QAction* mnuPopUpSettings = nullptr;
    QAction* mnuPopUpHyphen = nullptr;
    QAction* mnuPopUpExit = nullptr;

    // Option arrays: one handler each, given the clicked member's index.
    void optIfOffLine_Click(int index);
    void optTT_Click(int index);
    void optSound_Click(int index);
    void optRun_Click(int index);
    void optStartUp_Click(int index);
    void optAutoRun_Click(int index);

    void cmdBrowse_Click(int index);
    void cmdWeb_Click();
    void cmdCancel_Click();
    void cmdSignIn_Click();
    void txtInterval_LostFocus();
    // The interval text as the program accepts it: below 1 minute, or too large to count in
    // seconds, it becomes "1".
    void EnforceIntervalFloor();

    // Applying and saving (settings/ApplySettings.cpp).
    void cmdOK_Click();

    // Mail checking (mail/MailCheckCycle.cpp, mail/Pop3Conversation.cpp).
    // Points socPOP at the server text as typed (start-up and OK). A text that cannot be read
    // leaves it no host: a check then ends "Off-Line" at once without a message, as for a server
    // that cannot be reached.
    void SetServer(const QString& text);
    void tmrCheck_Timer();
    void cmdCheckNow_Click();
    void mnuPopUpCheck_Click();
    void tmrTimeout_Timer();
    void socPOP_DataArrival(qint32 bytesTotal);
    void socPOP_Closed(const QString& reason);

    // Desktop notification of new mail (tray/NewMailNotification.cpp).
    void notification_ActionInvoked(const QString& key);
    // The system woke from suspend: a check in progress ends as at its time-out.
    void System_Resume();

    // Tray mouse events, menu and animations (tray/TrayMenu.cpp, tray/Animation.cpp).
    void picHook_MouseMove(int button, int shift, float x, float y);
    void mnuPopUpSettings_Click();
    void tmrIconAnim_Timer();
    void tmrWindowAnim_Timer();

    // Exit paths (app/ExitPaths.cpp).
    void cmdQuit_Click();
    void mnuPopUpExit_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void buildLayout();
    void connectHandlers();
    // Connects a signal to a handler; a failure inside the handler never reaches the event loop.
    template <typename Sender, typename Signal, typename Handler>
    void on(Sender* sender, Signal signal, Handler handler);

    void CheckMail();
    // Sends one command line; a secret one is logged as "****".
    void SendCommand(const QString& command, bool secret = false);
    bool WaitForReply();
    // Puts the socket, the tray and the controls back after a conversation that did not end well.
    void EndConversation();

    // Encryption on a plain connection, and the parts of a wait (mail/Pop3Conversation.cpp).
    // Asks CAPA and, when the server offers STLS, turns the connection into TLS; a server that did so
    // once and no longer offers it gets no password. False when the conversation has ended.
    bool SecureIfOffered(bool tokenFollows);
    // Asks CAPA and waits for the list. False when the conversation has ended.
    bool AskCapabilities();
    // Signs in with an access token (SASL XOAUTH2, else OAUTHBEARER), over TLS only. False when the
    // conversation has ended.
    bool Authenticate(const AccountLogin::Login& login);
    // The sign-in no longer works: says so once, until a check gets through or the sign-in changes.
    void SignInExpired(const QString& why);
    // Remembers, in the settings, that the server of this server text offers STLS.
    void RememberSecured();
    // The secret of an account whose keyring entry could not be read, asked for again: false, with
    // the conversation ended, while it is still unknown.
    bool SecretKnown();
    // The secret the keyring keeps for the account: the password, a browser sign-in's secrets, or
    // none for an online account.
    QString Secret() const;
    // Hands the saved account's secret to the keyring, and removes the entry of the account saved
    // before; the settings file gives up its copy once the keyring holds it
    // (settings/ApplySettings.cpp).
    void KeepSecret(const QString& userId, const QString& server, const QString& secret,
                    const QString& previousAccount);
    // Saves a refresh token that the provider replaced, for the saved sign-in.
    void KeepRefreshToken(const QString& previous);
    // Waits for one reply of the given shape, or the time-out; sets mbGotOK or mbGotErr.
    void AwaitReply(ReplyReader::Shape shape);
    // The error box with the reason in words.
    void ShowPop3Error(const QString& text);
    // Says QUIT without waiting and ends the conversation.
    void FailConversation();
    // The connection ended before the reply waited for came.
    bool LostBeforeReply() const;
    // Idle: the check timer runs and every trigger of a check, and OK, can be used.
    void SetIdle(bool idle);
    // Shows how many messages came since the previous check, or takes the notice away when
    // none wait.
    void NotifyNewMail(qint64 count);
    void ExitProgram();
    void Form_QueryUnload();
    // Stops everything that could still run a handler on the way out: the timers, the socket, a
    // check's wait, and the handlers themselves.
    void EndEvents();

    Platform& m_platform;
    TokenSource& m_tokens;
    SignIn m_signIn;
    AccountLogin m_login;
    bool m_expiryShown = false; // the box saying the sign-in expired was shown

    // Mail check state.
    QString msServer;         // the server text the socket was last pointed at
    qint32 miCheckTicks = 0;  // ticks since the last timed check
    qint32 miOnLineTicks = 0; // ticks since the last on-line poll
    bool mbOnLine = false;
    Internet::Connection m_connection; // what connected the computer at the last poll
    bool mbWasOnLine = false;
    bool mbTimedOut = false;
    bool mbClosed = false; // the connection is gone; cleared only when a conversation starts
    bool mbGotOK = false;
    bool mbGotErr = false;
    bool mbGotChallenge = false; // the server's "+ " during AUTH
    QString msReply;             // the last reply line with a verdict, line end included
    ReplyReader m_replies;
    class QEventLoop* m_replyWait = nullptr;
    qint64 miLastCount = 0; // messages the last successful check found
    bool mbEnded = false;   // quitting: no handler runs any more

    // Private window variables.
    qint16 miRun = 0;       // 0 nothing, 1 run the command line
    qint16 miIfOffLine = 0; // 0 stay off-line, 1 go on-line
    qint16 miStartUp = 0;   // 0 settings window, 1 tray icon only
    qint16 miAutoRun = 0;   // 0 start at log-on, 1 not

    struct Snapshot
    {
        QString interval, server, userId, password, commandLine, sample;
        qint32 intervalSeconds = 0;
        qint16 ifOffLine = 0, tt = 0, sound = 0, run = 0, startUp = 0, autoRun = 0;
        bool notify = true;
        SignIn signIn;
    };
    Snapshot m_snapshot;
};

// Selects the member of an option array with the given index, which runs the array's handler;
// an index outside the array selects nothing.
template <std::size_t N> void SelectOption(const std::array<QRadioButton*, N>& array, int index)
{
    if (index >= 0 && index < static_cast<int>(N))
        array[static_cast<std::size_t>(index)]->setChecked(true);
}

#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class PictureBox;
class QMenu;
class QWidget;

// The notification-area commands.
enum class NotifyMessage
{
    Add = 0,
    Modify = 1,
    Delete = 2
};

// The one notify-icon record the tray icon hands to the desktop.
struct NotifyIconData
{
    quint32 cbSize = 88;
    QPointer<PictureBox> hWnd; // receives the icon's mouse messages as mouse moves
    quint32 uID = 1;
    quint32 uFlags = 7;             // callback message, icon and tip are valid
    quint32 uCallbackMessage = 512; // mouse move
    QIcon hIcon;
    QByteArray szTip; // the 64-character tip field as UTF-8; the tip ends at the first zero

    // The tip as the desktop shows it: up to the terminator, without the blank padding.
    QString tipText() const
    {
        const qsizetype end = szTip.indexOf('\0');
        return QString::fromUtf8(end < 0 ? szTip : szTip.left(end)).trimmed();
    }
};

enum class MessageIcon
{
    Information,
    Critical
};

// A network link as the kernel lists it.
struct NetworkLink
{
    QString name;
    bool up = false;
    bool running = false;
    bool hasAddress = false;
};

// One desktop notification: what it says, and the actions offered on it as key and label pairs
// (the key "default" is a click on the notification itself).
struct DesktopNotification
{
    QString summary;
    QString body;
    QStringList actions;
};

// What the desktop's secret store answered.
struct SecretAnswer
{
    enum Outcome
    {
        Done,       // for a read, text is the secret
        NotFound,   // the store holds no entry for the account
        NoService,  // the desktop has no Secret Service (none runs, none can be started): nothing is kept
                    // there
        Unreachable // a locked or refusing Secret Service, or no answer in time; text says why
    };
    Outcome outcome = Unreachable;
    QString text;
};

// Everything the program needs from the desktop and the operating system. One real
// implementation (LinuxPlatform); tests hand in fakes that record calls and answer at once.
class Platform
{
public:
    virtual ~Platform() = default;

    // A modal file-open dialog; filter is "description|pattern" pairs joined by "|". Returns the
    // chosen path, or an empty text when the user cancels.
    virtual QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter,
                                    const QString& folder) = 0;
    // Opens a document or web address with the desktop's handler; failures are ignored.
    virtual void openDocument(const QString& address) = 0;
    // A modal message box with one OK button; returns when the user has closed it.
    virtual void messageBox(MessageIcon icon, const QString& title, const QString& text) = 0;
    // Adds, changes or removes the program's icon in the notification area.
    virtual void notifyIcon(NotifyMessage message, const NotifyIconData& data) = 0;
    // An alert tone through the sound output; the bell where there is no sound output.
    virtual void beep() = 0;
    // Starts a command line detached; throws RuntimeError when it is empty or cannot start.
    virtual void startCommandLine(const QString& commandLine) = 0;
    // Whether the system has at least one audio output, as last found out: answers at once, and an
    // output that appears later is found by a later question.
    virtual bool hasAudioOutput() = 0;
    // Starts playing a wave file without waiting, replacing any sound still playing; false when the
    // file cannot be played.
    virtual bool playSound(const QString& file) = 0;
    virtual void stopSounds() = 0;
    // The point-to-point links (ppp, tun) in the kernel's order.
    virtual QList<NetworkLink> pointToPointLinks() = 0;
    // Ends the process at once, after the tray icon's removal has reached the desktop; no further
    // handler of the program runs.
    virtual void endProgram() = 0;

    // Desktop notifications: the program's one notification through the desktop's notification
    // service. Nothing here waits for the service; without one nothing shows and nothing fails.
    // Shows the notification, replacing the one shown before.
    virtual void showNotification(const DesktopNotification& notification) = 0;
    // Takes the notification away; nothing reaches the service when none is shown.
    virtual void closeNotification() = 0;
    // Whether the desktop asks for quiet (do not disturb), as last heard from the service; false
    // until it has answered. The first call starts listening.
    virtual bool notificationsInhibited() = 0;
    // Receives the key of each action the user chooses on the notification.
    virtual void setNotificationActionHandler(std::function<void(const QString& key)> handler) = 0;
    // The network and the system's sleep.
    // Whether the system reaches the network. The state is kept current by the system's own
    // notifications, so asking costs nothing. Never throws: where the state cannot be told, the
    // network counts as reached.
    virtual bool networkAvailable() = 0;
    // Runs handler on the event thread each time the system wakes from suspend; where the system
    // cannot tell (no system bus, no login manager), never.
    virtual void onResume(std::function<void()> handler) = 0;
    // The tray icon's menu, for trays that show it on the right button themselves: a
    // StatusNotifierItem host draws it from D-Bus. The menu outlives the icon.
    virtual void setTrayMenu(QMenu* menu) = 0;
    // The desktop's secret store, for the POP3 password: the program's entry for one account.
    // Each call returns within a couple of seconds, whatever the store does; a secret read after
    // that goes to lateAnswer.
    virtual SecretAnswer readSecret(const QString& account,
                                    const std::function<void(const QString&)>& lateAnswer) = 0;
    virtual SecretAnswer writeSecret(const QString& account, const QString& secret) = 0;
    virtual SecretAnswer removeSecret(const QString& account) = 0;
};

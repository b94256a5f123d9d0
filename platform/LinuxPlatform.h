#pragma once

#include "platform/Keyring.h"
#include "platform/Platform.h"
#include "platform/SoundPlayer.h"

#include <QMenu>
#include <QObject>
#include <QTimer>

#include <memory>

class DesktopNotifications;
class NetworkMonitor;
class QSystemTrayIcon;

// The desktop services on a Linux desktop: Qt's widgets and tray icon, a sound player process,
// the kernel's network interfaces, XDG handlers.
class LinuxPlatform : public QObject, public Platform
{
    Q_OBJECT
public:
    // soundPlayer: the sound player program; empty for the one beside the running program.
    explicit LinuxPlatform(const QString& soundPlayer = {});
    ~LinuxPlatform() override;

    QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter,
                            const QString& folder) override;
    void openDocument(const QString& address) override;
    void messageBox(MessageIcon icon, const QString& title, const QString& text) override;
    void notifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    void beep() override;
    void startCommandLine(const QString& commandLine) override;
    bool hasAudioOutput() override;
    bool playSound(const QString& file) override;
    void stopSounds() override;
    QList<NetworkLink> pointToPointLinks() override;
    void endProgram() override;

    void showNotification(const DesktopNotification& notification) override;
    void closeNotification() override;
    bool notificationsInhibited() override;
    void setNotificationActionHandler(std::function<void(const QString& key)> handler) override;
    // The network and the system's sleep.
    bool networkAvailable() override;
    void onResume(std::function<void()> handler) override;
    void setTrayMenu(QMenu* menu) override;
    SecretAnswer readSecret(const QString& account,
                            const std::function<void(const QString&)>& lateAnswer) override;
    SecretAnswer writeSecret(const QString& account, const QString& secret) override;
    SecretAnswer removeSecret(const QString& account) override;

    // The Qt form of a "description|pattern|..." filter list.
    static QString qtFilter(const QString& filter);
    // The mouse message numbers one tray activation stands for.
    static QList<int> mouseMessages(int activationReason);

protected:
    // The desktop's bell, for when there is no sound output.
    virtual void ringBell();

private:
    void showIconWhenTrayExists();
    // Hands the mouse messages of one tray activation to the hook window.
    void deliverMouseMessages(int activationReason);

    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    QPointer<PictureBox> m_hook;
    bool m_onTray = false;
    QTimer m_trayWatch;
    QTimer m_noTrayFallback;
    SoundPlayer m_sounds;

    // Reached on first use, so that a start-up costs nothing on the session bus.
    DesktopNotifications& notifications();
    DesktopNotifications* m_notifications = nullptr;
    std::function<void(const QString&)> m_notificationAction;
    // The network and the system's sleep.
    Q_SLOT void prepareForSleep(bool start);
    std::unique_ptr<NetworkMonitor> m_network;
    bool m_networkUnknown = false; // the monitor could not start
    std::function<void()> m_resume;
    QPointer<QMenu> m_trayMenu;
    Keyring m_keyring;
};

#pragma once

#include "platform/Platform.h"
#include "support/FakeTokenSource.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <optional>

class DesktopNotifications;
class Keyring;

// Desktop services that record every call and answer at once.
class FakePlatform : public Platform
{
public:
    struct DialogCall
    {
        QString title, filter, folder;
    };
    struct Message
    {
        MessageIcon icon;
        QString title, text;
    };
    struct TrayCall
    {
        NotifyMessage message;
        NotifyIconData data;
    };

    // File dialogs answer with these paths in turn; an empty text (or none left) is a cancel.
    QStringList nextFileNames;
    QList<DialogCall> dialogs;
    QStringList openedDocuments;
    QList<Message> messages;
    // Runs while a message box is open, as the user's events would.
    std::function<void()> whileMessageOpen;
    QList<TrayCall> trayCalls;
    // Runs at every tray call, after it is recorded.
    std::function<void()> onNotify;
    int beeps = 0;
    QStringList commandLines;
    bool audioOutput = true;
    QStringList playedSounds;
    int soundStops = 0;
    QList<NetworkLink> links;
    int endProgramCalls = 0;
    // Desktop notifications shown, in order; closes asked for; the quiet state the desktop reports.
    QList<DesktopNotification> notifications;
    int notificationCloses = 0;
    bool inhibited = false;
    std::function<void(const QString&)> notificationAction;
    // When set, notifications also go to this real service, which then decides the quiet state.
    DesktopNotifications* desktop = nullptr;
    // The network and the system's sleep.
    bool networkUp = false;
    // When set, the network questions (this and the links) go to it.
    Platform* networkFrom = nullptr;
    std::function<void()> resumeHandler;
    // The system wakes from suspend.
    void resume();
    QMenu* trayMenu = nullptr;
    // The real keyring the secret calls go to, when set.
    Keyring* keyring = nullptr;
    // Otherwise a keyring answering from a script; without one there is no Secret Service.
    struct Secrets
    {
        QMap<QString, QString> entries; // by account
        // Not empty: every call answers Unreachable with this reason and changes nothing, as a
        // locked or refusing keyring.
        QString refusal;
        // Reads answer Unreachable at once and keep their answer for answerLate().
        bool late = false;
        QStringList calls; // "read <account>", "write <account>", "remove <account>", in order
        QList<std::function<void()>> lateAnswers;
    };
    std::optional<Secrets> secrets;
    // The kept reads get their answers, the entries as they were when asked, as from a keyring
    // unlocked at last.
    void answerLate();

    // The sign-in's sources of access tokens, which stand beside the platform.
    FakeTokenSource tokens;

    // Forgets the recorded calls but keeps what the tray shows, so that a long run stays small.
    void forgetHistory();

    // What the tray shows after the recorded calls.
    bool iconShown() const;
    QIcon shownIcon() const;
    QString shownTip() const;

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
    bool networkAvailable() override;
    void onResume(std::function<void()> handler) override;
    void setTrayMenu(QMenu* menu) override;
    SecretAnswer readSecret(const QString& account,
                            const std::function<void(const QString&)>& lateAnswer) override;
    SecretAnswer writeSecret(const QString& account, const QString& secret) override;
    SecretAnswer removeSecret(const QString& account) override;

private:
    const NotifyIconData* shown() const;
};

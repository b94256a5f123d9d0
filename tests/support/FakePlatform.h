#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QStringList>

#include <functional>

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
    // The real keyring the secret calls go to; without one there is no Secret Service.
    Keyring* keyring = nullptr;

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
    SecretAnswer readSecret(const QString& account,
                            const std::function<void(const QString&)>& lateAnswer) override;
    SecretAnswer writeSecret(const QString& account, const QString& secret) override;
    SecretAnswer removeSecret(const QString& account) override;

private:
    const NotifyIconData* shown() const;
};

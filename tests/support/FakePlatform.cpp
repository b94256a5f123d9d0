#include "FakePlatform.h"

#include "core/RuntimeError.h"
#include "platform/DesktopNotifications.h"
#include "platform/Keyring.h"

#include <QProcess>

#include <utility>

QString FakePlatform::getOpenFileName(QWidget*, const QString& title, const QString& filter,
                                      const QString& folder)
{
    dialogs.append({title, filter, folder});
    return nextFileNames.isEmpty() ? QString() : nextFileNames.takeFirst();
}

void FakePlatform::openDocument(const QString& address)
{
    openedDocuments.append(address);
}

void FakePlatform::messageBox(MessageIcon icon, const QString& title, const QString& text)
{
    messages.append({icon, title, text});
    if (whileMessageOpen)
        whileMessageOpen();
}

void FakePlatform::notifyIcon(NotifyMessage message, const NotifyIconData& data)
{
    trayCalls.append({message, data});
    if (onNotify)
        onNotify();
}

const NotifyIconData* FakePlatform::shown() const
{
    // Replays the calls the way the desktop would: add once, modify while present, delete.
    const NotifyIconData* current = nullptr;
    for (const TrayCall& call : trayCalls) {
        if (call.message == NotifyMessage::Add && !current)
            current = &call.data;
        else if (call.message == NotifyMessage::Modify && current)
            current = &call.data;
        else if (call.message == NotifyMessage::Delete)
            current = nullptr;
    }
    return current;
}

void FakePlatform::forgetHistory()
{
    QList<TrayCall> kept;
    if (const NotifyIconData* current = shown())
        kept.append({NotifyMessage::Add, *current});
    trayCalls = kept;
    dialogs.clear();
    openedDocuments.clear();
    messages.clear();
    commandLines.clear();
    playedSounds.clear();
    notifications.clear();
}

bool FakePlatform::iconShown() const
{
    return shown() != nullptr;
}

QIcon FakePlatform::shownIcon() const
{
    return shown() ? shown()->hIcon : QIcon();
}

QString FakePlatform::shownTip() const
{
    return shown() ? shown()->tipText() : QString();
}

void FakePlatform::beep()
{
    ++beeps;
}

void FakePlatform::startCommandLine(const QString& commandLine)
{
    commandLines.append(commandLine);
    if (QProcess::splitCommand(commandLine).isEmpty())
        throw RuntimeError(QStringLiteral("File not found"));
}

bool FakePlatform::hasAudioOutput()
{
    return audioOutput;
}

bool FakePlatform::playSound(const QString& file)
{
    playedSounds.append(file);
    return true;
}

void FakePlatform::stopSounds()
{
    ++soundStops;
}

QList<NetworkLink> FakePlatform::pointToPointLinks()
{
    return networkFrom ? networkFrom->pointToPointLinks() : links;
}

void FakePlatform::endProgram()
{
    ++endProgramCalls;
}

void FakePlatform::showNotification(const DesktopNotification& notification)
{
    notifications.append(notification);
    if (desktop)
        desktop->show(notification);
}

void FakePlatform::closeNotification()
{
    ++notificationCloses;
    if (desktop)
        desktop->close();
}

bool FakePlatform::notificationsInhibited()
{
    return desktop ? desktop->inhibited() : inhibited;
}

void FakePlatform::setNotificationActionHandler(std::function<void(const QString& key)> handler)
{
    notificationAction = std::move(handler);
}

bool FakePlatform::networkAvailable()
{
    return networkFrom ? networkFrom->networkAvailable() : networkUp;
}

void FakePlatform::onResume(std::function<void()> handler)
{
    resumeHandler = std::move(handler);
}

void FakePlatform::resume()
{
    if (resumeHandler)
        resumeHandler();
}

void FakePlatform::setTrayMenu(QMenu* menu)
{
    trayMenu = menu;
}

static const SecretAnswer kNoSecretService{SecretAnswer::NoService, QStringLiteral("no Secret Service")};

SecretAnswer FakePlatform::readSecret(const QString& account,
                                      const std::function<void(const QString&)>& lateAnswer)
{
    if (keyring)
        return keyring->read(account, lateAnswer);
    if (!secrets)
        return kNoSecretService;
    secrets->calls << "read " + account;
    if (secrets->late) {
        if (lateAnswer && secrets->entries.contains(account))
            secrets->lateAnswers << std::bind(lateAnswer, secrets->entries.value(account));
        return {SecretAnswer::Unreachable, QStringLiteral("no answer in time")};
    }
    if (!secrets->refusal.isEmpty())
        return {SecretAnswer::Unreachable, secrets->refusal};
    if (!secrets->entries.contains(account))
        return {SecretAnswer::NotFound, {}};
    return {SecretAnswer::Done, secrets->entries.value(account)};
}

void FakePlatform::answerLate()
{
    for (const auto& answer : std::exchange(secrets->lateAnswers, {}))
        answer();
}

SecretAnswer FakePlatform::writeSecret(const QString& account, const QString& secret)
{
    if (keyring)
        return keyring->write(account, secret);
    if (!secrets)
        return kNoSecretService;
    secrets->calls << "write " + account;
    if (!secrets->refusal.isEmpty())
        return {SecretAnswer::Unreachable, secrets->refusal};
    secrets->entries.insert(account, secret);
    return {SecretAnswer::Done, {}};
}

SecretAnswer FakePlatform::removeSecret(const QString& account)
{
    if (keyring)
        return keyring->remove(account);
    if (!secrets)
        return kNoSecretService;
    secrets->calls << "remove " + account;
    if (!secrets->refusal.isEmpty())
        return {SecretAnswer::Unreachable, secrets->refusal};
    return {secrets->entries.remove(account) ? SecretAnswer::Done : SecretAnswer::NotFound, {}};
}

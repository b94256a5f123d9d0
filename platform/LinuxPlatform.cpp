#include "platform/LinuxPlatform.h"

#include "core/RuntimeError.h"
#include "platform/DesktopNotifications.h"
#include "platform/NetworkMonitor.h"
#include "platform/PictureBox.h"
#include "platform/Twips.h"
#include "platform/WaveFile.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcNetwork, "quillpost.network", QtWarningMsg)

} // namespace

LinuxPlatform::LinuxPlatform(const QString& soundPlayer)
    : m_sounds(soundPlayer, this)
{
    // At log-on the panel may come up after the program; the icon appears once a tray exists.
    m_trayWatch.setInterval(2000);
    connect(&m_trayWatch, &QTimer::timeout, this, &LinuxPlatform::showIconWhenTrayExists);
    // A desktop without any tray would leave the program out of reach: once the panel has had
    // time to come up, act as if the icon had been clicked, which brings up the settings window.
    m_noTrayFallback.setSingleShot(true);
    m_noTrayFallback.setInterval(15000);
    connect(&m_noTrayFallback, &QTimer::timeout, this, [this] {
        if (m_trayIcon && !m_onTray)
            deliverMouseMessages(QSystemTrayIcon::Trigger);
    });
}

LinuxPlatform::~LinuxPlatform() = default;

QString LinuxPlatform::qtFilter(const QString& filter)
{
    // Qt filters by the patterns in a description's parentheses, so those are rebuilt from the
    // pattern list, which decides as it does on Windows.
    static const QRegularExpression shownPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" would hide every file without a dot, executables among them.
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        QString description = parts[i];
        description.remove(shownPatterns);
        filters << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

QString LinuxPlatform::getOpenFileName(QWidget* owner, const QString& title, const QString& filter,
                                       const QString& folder)
{
    QFileDialog dialog(owner, title, folder, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // the chosen file need not exist yet
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void LinuxPlatform::openDocument(const QString& address)
{
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

void LinuxPlatform::messageBox(MessageIcon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Information, title,
                    text, QMessageBox::Ok);
    box.exec();
}

QList<int> LinuxPlatform::mouseMessages(int activationReason)
{
    // Qt reports one activation per click; it stands for the button messages around it.
    switch (activationReason) {
    case QSystemTrayIcon::Trigger:
        return {513, 514};
    case QSystemTrayIcon::DoubleClick:
        return {515, 514};
    case QSystemTrayIcon::Context:
        return {516, 517};
    case QSystemTrayIcon::MiddleClick:
        return {519, 520};
    default:
        return {};
    }
}

void LinuxPlatform::notifyIcon(NotifyMessage message, const NotifyIconData& data)
{
    switch (message) {
    case NotifyMessage::Add:
        if (m_trayIcon) // the icon is there already: adding it again fails quietly
            return;
        m_trayIcon = std::make_unique<QSystemTrayIcon>(data.hIcon);
        m_trayIcon->setToolTip(data.tipText());
        m_hook = data.hWnd;
        connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, &LinuxPlatform::deliverMouseMessages);
        m_trayIcon->setContextMenu(m_trayMenu);
        m_onTray = false;
        showIconWhenTrayExists();
        if (!m_onTray) {
            m_trayWatch.start();
            m_noTrayFallback.start();
        }
        break;
    case NotifyMessage::Modify:
        if (!m_trayIcon)
            return;
        m_trayIcon->setIcon(data.hIcon);
        m_trayIcon->setToolTip(data.tipText());
        break;
    case NotifyMessage::Delete:
        m_trayWatch.stop();
        m_noTrayFallback.stop();
        m_trayIcon.reset();
        break;
    }
}

void LinuxPlatform::showIconWhenTrayExists()
{
    if (!m_trayIcon || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon->hide();
    m_trayIcon->show();
    m_onTray = true;
    m_trayWatch.stop();
    m_noTrayFallback.stop();
}

void LinuxPlatform::deliverMouseMessages(int activationReason)
{
    for (int number : mouseMessages(activationReason))
        if (m_hook)
            m_hook->raiseMouseMove(0, 0, static_cast<float>(number * Twips::perPixelX()), 0);
}

void LinuxPlatform::beep()
{
    // The X bell is muted or missing on most desktops: a tone through the speakers is heard.
    m_sounds.play(QString::fromLatin1(SoundPlayer::alertArgument), [this] { ringBell(); });
}

void LinuxPlatform::ringBell()
{
    QApplication::beep();
}

void LinuxPlatform::startCommandLine(const QString& commandLine)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        throw RuntimeError(QStringLiteral("File not found: an empty command line"));
    const QString program = arguments.takeFirst();
    if (!QProcess::startDetached(program, arguments))
        throw RuntimeError(QStringLiteral("File not found: ") + program);
}

bool LinuxPlatform::hasAudioOutput()
{
    return m_sounds.hasOutput();
}

bool LinuxPlatform::playSound(const QString& file)
{
    if (!WaveFile::isPlayable(file))
        return false;
    m_sounds.play(QFileInfo(file).absoluteFilePath());
    return true;
}

void LinuxPlatform::stopSounds()
{
    m_sounds.stop();
}

QList<NetworkLink> LinuxPlatform::pointToPointLinks()
{
    QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    std::sort(interfaces.begin(), interfaces.end(),
              [](const QNetworkInterface& a, const QNetworkInterface& b) { return a.index() < b.index(); });
    QList<NetworkLink> links;
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsPointToPoint))
            continue;
        // The kernel gives a link its own IPv6 link-local address as soon as it is up; only an
        // address the connection was configured with means it is usable.
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        const bool configured =
            std::any_of(entries.begin(), entries.end(),
                        [](const QNetworkAddressEntry& entry) { return !entry.ip().isLinkLocal(); });
        links.append({interface.name(), flags.testFlag(QNetworkInterface::IsUp),
                      flags.testFlag(QNetworkInterface::IsRunning), configured});
    }
    return links;
}

void LinuxPlatform::endProgram()
{
    // The icon was removed just before; deliver that to the desktop before the process goes.
    // The X connection is flushed by processing events, and a round trip on the session bus
    // makes sure the tray host has had the unregistration.
    QCoreApplication::processEvents();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.call(QDBusMessage::createMethodCall(
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
                 QDBus::Block, 1000);
    std::fflush(nullptr);
    ::_exit(0);
}

DesktopNotifications& LinuxPlatform::notifications()
{
    if (!m_notifications) {
        m_notifications = new DesktopNotifications(QDBusConnection::sessionBus(), this);
        connect(m_notifications, &DesktopNotifications::actionInvoked, this, [this](const QString& key) {
            if (m_notificationAction)
                m_notificationAction(key);
        });
    }
    return *m_notifications;
}

void LinuxPlatform::showNotification(const DesktopNotification& notification)
{
    notifications().show(notification);
}

void LinuxPlatform::closeNotification()
{
    // Nothing can be shown before the first notification.
    if (m_notifications)
        m_notifications->close();
}

bool LinuxPlatform::notificationsInhibited()
{
    return notifications().inhibited();
}

void LinuxPlatform::setNotificationActionHandler(std::function<void(const QString& key)> handler)
{
    m_notificationAction = std::move(handler);
}

bool LinuxPlatform::networkAvailable()
{
    if (!m_network && !m_networkUnknown) {
        try {
            m_network = std::make_unique<NetworkMonitor>();
        } catch (const RuntimeError& failure) {
            // Counted as reached, so that the checks go on; the next poll would only fail again.
            qCWarning(lcNetwork).noquote() << failure.what() << "- the network counts as reached";
            m_networkUnknown = true;
        }
    }
    return !m_network || m_network->available();
}

void LinuxPlatform::onResume(std::function<void()> handler)
{
    m_resume = std::move(handler);
    // Without a system bus this connects nothing; without logind the signal never comes.
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
}

void LinuxPlatform::prepareForSleep(bool start)
{
    if (!start && m_resume)
        m_resume();
}

void LinuxPlatform::setTrayMenu(QMenu* menu)
{
    // A StatusNotifierItem host reads the menu over D-Bus and draws it itself; Qt's own X11 tray
    // icon opens it on the right button before it reports the click.
    m_trayMenu = menu;
    if (m_trayIcon)
        m_trayIcon->setContextMenu(menu);
}

SecretAnswer LinuxPlatform::readSecret(const QString& account,
                                       const std::function<void(const QString&)>& lateAnswer)
{
    return m_keyring.read(account, lateAnswer);
}

SecretAnswer LinuxPlatform::writeSecret(const QString& account, const QString& secret)
{
    return m_keyring.write(account, secret);
}

SecretAnswer LinuxPlatform::removeSecret(const QString& account)
{
    return m_keyring.remove(account);
}

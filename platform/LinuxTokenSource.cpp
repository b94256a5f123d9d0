#include "platform/LinuxTokenSource.h"

#include <QDesktopServices>

#include <utility>

LinuxTokenSource::LinuxTokenSource(std::optional<QDBusConnection> bus,
                                   std::function<void(const QUrl&)> browser)
    : m_bus(std::move(bus))
    , m_browser(browser ? std::move(browser)
                        : [](const QUrl& address) { QDesktopServices::openUrl(address); })
{}

OnlineAccounts& LinuxTokenSource::online()
{
    if (!m_online)
        m_online.emplace(m_bus.value_or(QDBusConnection::sessionBus()));
    return *m_online;
}

QList<OnlineAccount> LinuxTokenSource::onlineAccounts()
{
    return online().mailAccounts();
}

TokenAnswer LinuxTokenSource::onlineAccountToken(const QString& id)
{
    return online().accessToken(id);
}

TokenAnswer LinuxTokenSource::refresh(const OAuthEndpoints& endpoints, const QString& refreshToken)
{
    return BrowserSignIn::refresh(endpoints, refreshToken);
}

void LinuxTokenSource::openBrowser(const QUrl& address)
{
    m_browser(address);
}

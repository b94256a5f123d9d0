#include "platform/LinuxTokenSource.h"

#include <QDesktopServices>

#include <utility>

LinuxTokenSource::LinuxTokenSource(const QDBusConnection& bus, std::function<void(const QUrl&)> browser)
    : m_onlineAccounts(bus)
    , m_browser(browser ? std::move(browser)
                        : [](const QUrl& address) { QDesktopServices::openUrl(address); })
{}

QList<OnlineAccount> LinuxTokenSource::onlineAccounts()
{
    return m_onlineAccounts.mailAccounts();
}

TokenAnswer LinuxTokenSource::onlineAccountToken(const QString& id)
{
    return m_onlineAccounts.accessToken(id);
}

TokenAnswer LinuxTokenSource::refresh(const OAuthEndpoints& endpoints, const QString& refreshToken)
{
    return BrowserSignIn::refresh(endpoints, refreshToken);
}

void LinuxTokenSource::openBrowser(const QUrl& address)
{
    m_browser(address);
}

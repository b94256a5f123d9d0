#pragma once

#include "platform/OnlineAccounts.h"
#include "platform/TokenSource.h"

#include <functional>

// GNOME Online Accounts on the session bus, the providers' token endpoints over the network, and
// the desktop's browser.
class LinuxTokenSource : public TokenSource
{
public:
    // bus: where the online accounts live; browser: what shows a sign-in page (the desktop's
    // browser unless given).
    explicit LinuxTokenSource(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                              std::function<void(const QUrl&)> browser = {});

    QList<OnlineAccount> onlineAccounts() override;
    TokenAnswer onlineAccountToken(const QString& id) override;
    TokenAnswer refresh(const OAuthEndpoints& endpoints, const QString& refreshToken) override;
    void openBrowser(const QUrl& address) override;

private:
    OnlineAccounts m_onlineAccounts;
    std::function<void(const QUrl&)> m_browser;
};

#pragma once

#include "platform/OnlineAccounts.h"
#include "platform/TokenSource.h"

#include <functional>
#include <optional>

// GNOME Online Accounts on the session bus, the providers' token endpoints over the network, and
// the desktop's browser.
class LinuxTokenSource : public TokenSource
{
public:
    // bus: where the online accounts live (the session bus unless given), reached on first use so
    // that a start-up costs nothing there; browser: what shows a sign-in page (the desktop's browser
    // unless given).
    explicit LinuxTokenSource(std::optional<QDBusConnection> bus = std::nullopt,
                              std::function<void(const QUrl&)> browser = {});

    QList<OnlineAccount> onlineAccounts() override;
    TokenAnswer onlineAccountToken(const QString& id) override;
    TokenAnswer refresh(const OAuthEndpoints& endpoints, const QString& refreshToken) override;
    void openBrowser(const QUrl& address) override;

private:
    OnlineAccounts& online();

    std::optional<QDBusConnection> m_bus;
    std::optional<OnlineAccounts> m_online;
    std::function<void(const QUrl&)> m_browser;
};

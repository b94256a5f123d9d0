#pragma once

#include "platform/TokenAnswer.h"

#include <QDBusConnection>
#include <QList>
#include <QString>

// One mail account of the desktop's online accounts that signs in with OAuth 2.
struct OnlineAccount
{
    QString id; // GOA's Id of the account, which never changes
    QString address;
    QString providerType; // e.g. "google"

    friend bool operator==(const OnlineAccount&, const OnlineAccount&) = default;
};

// The desktop's online accounts: GNOME Online Accounts on a bus. Each call waits for the service
// with events running but user input held back, never longer than its deadline, and without
// blocking the bus, so a service in the same process still answers.
class OnlineAccounts
{
public:
    // The listing is quick; a token may be refreshed over the network first.
    static constexpr int kListingDeadlineMs = 3000;
    static constexpr int kTokenDeadlineMs = 20000;

    // The program passes the session bus; no call waits longer than deadlineMs.
    explicit OnlineAccounts(const QDBusConnection& bus, int deadlineMs = kTokenDeadlineMs);

    // Every account with mail and OAuth 2 whose mail is not switched off, by address; empty when
    // there is no such service or it does not answer in time.
    QList<OnlineAccount> mailAccounts();
    // A token for the account with this id, asked afresh each time (GOA refreshes it itself).
    // Expired when the account needs attention, has its mail switched off, is gone, or GOA says
    // NotAuthorized; Unreachable when there is no service, no answer in time, or another failure.
    TokenAnswer accessToken(const QString& id);

private:
    QDBusConnection m_bus;
    int m_deadlineMs;
};

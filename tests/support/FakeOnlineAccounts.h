#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>

// GNOME Online Accounts on a test's private bus: owns org.gnome.OnlineAccounts on a connection of
// its own in the test's thread (so the code under test must not block on the bus), lists its
// accounts and answers GetAccessToken from a script.
//
//   FakeOnlineAccounts goa(bus.address());  // one Google account "account_1", alice@example.test
//   goa.accounts[0].attentionNeeded = true;
//   goa.accounts << FakeOnlineAccounts::Account{.id = "account_2", .address = "b@x.test", .oauth2 = false};
//   goa.answers = {{"token-1", 3600}, {"token-2", 3600}};    // handed out in turn, then no answer
//   goa.answers = {{.error = FakeOnlineAccounts::kNotAuthorized}};
//   ... QCOMPARE(goa.tokenCalls, 2);
class FakeOnlineAccounts : public QDBusVirtualObject
{
public:
    static inline const QString kNotAuthorized =
        QStringLiteral("org.gnome.OnlineAccounts.Error.NotAuthorized");

    struct Account
    {
        QString id;
        QString address;
        QString providerType = QStringLiteral("google");
        bool attentionNeeded = false;
        bool mailDisabled = false;
        // Whether the account carries the Mail and the OAuth2Based interface.
        bool mail = true;
        bool oauth2 = true;
    };
    // One answer to GetAccessToken: a token and its lifetime in seconds, or the error named.
    struct Answer
    {
        QString token;
        int expiresIn = 3600;
        QString error;
    };

    explicit FakeOnlineAccounts(const QString& busAddress);
    ~FakeOnlineAccounts() override;

    QList<Account> accounts{{QStringLiteral("account_1"), QStringLiteral("alice@example.test")}};
    QList<Answer> answers;
    int tokenCalls = 0;
    // Answers nothing at all, as a service that hangs.
    bool silent = false;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection m_connection;
};

#include "platform/OnlineAccounts.h"
#include "support/FakeOnlineAccounts.h"
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTest>

#include <optional>

namespace {

using Account = FakeOnlineAccounts::Account;

const QString kAlice = QStringLiteral("account_1");
// Short for the test; room for a loaded machine on top.
constexpr int kDeadlineMs = 1000;
constexpr qint64 kSlackMs = 1000;

} // namespace

// The desktop's online accounts through a stand-in GNOME Online Accounts on a private bus.
class tst_OnlineAccounts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { m_goa.emplace(m_bus.address()); }
    void cleanup() { m_goa.reset(); }

    void listsMailAccounts();
    void tokensInTurn();
    void expired_data();
    void expired();
    void unreachable_data();
    void unreachable();

private:
    PrivateBus m_bus;
    std::optional<QDBusConnection> m_connection;
    std::optional<FakeOnlineAccounts> m_goa;
};

void tst_OnlineAccounts::initTestCase()
{
    if (!m_bus.start(PrivateBus::Services::None))
        QSKIP(qPrintable(m_bus.error()));
    m_connection = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("test-bus"));
    QVERIFY(m_connection->isConnected());
}

void tst_OnlineAccounts::cleanupTestCase()
{
    m_connection.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("test-bus"));
}

void tst_OnlineAccounts::listsMailAccounts()
{
    m_goa->accounts << Account{.id = "account_2", .address = "frank@example.test", .attentionNeeded = true}
                    << Account{.id = "account_3", .address = "aaron@example.test", .providerType = "ms_graph"}
                    << Account{.id = "mail_off", .address = "carol@example.test", .mailDisabled = true}
                    << Account{.id = "password", .address = "dave@example.test", .oauth2 = false}
                    << Account{.id = "no_mail", .address = "erin@example.test", .mail = false};
    const QList<OnlineAccount> expected{{"account_3", "aaron@example.test", "ms_graph"},
                                        {kAlice, "alice@example.test", "google"},
                                        {"account_2", "frank@example.test", "google"}};
    QCOMPARE(OnlineAccounts(*m_connection).mailAccounts(), expected);
}

void tst_OnlineAccounts::tokensInTurn()
{
    m_goa->answers = {{"token-1", 3600}, {"token-2", 0}};
    OnlineAccounts accounts(*m_connection);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const TokenAnswer first = accounts.accessToken(kAlice);
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(first.outcome, TokenAnswer::Done);
    QCOMPARE(first.token, QStringLiteral("token-1"));
    QVERIFY(first.expires >= before.addSecs(3600) && first.expires <= after.addSecs(3600));

    const TokenAnswer second = accounts.accessToken(kAlice);
    QCOMPARE(second.outcome, TokenAnswer::Done);
    QCOMPARE(second.token, QStringLiteral("token-2"));
    QVERIFY2(!second.expires.isValid(), "GOA gave no lifetime");
    QCOMPARE(m_goa->tokenCalls, 2);
}

void tst_OnlineAccounts::expired_data()
{
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("attentionNeeded");
    QTest::addColumn<bool>("mailDisabled");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<int>("tokenCalls");
    QTest::newRow("NotAuthorized") << FakeOnlineAccounts::kNotAuthorized << false << false << false << 1;
    QTest::newRow("attention needed") << QString() << true << false << false << 0;
    QTest::newRow("mail switched off") << QString() << false << true << false << 0;
    QTest::newRow("account removed") << QString() << false << false << true << 0;
}

void tst_OnlineAccounts::expired()
{
    QFETCH(QString, error);
    QFETCH(bool, attentionNeeded);
    QFETCH(bool, mailDisabled);
    QFETCH(bool, removed);
    QFETCH(int, tokenCalls);
    m_goa->answers = {{.error = error}};
    m_goa->accounts[0].attentionNeeded = attentionNeeded;
    m_goa->accounts[0].mailDisabled = mailDisabled;
    if (removed)
        m_goa->accounts.clear();
    const TokenAnswer answer = OnlineAccounts(*m_connection).accessToken(kAlice);
    QCOMPARE(answer.outcome, TokenAnswer::Expired);
    QVERIFY(!answer.text.isEmpty());
    QCOMPARE(m_goa->tokenCalls, tokenCalls);
}

void tst_OnlineAccounts::unreachable_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("listing");
    QTest::addColumn<QString>("error"); // GetAccessToken's; empty: no answer at all
    QTest::addColumn<qint64>("withinMs");
    // The bus says at once that nobody owns the name.
    QTest::newRow("no service") << false << false << QString() << qint64(500);
    QTest::newRow("silent service") << true << false << QString() << kDeadlineMs + kSlackMs;
    QTest::newRow("silent token") << true << true << QString() << kDeadlineMs + kSlackMs;
    QTest::newRow("failed refresh") << true << true << QStringLiteral("org.freedesktop.Goa.Error.Failed")
                                    << kSlackMs;
}

void tst_OnlineAccounts::unreachable()
{
    QFETCH(bool, running);
    QFETCH(bool, listing);
    QFETCH(QString, error);
    QFETCH(qint64, withinMs);
    m_goa->silent = !listing;
    if (!error.isEmpty())
        m_goa->answers = {{.error = error}};
    if (!running)
        m_goa.reset();
    OnlineAccounts accounts(*m_connection, kDeadlineMs);
    QElapsedTimer timer;
    timer.start();
    const TokenAnswer answer = accounts.accessToken(kAlice);
    QVERIFY2(timer.elapsed() < withinMs, qPrintable(QString::number(timer.elapsed()) + " ms"));
    QCOMPARE(answer.outcome, TokenAnswer::Unreachable);
    QVERIFY(!answer.text.isEmpty());
    QCOMPARE(accounts.mailAccounts().isEmpty(), !listing);
}

QTEST_MAIN(tst_OnlineAccounts)
#include "tst_OnlineAccounts.moc"

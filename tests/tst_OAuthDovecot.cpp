#include "platform/LinuxTokenSource.h"
#include "settings/CRegistry.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/FakeIdentityProvider.h"
#include "support/FakeOnlineAccounts.h"
#include "support/PrivateBus.h"
#include "support/TestAuthority.h"

#include <QDirIterator>
#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <optional>

namespace {

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

// Every message the program logs, with its logging switched on.
QStringList logged;
void keep(QtMsgType, const QMessageLogContext&, const QString& message)
{
    logged << message;
}

} // namespace

// Whole checks that sign in with OAuth 2 at the test Dovecot, whose oauth2 passdb asks the
// harness's introspection stub about each token: with a token from a stand-in GNOME Online Accounts
// on a private bus, and with one a stand-in provider hands out for a browser sign-in.
class tst_OAuthDovecot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void onlineAccountCountsTheMail_data();
    void onlineAccountCountsTheMail();
    void browserSignInCountsTheMail();
    void revokedSignInSaysSoOnce();

private:
    // Lets the test Dovecot take this token for alice.
    static void accept(const QString& token);
    // What Dovecot logged since the test began.
    QString newLog() const;
    // Signs in with the stand-in provider, as the sign-in dialog does.
    SignIn signInWithBrowser();

    PrivateBus m_bus;
    std::optional<FakeOnlineAccounts> m_goa;
    std::optional<FakeIdentityProvider> m_provider;
    std::optional<LinuxTokenSource> m_tokens;
    qint64 m_logStart = 0;
    QString m_tip;
};

void tst_OAuthDovecot::initTestCase()
{
    if (env("QUILLPOST_DOVECOT_OAUTH_TOKENS").isEmpty())
        QSKIP("no test POP3 server: start tests/dovecot/harness.sh and source its env file");
    QVERIFY(TestAuthority::trust());
    QVERIFY2(m_bus.start(PrivateBus::Services::None), qPrintable(m_bus.error()));
    const double kb = std::nearbyint(env("QUILLPOST_DOVECOT_ALICE_SIZE").toInt() / 1024.0);
    m_tip = QStringLiteral("3 e-mails waiting (%1 Kb)").arg(kb);
}

void tst_OAuthDovecot::init()
{
    m_goa.emplace(m_bus.address());
    m_provider.emplace();
    m_provider->setAccessTokenHook(&tst_OAuthDovecot::accept);
    m_tokens.emplace(QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("tst_OAuthDovecot")),
                     m_provider->browser());
    m_logStart = QFile(env("QUILLPOST_DOVECOT_LOG")).size();
    QLoggingCategory::setFilterRules(QStringLiteral("quillpost.*=true"));
    qInstallMessageHandler(keep);
    logged.clear();
}

void tst_OAuthDovecot::cleanup()
{
    qInstallMessageHandler(nullptr);
    QLoggingCategory::setFilterRules({});
    m_tokens.reset();
    m_provider.reset();
    m_goa.reset();
}

void tst_OAuthDovecot::accept(const QString& token)
{
    QFile tokens(env("QUILLPOST_DOVECOT_OAUTH_TOKENS"));
    QVERIFY(tokens.open(QIODevice::Append));
    tokens.write(token.toUtf8() + " alice\n");
}

QString tst_OAuthDovecot::newLog() const
{
    QFile log(env("QUILLPOST_DOVECOT_LOG"));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logStart))
        return {};
    return QString::fromUtf8(log.readAll());
}

SignIn tst_OAuthDovecot::signInWithBrowser()
{
    SignIn signIn;
    signIn.kind = SignIn::Kind::Browser;
    signIn.provider = SignIn::Provider::Other;
    signIn.scope = QStringLiteral("mail");
    signIn.clientId = QStringLiteral("quillpost-test");
    const OAuthEndpoints endpoints = m_provider->serve(signIn.endpoints());
    signIn.authorizeUrl = endpoints.authorizeUrl.toString();
    signIn.tokenUrl = endpoints.tokenUrl.toString();
    BrowserSignIn browser([this](const QUrl& address) { m_tokens->openBrowser(address); });
    QSignalSpy finished(&browser, &BrowserSignIn::finished);
    browser.start(endpoints);
    if (finished.wait(10000))
        signIn.refreshToken = finished.first().first().value<BrowserSignIn::Result>().tokens.refreshToken;
    return signIn;
}

void tst_OAuthDovecot::onlineAccountCountsTheMail_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("method");
    const QString tlsPort = env("QUILLPOST_DOVECOT_TLS_PORT");
    QTest::newRow("over TLS") << "pop3s://127.0.0.1:" + tlsPort << "XOAUTH2";
    QTest::newRow("after STLS") << env("QUILLPOST_DOVECOT_HOST") + ':' + env("QUILLPOST_DOVECOT_PORT")
                                << "XOAUTH2";
    QTest::newRow("OAUTHBEARER only") << "pop3s://" + env("QUILLPOST_DOVECOT_OAUTHBEARER_HOST") + ':' +
                                             env("QUILLPOST_DOVECOT_OAUTHBEARER_PORT")
                                      << "OAUTHBEARER";
}

void tst_OAuthDovecot::onlineAccountCountsTheMail()
{
    QFETCH(QString, server);
    QFETCH(QString, method);
    const QString renewed = QStringLiteral("renewed-%1").arg(QDateTime::currentMSecsSinceEpoch());
    accept(renewed);
    m_goa->answers = {{env("QUILLPOST_DOVECOT_OAUTH_TOKEN")}, {renewed}};
    CheckingWindow rig(server, QStringLiteral("alice"), QString(), &*m_tokens);
    SignIn signIn;
    signIn.kind = SignIn::Kind::OnlineAccount;
    signIn.onlineAccount = QStringLiteral("account_1");
    rig.window().setSignIn(signIn);

    for (int round = 0; round < 2; ++round) {
        QCOMPARE(rig.checkForMessages(), QStringList());
        QCOMPARE(rig.platform().shownTip(), m_tip);
    }
    QCOMPARE(m_goa->tokenCalls, 2);
    QCOMPARE(newLog().count(QStringLiteral("Login: user=<alice>, method=%1").arg(method)), 2);
    QVERIFY(newLog().contains(QStringLiteral(", TLS")));
    for (const QString& message : std::as_const(logged))
        QVERIFY2(!message.contains(renewed), qPrintable(message));
}

void tst_OAuthDovecot::browserSignInCountsTheMail()
{
    const SignIn signIn = signInWithBrowser();
    QVERIFY(!signIn.refreshToken.isEmpty());
    CheckingWindow rig("pop3s://127.0.0.1:" + env("QUILLPOST_DOVECOT_TLS_PORT"), QStringLiteral("alice"),
                       QString(), &*m_tokens);
    rig.window().setSignIn(signIn);
    QCOMPARE(rig.checkForMessages(), QStringList());
    QCOMPARE(rig.platform().shownTip(), m_tip);
    QCOMPARE(m_provider->tokenRequests(QStringLiteral("refresh_token")), 1);
    QVERIFY(newLog().contains(QStringLiteral("Login: user=<alice>, method=XOAUTH2")));

    // Saved with a keyring and without one: the refresh token is in the keyring or enciphered.
    rig.platform().secrets.emplace();
    for (const QString refusal : {QString(), QStringLiteral("the keyring is locked")}) {
        rig.platform().secrets->refusal = refusal;
        rig.window().cmdOK_Click();
        QDirIterator files(QFileInfo(CRegistry::fileOf(QStringLiteral("Quillpost"))).absolutePath(),
                           QDir::Files);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(signIn.refreshToken.toUtf8()), qPrintable(file.fileName()));
        }
    }
    QCOMPARE(rig.platform().secrets->entries.value(QStringLiteral("alice@pop3s://127.0.0.1:") +
                                                   env("QUILLPOST_DOVECOT_TLS_PORT")),
             signIn.secrets());
    for (const QString& message : std::as_const(logged))
        QVERIFY2(!message.contains(signIn.refreshToken), qPrintable(message));
}

void tst_OAuthDovecot::revokedSignInSaysSoOnce()
{
    const SignIn signIn = signInWithBrowser();
    m_provider->revoke();
    CheckingWindow rig("pop3s://127.0.0.1:" + env("QUILLPOST_DOVECOT_TLS_PORT"), QStringLiteral("alice"),
                       QString(), &*m_tokens);
    rig.window().setSignIn(signIn);

    QCOMPARE(rig.checkForMessages(),
             QStringList{QStringLiteral("Sign-in for alice has expired; open Settings and sign in again")});
    QCOMPARE(rig.checkForMessages(), QStringList());
    QCOMPARE(rig.platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(!newLog().contains(QStringLiteral("method=XOAUTH2")));
}

QTEST_MAIN(tst_OAuthDovecot)
#include "tst_OAuthDovecot.moc"

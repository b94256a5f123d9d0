#include "platform/BrowserSignIn.h"
#include "support/FakeIdentityProvider.h"
#include "support/ScriptedPop3Server.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <optional>

using Browser = FakeIdentityProvider::Browser;

namespace {

constexpr int kWaitMs = 10000;

// A client with a secret and extra parameters, as Google's desktop clients; without, a public
// client, as Microsoft's.
OAuthEndpoints client(bool withSecret)
{
    OAuthEndpoints endpoints;
    endpoints.scope = "https://mail.google.com/ openid email";
    endpoints.clientId = "client";
    if (withSecret) {
        endpoints.clientSecret = "GOCSPX-a+b/c&d";
        endpoints.extraParameters = {{"access_type", "offline"}, {"prompt", "consent"}};
    }
    return endpoints;
}

bool expiresAsHandedOut(const QDateTime& expires)
{
    return qAbs(QDateTime::currentDateTimeUtc().secsTo(expires) - FakeIdentityProvider::kExpiresInSeconds) <
           60;
}

// The sign-in's outcome, or none when it did not finish in time or finished before start() returned.
std::optional<BrowserSignIn::Result> signIn(FakeIdentityProvider& provider, bool withSecret = true,
                                            Browser browser = Browser::Follow,
                                            const QString& forgedQuery = {}, int timeLimitMs = kWaitMs)
{
    BrowserSignIn signIn(provider.browser(browser, forgedQuery));
    signIn.setTimeLimit(timeLimitMs);
    QSignalSpy finished(&signIn, &BrowserSignIn::finished);
    signIn.start(provider.serve(client(withSecret)));
    if (!finished.isEmpty() || !finished.wait(2 * kWaitMs))
        return std::nullopt;
    return finished.first().first().value<BrowserSignIn::Result>();
}

bool refused(const char* address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QLatin1String(address)), port);
    return !socket.waitForConnected(kWaitMs) && socket.error() == QAbstractSocket::ConnectionRefusedError;
}

} // namespace

class tst_BrowserSignIn : public QObject
{
    Q_OBJECT
private slots:
    void signsIn_data()
    {
        QTest::addColumn<bool>("withSecret");
        QTest::addColumn<QString>("email");
        QTest::newRow("public client, no id_token") << false << QString();
        QTest::newRow("client secret, id_token") << true << "alice@example.com";
    }
    // The provider checks PKCE, the code with "/" and "+", redirect_uri, scope, extras and secret.
    void signsIn()
    {
        QFETCH(bool, withSecret);
        QFETCH(QString, email);
        FakeIdentityProvider provider;
        provider.setIdTokenEmail(email);
        QStringList handedOut;
        provider.setAccessTokenHook([&](const QString& token) { handedOut << token; });
        const auto result = signIn(provider, withSecret);
        QVERIFY(result);
        QVERIFY2(result->outcome == BrowserSignIn::Result::Done, qPrintable(result->text));
        QCOMPARE(handedOut, QStringList{result->tokens.token});
        QVERIFY(!result->tokens.refreshToken.isEmpty());
        QVERIFY(expiresAsHandedOut(result->tokens.expires));
        QCOMPARE(result->address, email);
        QTRY_VERIFY(provider.loopbackPages().value(0).contains("go back to Quillpost"));
    }

    void takesNoRedirectWithAnotherState_data()
    {
        QTest::addColumn<QString>("forgedQuery");
        QTest::newRow("code") << "code=stolen&state=forged";
        QTest::newRow("refusal") << "error=access_denied&state=forged";
    }
    void takesNoRedirectWithAnotherState()
    {
        QFETCH(QString, forgedQuery);
        FakeIdentityProvider provider;
        const auto result = signIn(provider, true, Browser::ForgedFirst, forgedQuery);
        QVERIFY(result);
        QVERIFY2(result->outcome == BrowserSignIn::Result::Done, qPrintable(result->text));
        QCOMPARE(provider.tokenRequests("authorization_code"), 1);
        QCOMPARE(provider.loopbackPages().size(), 2);
    }

    void listensAt127001UntilCancelled()
    {
        FakeIdentityProvider provider;
        BrowserSignIn signIn(provider.browser(Browser::Ignore));
        QSignalSpy finished(&signIn, &BrowserSignIn::finished);
        signIn.start(provider.serve(client(false)));
        const QUrl redirect(
            QUrlQuery(provider.openedAddress()).queryItemValue("redirect_uri", QUrl::FullyDecoded));
        QCOMPARE(redirect.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(!refused("127.0.0.1", redirect.port()));
        QVERIFY(refused("127.0.0.2", redirect.port()));
        signIn.cancel();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().value<BrowserSignIn::Result>().outcome,
                 BrowserSignIn::Result::Cancelled);
        QVERIFY(refused("127.0.0.1", redirect.port()));
    }

    void endsWithoutTokens_data()
    {
        QTest::addColumn<bool>("deny");
        QTest::addColumn<bool>("refreshToken");
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("says");
        QTest::newRow("refused") << true << true << Browser::Follow << int(BrowserSignIn::Result::Failed)
                                 << "access_denied";
        QTest::newRow("no refresh token")
            << false << false << Browser::Follow << int(BrowserSignIn::Result::Failed) << "refresh token";
        QTest::newRow("browser closed")
            << false << true << Browser::Ignore << int(BrowserSignIn::Result::TimedOut) << "in time";
    }
    void endsWithoutTokens()
    {
        QFETCH(bool, deny);
        QFETCH(bool, refreshToken);
        QFETCH(Browser, browser);
        QFETCH(int, outcome);
        QFETCH(QString, says);
        FakeIdentityProvider provider;
        provider.setDenySignIn(deny);
        provider.setHandOutRefreshToken(refreshToken);
        const auto result = signIn(provider, true, browser, {}, browser == Browser::Ignore ? 300 : kWaitMs);
        QVERIFY(result);
        QCOMPARE(int(result->outcome), outcome);
        QVERIFY2(result->text.contains(says), qPrintable(result->text));
    }

    void refreshes_data()
    {
        QTest::addColumn<bool>("rotate");
        QTest::addColumn<bool>("revoked");
        QTest::addColumn<bool>("serverGone");
        QTest::addColumn<int>("outcome");
        QTest::newRow("new access token") << false << false << false << int(TokenAnswer::Done);
        QTest::newRow("rotated refresh token") << true << false << false << int(TokenAnswer::Done);
        QTest::newRow("revoked") << false << true << false << int(TokenAnswer::Expired);
        QTest::newRow("no server") << false << false << true << int(TokenAnswer::Unreachable);
    }
    void refreshes()
    {
        QFETCH(bool, rotate);
        QFETCH(bool, revoked);
        QFETCH(bool, serverGone);
        QFETCH(int, outcome);
        FakeIdentityProvider provider;
        provider.setRotateRefreshToken(rotate);
        QStringList handedOut;
        provider.setAccessTokenHook([&](const QString& token) { handedOut << token; });
        OAuthEndpoints endpoints = provider.serve(client(true));
        const QString refreshToken = provider.issueRefreshToken();
        if (revoked)
            provider.revoke();
        if (serverGone)
            endpoints.tokenUrl.setPort(ScriptedPop3Server::refusedPort());
        const TokenAnswer answer = BrowserSignIn::refresh(endpoints, refreshToken);
        QCOMPARE(int(answer.outcome), outcome);
        QCOMPARE(answer.text.isEmpty(), outcome == TokenAnswer::Done);
        QCOMPARE(answer.token, handedOut.value(0));
        QCOMPARE(expiresAsHandedOut(answer.expires), outcome == TokenAnswer::Done);
        QCOMPARE(!answer.refreshToken.isEmpty(), rotate);
        QVERIFY(answer.refreshToken != refreshToken);
    }
};

QTEST_GUILESS_MAIN(tst_BrowserSignIn)
#include "tst_BrowserSignIn.moc"

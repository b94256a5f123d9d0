#include "platform/Timer.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestAuthority.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QTest>

#include <optional>

using Chunks = QList<QByteArray>;
using Lines = QList<QByteArray>;

namespace {

const QString kToken = QStringLiteral("token-of-alice");
const QString kExpired = QStringLiteral("Sign-in for alice has expired; open Settings and sign in again");
const QString kBox = QStringLiteral("Error connecting to POP3 server : \n\n%1.\n");

QByteArray xoauth2(const QString& token)
{
    return ("user=alice\x01"
            "auth=Bearer " +
            token.toUtf8() + "\x01\x01")
        .toBase64();
}

QByteArray oauthbearer(const QString& token, quint16 port)
{
    return ("n,a=alice,\x01"
            "host=127.0.0.1\x01"
            "port=" +
            QByteArray::number(port) +
            "\x01"
            "auth=Bearer " +
            token.toUtf8() + "\x01\x01")
        .toBase64();
}

// Every message the program logs, with its logging switched on.
QStringList logged;
void keep(QtMsgType, const QMessageLogContext&, const QString& message)
{
    logged << message;
}

} // namespace

// Checks that sign in with an access token, against a scripted server that speaks TLS and tokens
// handed out by script: what goes on the wire, what never does, and what the user is told.
class tst_TokenSignIn : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void twoLineFormOnTheWire_data();
    void twoLineFormOnTheWire();
    void refusedTokenGetsTheSaslAnswer_data();
    void refusedTokenGetsTheSaslAnswer();
    void noTokenWhereItCannotGo_data();
    void noTokenWhereItCannotGo();
    void expiredSignInSaysSoOnce();
    void browserTokenKeptUntilItsEnd();

private:
    // The rig at the scripted server, signed in with the online account, or the browser.
    void start(bool implicitTls, SignIn::Kind kind = SignIn::Kind::OnlineAccount);
    FakeTokenSource& tokens() { return m_rig->platform().tokens; }

    std::optional<ScriptedPop3Server> m_server;
    std::optional<CheckingWindow> m_rig;
};

void tst_TokenSignIn::initTestCase()
{
    if (!TestAuthority::trust() || !ScriptedPop3Server().useTls(true))
        QSKIP("no test certificate authority: start tests/dovecot/harness.sh and source its env file");
}

void tst_TokenSignIn::init()
{
    m_server.emplace();
    m_server->setReply("CAPA", {"+OK\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\n.\r\n"});
    m_server->setReply("AUTH", {"+ \r\n"});
    m_server->setReply(xoauth2(kToken), {"+OK signed in\r\n"});
    m_server->setReply(oauthbearer(kToken, m_server->port()), {"+OK signed in\r\n"});
}

void tst_TokenSignIn::cleanup()
{
    qInstallMessageHandler(nullptr);
    QLoggingCategory::setFilterRules({});
    m_rig.reset();
    m_server.reset();
}

void tst_TokenSignIn::start(bool implicitTls, SignIn::Kind kind)
{
    QVERIFY(m_server->useTls(implicitTls));
    m_rig.emplace((implicitTls ? "pop3s://127.0.0.1:" : "127.0.0.1:") + QString::number(m_server->port()),
                  QStringLiteral("alice"), QString());
    m_rig->window().tmrTimeout->setInterval(5000); // every case here ends well before
    SignIn signIn;
    signIn.kind = kind;
    signIn.onlineAccount = QStringLiteral("account_1");
    signIn.refreshToken = QStringLiteral("refresh-1");
    m_rig->window().setSignIn(signIn);
    tokens().onlineAnswers = {{TokenAnswer::Done, kToken}};
}

void tst_TokenSignIn::twoLineFormOnTheWire_data()
{
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<Chunks>("capabilities");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<bool>("oauthbearer");

    QTest::newRow("XOAUTH2 over TLS") << true << Chunks{} << Lines{"CAPA", "AUTH XOAUTH2"} << false;
    QTest::newRow("only OAUTHBEARER") << true << Chunks{"+OK\r\nSASL PLAIN OAUTHBEARER\r\n.\r\n"}
                                      << Lines{"CAPA", "AUTH OAUTHBEARER"} << true;
    // What the server takes is asked again once TLS is on.
    QTest::newRow("after STLS") << false << Chunks{"+OK\r\nSTLS\r\nSASL xoauth2\r\n.\r\n"}
                                << Lines{"CAPA", "STLS", "CAPA", "AUTH XOAUTH2"} << false;
}

void tst_TokenSignIn::twoLineFormOnTheWire()
{
    QFETCH(bool, implicitTls);
    QFETCH(Chunks, capabilities);
    QFETCH(Lines, lines);
    QFETCH(bool, oauthbearer);
    if (!capabilities.isEmpty())
        m_server->setReply("CAPA", capabilities);
    m_server->setReply("STLS", {"+OK begin TLS\r\n"}, ScriptedPop3Server::Then::StartTls);
    start(implicitTls);
    QLoggingCategory::setFilterRules(QStringLiteral("quillpost.*=true"));
    qInstallMessageHandler(keep);
    logged.clear();

    QVERIFY(m_rig->checkForMessages().isEmpty());

    const QByteArray blob = oauthbearer ? ::oauthbearer(kToken, m_server->port()) : xoauth2(kToken);
    QCOMPARE(m_server->receivedLines(), lines + Lines({blob, "STAT", "QUIT"}));
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
    QVERIFY(!logged.isEmpty());
    for (const QString& message : std::as_const(logged))
        QVERIFY2(!message.contains(kToken) && !message.contains(QString::fromLatin1(blob)),
                 qPrintable(message));
}

void tst_TokenSignIn::refusedTokenGetsTheSaslAnswer_data()
{
    QTest::addColumn<Chunks>("capabilities");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("XOAUTH2") << Chunks{} << QByteArray("");
    QTest::newRow("OAUTHBEARER") << Chunks{"+OK\r\nSASL OAUTHBEARER\r\n.\r\n"} << QByteArray("AQ==");
}

void tst_TokenSignIn::refusedTokenGetsTheSaslAnswer()
{
    QFETCH(Chunks, capabilities);
    QFETCH(QByteArray, answer);
    if (!capabilities.isEmpty())
        m_server->setReply("CAPA", capabilities);
    start(true);
    const QByteArray why = R"({"status":"401","schemes":"bearer","scope":"mail"})";
    for (const QByteArray& blob : {xoauth2(kToken), oauthbearer(kToken, m_server->port())})
        m_server->setReply(blob, {"+ " + why.toBase64() + "\r\n"});
    m_server->setReply(answer, {"-ERR [AUTH] Authentication failed.\r\n"});

    QCOMPARE(m_rig->checkForMessages(), QStringList{kExpired});

    // CAPA, AUTH, the token, then the answer to the server's challenge.
    QCOMPARE(m_server->receivedLines().value(3), answer);
    QVERIFY(!m_server->received("STAT"));
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(m_rig->idle());
}

void tst_TokenSignIn::noTokenWhereItCannotGo_data()
{
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<Chunks>("capabilities");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain, no STLS")
        << false << Chunks{"+OK\r\nSASL XOAUTH2\r\n.\r\n"}
        << kBox.arg("The server offers no encryption (STLS); the sign-in was not sent");
    QTest::newRow("no such mechanism")
        << true << Chunks{"+OK\r\nSASL PLAIN LOGIN\r\n.\r\n"}
        << kBox.arg("The server takes no OAuth sign-in (XOAUTH2 or OAUTHBEARER); it offers PLAIN LOGIN");
    QTest::newRow("no SASL at all")
        << true << Chunks{"-ERR what?\r\n"}
        << kBox.arg(
               "The server takes no OAuth sign-in (XOAUTH2 or OAUTHBEARER); it offers no SASL mechanism");
}

void tst_TokenSignIn::noTokenWhereItCannotGo()
{
    QFETCH(bool, implicitTls);
    QFETCH(Chunks, capabilities);
    QFETCH(QString, message);
    m_server->setReply("CAPA", capabilities);
    start(implicitTls);

    QCOMPARE(m_rig->checkForMessages(), QStringList{message});
    QVERIFY(!m_server->received("AUTH"));
    QVERIFY(!m_server->receivedBytes().contains(xoauth2(kToken)));
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(m_rig->idle());
}

void tst_TokenSignIn::expiredSignInSaysSoOnce()
{
    start(true);
    const TokenAnswer expired{TokenAnswer::Expired, {}, {}, {}, QStringLiteral("needs attention")};
    const TokenAnswer offline{TokenAnswer::Unreachable, {}, {}, {}, QStringLiteral("no network")};
    tokens().onlineAnswers = {expired, expired, offline, {TokenAnswer::Done, kToken}, expired};

    QCOMPARE(m_rig->checkForMessages(), QStringList{kExpired});
    QCOMPARE(m_rig->checkForMessages(), QStringList());
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    // Without the network there is no token either, and nothing to tell.
    QCOMPARE(m_rig->checkForMessages(), QStringList());
    QCOMPARE(m_server->connectionCount(), 0);
    QCOMPARE(m_rig->checkForMessages(), QStringList());
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
    // A check that got through: a later expiry is news again.
    QCOMPARE(m_rig->checkForMessages(), QStringList{kExpired});
}

void tst_TokenSignIn::browserTokenKeptUntilItsEnd()
{
    start(true, SignIn::Kind::Browser);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // The first token runs out within the margin, and comes with a new refresh token for the next
    // refresh; the second one is kept.
    tokens().refreshAnswers = {{TokenAnswer::Done, kToken, now.addSecs(30), QStringLiteral("refresh-2")},
                               {TokenAnswer::Done, kToken, now.addSecs(3600)}};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_rig->checkForMessages(), QStringList());
    QCOMPARE(tokens().calls, (QStringList{"refresh refresh-1", "refresh refresh-2"}));
    QCOMPARE(m_rig->window().signIn().refreshToken, QStringLiteral("refresh-2"));
}

QTEST_MAIN(tst_TokenSignIn)
#include "tst_TokenSignIn.moc"

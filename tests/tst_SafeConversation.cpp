#include "platform/Timer.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestAuthority.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

#include <optional>

using Chunks = QList<QByteArray>;
using Lines = QList<QByteArray>;

namespace {

const QString kBox = QStringLiteral("Error connecting to POP3 server : \n\n%1.\n");
const Lines kPlainCheck = {"CAPA", "USER alice", "PASS wonderland", "STAT", "QUIT"};

} // namespace

// What goes on the wire before the login, what never does, and which refusals stay quiet; against
// a scripted server, which knows no TLS.
class tst_SafeConversation : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void encryptionWhenOffered_data();
    void encryptionWhenOffered();
    void encryptionOnceOfferedIsRequired_data();
    void encryptionOnceOfferedIsRequired();
    void lineBreaksNeverReachTheWire_data();
    void lineBreaksNeverReachTheWire();
    void boxesRefuseLineBreaks();
    void temporaryRefusalsStayQuiet_data();
    void temporaryRefusalsStayQuiet();

private:
    std::optional<ScriptedPop3Server> m_server;
    std::optional<CheckingWindow> m_rig;
};

void tst_SafeConversation::init()
{
    m_server.emplace();
    QVERIFY(m_server->isListening());
    m_rig.emplace(QStringLiteral("127.0.0.1:%1").arg(m_server->port()), QStringLiteral("alice"),
                  QStringLiteral("wonderland"));
    m_rig->window().tmrTimeout->setInterval(5000); // every case here ends well before
}

void tst_SafeConversation::cleanup()
{
    m_rig.reset();
    m_server.reset();
}

void tst_SafeConversation::encryptionWhenOffered_data()
{
    QTest::addColumn<Chunks>("capabilities");
    QTest::addColumn<Chunks>("stlsReply");
    QTest::addColumn<QString>("message"); // empty: a plain check that counts the mail

    const Chunks offered = {"+OK\r\nUSER\r\nstls\r\n.\r\n"};
    QTest::newRow("no STLS") << Chunks{"+OK\r\nUSER\r\n..STLS\r\n.\r\n"} << Chunks{} << QString();
    QTest::newRow("list in pieces") << Chunks{"+OK\r\nUS", "ER\r\n.", "\r\n"} << Chunks{} << QString();
    QTest::newRow("-ERR to CAPA") << Chunks{"-ERR unknown command\r\n"} << Chunks{} << QString();
    QTest::newRow("STLS refused") << offered << Chunks{"-ERR TLS is not set up\r\n"}
                                  << kBox.arg("TLS is not set up");
    QByteArray longList = "+OK\r\n";
    for (int line = 0; line < 150; ++line)
        longList += "X-LINE-" + QByteArray::number(line) + "\r\n";
    QTest::newRow("STLS after many lines")
        << Chunks{longList + "STLS\r\n.\r\n"} << Chunks{"-ERR TLS is not set up\r\n"}
        << kBox.arg("TLS is not set up");
    const QString noTls = kBox.arg("The server did not set up a secure connection on this port");
    QTest::newRow("STLS agreed, no TLS follows") << offered << Chunks{"+OK begin TLS\r\n"} << noTls;
    // Words slipped in after the agreement must not pass for a reply.
    QTest::newRow("STLS agreed, plain text follows")
        << offered << Chunks{"+OK begin TLS\r\n+OK injected\r\n", "+OK injected\r\n"} << noTls;
}

void tst_SafeConversation::encryptionWhenOffered()
{
    QFETCH(Chunks, capabilities);
    QFETCH(Chunks, stlsReply);
    QFETCH(QString, message);
    m_server->setReply("CAPA", capabilities);
    m_server->setReply("STLS", stlsReply, ScriptedPop3Server::Then::Close);

    const QStringList boxes = m_rig->checkForMessages();

    if (message.isEmpty()) {
        QVERIFY(boxes.isEmpty());
        QCOMPARE(m_server->receivedLines(), kPlainCheck);
        QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
    } else {
        QCOMPARE(boxes, QStringList{message});
        QCOMPARE(m_server->receivedLines().mid(0, 2), (Lines{"CAPA", "STLS"}));
        QVERIFY(!m_server->received("USER") && !m_server->received("PASS"));
        QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    }
    QVERIFY(m_rig->idle());
}

void tst_SafeConversation::encryptionOnceOfferedIsRequired_data()
{
    QTest::addColumn<Chunks>("capabilities");
    QTest::newRow("STLS struck from the list") << Chunks{"+OK\r\nUSER\r\n.\r\n"};
    QTest::newRow("CAPA refused") << Chunks{"-ERR unknown command\r\n"};
}

void tst_SafeConversation::encryptionOnceOfferedIsRequired()
{
    QFETCH(Chunks, capabilities);
    if (!TestAuthority::trust() || !m_server->useTls(false))
        QSKIP("no test certificate authority: start tests/dovecot/harness.sh and source its env file");
    m_server->setReply("CAPA", {"+OK\r\nSTLS\r\n.\r\n"});
    m_server->setReply("STLS", {"+OK begin TLS\r\n"}, ScriptedPop3Server::Then::StartTls);
    QVERIFY(m_rig->checkForMessages().isEmpty());
    QVERIFY(m_server->received("PASS"));

    m_server->setReply("CAPA", capabilities);
    m_server->forgetReceived();
    QCOMPARE(
        m_rig->checkForMessages(),
        QStringList{kBox.arg("The server no longer offers encryption (STLS); your password was not sent")});
    QVERIFY(!m_server->received("USER") && !m_server->received("PASS"));
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(m_rig->idle());

    // Saved as another server text, it starts afresh: plain text for a server that offers no STLS.
    m_rig->window().txtServer->setText(QStringLiteral("localhost:%1").arg(m_server->port()));
    m_rig->window().cmdOK_Click();
    QVERIFY(m_rig->checkForMessages().isEmpty());
    QVERIFY(m_server->received("PASS wonderland"));
}

void tst_SafeConversation::lineBreaksNeverReachTheWire_data()
{
    QTest::addColumn<QString>("userId");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("field");
    QTest::newRow("CR LF in the user ID") << "alice\r\nDELE 1"
                                          << "wonderland"
                                          << "user ID";
    QTest::newRow("LF in the user ID") << "alice\nDELE 1"
                                       << "wonderland"
                                       << "user ID";
    QTest::newRow("CR in the password") << "alice"
                                        << "wonder\rDELE 1"
                                        << "password";
    QTest::newRow("NUL in the password") << "alice" << QStringLiteral("wonder") + QChar(0) + "land"
                                         << "password";
}

void tst_SafeConversation::lineBreaksNeverReachTheWire()
{
    QFETCH(QString, userId);
    QFETCH(QString, password);
    QFETCH(QString, field);
    // As the store gives them back: set, not typed.
    m_rig->window().txtUserId->setText(userId);
    m_rig->window().txtPassword->setText(password);

    QCOMPARE(m_rig->checkForMessages(), QStringList{kBox.arg("The " + field +
                                                             " holds a line break or NUL character, which "
                                                             "cannot be sent")});
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(m_rig->idle());
    QCOMPARE(m_server->connectionCount(), 0);
}

void tst_SafeConversation::boxesRefuseLineBreaks()
{
    for (QLineEdit* box : {m_rig->window().txtUserId, m_rig->window().txtPassword}) {
        for (const QChar c : {QChar(u'\r'), QChar(u'\n'), QChar(0)}) {
            box->setText(QStringLiteral("kept"));
            box->end(false);
            box->insert(QStringLiteral("a") + c + QStringLiteral("b"));
            QCOMPARE(box->text(), QStringLiteral("kept"));
        }
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted\r\nDELE 1"));
        box->paste();
        QCOMPARE(box->text(), QStringLiteral("kept"));
        QTest::keyClicks(box, QStringLiteral("!"));
        QGuiApplication::clipboard()->setText(QStringLiteral("?"));
        box->paste();
        QCOMPARE(box->text(), QStringLiteral("kept!?"));
    }
}

void tst_SafeConversation::temporaryRefusalsStayQuiet_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("box");
    for (const QByteArray command : {"USER", "PASS"}) {
        for (const QByteArray code :
             {"[IN-USE]", "[LOGIN-DELAY]", "[SYS/TEMP]", "[in-use]", "[SYS/TEMP/DISK]"})
            QTest::addRow("%s %s", command.constData(), code.constData())
                << command << "-ERR " + code + " try later\r\n"
                << false;
        QTest::addRow("%s plain -ERR", command.constData()) << command << QByteArray("-ERR no\r\n") << true;
    }
    QTest::newRow("PASS [AUTH]") << QByteArray("PASS") << QByteArray("-ERR [AUTH] wrong\r\n") << true;
    QTest::newRow("PASS [SYS/PERM]") << QByteArray("PASS") << QByteArray("-ERR [SYS/PERM] gone\r\n") << true;
    QTest::newRow("PASS [SYS/TEMPER]") << QByteArray("PASS") << QByteArray("-ERR [SYS/TEMPER] x\r\n") << true;
}

void tst_SafeConversation::temporaryRefusalsStayQuiet()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(bool, box);
    m_server->setReply(command, {reply});

    QCOMPARE(m_rig->checkForMessages().size(), box ? 1 : 0);
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(m_rig->idle());

    // The next check tries again.
    m_server->setReply(command, {"+OK\r\n"});
    QVERIFY(m_rig->checkForMessages().isEmpty());
    QCOMPARE(m_rig->platform().shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
}

QTEST_MAIN(tst_SafeConversation)
#include "tst_SafeConversation.moc"

#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/FakePlatform.h"
#include "support/ScriptedPop3Server.h"
#include "tray/CTrayIcon.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <optional>

using Chunks = QList<QByteArray>;

// Whole checks over real sockets against a scripted POP3 server on the loopback address.
class tst_CheckMail : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void statReplies_data();
    void statReplies();
    void refusals_data();
    void refusals();
    void noVerdictEndsAtTheTimeOut_data();
    void noVerdictEndsAtTheTimeOut();
    void lostConnectionEndsAtOnce_data();
    void lostConnectionEndsAtOnce();
    void serverTextChoosesPortAndTls_data();
    void serverTextChoosesPortAndTls();
    void triggersAreOffDuringAConversation_data();
    void triggersAreOffDuringAConversation();
    void emptyPasswordSendsPassWithItsBlank();
    void everyCheckWithMailRepeatsTheActions();
    void failingCommandLineKeepsTheResult();
    void stayingOffLineNeverConnects_data();
    void stayingOffLineNeverConnects();
    void missingDetailsAskForThemOnce();
    void noToolTipLeavesTheTipAlone();
    void quickCheckNeverShowsTheCheckingPicture();
    void quitDuringACheck();
    void nothingRunsAfterQuit();
    void scheduler();
    void newMailNotification_data();
    void newMailNotification();
    void doNotDisturbSilencesOnlyTheSound();

private:
    // Runs one check from the button; returns once it has ended.
    void check();
    void expectIdle();
    QIcon picture(const char* name) const { return m_window->findChild<PictureBox*>(name)->Picture(); }

    std::optional<ScriptedPop3Server> m_server;
    std::optional<CheckingWindow> m_rig;
    FakePlatform* m_platform = nullptr;
    frmSettings* m_window = nullptr;
};

void tst_CheckMail::init()
{
    m_server.emplace();
    QVERIFY(m_server->isListening());
    m_rig.emplace(QStringLiteral("127.0.0.1:%1").arg(m_server->port()), QStringLiteral("alice"),
                  QStringLiteral("wonderland"));
    m_platform = &m_rig->platform();
    m_window = &m_rig->window();
    m_window->tmrTimeout->setInterval(400);
}

void tst_CheckMail::cleanup()
{
    m_rig.reset();
    m_server.reset();
}

void tst_CheckMail::check()
{
    m_window->cmdCheckNow->click();
}

void tst_CheckMail::expectIdle()
{
    QVERIFY(m_window->tmrCheck->Enabled());
    QVERIFY(m_window->cmdCheckNow->isEnabled());
    QVERIFY(m_window->mnuPopUpCheck->isEnabled());
    QVERIFY(m_window->cmdOK->isEnabled());
    QVERIFY(!m_window->tmrIconAnim->Enabled());
    QVERIFY(!m_window->tmrTimeout->Enabled());
    QTRY_VERIFY(!m_server->hasClient());
}

void tst_CheckMail::statReplies_data()
{
    QTest::addColumn<Chunks>("reply");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<bool>("mail");
    QTest::addColumn<bool>("quitSent");
    QTest::newRow("0 0") << Chunks{"+OK 0 0\r\n"} << "No e-mail waiting (0 Kb)" << false << true;
    QTest::newRow("1 512") << Chunks{"+OK 1 512\r\n"} << "1 e-mail waiting (0 Kb)" << true << true;
    QTest::newRow("1 1536") << Chunks{"+OK 1 1536\r\n"} << "1 e-mail waiting (2 Kb)" << true << true;
    QTest::newRow("2 2560") << Chunks{"+OK 2 2560\r\n"} << "2 e-mails waiting (2 Kb)" << true << true;
    QTest::newRow("3 5000 x") << Chunks{"+OK 3 5000 x\r\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("40000 10") << Chunks{"+OK 40000 10\r\n"} << "40000 e-mails waiting (0 Kb)" << true << true;
    QTest::newRow("3 5000000000") << Chunks{"+OK 3 5000000000\r\n"} << "3 e-mails waiting (4882812 Kb)"
                                  << true << true;
    QTest::newRow("split inside +OK")
        << Chunks{"+O", "K 3 5000\r\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("split inside the size")
        << Chunks{"+OK 3 50", "00\r\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("split before the line end")
        << Chunks{"+OK 3 5000", "\r\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("bare line feed") << Chunks{"+OK 3 5000\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("character cut short before a bare line feed")
        << Chunks{"+OK 3 5000 \xC3", "\n"} << "3 e-mails waiting (5 Kb)" << true << true;
    QTest::newRow("no size") << Chunks{"+OK 3\r\n"} << "Off-Line" << false << false;
    QTest::newRow("size not a number") << Chunks{"+OK 3 5k\r\n"} << "Off-Line" << false << false;
}

void tst_CheckMail::statReplies()
{
    QFETCH(Chunks, reply);
    QFETCH(bool, mail);
    m_server->setReply("STAT", reply);
    check();
    QTEST(m_platform->shownTip(), "tip");
    QCOMPARE(m_platform->shownIcon().cacheKey(), picture(mail ? "picGotMail" : "picNoMail").cacheKey());
    QCOMPARE(m_platform->beeps, mail ? 1 : 0);
    QCOMPARE(m_platform->commandLines, mail ? QStringList{"mail-arrived --now"} : QStringList{});
    QTEST(m_server->received("QUIT"), "quitSent");
    QVERIFY(m_platform->messages.isEmpty());
    expectIdle();
}

void tst_CheckMail::refusals_data()
{
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    const QString wrong =
        QStringLiteral("Error connecting to POP3 server : \n\n[AUTH] Authentication failed..\n");
    QTest::newRow("greeting") << QByteArray() << QByteArray("-ERR [AUTH] Authentication failed.\r\n")
                              << wrong;
    QTest::newRow("USER") << QByteArray("USER") << QByteArray("-ERR [AUTH] Authentication failed.\r\n")
                          << wrong;
    QTest::newRow("PASS") << QByteArray("PASS") << QByteArray("-ERR [AUTH] Authentication failed.\r\n")
                          << wrong;
    QTest::newRow("STAT") << QByteArray("STAT") << QByteArray("-ERR [AUTH] Authentication failed.\r\n")
                          << wrong;
    QTest::newRow("QUIT") << QByteArray("QUIT") << QByteArray("-ERR [AUTH] Authentication failed.\r\n")
                          << wrong;
    QTest::newRow("bare -ERR") << QByteArray("PASS") << QByteArray("-ERR\r\n")
                               << QStringLiteral("Error connecting to POP3 server : \n\n.\n");
    QTest::newRow("split -ERR") << QByteArray("PASS") << QByteArray("-E|RR locked|\r\n")
                                << QStringLiteral("Error connecting to POP3 server : \n\nlocked.\n");
}

void tst_CheckMail::refusals()
{
    QFETCH(QByteArray, stage);
    QFETCH(QByteArray, reply);
    const Chunks chunks = reply.split('|');
    if (stage.isEmpty())
        m_server->setGreeting(chunks);
    else
        m_server->setReply(stage, chunks);
    check();

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("Quillpost"));
    QTEST(m_platform->messages[0].text, "message");
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), picture("picNoMail").cacheKey());
    QCOMPARE(m_platform->beeps, 0);
    // The conversation ends with a QUIT that is not waited for, and nothing after the refusal.
    QTRY_VERIFY(m_server->received("QUIT"));
    const QList<QByteArray> order{"USER", "PASS", "STAT"};
    const qsizetype refusedAt = stage.isEmpty() ? 0 : order.indexOf(stage);
    for (qsizetype i = refusedAt < 0 ? order.size() : refusedAt + 1; i < order.size(); ++i)
        QVERIFY2(!m_server->received(order[i]), order[i].constData());
    expectIdle();
}

void tst_CheckMail::noVerdictEndsAtTheTimeOut_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("silent") << "silent";
    QTest::newRow("lower-case +ok") << "lower";
    QTest::newRow("silent after PASS") << "pass";
}

void tst_CheckMail::noVerdictEndsAtTheTimeOut()
{
    QFETCH(QString, server);
    if (server == QLatin1String("silent"))
        m_server->setGreeting({});
    else if (server == QLatin1String("lower"))
        m_server->setGreeting({"+ok ready\r\n"});
    else
        m_server->setReply("PASS", {});

    // Each conversation has its own full time-out: the first one of a run too. A coarse timer may
    // fire up to 5 % early, and the clock counts whole milliseconds.
    QElapsedTimer clock;
    clock.start();
    check();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 370, QByteArray::number(elapsed).constData());
    QVERIFY2(elapsed < 2 * 400, QByteArray::number(elapsed).constData());
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    expectIdle();
}

void tst_CheckMail::lostConnectionEndsAtOnce_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("refused"); // at a port where nothing listens
    QTest::newRow("refused port") << "127.0.0.1" << true;
    QTest::newRow("unknown host") << "nowhere.invalid" << false; // a name that never resolves
    QTest::newRow("closed after the greeting") << "127.0.0.1" << false;
}

void tst_CheckMail::lostConnectionEndsAtOnce()
{
    QFETCH(QString, host);
    QFETCH(bool, refused);
    m_window->tmrTimeout->setInterval(60000);
    m_server->setGreeting({"+OK bye\r\n"}, ScriptedPop3Server::Then::Close);
    m_window->SetServer(host + u':' +
                        QString::number(refused ? ScriptedPop3Server::refusedPort() : m_server->port()));
    QElapsedTimer clock;
    clock.start();
    check();
    QVERIFY2(clock.elapsed() < 2000, QByteArray::number(clock.elapsed()).constData());
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    expectIdle();

    m_server->setGreeting({"+OK ready\r\n"});
    m_window->SetServer(QStringLiteral("127.0.0.1:%1").arg(m_server->port()));
    check();
    QCOMPARE(m_platform->shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
}

void tst_CheckMail::serverTextChoosesPortAndTls_data()
{
    QTest::addColumn<QString>("server"); // %1: the test server's port
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("message");
    QTest::newRow("host:port") << "127.0.0.1:%1" << 1 << true << "No e-mail waiting (0 Kb)" << QString();
    QTest::newRow("pop3 scheme") << "pop3://127.0.0.1:%1/" << 1 << true << "No e-mail waiting (0 Kb)"
                                 << QString();
    // A server that answers in plain text where TLS was asked for gets no login, ever.
    QTest::newRow("pop3s at a plain server") << "pop3s://127.0.0.1:%1" << 1 << false << "Off-Line"
                                             << "Error connecting to POP3 server : \n\nThe server did not "
                                                "set up a secure connection on this port.\n";
    QTest::newRow("unreadable") << "127.0.0.1:%1x" << 0 << false << "Off-Line" << QString();
}

void tst_CheckMail::serverTextChoosesPortAndTls()
{
    QFETCH(QString, server);
    QFETCH(QString, message);
    m_window->SetServer(server.arg(m_server->port()));
    check();
    QTEST(m_server->connectionCount(), "connections");
    QTEST(m_server->received("USER"), "loggedIn");
    QTEST(m_server->received("PASS"), "loggedIn");
    QTEST(m_platform->shownTip(), "tip");
    QCOMPARE(m_platform->messages.isEmpty(), message.isEmpty());
    if (!message.isEmpty())
        QCOMPARE(m_platform->messages[0].text, message);
    expectIdle();
}

void tst_CheckMail::triggersAreOffDuringAConversation_data()
{
    QTest::addColumn<Chunks>("statReply");
    QTest::newRow("success") << Chunks{"+OK 1 10\r\n"};
    QTest::newRow("refusal") << Chunks{"-ERR no\r\n"};
    QTest::newRow("failure") << Chunks{"+OK broken\r\n"};
}

void tst_CheckMail::triggersAreOffDuringAConversation()
{
    QFETCH(Chunks, statReply);
    m_server->setReply("STAT", statReply);
    QString tip;
    bool anyTriggerOn = true, animating = false, timing = false;
    connect(&*m_server, &ScriptedPop3Server::lineReceived, this, [&](const QByteArray& line) {
        if (!line.startsWith("STAT"))
            return;
        const frmSettings& w = *m_window;
        anyTriggerOn = w.tmrCheck->Enabled() || w.cmdCheckNow->isEnabled() || w.mnuPopUpCheck->isEnabled() ||
                       w.cmdOK->isEnabled();
        animating = w.tmrIconAnim->Enabled();
        timing = w.tmrTimeout->Enabled();
        tip = m_platform->shownTip();
    });
    check();
    QVERIFY(!anyTriggerOn);
    QVERIFY(animating);
    QVERIFY(timing);
    QCOMPARE(tip, QStringLiteral("Checking ..."));
    expectIdle();
}

void tst_CheckMail::emptyPasswordSendsPassWithItsBlank()
{
    m_window->txtPassword->clear();
    check();
    QVERIFY(m_server->receivedLines().contains("PASS "));
    QVERIFY(m_server->receivedLines().contains("USER alice"));
}

void tst_CheckMail::everyCheckWithMailRepeatsTheActions()
{
    m_server->setReply("STAT", {"+OK 3 5000\r\n"});
    m_window->optSound[2]->click();
    m_window->msSample = QStringLiteral("/tmp/bell.wav");
    check();
    check();
    QCOMPARE(m_platform->playedSounds, (QStringList{"/tmp/bell.wav", "/tmp/bell.wav"}));
    QCOMPARE(m_platform->commandLines.size(), 2);
    QCOMPARE(m_platform->beeps, 0);
}

void tst_CheckMail::failingCommandLineKeepsTheResult()
{
    m_server->setReply("STAT", {"+OK 3 5000\r\n"});
    m_window->txtRun->clear();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot start the command line")));
    check();
    QCOMPARE(m_platform->beeps, 1);
    QCOMPARE(m_platform->shownTip(), QStringLiteral("3 e-mails waiting (5 Kb)"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), picture("picGotMail").cacheKey());
    expectIdle();
}

void tst_CheckMail::stayingOffLineNeverConnects_data()
{
    QTest::addColumn<int>("toolTip");
    QTest::newRow("count only") << 1;
    QTest::newRow("no tool tip") << 0;
}

void tst_CheckMail::stayingOffLineNeverConnects()
{
    QFETCH(int, toolTip);
    m_window->optIfOffLine[0]->click();
    m_window->optTT[static_cast<std::size_t>(toolTip)]->click();
    gTrayIcon->ToolTip(QStringLiteral("3 e-mails waiting"));
    gTrayIcon->Refresh();
    check();
    m_window->mnuPopUpCheck->trigger();
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    QCOMPARE(m_server->connectionCount(), 0);
    expectIdle();
}

void tst_CheckMail::missingDetailsAskForThemOnce()
{
    m_window->txtUserId->clear();
    // A second check while the message is still open must not stack another message.
    m_platform->whileMessageOpen = [this] {
        m_window->cmdCheckNow->click();
    };
    check();
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("Quillpost Set Up"));
    QCOMPARE(m_server->connectionCount(), 0);
    expectIdle();
}

void tst_CheckMail::noToolTipLeavesTheTipAlone()
{
    m_window->optTT[0]->click();
    m_server->setReply("STAT", {"+OK 2 10\r\n"});
    check();
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), picture("picGotMail").cacheKey());
    m_server->setReply("PASS", {"-ERR no\r\n"});
    gTrayIcon->ToolTip(QStringLiteral("kept"));
    gTrayIcon->Refresh();
    check();
    QCOMPARE(m_platform->shownTip(), QStringLiteral("kept"));
}

void tst_CheckMail::quickCheckNeverShowsTheCheckingPicture()
{
    check();
    for (const FakePlatform::TrayCall& call : m_platform->trayCalls)
        QVERIFY(call.data.hIcon.cacheKey() != picture("picCheck").cacheKey());
}

void tst_CheckMail::quitDuringACheck()
{
    m_server->setReply("PASS", {});
    bool quitSentBeforeEnd = true;
    connect(&*m_server, &ScriptedPop3Server::lineReceived, this, [&](const QByteArray& line) {
        if (line.startsWith("PASS")) {
            m_window->mnuPopUpExit->trigger();
            quitSentBeforeEnd = m_server->received("QUIT");
        }
    });
    check();
    QCOMPARE(m_platform->endProgramCalls, 1);
    QVERIFY(!quitSentBeforeEnd);
    QVERIFY(!m_platform->iconShown());
}

void tst_CheckMail::nothingRunsAfterQuit()
{
    // A timed check due at every turn of the event loop, as the end turns it once more.
    m_window->miInterval = 1;
    m_window->tmrCheck->setInterval(0);
    m_window->mnuPopUpExit->trigger();
    QCOMPARE(m_platform->endProgramCalls, 1);
    QCoreApplication::processEvents();
    QCOMPARE(m_server->connectionCount(), 0);
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_CheckMail::scheduler()
{
    frmSettings& w = *m_window;
    w.optIfOffLine[0]->click(); // checks show "Off-Line" at once while off the network
    w.miInterval = 3;
    const auto checksAfter = [&](int ticks) {
        const qsizetype before = m_platform->trayCalls.size();
        for (int i = 0; i < ticks; ++i)
            w.tmrCheck_Timer();
        return m_platform->trayCalls.size() - before;
    };
    QCOMPARE(checksAfter(2), 0);
    QCOMPARE(checksAfter(1), 1);
    QCOMPARE(checksAfter(6), 2);

    // A point-to-point link coming up starts a check at the next poll, every fifth tick.
    w.miInterval = 3600;
    m_platform->links = {{QStringLiteral("ppp0"), true, true, true}};
    // Ticks beyond one poll, so a late check fails the bound below rather than the loop.
    int ticks = 0;
    while (m_server->connectionCount() == 0 && ticks < 15) {
        w.tmrCheck_Timer();
        ++ticks;
    }
    QCOMPARE(m_server->connectionCount(), 1);
    QVERIFY(ticks <= 5);
    // A link that stays up starts no further check.
    for (int i = 0; i < 10; ++i)
        w.tmrCheck_Timer();
    QCOMPARE(m_server->connectionCount(), 1);

    // The network coming up, and then a VPN link on top of it, each start a check.
    const auto poll = [&] {
        for (int i = 0; i < 5; ++i)
            w.tmrCheck_Timer();
    };
    m_platform->links.clear();
    m_platform->networkUp = true;
    poll();
    QCOMPARE(m_server->connectionCount(), 2);
    m_platform->links = {{QStringLiteral("tun0"), true, true, true}};
    poll();
    QCOMPARE(m_server->connectionCount(), 3);
}

void tst_CheckMail::newMailNotification_data()
{
    QTest::addColumn<Chunks>("stats"); // the STAT reply of each check in turn
    QTest::addColumn<QStringList>("bodies");
    QTest::addColumn<int>("closes");
    const QString three = QStringLiteral("3 new e-mails (3 waiting)");
    QTest::newRow("first check: all are new") << Chunks{"+OK 3 9\r\n"} << QStringList{three} << 0;
    QTest::newRow("same count: no news") << Chunks{"+OK 3 9\r\n", "+OK 3 9\r\n"} << QStringList{three} << 0;
    QTest::newRow("a rise") << Chunks{"+OK 3 9\r\n", "+OK 5 9\r\n"}
                            << QStringList{three, "2 new e-mails (5 waiting)"} << 0;
    QTest::newRow("one more") << Chunks{"+OK 3 9\r\n", "+OK 4 9\r\n"}
                              << QStringList{three, "1 new e-mail (4 waiting)"} << 0;
    QTest::newRow("a fall: no news") << Chunks{"+OK 3 9\r\n", "+OK 2 9\r\n"} << QStringList{three} << 0;
    QTest::newRow("none left: closed") << Chunks{"+OK 3 9\r\n", "+OK 0 0\r\n"} << QStringList{three} << 1;
    QTest::newRow("a failed check changes nothing")
        << Chunks{"+OK 3 9\r\n", "+OK 3\r\n", "+OK 3 9\r\n"} << QStringList{three} << 0;
    QTest::newRow("counts beyond 16 bits")
        << Chunks{"+OK 40000 9\r\n", "+OK 40001 9\r\n"}
        << QStringList{"40000 new e-mails (40000 waiting)", "1 new e-mail (40001 waiting)"} << 0;
    QTest::newRow("after none, all are new again") << Chunks{"+OK 3 9\r\n", "+OK 0 0\r\n", "+OK 1 9\r\n"}
                                                   << QStringList{three, "1 new e-mail (1 waiting)"} << 1;
}

void tst_CheckMail::newMailNotification()
{
    QFETCH(Chunks, stats);
    for (const QByteArray& stat : stats) {
        m_server->setReply("STAT", {stat});
        check();
    }
    QStringList bodies;
    for (const DesktopNotification& n : m_platform->notifications) {
        QCOMPARE(n.summary, QStringLiteral("Quillpost"));
        QCOMPARE(n.actions, (QStringList{"default", "Settings", "check", "Check Now"}));
        bodies << n.body;
    }
    QTEST(bodies, "bodies");
    QTEST(m_platform->notificationCloses, "closes");
}

void tst_CheckMail::doNotDisturbSilencesOnlyTheSound()
{
    m_platform->inhibited = true;
    m_server->setReply("STAT", {"+OK 3 5000\r\n"});
    check();
    m_window->optSound[2]->click();
    check();
    QCOMPARE(m_platform->beeps, 0);
    QVERIFY(m_platform->playedSounds.isEmpty());
    QCOMPARE(m_platform->commandLines.size(), 2);
    QCOMPARE(m_platform->shownTip(), QStringLiteral("3 e-mails waiting (5 Kb)"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), picture("picGotMail").cacheKey());
}

QTEST_MAIN(tst_CheckMail)
#include "tst_CheckMail.moc"

#include "support/CheckingWindow.h"
#include "support/PrivateBus.h"
#include "support/ScriptedPop3Server.h"

#include "platform/LinuxPlatform.h"
#include "platform/Timer.h"
#include "settings/frmSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

// The system waking from suspend, told by a stand-in for logind on a private system bus.
class tst_Resume : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void wakingEndsTheCheckAndChecksAgain();

private:
    PrivateBus m_bus;
};

void tst_Resume::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("no dbus-daemon");
    QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
    // Before anything here touches the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toUtf8());
}

void tst_Resume::wakingEndsTheCheckAndChecksAgain()
{
    QDBusConnection logind = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("logind"));
    QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    const auto prepareForSleep = [&](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << start;
        QVERIFY(logind.send(signal));
    };

    ScriptedPop3Server server;
    QVERIFY(server.isListening());
    CheckingWindow rig(QStringLiteral("127.0.0.1:%1").arg(server.port()), QStringLiteral("alice"),
                       QStringLiteral("wonderland"));
    LinuxPlatform system;
    system.onResume([&] { rig.platform().resume(); });
    rig.platform().networkUp = true;
    frmSettings& w = rig.window();
    w.tmrCheck->setInterval(3600000); // the test ticks
    const auto poll = [&] {
        for (int i = 0; i < 5; ++i)
            w.tmrCheck_Timer();
    };
    poll(); // the network found up: a check, and none after it while it stays up
    QCOMPARE(server.connectionCount(), 1);

    // Sleep and wake while a check waits for a server that says nothing.
    server.setGreeting({});
    connect(
        &server, &ScriptedPop3Server::clientConnected, this,
        [&] {
            prepareForSleep(true);
            prepareForSleep(false);
        },
        Qt::SingleShotConnection);
    QElapsedTimer clock;
    clock.start();
    rig.check();
    QVERIFY2(clock.elapsed() < w.tmrTimeout->Interval() / 2, "the check ran to its time-out");
    QCOMPARE(rig.platform().shownTip(), QStringLiteral("Off-Line"));
    QVERIFY(rig.idle());

    server.setGreeting({"+OK ready\r\n"});
    poll();
    QCOMPARE(server.connectionCount(), 3);
    QCOMPARE(rig.platform().shownTip(), QStringLiteral("No e-mail waiting (0 Kb)"));
}

QTEST_MAIN(tst_Resume)
#include "tst_Resume.moc"

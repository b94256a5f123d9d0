#include "support/CheckingWindow.h"
#include "support/ScriptedPop3Server.h"

#include "platform/LinuxPlatform.h"
#include "platform/Timer.h"
#include "settings/frmSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// The system waking from suspend, told by a stand-in for logind on a private system bus.
class tst_Resume : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void wakingEndsTheCheckAndChecksAgain();

private:
    QProcess m_bus;
    QString m_address;
};

void tst_Resume::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("no dbus-daemon");
    m_bus.start(daemon,
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY(m_bus.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 5000);
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
    // Before anything here touches the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
}

void tst_Resume::cleanupTestCase()
{
    m_bus.terminate();
    if (!m_bus.waitForFinished(5000))
        m_bus.kill();
}

void tst_Resume::wakingEndsTheCheckAndChecksAgain()
{
    QDBusConnection logind = QDBusConnection::connectToBus(m_address, QStringLiteral("logind"));
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

#include "support/CheckingWindow.h"
#include "support/FakePlatform.h"
#include "support/FreshProcess.h"
#include "support/LoadedFiles.h"
#include "support/ScriptedPop3Server.h"

#include "mail/Internet.h"
#include "platform/LinuxPlatform.h"
#include "platform/Timer.h"
#include "settings/frmSettings.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// Set in the child process that runs in its own network namespace: the namespace it must not be
// in (the test runner's own).
constexpr char namespaceChild[] = "QUILLPOST_TEST_HOST_NETNS";
constexpr int noNamespaceExit = 97;
constexpr int waitMs = 5000;

bool onLineNow(Platform& platform)
{
    return Internet::IsOnLine(Internet::CurrentConnection(platform));
}

NetworkLink link(const char* name, bool up, bool running, bool hasAddress)
{
    return {QString::fromLatin1(name), up, running, hasAddress};
}

QByteArray networkNamespace()
{
    struct stat status;
    if (::stat("/proc/self/ns/net", &status) != 0)
        return {};
    return QByteArray::number(static_cast<quint64>(status.st_ino));
}

QString ipTool()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("ip"));
    return inPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin"})
                            : inPath;
}

bool ip(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ipTool(), arguments);
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(waitMs);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("ip %s: %s", qPrintable(arguments.join(' ')), process.readAll().constData());
        return false;
    }
    return true;
}

// The process side of a tun link: while it is open the link has a carrier (is running).
class TunDevice
{
public:
    explicit TunDevice(const char* name)
        : m_fd(::open("/dev/net/tun", O_RDWR | O_CLOEXEC))
    {
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
        if (m_fd >= 0 && ::ioctl(m_fd, TUNSETIFF, &request) != 0)
            close();
    }
    ~TunDevice() { close(); }
    TunDevice(const TunDevice&) = delete;
    TunDevice& operator=(const TunDevice&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Waits until the kernel reports the first point-to-point link as given.
bool firstLinkBecomes(Platform& platform, const NetworkLink& wanted)
{
    return QTest::qWaitFor(
        [&] {
            const QList<NetworkLink> links = platform.pointToPointLinks();
            return !links.isEmpty() && links.first().name == wanted.name && links.first().up == wanted.up &&
                   links.first().running == wanted.running && links.first().hasAddress == wanted.hasAddress;
        },
        waitMs);
}

} // namespace

class tst_Internet : public QObject
{
    Q_OBJECT
private slots:
    void gioLoadsWhenTheNetworkIsFirstAsked();
    void withoutGioTheNetworkCountsAsReached();
    void isOnLine_data();
    void isOnLine();
    void followsRealTunLinks();
    void followsTheNetwork();

private:
    // Runs body in a child process with a network namespace of its own.
    void inPrivateNamespace(void (tst_Internet::*body)());
    void tunLinksInNamespace();
    void networkInNamespace();
};

void tst_Internet::gioLoadsWhenTheNetworkIsFirstAsked()
{
    // Loading GIO is milliseconds of every start, and the first question comes seconds later.
    if (!inFreshProcess()) {
        QVERIFY(passesInFreshProcess());
        return;
    }
    LinuxPlatform platform;
    QVERIFY(!isMapped("libgio-2.0"));
    platform.networkAvailable();
    QVERIFY(isMapped("libgio-2.0"));
}

void tst_Internet::withoutGioTheNetworkCountsAsReached()
{
    // A network state that cannot be told must not stop the checks, nor fill the log at every poll.
    if (!inFreshProcess()) {
        QProcessEnvironment standIn;
        standIn.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(QUILLPOST_STAND_IN_GIO));
        QVERIFY(passesInFreshProcess(standIn));
        return;
    }
    const QRegularExpression warning(QStringLiteral("network monitor cannot start"));
    QTest::ignoreMessage(QtWarningMsg, warning);
    QTest::failOnWarning(warning);
    LinuxPlatform platform;
    for (int poll = 0; poll < 3; ++poll)
        QVERIFY(platform.networkAvailable());
}

void tst_Internet::isOnLine_data()
{
    QTest::addColumn<QList<NetworkLink>>("links");
    QTest::addColumn<bool>("onLine");
    QTest::newRow("no link") << QList<NetworkLink>() << false;
    QTest::newRow("connected") << QList<NetworkLink>({link("ppp0", true, true, true)}) << true;
    QTest::newRow("dialling") << QList<NetworkLink>({link("ppp0", true, false, false)}) << false;
    QTest::newRow("negotiating an address") << QList<NetworkLink>({link("ppp0", true, true, false)}) << false;
    QTest::newRow("carrier lost") << QList<NetworkLink>({link("ppp0", true, false, true)}) << false;
    QTest::newRow("down with its address") << QList<NetworkLink>({link("ppp0", false, false, true)}) << false;
    QTest::newRow("first down, second connected")
        << QList<NetworkLink>({link("ppp0", false, false, false), link("tun0", true, true, true)}) << false;
    QTest::newRow("first dialling, second connected")
        << QList<NetworkLink>({link("ppp0", true, false, false), link("ppp1", true, true, true)}) << false;
    QTest::newRow("first connected, second dialling")
        << QList<NetworkLink>({link("ppp0", true, true, true), link("ppp1", true, false, false)}) << true;
}

void tst_Internet::isOnLine()
{
    QFETCH(QList<NetworkLink>, links);
    QFETCH(bool, onLine);
    FakePlatform platform;
    platform.links = links;
    QCOMPARE(onLineNow(platform), onLine);
}

void tst_Internet::followsRealTunLinks()
{
    inPrivateNamespace(&tst_Internet::tunLinksInNamespace);
}

void tst_Internet::followsTheNetwork()
{
    inPrivateNamespace(&tst_Internet::networkInNamespace);
}

void tst_Internet::inPrivateNamespace(void (tst_Internet::*body)())
{
    if (qEnvironmentVariableIsSet(namespaceChild)) {
        const QByteArray own = networkNamespace();
        QVERIFY2(!own.isEmpty() && own != qgetenv(namespaceChild), "not in a network namespace of its own");
        (this->*body)();
        return;
    }
    if (::geteuid() != 0)
        QSKIP("making a private network namespace needs root");
    if (ipTool().isEmpty())
        QSKIP("no ip tool");
    if (!QFile::exists(QStringLiteral("/dev/net/tun")))
        QSKIP("no tun driver");

    // The same test runs again in a child process that has a network namespace of its own, so the
    // links made there never touch this machine's network, and vanish with the child. GIO there
    // follows the kernel's routes, not this machine's NetworkManager.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(namespaceChild), QString::fromLatin1(networkNamespace()));
    environment.insert(QStringLiteral("GIO_USE_NETWORK_MONITOR"), QStringLiteral("netlink"));
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        if (::unshare(CLONE_NEWNET) != 0)
            ::_exit(noNamespaceExit);
    });
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(QTest::currentTestFunction())});
    QVERIFY(child.waitForStarted(waitMs));
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(waitMs);
        QFAIL("the namespace check did not finish");
    }
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == noNamespaceExit)
        QSKIP("no private network namespace available");
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
}

void tst_Internet::tunLinksInNamespace()
{
    LinuxPlatform platform;
    QVERIFY(platform.pointToPointLinks().isEmpty());
    QVERIFY(!onLineNow(platform));

    // A link that no process serves yet: down, then up without a carrier (still dialling).
    QVERIFY(ip({"tuntap", "add", "dev", "qp0", "mode", "tun"}));
    QVERIFY(firstLinkBecomes(platform, link("qp0", false, false, false)));
    QVERIFY(!onLineNow(platform));
    QVERIFY(ip({"link", "set", "qp0", "up"}));
    QVERIFY(firstLinkBecomes(platform, link("qp0", true, false, false)));
    QVERIFY(!onLineNow(platform));

    // Running, but with no address beyond the one the kernel makes up for IPv6 on its own.
    TunDevice device("qp0");
    QVERIFY(device.isOpen());
    if (ip({"-6", "addr", "add", "fe80::1/64", "dev", "qp0"}))
        QVERIFY(firstLinkBecomes(platform, link("qp0", true, true, false)));
    QVERIFY(!onLineNow(platform));

    QVERIFY(ip({"addr", "add", "10.99.0.1", "peer", "10.99.0.2", "dev", "qp0"}));
    QVERIFY(firstLinkBecomes(platform, link("qp0", true, true, true)));
    QVERIFY(onLineNow(platform));

    QVERIFY(ip({"link", "set", "qp0", "down"}));
    QVERIFY(firstLinkBecomes(platform, link("qp0", false, false, true)));
    QVERIFY(!onLineNow(platform));
    QVERIFY(ip({"link", "set", "qp0", "up"}));
    QVERIFY(firstLinkBecomes(platform, link("qp0", true, true, true)));
    QVERIFY(onLineNow(platform));

    // The serving process goes away: the link stays up but loses its carrier.
    device.close();
    QVERIFY(firstLinkBecomes(platform, link("qp0", true, false, true)));
    QVERIFY(!onLineNow(platform));

    // A second link that is fully up does not count while the first one is not.
    QVERIFY(ip({"tuntap", "add", "dev", "qp1", "mode", "tun"}));
    TunDevice second("qp1");
    QVERIFY(second.isOpen());
    QVERIFY(ip({"addr", "add", "10.99.1.1", "peer", "10.99.1.2", "dev", "qp1"}));
    QVERIFY(ip({"link", "set", "qp1", "up"}));
    QVERIFY(QTest::qWaitFor([&] { return platform.pointToPointLinks().size() == 2; }, waitMs));
    QVERIFY(firstLinkBecomes(platform, link("qp0", true, false, true)));
    QVERIFY(!onLineNow(platform));
    QVERIFY(ip({"tuntap", "del", "dev", "qp0", "mode", "tun"}));
    QVERIFY(firstLinkBecomes(platform, link("qp1", true, true, true)));
    QVERIFY(onLineNow(platform));
}

void tst_Internet::networkInNamespace()
{
    QVERIFY(ip({"link", "set", "lo", "up"}));
    ScriptedPop3Server server;
    QVERIFY(server.isListening());
    LinuxPlatform real;
    CheckingWindow rig(QStringLiteral("127.0.0.1:%1").arg(server.port()), QStringLiteral("alice"),
                       QStringLiteral("wonderland"));
    rig.platform().networkFrom = &real;
    frmSettings& w = rig.window();
    w.optIfOffLine[0]->click();
    w.tmrCheck->setInterval(3600000); // the test ticks
    const auto poll = [&] {
        for (int i = 0; i < 5; ++i)
            w.tmrCheck_Timer();
    };

    // Loopback alone is no network: staying off-line connects nowhere.
    QVERIFY(!onLineNow(real));
    poll();
    rig.check();
    QCOMPARE(server.connectionCount(), 0);
    QCOMPARE(rig.platform().shownTip(), QStringLiteral("Off-Line"));

    // A local network with a default route: the next poll finds it and checks at once.
    if (!ip({"link", "add", "qe0", "type", "dummy"})) {
        QVERIFY(ip({"link", "add", "qe0", "type", "veth", "peer", "name", "qe1"}));
        QVERIFY(ip({"link", "set", "qe1", "up"}));
    }
    QVERIFY(ip({"addr", "add", "10.98.0.1/24", "dev", "qe0"}));
    QVERIFY(ip({"link", "set", "qe0", "up"}));
    QVERIFY(!onLineNow(real));
    QVERIFY(ip({"route", "add", "default", "via", "10.98.0.2", "dev", "qe0"}));
    QVERIFY(QTest::qWaitFor([&] { return onLineNow(real); }, waitMs));
    poll();
    QCOMPARE(server.connectionCount(), 1);
    QVERIFY(server.received("STAT"));

    QVERIFY(ip({"route", "del", "default"}));
    QVERIFY(QTest::qWaitFor([&] { return !onLineNow(real); }, waitMs));
    poll();
    rig.check();
    QCOMPARE(server.connectionCount(), 1);

    // The network back, then a VPN link coming up: each starts a check.
    QVERIFY(ip({"route", "add", "default", "via", "10.98.0.2", "dev", "qe0"}));
    QVERIFY(QTest::qWaitFor([&] { return onLineNow(real); }, waitMs));
    poll();
    QCOMPARE(server.connectionCount(), 2);
    QVERIFY(ip({"tuntap", "add", "dev", "qp0", "mode", "tun"}));
    TunDevice device("qp0");
    QVERIFY(device.isOpen());
    QVERIFY(ip({"addr", "add", "10.99.0.1", "peer", "10.99.0.2", "dev", "qp0"}));
    QVERIFY(ip({"link", "set", "qp0", "up"}));
    QVERIFY(firstLinkBecomes(real, link("qp0", true, true, true)));
    poll();
    QCOMPARE(server.connectionCount(), 3);
}

QTEST_MAIN(tst_Internet)
#include "tst_Internet.moc"

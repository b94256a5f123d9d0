#include "support/PrivateBus.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestConfig.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

// The watcher a StatusNotifierItem host runs: with it on the bus, Qt's tray icon registers as an
// item with an exported menu instead of looking for an X11 tray.
class StatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
public:
    bool isStatusNotifierHostRegistered() const { return true; }

    // The bus names of the registered items.
    QStringList items;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
};

// One node of an exported menu layout, (ia{sv}av).
struct MenuNode
{
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;

    // Properties left out have their default value.
    QString label() const { return properties.value(QStringLiteral("label")).toString(); }
    bool enabled() const { return properties.value(QStringLiteral("enabled"), true).toBool(); }
    bool separator() const { return properties.value(QStringLiteral("type")) == QStringLiteral("separator"); }
};

MenuNode readNode(const QDBusArgument& argument)
{
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children << readNode(qvariant_cast<QDBusArgument>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

} // namespace

// The real program under a headless Wayland compositor, seen from its tray as a
// StatusNotifierItem host sees it: the icon registers, the host draws the exported menu, its items
// run a check and end the program, and activating the icon opens the settings window.
class tst_StatusNotifierItem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void menuRunsACheckAndQuits();

private:
    static void stop(QProcess& process);
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {});
    MenuNode layout();

    QTemporaryDir m_runtime;
    std::optional<TestConfig> m_config;
    PrivateBus m_bus;
    QProcess m_compositor;
    QProcess m_program;
    std::optional<QDBusConnection> m_host;
    StatusNotifierWatcher m_watcher;
    QString m_menuPath;
};

void tst_StatusNotifierItem::stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

void tst_StatusNotifierItem::initTestCase()
{
    for (const char* program : {"dbus-daemon", "weston"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(program))));
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());

    // A session bus of the test's own, which starts no services of the machine's.
    if (!m_bus.start(PrivateBus::Services::None))
        QSKIP(qPrintable(m_bus.error()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
    m_host.emplace(QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("host")));
    QVERIFY(m_host->isConnected());
    QVERIFY(m_host->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    QVERIFY(m_host->registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                   QDBusConnection::ExportAllContents));

    // A compositor without any screen.
    m_compositor.setProcessChannelMode(QProcess::MergedChannels);
    m_compositor.start(QStringLiteral("weston"),
                       {QStringLiteral("--backend=headless-backend.so"),
                        QStringLiteral("--socket=wayland-test"), QStringLiteral("--idle-time=0"),
                        QStringLiteral("--no-config")});
    const QString socket = m_runtime.filePath(QStringLiteral("wayland-test"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_compositor.state() == QProcess::NotRunning, 10000);
    if (m_compositor.state() == QProcess::NotRunning)
        QSKIP(qPrintable(QStringLiteral("weston cannot start here: ") +
                         QString::fromLocal8Bit(m_compositor.readAll().right(500))));
}

void tst_StatusNotifierItem::cleanupTestCase()
{
    stop(m_program);
    stop(m_compositor);
    m_host.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("host"));
}

QDBusMessage tst_StatusNotifierItem::call(const QString& path, const QString& interface,
                                          const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_watcher.items.value(0), path, interface, method);
    message.setArguments(arguments);
    return m_host->call(message, QDBus::Block, 5000);
}

MenuNode tst_StatusNotifierItem::layout()
{
    const QDBusMessage reply =
        call(m_menuPath, kMenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {};
    return readNode(qvariant_cast<QDBusArgument>(reply.arguments().at(1)));
}

void tst_StatusNotifierItem::menuRunsACheckAndQuits()
{
    // A user who has set up the program: tray icon only, the test's server, a long interval.
    ScriptedPop3Server server;
    QVERIFY(server.isListening());
    m_config.emplace();
    const QList<std::pair<QString, QString>> settings{
        {"AlreadyRun", "1"}, {"StartUp", "1"},
        {"AutoRun", "1"},    {"IfOffLine", "1"},
        {"Interval", "60"},  {"Sound", "0"},
        {"UserId", "user"},  {"POP3Server", QStringLiteral("127.0.0.1:%1").arg(server.port())}};
    for (const auto& [key, value] : settings)
        m_config->store(key, value);
    // The server keeps the check waiting at the greeting until the menu has been read.
    server.setGreeting({});

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-test"));
    // The client's protocol log shows when the settings window is mapped.
    environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    m_program.setProcessEnvironment(environment);
    m_program.start(QStringLiteral(QUILLPOST_PROGRAM), {});
    QVERIFY(m_program.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!m_watcher.items.isEmpty() || m_program.state() == QProcess::NotRunning, 20000);
    QCOMPARE(m_program.state(), QProcess::Running);

    const QDBusMessage menu =
        call(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {kItemInterface, QStringLiteral("Menu")});
    QCOMPARE(menu.type(), QDBusMessage::ReplyMessage);
    m_menuPath =
        qvariant_cast<QDBusObjectPath>(qvariant_cast<QDBusVariant>(menu.arguments().at(0)).variant()).path();
    QVERIFY(!m_menuPath.isEmpty());

    const auto items = [this] {
        QStringList shown;
        for (const MenuNode& node : layout().children)
            shown << (node.separator() ? QStringLiteral("-")
                                       : node.label() + (node.enabled() ? "" : " (greyed)"));
        return shown;
    };
    QCOMPARE(items(), QStringList({"Check _Now", "_Settings", "-", "_Quit"}));
    const QList<MenuNode> nodes = layout().children;

    const auto click = [this](const MenuNode& item) {
        return call(m_menuPath, kMenuInterface, QStringLiteral("Event"),
                    {item.id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    };
    QCOMPARE(click(nodes[0]).type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(items().value(0), QStringLiteral("Check _Now (greyed)"), 5000);

    // The check goes on and ends; the item can be chosen again.
    server.sendNow({"+OK ready\r\n"});
    QTRY_VERIFY_WITH_TIMEOUT(server.received("QUIT"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(items().value(0), QStringLiteral("Check _Now"), 5000);

    // Activating the icon, as a left click on it does, opens the settings window.
    QVERIFY(!m_program.readAllStandardError().contains("set_title(\"Quillpost Settings\")"));
    QCOMPARE(call(QStringLiteral("/StatusNotifierItem"), kItemInterface, QStringLiteral("Activate"), {0, 0})
                 .type(),
             QDBusMessage::ReplyMessage);
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT(
        (log += m_program.readAllStandardError()).contains("set_title(\"Quillpost Settings\")"), 10000);

    click(nodes[3]);
    QTRY_COMPARE_WITH_TIMEOUT(m_program.state(), QProcess::NotRunning, 10000);
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

QTEST_MAIN(tst_StatusNotifierItem)
#include "tst_StatusNotifierItem.moc"

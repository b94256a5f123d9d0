#include "platform/DesktopNotifications.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/PrivateBus.h"
#include "support/ScriptedPop3Server.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// Notifications stay until closed; the context menu picks "Check Now", as a user would.
const char kDunstConfig[] = R"([global]
    font = Monospace 10
    dmenu = %1
[urgency_normal]
    timeout = 0
)";

// A notification service that shows nothing but asks for quiet.
class QuietService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    Q_PROPERTY(bool Inhibited MEMBER inhibited)
public:
    bool inhibited = true;
};

} // namespace

// The notification as a real notification daemon shows it: dunst on a private X display and
// session bus, which prints every notification it gets.
class tst_DesktopNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void followsTheCount();
    void actions();
    void optionOffSendsNothing();
    // These stop the daemon.
    void silentOrMissingServiceHoldsNothingUp();
    void doNotDisturbSilencesTheSound();

private:
    // Starts a program and returns the first line it prints; empty when it prints none in time.
    static QByteArray startAndRead(QProcess& process, const QString& program, const QStringList& arguments);
    // Writes a file (executable) into the test's folder; returns its path.
    QString writeFile(const QString& name, const QString& text);
    void checkWith(const QByteArray& stat);
    // Each notification dunst has shown so far: its body and id.
    QList<std::pair<QString, uint>> shown() const;
    QVariant dunst(const QString& method, const QVariantList& arguments = {});

    QTemporaryDir m_dir;
    PrivateBus m_bus;
    QProcess m_display, m_dunst;
    QByteArray m_printed;
    std::optional<QDBusConnection> m_connection;
    std::optional<ScriptedPop3Server> m_server;
    std::optional<CheckingWindow> m_rig;
    std::optional<DesktopNotifications> m_desktop;
};

QByteArray tst_DesktopNotifications::startAndRead(QProcess& process, const QString& program,
                                                  const QStringList& arguments)
{
    process.start(program, arguments);
    const QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && process.state() != QProcess::NotRunning && !deadline.hasExpired())
        process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    return process.readLine().trimmed();
}

QString tst_DesktopNotifications::writeFile(const QString& name, const QString& text)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file.fileName();
}

void tst_DesktopNotifications::initTestCase()
{
    for (const char* tool : {"dbus-daemon", "Xvfb", "dunst"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));

    // Nothing starts on demand, so the machine's own daemon never answers in place of the test's.
    if (!m_bus.start(PrivateBus::Services::None))
        QSKIP(qPrintable(m_bus.error()));
    const QByteArray display = startAndRead(
        m_display, "Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
    if (display.isEmpty())
        QSKIP(qPrintable("no X server: " + m_display.readAllStandardError()));

    const QString pick = writeFile("pick", "#!/bin/sh\nexec grep -m1 'Check Now'\n");
    const QString dunstConfig = writeFile("dunstrc", QString::fromLatin1(kDunstConfig).arg(pick));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("WAYLAND_DISPLAY"); // dunst would rather go there
    environment.insert("DISPLAY", ":" + QString::fromLatin1(display));
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
    m_dunst.setProcessEnvironment(environment);
    connect(&m_dunst, &QProcess::readyReadStandardOutput, this,
            [this] { m_printed += m_dunst.readAllStandardOutput(); });
    m_dunst.start("dunst", {"-config", dunstConfig, "-print"});

    m_connection = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("test-bus"));
    QVERIFY(m_connection->isConnected());
    const QDeadlineTimer deadline(10000);
    while (!m_connection->interface()->isServiceRegistered(kService) && !deadline.hasExpired() &&
           m_dunst.state() != QProcess::NotRunning)
        QTest::qWait(50);
    if (!m_connection->interface()->isServiceRegistered(kService))
        QSKIP(qPrintable("dunst did not come up: " + m_dunst.readAllStandardError()));
}

void tst_DesktopNotifications::cleanupTestCase()
{
    m_connection.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("test-bus"));
    for (QProcess* process : {&m_dunst, &m_display}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
    }
}

void tst_DesktopNotifications::init()
{
    dunst(QStringLiteral("NotificationCloseAll"));
    m_printed.clear();
    m_server.emplace();
    m_rig.emplace(QStringLiteral("127.0.0.1:%1").arg(m_server->port()), QStringLiteral("alice"),
                  QStringLiteral("wonderland"));
    m_desktop.emplace(*m_connection);
    m_rig->platform().desktop = &*m_desktop;
    connect(&*m_desktop, &DesktopNotifications::actionInvoked, this,
            [this](const QString& key) { m_rig->platform().notificationAction(key); });
}

void tst_DesktopNotifications::cleanup()
{
    m_rig.reset();
    m_desktop.reset();
    m_server.reset();
}

void tst_DesktopNotifications::checkWith(const QByteArray& stat)
{
    m_server->setReply("STAT", {stat});
    m_rig->check();
    QVERIFY(m_rig->idle());
}

QList<std::pair<QString, uint>> tst_DesktopNotifications::shown() const
{
    static const QRegularExpression body(QStringLiteral("^\\s*body: '(.*)'$"),
                                         QRegularExpression::MultilineOption);
    static const QRegularExpression id(QStringLiteral("^\\s*id: (\\d+)$"),
                                       QRegularExpression::MultilineOption);
    const QString printed = QString::fromUtf8(m_printed);
    QList<std::pair<QString, uint>> notes;
    auto ids = id.globalMatch(printed);
    for (auto bodies = body.globalMatch(printed); bodies.hasNext() && ids.hasNext();)
        notes.append({bodies.next().captured(1), ids.next().captured(1).toUInt()});
    return notes;
}

QVariant tst_DesktopNotifications::dunst(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/Notifications"),
        method == QLatin1String("Get") ? QStringLiteral("org.freedesktop.DBus.Properties")
                                       : QStringLiteral("org.dunstproject.cmd0"),
        method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_connection->call(call, QDBus::Block, 5000);
    return reply.arguments().value(0);
}

void tst_DesktopNotifications::followsTheCount()
{
    const auto displayed = [this] {
        return dunst(QStringLiteral("Get"),
                     {QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("displayedLength")})
            .value<QDBusVariant>()
            .variant()
            .toUInt();
    };
    checkWith("+OK 3 9\r\n");
    QTRY_COMPARE(shown().size(), 1);
    QCOMPARE(shown()[0].first, QStringLiteral("3 new e-mails (3 waiting)"));
    for (const char* field : {"appname: 'Quillpost'", "summary: 'Quillpost'", "icon: 'quillpost'",
                              "desktop_entry: 'org.example.quillpost.Quillpost'", "\"default\": \"Settings\"",
                              "\"check\": \"Check Now\""})
        QVERIFY2(m_printed.contains(field), field);

    // Only the rise is news, and it takes the place of the earlier notification.
    checkWith("+OK 3 9\r\n");
    checkWith("+OK 5 9\r\n");
    QTRY_COMPARE(shown().size(), 2);
    QCOMPARE(shown()[1].first, QStringLiteral("2 new e-mails (5 waiting)"));
    QCOMPARE(shown()[1].second, shown()[0].second);
    QCOMPARE(displayed(), 1u);

    checkWith("+OK 0 0\r\n");
    QTRY_COMPARE(displayed(), 0u);
}

void tst_DesktopNotifications::actions()
{
    checkWith("+OK 2 9\r\n");
    QTRY_COMPARE(shown().size(), 1);
    QVERIFY(!m_rig->window().isVisible());
    dunst(QStringLiteral("NotificationAction"), {0u});
    QTRY_VERIFY(m_rig->window().isVisible());

    checkWith("+OK 4 9\r\n");
    QTRY_COMPARE(shown().size(), 2);
    const int connections = m_server->connectionCount();
    dunst(QStringLiteral("ContextMenuCall"));
    QTRY_COMPARE(m_server->connectionCount(), connections + 1);
    QTRY_VERIFY(m_rig->idle());
}

void tst_DesktopNotifications::optionOffSendsNothing()
{
    m_rig->window().chkNotify->setChecked(false);
    checkWith("+OK 3 9\r\n");
    checkWith("+OK 0 0\r\n");
    m_rig->window().chkNotify->setChecked(true);
    checkWith("+OK 1 9\r\n");
    // The daemon takes the calls in order: the first it shows is the one sent with the option on.
    QTRY_COMPARE(shown().size(), 1);
    QCOMPARE(shown()[0].first, QStringLiteral("1 new e-mail (1 waiting)"));
}

void tst_DesktopNotifications::silentOrMissingServiceHoldsNothingUp()
{
    FakePlatform& platform = m_rig->platform();
    // A daemon that hangs keeps its name on the bus but answers nothing.
    QCOMPARE(::kill(static_cast<pid_t>(m_dunst.processId()), SIGSTOP), 0);
    checkWith("+OK 3 9\r\n");
    QCOMPARE(platform.shownTip(), QStringLiteral("3 e-mails waiting (0 Kb)"));
    QCOMPARE(platform.beeps, 1);
    QVERIFY2(m_desktop->waiting(), "the check ended before the daemon answered");
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->waiting(), 1500);

    ::kill(static_cast<pid_t>(m_dunst.processId()), SIGCONT);
    m_dunst.terminate();
    QVERIFY(m_dunst.waitForFinished(5000));
    QTRY_VERIFY(!m_connection->interface()->isServiceRegistered(kService));
    checkWith("+OK 5 9\r\n");
    QCOMPARE(platform.shownTip(), QStringLiteral("5 e-mails waiting (0 Kb)"));
    QCOMPARE(platform.beeps, 2);
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->waiting(), 1500);
}

void tst_DesktopNotifications::doNotDisturbSilencesTheSound()
{
    const QString path = QStringLiteral("/org/freedesktop/Notifications");
    QuietService service;
    QVERIFY(m_connection->registerObject(path, &service, QDBusConnection::ExportAllProperties));
    QVERIFY(m_connection->registerService(kService));
    QTRY_VERIFY(m_desktop->inhibited());
    checkWith("+OK 3 9\r\n");
    QCOMPARE(m_rig->platform().beeps, 0);
    QCOMPARE(m_rig->platform().commandLines.size(), 1);

    QDBusMessage changed = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"));
    changed << kService << QVariantMap{{QStringLiteral("Inhibited"), false}} << QStringList();
    QVERIFY(m_connection->send(changed));
    QTRY_VERIFY(!m_desktop->inhibited());
    checkWith("+OK 3 9\r\n");
    QCOMPARE(m_rig->platform().beeps, 1);
    m_connection->unregisterService(kService);
    m_connection->unregisterObject(path);
}

QTEST_MAIN(tst_DesktopNotifications)
#include "tst_DesktopNotifications.moc"

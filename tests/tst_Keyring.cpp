#include "app/MainModule.h"
#include "platform/Keyring.h"
#include "settings/StoredPassword.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/PrivateBus.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>

namespace {

// A secret as the Secret Service passes it: the session, the cipher's parameters, the value and its
// type.
struct MasterSecret
{
    QDBusObjectPath session;
    QByteArray parameters, value;
    QString contentType;
};

QDBusArgument& operator<<(QDBusArgument& argument, const MasterSecret& secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MasterSecret& secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

// The test Dovecot's users.
const QString kAlice = QStringLiteral("alice"), kAlicePassword = QStringLiteral("wonderland");
const QString kBob = QStringLiteral("bob"), kBobPassword = QStringLiteral("builder");

const QString kNone = QStringLiteral("<none>");
const QString kSaveLoop = QStringLiteral("--save-loop");
const QString kOkAndRestart = QStringLiteral("--ok-and-restart");
constexpr int kKills = 15;
// Room for the work around a keyring call that may take the whole deadline.
constexpr qint64 kSlackMs = 1000;

// The test Dovecot over TLS, whose plain port may refuse a login without STLS; a name that is
// never looked up without it.
QString server()
{
    const QString port = qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_PORT");
    return port.isEmpty() ? QStringLiteral("pop.example.test")
                          : "pop3s://" + qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_HOST") + ':' + port;
}

void pressOk(frmSettings& window, const QString& userId, const QString& password)
{
    window.optIfOffLine[1]->click();
    window.optStartUp[1]->click();
    window.txtServer->setText(server());
    window.txtUserId->setText(userId);
    window.txtPassword->setText(password);
    window.cmdOK->click();
}

void pressOk(FakePlatform& platform, const QString& userId, const QString& password)
{
    frmSettings window(platform, platform.tokens);
    pressOk(window, userId, password);
}

// A child process on the real keyring. Without a Secret Service (--ok-and-restart): OK and a
// start-up, printing how long each took and the password start-up found. Otherwise (--save-loop):
// OK for bob and alice in turn until it is killed, with one line just before the first.
int child(const QStringList& arguments)
{
    FakePlatform platform;
    Keyring keyring;
    platform.keyring = &keyring;
    gTrayIcon.bind(&platform);
    frmSettings window(platform, platform.tokens);
    if (arguments.contains(kOkAndRestart)) {
        QElapsedTimer timer;
        timer.start();
        pressOk(window, kAlice, kAlicePassword);
        const qint64 okMs = timer.restart();
        const auto restarted = MainModule::Main(platform, platform.tokens);
        std::printf("%lld %lld %s\n", okMs, timer.elapsed(), qPrintable(restarted->txtPassword->text()));
        gTrayIcon.release(); // as the program ends: the leak check sees nothing left behind
        return 0;
    }
    std::puts("saving");
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        pressOk(window, i % 2 ? kAlice : kBob, i % 2 ? kAlicePassword : kBobPassword);
        platform.trayCalls.clear();
    }
}

} // namespace

Q_DECLARE_METATYPE(MasterSecret)

// The password in a real Secret Service: GNOME Keyring on a private session bus, with a fresh
// login keyring unlocked from standard input; the entries are looked at with libsecret's own tool.
class tst_Keyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void movesAnOldPasswordAndKeepsOneEntry();
    void startUpReadsItAndTheCheckLogsIn();
    void silentKeyringHoldsNothingUp();
    void lockedKeyringSendsNoPassword();
    void withoutSessionBusAsBefore();
    void killedWhileSaving();

private:
    // The keyring's entry for a user at the test server, or kNone.
    static QString entry(const QString& userId);
    QString storedPassword() const { return m_config->stored(QStringLiteral("Password")); }
    std::unique_ptr<frmSettings> restart();

    QTemporaryDir m_home;
    PrivateBus m_bus;
    QProcess m_keyringDaemon;
    Keyring m_keyring;
    std::optional<TestConfig> m_config;
    std::optional<FakePlatform> m_platform;
};

void tst_Keyring::initTestCase()
{
    for (const char* tool : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));

    // A home of its own, so that the daemon makes a fresh login keyring; set before any D-Bus use.
    qDBusRegisterMetaType<MasterSecret>();
    QVERIFY(m_home.isValid());
    for (const char* folder : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = m_home.filePath(QString::fromLatin1(folder));
        QVERIFY(QDir().mkpath(path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv(folder, QFile::encodeName(path));
    }
    QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());

    m_keyringDaemon.setStandardErrorFile(QProcess::nullDevice()); // chatty about every item
    m_keyringDaemon.start(QStringLiteral("gnome-keyring-daemon"),
                          {"--foreground", "--components=secrets", "--unlock"});
    QVERIFY(m_keyringDaemon.waitForStarted(10000));
    m_keyringDaemon.write("login-password");
    m_keyringDaemon.closeWriteChannel();
    const QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), "tst_Keyring");
    QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")),
                             10000);

    const QString authority = qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_CA");
    if (!authority.isEmpty()) {
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.addCaCertificates(QSslCertificate::fromPath(authority));
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
}

void tst_Keyring::cleanupTestCase()
{
    m_keyringDaemon.kill();
    m_keyringDaemon.waitForFinished(10000);
}

void tst_Keyring::init()
{
    m_config.emplace();
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_platform.emplace();
    m_platform->keyring = &m_keyring;
    gTrayIcon.bind(&*m_platform);
}

void tst_Keyring::cleanup()
{
    gTrayIcon.release();
    m_platform.reset();
    m_config.reset();
}

QString tst_Keyring::entry(const QString& userId)
{
    QProcess lookup;
    lookup.start(QStringLiteral("secret-tool"),
                 {"lookup", "server", "Quillpost", "user", StoredPassword::Account(userId, server())});
    if (!lookup.waitForFinished(10000) || lookup.exitCode() != 0)
        return kNone;
    return QString::fromUtf8(lookup.readAllStandardOutput());
}

std::unique_ptr<frmSettings> tst_Keyring::restart()
{
    gTrayIcon.release();
    return MainModule::Main(*m_platform, m_platform->tokens);
}

void tst_Keyring::movesAnOldPasswordAndKeepsOneEntry()
{
    // As saved where no keyring answered, or before the keyring was used.
    m_platform->keyring = nullptr;
    pressOk(*m_platform, kBob, kBobPassword);
    m_platform->keyring = &m_keyring;
    const QString cipherText = storedPassword();
    QVERIFY(!cipherText.isEmpty());

    // Start-up reads it as before and moves nothing; OK moves it.
    const auto window = restart();
    QCOMPARE(window->txtPassword->text(), kBobPassword);
    QCOMPARE(entry(kBob), kNone);
    QCOMPARE(storedPassword(), cipherText);
    window->cmdOK->click();
    QCOMPARE(entry(kBob), kBobPassword);
    QCOMPARE(storedPassword(), QString());

    // Another account: bob's entry goes once alice's is kept.
    pressOk(*window, kAlice, kAlicePassword);
    QCOMPARE(entry(kAlice), kAlicePassword);
    QCOMPARE(entry(kBob), kNone);
    QCOMPARE(storedPassword(), QString());
    QCOMPARE(restart()->txtPassword->text(), kAlicePassword);

    pressOk(*window, kAlice, QString());
    QCOMPARE(entry(kAlice), kNone);
    QCOMPARE(restart()->txtPassword->text(), QString());
}

void tst_Keyring::startUpReadsItAndTheCheckLogsIn()
{
    const QString log = qEnvironmentVariable("QUILLPOST_DOVECOT_LOG");
    if (log.isEmpty() || qEnvironmentVariableIsEmpty("QUILLPOST_DOVECOT_TLS_PORT"))
        QSKIP("no test POP3 server: start tests/dovecot/harness.sh and source its env file");
    pressOk(*m_platform, kAlice, kAlicePassword);
    const qint64 logStart = QFile(log).size();

    const auto window = restart();
    QCOMPARE(window->txtPassword->text(), kAlicePassword);
    window->cmdCheckNow->click();
    QCOMPARE(m_platform->messages.size(), 0);
    const auto loggedIn = [&] {
        QFile logFile(log);
        return logFile.open(QIODevice::ReadOnly) && logFile.seek(logStart) &&
               logFile.readAll().contains("Login: user=<alice>");
    };
    QTRY_VERIFY(loggedIn());
}

void tst_Keyring::silentKeyringHoldsNothingUp()
{
    const auto pause = [this](int signal) {
        QCOMPARE(::kill(static_cast<pid_t>(m_keyringDaemon.processId()), signal), 0);
    };
    const auto withinDeadline = [](const std::function<void()>& step) {
        QElapsedTimer timer;
        timer.start();
        step();
        return timer.elapsed() <= Keyring::kDeadlineMs + kSlackMs;
    };
    pressOk(*m_platform, kAlice, kAlicePassword);
    // A keyring that never answers, as one whose unlock prompt the user leaves open.
    pause(SIGSTOP);
    std::unique_ptr<frmSettings> window;
    QVERIFY(withinDeadline([&] { window = restart(); }));
    QCOMPARE(window->txtPassword->text(), QString());
    // A password that could not be read is not an empty one.
    QVERIFY(withinDeadline([&] { window->cmdOK->click(); }));
    // Unlocked at last: the password arrives in the hidden window, and its entry is still there.
    pause(SIGCONT);
    QTRY_COMPARE(window->txtPassword->text(), kAlicePassword);
    window = restart();
    QCOMPARE(window->txtPassword->text(), kAlicePassword);

    pause(SIGSTOP);
    window->txtPassword->setText(kBobPassword);
    QVERIFY(withinDeadline([&] { window->cmdOK->click(); }));
    QVERIFY(!storedPassword().isEmpty());
    pause(SIGCONT);
    QCOMPARE(restart()->txtPassword->text(), kBobPassword);
}

void tst_Keyring::lockedKeyringSendsNoPassword()
{
    ScriptedPop3Server pop3;
    const QString serverText = QStringLiteral("127.0.0.1:%1").arg(pop3.port());
    {
        frmSettings window(*m_platform, m_platform->tokens);
        pressOk(window, kAlice, kAlicePassword);
        window.txtServer->setText(serverText);
        window.cmdOK->click();
    }
    // Plain calls: an interface object would keep an introspected copy for the connection's life.
    const QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), "tst_Keyring");
    const auto call = [&bus](const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"),
                                           QStringLiteral("/org/freedesktop/secrets"), interface, method);
        message.setArguments(arguments);
        return bus.call(message);
    };
    const QString service = QStringLiteral("org.freedesktop.Secret.Service");
    const QDBusObjectPath login(QStringLiteral("/org/freedesktop/secrets/collection/login"));
    QCOMPARE(
        call(service, QStringLiteral("Lock"), {QVariant::fromValue(QList<QDBusObjectPath>{login})}).type(),
        QDBusMessage::ReplyMessage);

    // As at a log-on whose keyring was not unlocked: neither start-up nor a check gets the password.
    const auto window = restart();
    window->optTT[1]->click();
    window->cmdCheckNow->click();
    QCOMPARE(pop3.connectionCount(), 0);
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));

    // Unlocked, as the desktop's prompt would, without one.
    const QDBusMessage session =
        call(service, QStringLiteral("OpenSession"),
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    QCOMPARE(session.arguments().size(), 2);
    const MasterSecret master{qvariant_cast<QDBusObjectPath>(session.arguments()[1]),
                              {},
                              "login-password",
                              QStringLiteral("text/plain")};
    QCOMPARE(call(QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                  QStringLiteral("UnlockWithMasterPassword"),
                  {QVariant::fromValue(login), QVariant::fromValue(master)})
                 .type(),
             QDBusMessage::ReplyMessage);
    window->cmdCheckNow->click();
    QVERIFY(pop3.received("PASS " + kAlicePassword.toUtf8()));
}

void tst_Keyring::withoutSessionBusAsBefore()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + m_home.filePath("no-bus"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {kOkAndRestart});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    const QStringList printed = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(' ');
    QCOMPARE(printed.size(), 3);
    QCOMPARE_LE(printed[0].toLongLong(), Keyring::kDeadlineMs);
    QCOMPARE_LE(printed[1].toLongLong(), Keyring::kDeadlineMs);
    QCOMPARE(printed[2], kAlicePassword);
    QVERIFY(!storedPassword().isEmpty());
}

void tst_Keyring::killedWhileSaving()
{
    const unsigned seed = std::random_device()();
    qInfo("seed %u", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 150'000);
    int inFile = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        // Each round starts from a file of before, whose password the first OK moves.
        pressOk(*m_platform, kAlice, QString());
        m_platform->keyring = nullptr;
        pressOk(*m_platform, kAlice, kAlicePassword);
        m_platform->keyring = &m_keyring;

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {kSaveLoop});
        QVERIFY(child.waitForReadyRead(15000));
        // The moment of the kill is the point of the test, so it is drawn at random rather than
        // waited for.
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        child.kill();
        QVERIFY(child.waitForFinished(10000));

        inFile += storedPassword().isEmpty() ? 0 : 1;
        const auto window = restart();
        const QString userId = window->txtUserId->text();
        QVERIFY(userId == kAlice || userId == kBob);
        QCOMPARE(window->txtPassword->text(), userId == kAlice ? kAlicePassword : kBobPassword);
    }
    qInfo("after %d kills: the password in the file %d times, in the keyring %d times", kKills, inFile,
          kKills - inFile);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (app.arguments().contains(kSaveLoop) || app.arguments().contains(kOkAndRestart))
        return child(app.arguments());
    tst_Keyring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Keyring.moc"

#include "support/TestConfig.h"

#include "app/SingleCopy.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

constexpr int kWaitMs = 15000;

// The real program as a child process, headless, logging its start-up, with the test's config
// folder and the given runtime folder.
struct Copy
{
    explicit Copy(const QString& runtimeFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillpost.startup=true"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no tray on the real desktop
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUILLPOST_BINARY), {});
    }
    ~Copy()
    {
        process.kill();
        process.waitForFinished(kWaitMs);
    }
    bool logged(const char* text)
    {
        log += process.readAllStandardError();
        return log.contains(text);
    }

    QProcess process;
    QByteArray log;
};

} // namespace

// Starting the program while it runs: the running copy shows its window and the new start ends.
class tst_SingleCopy : public QObject
{
    Q_OBJECT
private slots:
    void secondStartHandsOverAndEnds();
    void requestDuringStartUpIsCarriedOutAfter();
};

void tst_SingleCopy::secondStartHandsOverAndEnds()
{
    TestConfig config; // inherited by the children
    config.store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    config.store(QStringLiteral("StartUp"), QStringLiteral("1")); // the tray icon alone
    QTemporaryDir runtime;
    std::optional<Copy> first(std::in_place, runtime.path());
    QTRY_VERIFY_WITH_TIMEOUT(first->logged("later starts reach this copy"), kWaitMs);

    Copy second(runtime.path());
    QVERIFY(second.process.waitForFinished(kWaitMs));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first->logged("another start asked for the settings window"), kWaitMs);
    QCOMPARE(first->process.state(), QProcess::Running);

    // A copy killed outright leaves its lock and socket behind; they do not hold up the next one.
    first.reset();
    Copy third(runtime.path());
    QTRY_VERIFY_WITH_TIMEOUT(third.logged("later starts reach this copy"), kWaitMs);
}

void tst_SingleCopy::requestDuringStartUpIsCarriedOutAfter()
{
    // Start-up's own waits let a second start's request in before there is a window to show.
    QTemporaryDir runtime;
    SingleCopy running(runtime.path());
    QVERIFY(running.claim());
    QSignalSpy connected(running.findChild<QLocalServer*>(), &QLocalServer::newConnection);
    QVERIFY(!SingleCopy(runtime.path()).claim());
    QVERIFY(connected.wait(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(running.findChildren<QLocalSocket*>().isEmpty(), kWaitMs); // read and closed
    int shown = 0;
    running.carryOutRequests([&shown] { ++shown; });
    QCOMPARE(shown, 1);

    // From then on a request is carried out as it comes.
    QVERIFY(!SingleCopy(runtime.path()).claim());
    QTRY_COMPARE_WITH_TIMEOUT(shown, 2, kWaitMs);
}

QTEST_MAIN(tst_SingleCopy)
#include "tst_SingleCopy.moc"

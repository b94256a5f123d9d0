#include "support/TestConfig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kWaitMs = 15000;

// The real program as a child process, headless, with the test's config and runtime folders.
class Copy
{
public:
    explicit Copy(const QString& runtimeFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillpost.startup=true"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(QUILLPOST_BINARY), {});
    }
    ~Copy()
    {
        m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }

    QProcess& process() { return m_process; }
    bool logged(const char* text)
    {
        m_log += m_process.readAllStandardError();
        return m_log.contains(text);
    }
    QByteArray log() const { return m_log; }

private:
    QProcess m_process;
    QByteArray m_log;
};

} // namespace

// Starting the program while it runs: the running copy shows its window and the new start ends.
class tst_SingleCopy : public QObject
{
    Q_OBJECT
private slots:
    void secondStartHandsOverAndEnds();
};

void tst_SingleCopy::secondStartHandsOverAndEnds()
{
    TestConfig config; // inherited by the children
    config.store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    config.store(QStringLiteral("StartUp"), QStringLiteral("1")); // the tray icon alone
    config.store(QStringLiteral("AutoRun"), QStringLiteral("1"));
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());

    auto first = std::make_unique<Copy>(runtime.path());
    QTRY_VERIFY_WITH_TIMEOUT(first->logged("later starts reach this copy"), kWaitMs);
    QVERIFY(!first->logged("settings window"));

    Copy second(runtime.path());
    QVERIFY(second.process().waitForFinished(kWaitMs));
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process().exitCode(), 0);
    QVERIFY2(!second.logged("later starts reach this copy"), second.log().constData());
    QTRY_VERIFY_WITH_TIMEOUT(first->logged("another start asked for the settings window"), kWaitMs);
    QCOMPARE(first->process().state(), QProcess::Running);

    // A copy killed outright leaves its lock and socket behind; they do not hold up the next one.
    first->process().kill();
    QVERIFY(first->process().waitForFinished(kWaitMs));
    first.reset();
    Copy third(runtime.path());
    QTRY_VERIFY_WITH_TIMEOUT(third.logged("later starts reach this copy"), kWaitMs);
    QCOMPARE(third.process().state(), QProcess::Running);
}

QTEST_MAIN(tst_SingleCopy)
#include "tst_SingleCopy.moc"

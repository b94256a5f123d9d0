#include "platform/LinuxPlatform.h"
#include "platform/SoundPlayer.h"
#include "settings/StoredSettings.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace {

// Counts the bell instead of ringing it.
class BellCountingPlatform : public LinuxPlatform
{
public:
    explicit BellCountingPlatform(const QString& player = QStringLiteral(QUILLPOST_SOUND_PLAYER))
        : LinuxPlatform(player)
    {}

    int bells = 0;

protected:
    void ringBell() override { ++bells; }
};

} // namespace

// The new-mail sounds through a real sound server: a private PulseAudio whose only output is a
// null sink, whose monitor the test records.
class tst_SoundOutput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void reachesTheSink_data();
    void reachesTheSink();
    void noOutputRingsTheBell();

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    std::unique_ptr<BellCountingPlatform> m_platform;
};

void tst_SoundOutput::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        QSKIP("PulseAudio (pulseaudio, pulseaudio-utils) is not installed");
    QVERIFY(m_dir.isValid());
    // The server and every client here, the code under test included, meet on the test's socket
    // alone; the desktop's sound server is never touched.
    for (const char* name : {"XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "HOME"})
        qputenv(name, m_dir.path().toUtf8());
    const QString socket = m_dir.filePath(QStringLiteral("native"));
    qputenv("PULSE_SERVER", "unix:" + socket.toUtf8());
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                    QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                    QStringLiteral("--disable-shm=yes"), QStringLiteral("--log-level=error"),
                    QStringLiteral("--log-target=stderr"), QStringLiteral("-L"),
                    QStringLiteral("module-null-sink sink_name=test"), QStringLiteral("-L"),
                    QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    if (!m_server.waitForStarted(5000))
        QSKIP("PulseAudio cannot start here");
    // The socket appears once the server takes clients.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_server.state() == QProcess::NotRunning, 10000);
    if (m_server.state() == QProcess::NotRunning)
        QSKIP("PulseAudio ended at start-up (see its messages above)");
    // The platform answers from what its players found, and none has run yet: the player is asked.
    QVERIFY2(QProcess::execute(QStringLiteral(QUILLPOST_SOUND_PLAYER), {}) == SoundPlayer::Played,
             "Qt sees no output on the test's sound server");
    m_platform = std::make_unique<BellCountingPlatform>();
    QVERIFY(m_platform->hasAudioOutput());
}

void tst_SoundOutput::cleanupTestCase()
{
    m_platform.reset();
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }
}

void tst_SoundOutput::reachesTheSink_data()
{
    QTest::addColumn<bool>("beep");
    QTest::newRow("Beep") << true;
    QTest::newRow("default sample") << false;
}

void tst_SoundOutput::reachesTheSink()
{
    QFETCH(bool, beep);
    QProcess recorder;
    recorder.start(QStringLiteral("parec"), {QStringLiteral("--device=test.monitor"), QStringLiteral("--raw"),
                                             QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                                             QStringLiteral("--rate=22050")});
    QVERIFY(recorder.waitForStarted(5000));
    // The recording is silence until something plays.
    QByteArray samples;
    const auto heard = [&] {
        samples += recorder.readAllStandardOutput();
        for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
            if (std::abs(qFromLittleEndian<qint16>(samples.constData() + i)) > 1000)
                return true;
        return false;
    };
    // Recording has begun once the first (silent) samples arrive.
    QTRY_VERIFY_WITH_TIMEOUT(recorder.bytesAvailable() > 0, 5000);
    recorder.readAllStandardOutput();
    if (beep)
        m_platform->beep();
    else
        QVERIFY(m_platform->playSound(StoredSettings::defaultSamplePath()));
    QTRY_VERIFY_WITH_TIMEOUT(heard(), 10000);
    QCOMPARE(m_platform->bells, 0);
    recorder.kill();
    recorder.waitForFinished();
}

void tst_SoundOutput::noOutputRingsTheBell()
{
    // A sound server that is not there: the player finds no output.
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + m_dir.filePath(QStringLiteral("absent")).toUtf8());
    m_platform->beep();
    QTRY_COMPARE_WITH_TIMEOUT(m_platform->bells, 1, 10000);
    QVERIFY(!m_platform->hasAudioOutput());
    // The sound server back, as when it starts after the program: a later question finds it.
    qputenv("PULSE_SERVER", server);
    QTRY_VERIFY_WITH_TIMEOUT(m_platform->hasAudioOutput(), 10000);

    // Nor is there a sound without the player.
    BellCountingPlatform withoutPlayer(m_dir.filePath(QStringLiteral("no-player")));
    withoutPlayer.beep();
    QTRY_COMPARE_WITH_TIMEOUT(withoutPlayer.bells, 1, 10000);
}

QTEST_MAIN(tst_SoundOutput)
#include "tst_SoundOutput.moc"

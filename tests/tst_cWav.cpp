#include "support/FakePlatform.h"

#include "platform/LinuxPlatform.h"
#include "platform/SoundPlayer.h"
#include "platform/WaveFile.h"
#include "tray/cWav.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>

namespace {

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const QByteArray& id, const QByteArray& body)
{
    QByteArray bytes = id + littleEndian32(body.size()) + body;
    if (body.size() & 1)
        bytes += '\0'; // the pad byte
    return bytes;
}

QByteArray formatChunk(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    QByteArray body(16, '\0');
    qToLittleEndian<quint16>(tag, body.data());
    qToLittleEndian<quint16>(channels, body.data() + 2);
    qToLittleEndian<quint32>(rate, body.data() + 4);
    qToLittleEndian<quint32>(rate * channels * bits / 8, body.data() + 8);
    qToLittleEndian<quint16>(channels * bits / 8, body.data() + 12);
    qToLittleEndian<quint16>(bits, body.data() + 14);
    return chunk("fmt ", body);
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + littleEndian32(4 + chunks.size()) + "WAVE" + chunks;
}

// A short sound with the given format chunk.
QByteArray withData(const QByteArray& format)
{
    return riff(format + chunk("data", QByteArray(16, '\0')));
}

// A silent wave sound of the given format and length.
QByteArray wave(quint16 tag, quint16 channels, quint32 rate, quint16 bits, int milliseconds = 100)
{
    const qsizetype frames = qsizetype(rate) * milliseconds / 1000;
    return riff(formatChunk(tag, channels, rate, bits) +
                chunk("data", QByteArray(frames * channels * bits / 8, '\0')));
}

// Refuses every sound, as the sound output does with a file it cannot play.
class RefusingPlatform : public FakePlatform
{
public:
    bool playSound(const QString& file) override
    {
        FakePlatform::playSound(file);
        return false;
    }
};

} // namespace

class tst_cWav : public QObject
{
    Q_OBJECT
private slots:
    void playNeedsAnOutput_data();
    void playNeedsAnOutput();
    void playReportsARefusedSound();
    void stopPlayAlwaysReportsFalse();
    void playableFiles_data();
    void playableFiles();
    void playSoundReturnsAtOnce();
    void newSoundReplacesThePlayingOne();
    void outputAnswerWaitsForNoPlayer();

private:
    QString write(const QString& name, const QByteArray& bytes);

    QTemporaryDir m_dir;
};

QString tst_cWav::write(const QString& name, const QByteArray& bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void tst_cWav::playNeedsAnOutput_data()
{
    QTest::addColumn<bool>("output");
    QTest::newRow("no sound output") << false;
    QTest::newRow("sound output") << true;
}

void tst_cWav::playNeedsAnOutput()
{
    QFETCH(bool, output);
    FakePlatform platform;
    platform.audioOutput = output;
    cWav wav(platform);
    QCOMPARE(wav.CanPlay(), output);
    QCOMPARE(wav.Play(QStringLiteral("/sounds/Mailtrill.wav"), cWav::SND_ASYNC), output);
    QCOMPARE(platform.playedSounds,
             output ? QStringList(QStringLiteral("/sounds/Mailtrill.wav")) : QStringList());
}

void tst_cWav::playReportsARefusedSound()
{
    RefusingPlatform platform;
    QVERIFY(!cWav(platform).Play(QStringLiteral("notes.txt"), cWav::SND_ASYNC));
    QCOMPARE(platform.playedSounds, QStringList(QStringLiteral("notes.txt")));
}

void tst_cWav::stopPlayAlwaysReportsFalse()
{
    FakePlatform platform;
    cWav wav(platform);
    QVERIFY(!wav.StopPlay());
    platform.audioOutput = false;
    QVERIFY(!wav.StopPlay());
    QCOMPARE(platform.soundStops, 2);
}

void tst_cWav::playableFiles_data()
{
    QVERIFY(m_dir.isValid());
    const QByteArray valid = wave(1, 1, 22050, 16);
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("playable");
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.wav")) << false;
    QTest::newRow("folder") << m_dir.path() << false;
    QTest::newRow("empty") << write(QStringLiteral("empty.wav"), {}) << false;
    QTest::newRow("text") << write(QStringLiteral("text.wav"), "This is not a sound.\n") << false;
    QTest::newRow("truncated header") << write(QStringLiteral("truncated.wav"), valid.left(30)) << false;
    QTest::newRow("no data chunk") << write(QStringLiteral("nodata.wav"), riff(formatChunk(1, 1, 8000, 8)))
                                   << false;
    QTest::newRow("data before format")
        << write(QStringLiteral("datafirst.wav"),
                 riff(chunk("data", QByteArray(800, '\0')) + formatChunk(1, 1, 8000, 8)))
        << false;
    QTest::newRow("A-law") << write(QStringLiteral("alaw.wav"), wave(6, 1, 8000, 8)) << false;
    QTest::newRow("float") << write(QStringLiteral("float.wav"), wave(3, 1, 8000, 32)) << false;
    QTest::newRow("extensible") << write(QStringLiteral("extensible.wav"), wave(0xFFFE, 2, 44100, 16))
                                << false;
    QTest::newRow("12-bit") << write(QStringLiteral("12bit.wav"), wave(1, 1, 8000, 12)) << false;
    QTest::newRow("no channels") << write(QStringLiteral("nochannels.wav"),
                                          withData(formatChunk(1, 0, 8000, 16)))
                                 << false;
    QTest::newRow("no sample rate") << write(QStringLiteral("norate.wav"), withData(formatChunk(1, 1, 0, 16)))
                                    << false;
    QTest::newRow("8-bit mono") << write(QStringLiteral("8bit.wav"), wave(1, 1, 8000, 8)) << true;
    QTest::newRow("16-bit") << write(QStringLiteral("16bit.wav"), valid) << true;
    QTest::newRow("24-bit stereo") << write(QStringLiteral("24bit.wav"), wave(1, 2, 48000, 24)) << true;
    QTest::newRow("32-bit") << write(QStringLiteral("32bit.wav"), wave(1, 1, 44100, 32)) << true;
    QTest::newRow("odd chunk before format")
        << write(QStringLiteral("list.wav"), withData(chunk("LIST", "INFOabc") + formatChunk(1, 1, 8000, 16)))
        << true;
    QTest::newRow("Mailtrill.wav") << QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/Mailtrill.wav")
                                   << true;
}

void tst_cWav::playableFiles()
{
    QFETCH(QString, file);
    QFETCH(bool, playable);
    QCOMPARE(WaveFile::isPlayable(file), playable);
    LinuxPlatform platform(QStringLiteral(QUILLPOST_SOUND_PLAYER));
    QCOMPARE(platform.playSound(file), playable);
}

void tst_cWav::playSoundReturnsAtOnce()
{
    const QString file = write(QStringLiteral("long.wav"), wave(1, 2, 44100, 16, 20000));
    LinuxPlatform platform(QStringLiteral(QUILLPOST_SOUND_PLAYER));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(platform.playSound(file));
    QVERIFY2(clock.elapsed() < 5000, "playSound waited for the sound");
}

void tst_cWav::newSoundReplacesThePlayingOne()
{
    // One sound at a time, held by the platform: it goes on after the cWav that started it. A
    // stand-in player plays until it is stopped.
    const QString player = write(QStringLiteral("player"), "#!/bin/sh\nexec sleep 60\n");
    QVERIFY(QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner));
    const QString first = write(QStringLiteral("first.wav"), wave(1, 1, 8000, 16, 5000));
    const QString second = write(QStringLiteral("second.wav"), wave(1, 1, 8000, 8, 5000));
    LinuxPlatform platform(player);
    const auto playing = [&platform] {
        QStringList arguments;
        for (const QProcess* process : platform.findChildren<QProcess*>())
            if (process->state() != QProcess::NotRunning)
                arguments += process->arguments();
        return arguments;
    };
    QVERIFY(platform.playSound(first));
    QVERIFY(platform.playSound(second));
    QTRY_COMPARE(playing(), QStringList(second));

    // A sound that cannot be played leaves the one playing alone.
    QVERIFY(!platform.playSound(m_dir.filePath(QStringLiteral("missing.wav"))));
    QCOMPARE(playing(), QStringList(second));

    // The player is handed the whole path: it resolves nothing against the working folder.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const bool played = platform.playSound(QStringLiteral("first.wav"));
    QDir::setCurrent(previous);
    QVERIFY(played);
    QTRY_COMPARE(playing(), QStringList(first));

    platform.stopSounds();
    QTRY_COMPARE(playing(), QStringList());
}

void tst_cWav::outputAnswerWaitsForNoPlayer()
{
    // Asking comes before every sound, on the window's thread: the answer is what the last player
    // to end said. A stand-in player ends with the code the test writes.
    const QString code = write(QStringLiteral("code"), QByteArray::number(SoundPlayer::NoOutput));
    const QString player =
        write(QStringLiteral("answering-player"), "#!/bin/sh\nexit $(cat " + code.toUtf8() + ")\n");
    QVERIFY(QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner));
    LinuxPlatform platform(player);
    const auto running = [&platform] {
        const QList<QProcess*> players = platform.findChildren<QProcess*>();
        return std::count_if(players.begin(), players.end(), [](const QProcess* process) {
            return process->state() != QProcess::NotRunning;
        });
    };
    QVERIFY(platform.hasAudioOutput());
    QCOMPARE(running(), 0);
    platform.beep();
    QTRY_VERIFY(!platform.hasAudioOutput());

    // An output that appears later is found by a player sent to look, which the question does not wait for.
    write(QStringLiteral("code"), QByteArray::number(SoundPlayer::Played));
    QVERIFY(!platform.hasAudioOutput());
    QCOMPARE(running(), 1);
    QTRY_VERIFY(platform.hasAudioOutput());
}

QTEST_MAIN(tst_cWav)
#include "tst_cWav.moc"

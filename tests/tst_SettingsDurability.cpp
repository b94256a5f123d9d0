#include "settings/CCipher.h"
#include "settings/CRegistry.h"
#include "settings/StoredSettings.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {

// A whole set of settings as the window holds them. The two saved sets differ in every key.
struct SettingsSet
{
    QString interval;
    int ifOffLine;
    QString server, userId, password;
    int toolTip, sound;
    QString sample;
    int run;
    QString commandLine;
    int startUp, autoRun;
};

const SettingsSet kInitial{"10", 0, "", "", "", 1, 1, "/initial.wav", 0, "", 1, 1};
const std::array<SettingsSet, 2> kSaved{
    SettingsSet{"7", 1, "pop.a.test", "alice", "wonderland", 2, 2, "/a.wav", 1, "notify-send a", 0, 0},
    SettingsSet{"13.5", 0, "pop.b.test", "bob", "pä55 wörd€", 0, 0, "/b.wav", 0, "notify-send b", 1, 1},
};

// Kills go on until this many have cut a save short (the child had the new copy open), so
// the test proves something however the timing falls; the round limit keeps a broken save from
// running for ever.
constexpr int kKillsDuringSave = 3;
constexpr int kMinKills = 50;
constexpr int kMaxKills = 1000;
const QString kSaveLoop = QStringLiteral("--save-loop");

// The set as the store holds it, key by key.
QMap<QString, QString> storedForm(const SettingsSet& set)
{
    using namespace StoredSettings;
    CCipher cipher;
    cipher.Text(set.password);
    cipher.Key(ApplicationKey());
    cipher.Encrypt();
    const auto text = [](const Key& key) {
        return QString::fromLatin1(key.name);
    };
    return {{text(Interval), set.interval},
            {text(IfOffLine), QString::number(set.ifOffLine)},
            {text(POP3Server), set.server},
            {text(UserId), set.userId},
            {text(Password), cipher.Text()},
            {text(ToolTip), QString::number(set.toolTip)},
            {text(Sound), QString::number(set.sound)},
            {text(Sample), set.sample},
            {text(Run), QString::number(set.run)},
            {text(CommandLine), set.commandLine},
            {text(StartUp), QString::number(set.startUp)},
            {text(AutoRun), QString::number(set.autoRun)}};
}

void fill(frmSettings& window, const SettingsSet& set)
{
    window.txtInterval->setText(set.interval);
    window.optIfOffLine[static_cast<std::size_t>(set.ifOffLine)]->click();
    window.txtServer->setText(set.server);
    window.txtUserId->setText(set.userId);
    window.txtPassword->setText(set.password);
    window.optTT[static_cast<std::size_t>(set.toolTip)]->click();
    window.optSound[static_cast<std::size_t>(set.sound)]->click();
    window.msSample = set.sample;
    window.optRun[static_cast<std::size_t>(set.run)]->click();
    window.txtRun->setText(set.commandLine);
    window.optStartUp[static_cast<std::size_t>(set.startUp)]->click();
    window.optAutoRun[static_cast<std::size_t>(set.autoRun)]->click();
}

// The child: OK with the two sets in turn until it is killed; one line once the first is saved.
int saveLoop()
{
    FakePlatform platform;
    gTrayIcon.bind(&platform);
    frmSettings window(platform, platform.tokens);
    for (int i = 0; i < 1'000'000; ++i) {
        fill(window, kSaved[static_cast<std::size_t>(i % 2)]);
        window.cmdOK_Click();
        platform.trayCalls.clear();
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
    return 0;
}

// Whether the child, stopped, has a file of the settings folder open for writing: the kill that
// follows cuts a save short. (The save's new copy may have no name yet, so a left-over file alone
// would miss most of them.)
bool isSaving(qint64 pid, const QString& folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), target, sizeof target);
        if (length <= 0 || !QFile::decodeName(QByteArray(target, length)).startsWith(folder + u'/'))
            continue;
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("flags:") && (line.mid(6).trimmed().toUInt(nullptr, 8) & 3) != 0)
                return true;
    }
    return false;
}

// Stops the child and waits until it stands still.
bool stop(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), SIGSTOP) != 0)
        return false;
    return QTest::qWaitFor(
        [pid] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            return stat.open(QIODevice::ReadOnly) &&
                   stat.readAll().split(')').value(1).trimmed().startsWith('T');
        },
        5000);
}

} // namespace

// OK saved over and over in a child process that is killed at random moments: the settings file
// always holds one whole set, the one before or one of those being saved, readable by its owner
// alone.
class tst_SettingsDurability : public QObject
{
    Q_OBJECT
private slots:
    void killedWhileSaving();
};

void tst_SettingsDurability::killedWhileSaving()
{
    TestConfig config; // the children inherit the config folder
    CRegistry store;
    store.Application(StoredSettings::kApplication);
    store.Section(StoredSettings::kSection);
    store.BeginBatch();
    const QMap<QString, QString> initial = storedForm(kInitial);
    for (auto it = initial.cbegin(); it != initial.cend(); ++it) {
        store.Key(it.key());
        store.RegSet(it.value());
    }
    store.CommitBatch();
    const QList<QMap<QString, QString>> wholeSets{initial, storedForm(kSaved[0]), storedForm(kSaved[1])};

    const unsigned seed = std::random_device()();
    qInfo("seed %u", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 20'000);
    QList<int> setsSeen(wholeSets.size(), 0);
    const QFileInfo info(config.settingsFile());
    const auto copies = [&info] {
        return info.absoluteDir().entryInfoList({info.fileName() + QStringLiteral(".??????")});
    };
    int kill = 0;
    int killsDuringSave = 0;
    for (; kill < kMaxKills && (kill < kMinKills || killsDuringSave < kKillsDuringSave); ++kill) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {kSaveLoop});
        // The kill before must not hold up the next save.
        QVERIFY(child.waitForReadyRead(15'000));
        // The moment of the kill is the point of the test, so it is drawn at random rather than
        // waited for.
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        QVERIFY(stop(child.processId()));
        if (isSaving(child.processId(), info.absolutePath()))
            ++killsDuringSave;
        child.kill();
        QVERIFY(child.waitForFinished(60'000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QString file = config.settingsFile();
        struct stat status = {};
        QCOMPARE(stat(QFile::encodeName(file).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);
        QMap<QString, QString> stored;
        for (auto it = initial.cbegin(); it != initial.cend(); ++it)
            stored.insert(it.key(), config.stored(it.key()));
        const qsizetype set = wholeSets.indexOf(stored);
        QVERIFY2(set >= 0, qPrintable(QStringLiteral("kill %1 left a mixed set: %2")
                                          .arg(kill)
                                          .arg(QStringList(stored.values()).join(QLatin1Char('|')))));
        ++setsSeen[set];

        // A save cut short may leave its temporary copy; that too is the user's alone.
        for (const QFileInfo& copy : copies())
            QCOMPARE(copy.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }
    qInfo("after %d kills, %d of them during a save: initial set %d, set A %d, set B %d; files: %s", kill,
          killsDuringSave, setsSeen[0], setsSeen[1], setsSeen[2],
          qPrintable(QDir(QFileInfo(config.settingsFile()).absolutePath()).entryList(QDir::Files).join(' ')));
    QVERIFY2(killsDuringSave >= kKillsDuringSave, "too few kills cut a save short to prove anything");
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (app.arguments().contains(kSaveLoop))
        return saveLoop();
    tst_SettingsDurability test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SettingsDurability.moc"

#include "core/RuntimeError.h"
#include "settings/CRegistry.h"
#include "settings/StoredSettings.h"
#include "support/TestConfig.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CRegistry registryAt(const QString& key)
{
    CRegistry registry;
    registry.Application(StoredSettings::kApplication);
    registry.Section(StoredSettings::kSection);
    registry.Key(key);
    return registry;
}

QString get(const QString& key, const QString& defaultValue = QStringLiteral("<absent>"))
{
    return registryAt(key).RegGet(defaultValue);
}

void set(const QString& key, const QString& value)
{
    registryAt(key).RegSet(value);
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The permission bits of a file, as ls shows them.
int modeOf(const QString& path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

// Limits the size of any file this process writes, as a full disk or quota would; restores the
// limit when it goes. Works whoever runs the test, root included.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

} // namespace

class tst_CRegistry : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void storeIsOneFilePerApplicationInTheUsersConfigFolder();
    void absentValuesGiveTheDefault();
    void setSavesAtOnce();
    void readsTheFileEveryTime();
    void theKeyStaysCurrent();
    void deleteRemovesTheKeyOnly();
    void deleteIsQuietWhenAbsent();

    void roundTrip_data();
    void roundTrip();
    void aValueCannotInjectKeys();
    void readsValuesEditedByHand();

    void fileIsTheUsersAlone();
    void aRefusedWriteKeepsTheOldFile();
    void aWriteThatRunsOutOfSpaceKeepsTheOldFile();
    void anUnwritableStoreRaises();
    void anUnreadableStoreRaises();
    void anUnreadableFileRaises();
    void batchIsSavedWholeAtCommit();
    void saveRemovesLeftoversOfACutShortSave();

private:
    std::optional<TestConfig> m_config;
};

void tst_CRegistry::init()
{
    m_config.emplace();
}

void tst_CRegistry::cleanup()
{
    // Give back any permissions a test took, so that the folder can be removed.
    QFile::setPermissions(QFileInfo(m_config->settingsFile()).absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_config.reset();
}

void tst_CRegistry::storeIsOneFilePerApplicationInTheUsersConfigFolder()
{
    const QString expected = m_config->path() + QStringLiteral("/Quillpost/Quillpost.ini");
    QCOMPARE(m_config->settingsFile(), expected);
    QVERIFY(!QFileInfo::exists(expected));

    set(QStringLiteral("Interval"), QStringLiteral("5"));
    QCOMPARE(contentsOf(expected), QByteArray("[Settings]\nInterval=5\n"));
}

void tst_CRegistry::absentValuesGiveTheDefault()
{
    // No file at all.
    QCOMPARE(get(QStringLiteral("Interval"), QStringLiteral("10")), QStringLiteral("10"));
    QCOMPARE(get(QStringLiteral("UserId"), QString()), QString());
    QVERIFY2(!QFileInfo::exists(m_config->settingsFile()), "reading created the store");

    // The file exists; the key, the section or the application does not.
    set(QStringLiteral("Interval"), QStringLiteral("5"));
    QCOMPARE(get(QStringLiteral("Sound"), QStringLiteral("1")), QStringLiteral("1"));

    CRegistry otherSection;
    otherSection.Application(StoredSettings::kApplication);
    otherSection.Section(QStringLiteral("Elsewhere"));
    otherSection.Key(QStringLiteral("Interval"));
    QCOMPARE(otherSection.RegGet(QStringLiteral("d")), QStringLiteral("d"));

    CRegistry otherApplication;
    otherApplication.Application(QStringLiteral("SomethingElse"));
    otherApplication.Section(StoredSettings::kSection);
    otherApplication.Key(QStringLiteral("Interval"));
    QCOMPARE(otherApplication.RegGet(QStringLiteral("d")), QStringLiteral("d"));

    // A value saved as empty is present, not absent.
    set(QStringLiteral("UserId"), QString());
    QCOMPARE(get(QStringLiteral("UserId"), QStringLiteral("d")), QString());
}

void tst_CRegistry::setSavesAtOnce()
{
    CRegistry writer = registryAt(QStringLiteral("POP3Server"));
    writer.RegSet(QStringLiteral("mail.example.org"));

    // Another reader, while the writer still lives.
    QCOMPARE(get(QStringLiteral("POP3Server")), QStringLiteral("mail.example.org"));
    QVERIFY(contentsOf(m_config->settingsFile()).contains("POP3Server=mail.example.org\n"));

    writer.RegSet(QStringLiteral("pop.example.net"));
    QCOMPARE(get(QStringLiteral("POP3Server")), QStringLiteral("pop.example.net"));
    QVERIFY(contentsOf(m_config->settingsFile()).contains("pop.example.net"));
}

void tst_CRegistry::readsTheFileEveryTime()
{
    set(QStringLiteral("UserId"), QStringLiteral("alice"));
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("alice"));

    // Another writer replaces the value within the same clock tick: same size, same time stamp.
    const QString path = m_config->settingsFile();
    const QDateTime stamp = QFileInfo(path).lastModified();
    QByteArray bytes = contentsOf(path);
    bytes.replace("alice", "bobby");
    writeFile(path, bytes);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("bobby"));

    // And once more with a plainly newer file.
    writeFile(path, "[Settings]\nUserId=carol\n");
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("carol"));

    // A write keeps what the other writer saved under other keys.
    writeFile(path, "[Settings]\nUserId=dave\nSound=2\n");
    set(QStringLiteral("Run"), QStringLiteral("1"));
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("dave"));
    QCOMPARE(get(QStringLiteral("Sound")), QStringLiteral("2"));
    QCOMPARE(get(QStringLiteral("Run")), QStringLiteral("1"));
}

void tst_CRegistry::theKeyStaysCurrent()
{
    CRegistry registry = registryAt(QStringLiteral("Password"));
    registry.RegSet(QStringLiteral("cipher"));
    QCOMPARE(registry.RegGet(QString()), QStringLiteral("cipher"));
    QCOMPARE(registry.RegGet(QString()), QStringLiteral("cipher"));

    registry.Key(QStringLiteral("UserId"));
    QCOMPARE(registry.RegGet(QStringLiteral("none")), QStringLiteral("none"));
}

void tst_CRegistry::deleteRemovesTheKeyOnly()
{
    set(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    set(QStringLiteral("Interval"), QStringLiteral("7"));

    registryAt(QStringLiteral("AlreadyRun")).RegDel();
    QCOMPARE(get(QStringLiteral("AlreadyRun"), QStringLiteral("0")), QStringLiteral("0"));
    QCOMPARE(get(QStringLiteral("Interval")), QStringLiteral("7"));
    QVERIFY(!contentsOf(m_config->settingsFile()).contains("AlreadyRun"));
}

void tst_CRegistry::deleteIsQuietWhenAbsent()
{
    registryAt(QStringLiteral("AlreadyRun")).RegDel();
    QVERIFY2(!QFileInfo::exists(m_config->settingsFile()), "deleting created the store");

    set(QStringLiteral("Interval"), QStringLiteral("7"));
    registryAt(QStringLiteral("AlreadyRun")).RegDel();
    registryAt(QStringLiteral("AlreadyRun")).RegDel();
    QCOMPARE(get(QStringLiteral("Interval")), QStringLiteral("7"));
}

void tst_CRegistry::roundTrip_data()
{
    QTest::addColumn<QString>("value");

    QString printable;
    for (char c = ';'; c <= 'z'; ++c)
        printable += QLatin1Char(c);
    QTest::newRow("';' to 'z'") << printable;
    QTest::newRow("all printable ASCII") << [] {
        QString s;
        for (char c = ' '; c <= '~'; ++c)
            s += QLatin1Char(c);
        return s;
    }();
    QTest::newRow("Windows path") << QStringLiteral("C:\\Program Files\\Quillpost\\Mailtrill.wav");
    QTest::newRow("trailing backslash") << QStringLiteral("C:\\");
    QTest::newRow("comma") << QStringLiteral("a,b");
    QTest::newRow("comma and blank") << QStringLiteral("a, b");
    QTest::newRow("commas only") << QStringLiteral(",,");
    QTest::newRow("double quotes") << QStringLiteral("\"quoted\"");
    QTest::newRow("one double quote") << QStringLiteral("say \"hi");
    QTest::newRow("single quotes") << QStringLiteral("'x'");
    QTest::newRow("at sign first") << QStringLiteral("@Invalid()");
    QTest::newRow("at sign variant") << QStringLiteral("@ByteArray(abc)");
    QTest::newRow("lone at sign") << QStringLiteral("@");
    QTest::newRow("hash") << QStringLiteral("#not a comment");
    QTest::newRow("semicolon first") << QStringLiteral(";not a comment");
    QTest::newRow("equals") << QStringLiteral("a=b=c");
    QTest::newRow("section-like") << QStringLiteral("[Settings]");
    QTest::newRow("leading and trailing blanks") << QStringLiteral("  padded  ");
    QTest::newRow("blank only") << QStringLiteral(" ");
    QTest::newRow("non-ASCII blanks at the ends") << QStringLiteral("\u00A0x\u3000");
    QTest::newRow("lone double quote") << QStringLiteral("\"");
    QTest::newRow("control characters") << QStringLiteral("a\x01"
                                                          "b\x7F\x1B[0m");
    QTest::newRow("escape-like text") << QStringLiteral("\\x41 \\n \\");
    QTest::newRow("tab") << QStringLiteral("\ttab\t");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\r");
    QTest::newRow("accents") << QStringLiteral("caf\u00E9 na\u00EFve");
    QTest::newRow("euro") << QStringLiteral("\u20AC 5");
    QTest::newRow("CJK") << QStringLiteral("\u90F5\u4FBF");
    QTest::newRow("emoji") << QStringLiteral("\U0001F4EC mail");
    QTest::newRow("empty") << QString();
    QTest::newRow("number-like") << QStringLiteral("007");
    QTest::newRow("boolean-like") << QStringLiteral("true");
    QTest::newRow("long") << QString(5000, QLatin1Char('x'));
}

void tst_CRegistry::roundTrip()
{
    QFETCH(QString, value);
    set(QStringLiteral("Before"), QStringLiteral("b"));
    set(QStringLiteral("CommandLine"), value);
    set(QStringLiteral("After"), QStringLiteral("a"));

    QCOMPARE(get(QStringLiteral("CommandLine")), value);
    QCOMPARE(get(QStringLiteral("Before")), QStringLiteral("b"));
    QCOMPARE(get(QStringLiteral("After")), QStringLiteral("a"));

    // A second write of the same value leaves it as it was.
    set(QStringLiteral("CommandLine"), get(QStringLiteral("CommandLine")));
    QCOMPARE(get(QStringLiteral("CommandLine")), value);
}

void tst_CRegistry::aValueCannotInjectKeys()
{
    set(QStringLiteral("UserId"), QStringLiteral("x\n[Settings]\nAlreadyRun=1\nInterval=0"));
    set(QStringLiteral("Interval"), QStringLiteral("10"));
    QCOMPARE(get(QStringLiteral("AlreadyRun"), QStringLiteral("0")), QStringLiteral("0"));
    QCOMPARE(get(QStringLiteral("Interval")), QStringLiteral("10"));
    QCOMPARE(contentsOf(m_config->settingsFile()).count('\n'), 3);
}

void tst_CRegistry::readsValuesEditedByHand()
{
    const QString path = m_config->settingsFile();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const QByteArray edited = "\xEF\xBB\xBF; written by hand\r\n"
                              "[Other]\r\nUserId=wrong\r\n\r\n"
                              "[ Settings ]\r\n"
                              "# the server\r\n"
                              "  POP3Server = mail.example.org \r\n"
                              "CommandLine=notify-send a,b\r\n"
                              "Sample=\"  spaced  \"\r\n"
                              "Path=C:\\Mail\\Bell.wav\r\n"
                              "Run\r\n";
    writeFile(path, edited);
    QCOMPARE(get(QStringLiteral("POP3Server")), QStringLiteral("mail.example.org"));
    QCOMPARE(get(QStringLiteral("CommandLine")), QStringLiteral("notify-send a,b"));
    QCOMPARE(get(QStringLiteral("Sample")), QStringLiteral("  spaced  "));
    QCOMPARE(get(QStringLiteral("Path")), QStringLiteral("C:\\Mail\\Bell.wav"));
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("<absent>"));
    QCOMPARE(get(QStringLiteral("Run")), QStringLiteral("<absent>"));

    // Saving one value keeps the rest of the hand-made file.
    set(QStringLiteral("UserId"), QStringLiteral("alice"));
    const QByteArray after = contentsOf(path);
    QVERIFY(after.contains("; written by hand"));
    QVERIFY(after.contains("# the server"));
    QVERIFY(after.contains("UserId=wrong"));
    QCOMPARE(get(QStringLiteral("UserId")), QStringLiteral("alice"));
    QCOMPARE(get(QStringLiteral("POP3Server")), QStringLiteral("mail.example.org"));
    QCOMPARE(get(QStringLiteral("Sample")), QStringLiteral("  spaced  "));
}

void tst_CRegistry::fileIsTheUsersAlone()
{
    const QString path = m_config->settingsFile();
    set(QStringLiteral("Password"), QStringLiteral("cipher"));
    QCOMPARE(modeOf(path), 0600);

    set(QStringLiteral("UserId"), QStringLiteral("alice"));
    registryAt(QStringLiteral("UserId")).RegDel();
    QCOMPARE(modeOf(path), 0600);

    // A file someone made readable for all is the user's alone again after the next write.
    QVERIFY(QFile::setPermissions(path, kOwnerOnly | QFile::ReadGroup | QFile::ReadOther));
    set(QStringLiteral("Password"), QStringLiteral("cipher2"));
    QCOMPARE(modeOf(path), 0600);
}

void tst_CRegistry::aRefusedWriteKeepsTheOldFile()
{
    if (runningAsRoot())
        QSKIP("folder permissions do not stop root");
    set(QStringLiteral("Interval"), QStringLiteral("5"));
    const QByteArray before = contentsOf(m_config->settingsFile());
    const QString folder = QFileInfo(m_config->settingsFile()).absolutePath();
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));

    QVERIFY_THROWS_EXCEPTION(RuntimeError, set(QStringLiteral("Interval"), QStringLiteral("6")));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, registryAt(QStringLiteral("Interval")).RegDel());
    QCOMPARE(contentsOf(m_config->settingsFile()), before);
    QCOMPARE(get(QStringLiteral("Interval")), QStringLiteral("5"));
}

void tst_CRegistry::aWriteThatRunsOutOfSpaceKeepsTheOldFile()
{
    set(QStringLiteral("Interval"), QStringLiteral("5"));
    const QByteArray before = contentsOf(m_config->settingsFile());
    {
        const FileSizeLimit limit(1024);
        QVERIFY_THROWS_EXCEPTION(RuntimeError,
                                 set(QStringLiteral("CommandLine"), QString(100000, QLatin1Char('x'))));
    }
    QCOMPARE(contentsOf(m_config->settingsFile()), before);
    QCOMPARE(get(QStringLiteral("Interval")), QStringLiteral("5"));
    QCOMPARE(get(QStringLiteral("CommandLine")), QStringLiteral("<absent>"));
    const QStringList leftovers = QDir(QFileInfo(m_config->settingsFile()).absolutePath())
                                      .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(leftovers, QStringList{QStringLiteral("Quillpost.ini")});
}

void tst_CRegistry::anUnwritableStoreRaises()
{
    // The application's folder is taken by a plain file.
    writeFile(m_config->path() + QStringLiteral("/Quillpost"), "not a folder");
    QVERIFY_THROWS_EXCEPTION(RuntimeError, set(QStringLiteral("Interval"), QStringLiteral("5")));
    QCOMPARE(get(QStringLiteral("Interval"), QStringLiteral("10")), QStringLiteral("10"));
}

void tst_CRegistry::anUnreadableStoreRaises()
{
    // A folder where the file should be cannot be read, even by root.
    QVERIFY(QDir().mkpath(m_config->settingsFile()));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, get(QStringLiteral("Interval"), QStringLiteral("10")));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, set(QStringLiteral("Interval"), QStringLiteral("5")));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, registryAt(QStringLiteral("Interval")).RegDel());
}

void tst_CRegistry::anUnreadableFileRaises()
{
    if (runningAsRoot())
        QSKIP("file permissions do not stop root");
    set(QStringLiteral("Interval"), QStringLiteral("5"));
    QVERIFY(QFile::setPermissions(m_config->settingsFile(), QFile::WriteOwner));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, get(QStringLiteral("Interval"), QStringLiteral("10")));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, set(QStringLiteral("UserId"), QStringLiteral("alice")));
}

void tst_CRegistry::batchIsSavedWholeAtCommit()
{
    m_config->store(QStringLiteral("UserId"), QStringLiteral("old"));
    CRegistry store = registryAt(QStringLiteral("UserId"));
    store.BeginBatch();
    store.RegSet(QStringLiteral("new"));
    store.Key(QStringLiteral("POP3Server"));
    store.RegSet(QStringLiteral("pop.test"));
    QCOMPARE(m_config->stored(QStringLiteral("UserId")), QStringLiteral("old"));
    QCOMPARE(m_config->stored(QStringLiteral("POP3Server")), QStringLiteral("<absent>"));

    store.CommitBatch();
    QCOMPARE(m_config->stored(QStringLiteral("UserId")), QStringLiteral("new"));
    QCOMPARE(m_config->stored(QStringLiteral("POP3Server")), QStringLiteral("pop.test"));
    struct stat status = {};
    QCOMPARE(stat(QFile::encodeName(m_config->settingsFile()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0600u);

    // After the commit, writes go to the file at once again.
    store.Key(QStringLiteral("UserId"));
    store.RegSet(QStringLiteral("newer"));
    QCOMPARE(m_config->stored(QStringLiteral("UserId")), QStringLiteral("newer"));
}

void tst_CRegistry::saveRemovesLeftoversOfACutShortSave()
{
    m_config->store(QStringLiteral("UserId"), QStringLiteral("first"));
    const auto leftover = [&](const QString& suffix, qint64 ageSeconds) {
        QFile file(m_config->settingsFile() + suffix);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
    };
    leftover(QStringLiteral(".Ab3xYz"), 120);
    leftover(QStringLiteral(".Qw9rTy"), 0); // a save that may still be writing
    leftover(QStringLiteral(".notes"), 120);

    m_config->store(QStringLiteral("UserId"), QStringLiteral("second"));
    QVERIFY(!QFileInfo::exists(m_config->settingsFile() + QStringLiteral(".Ab3xYz")));
    QVERIFY(QFileInfo::exists(m_config->settingsFile() + QStringLiteral(".Qw9rTy")));
    QVERIFY(QFileInfo::exists(m_config->settingsFile() + QStringLiteral(".notes")));
    QCOMPARE(m_config->stored(QStringLiteral("UserId")), QStringLiteral("second"));
}

QTEST_MAIN(tst_CRegistry)
#include "tst_CRegistry.moc"

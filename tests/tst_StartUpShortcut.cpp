#include "support/TestConfig.h"

#include "settings/StartUpShortcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

class tst_StartUpShortcut : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void execValue_data();
    void execValue();
    void createdTwiceIsOneEntry();
    void createReplacesOtherContent();
    void removeDeletesEntryOnly();
    void removeAbsentIsQuiet();
    void unwritableFolderIsQuiet();

private:
    QString folder() const { return m_config->path() + QStringLiteral("/autostart"); }
    QString entry() const { return folder() + QStringLiteral("/Quillpost.desktop"); }
    QStringList entryLines() const;

    std::unique_ptr<TestConfig> m_config;
};

void tst_StartUpShortcut::init()
{
    m_config = std::make_unique<TestConfig>();
}

void tst_StartUpShortcut::cleanup()
{
    m_config.reset();
}

QStringList tst_StartUpShortcut::entryLines() const
{
    QFile file(entry());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void tst_StartUpShortcut::execValue_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("value");

    // Values as they stand in the file: a literal backslash inside quotes takes four.
    QTest::newRow("plain") << "/usr/bin/quillpost"
                           << "/usr/bin/quillpost";
    QTest::newRow("blank") << "/opt/Quill Post/quillpost"
                           << "\"/opt/Quill Post/quillpost\"";
    QTest::newRow("double quote") << "/opt/a\"b/quillpost"
                                  << "\"/opt/a\\\\\"b/quillpost\"";
    QTest::newRow("backslash") << "/opt/a\\b/quillpost"
                               << "\"/opt/a\\\\\\\\b/quillpost\"";
    QTest::newRow("dollar") << "/opt/$HOME/quillpost"
                            << "\"/opt/\\\\$HOME/quillpost\"";
    QTest::newRow("backtick") << "/opt/a`b/quillpost"
                              << "\"/opt/a\\\\`b/quillpost\"";
    QTest::newRow("single quote") << "/home/o'neil/quillpost"
                                  << "\"/home/o'neil/quillpost\"";
    QTest::newRow("tilde and hash") << "/opt/~#1/quillpost"
                                    << "\"/opt/~#1/quillpost\"";
    QTest::newRow("percent") << "/opt/100%/quillpost"
                             << "/opt/100%%/quillpost";
    QTest::newRow("percent quoted") << "/opt/100 %/quillpost"
                                    << "\"/opt/100 %%/quillpost\"";
    QTest::newRow("newline and tab") << "/opt/a\nb\tc/quillpost"
                                     << "\"/opt/a\\nb\\tc/quillpost\"";
    QTest::newRow("non-ASCII") << "/opt/Grüße/quillpost"
                               << "/opt/Grüße/quillpost";
}

void tst_StartUpShortcut::execValue()
{
    QFETCH(QString, program);
    QFETCH(QString, value);
    QCOMPARE(desktopExecValue(program), value);
}

void tst_StartUpShortcut::createdTwiceIsOneEntry()
{
    CreateStartUpShortcut();
    CreateStartUpShortcut();

    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{"Quillpost.desktop"});
    const QStringList lines = entryLines();
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    for (const QString& line :
         {QStringLiteral("Type=Application"), QStringLiteral("Name=Quillpost"),
          QStringLiteral("Icon=quillpost"), QStringLiteral("Terminal=false"),
          QStringLiteral("X-GNOME-Autostart-enabled=true"), QStringLiteral("X-KDE-autostart-after=panel"),
          QStringLiteral("X-LXQt-Need-Tray=true"),
          QStringLiteral("Exec=") + desktopExecValue(QCoreApplication::applicationFilePath())})
        QVERIFY2(lines.count(line) == 1, qPrintable(line));
    // Each key once, and every line a key=value pair.
    QStringList keys;
    for (const QString& line : lines.mid(1)) {
        QVERIFY2(line.indexOf(QLatin1Char('=')) > 0, qPrintable(line));
        keys << line.section(QLatin1Char('='), 0, 0);
    }
    QCOMPARE(keys.removeDuplicates(), 0);
    QVERIFY(keys.contains(QStringLiteral("Comment")));
}

void tst_StartUpShortcut::createReplacesOtherContent()
{
    QVERIFY(QDir().mkpath(folder()));
    QFile stale(entry());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("[Desktop Entry]\nExec=/old/place/quillpost --stale\nHidden=true\n");
    stale.close();

    CreateStartUpShortcut();
    const QStringList lines = entryLines();
    QVERIFY(!lines.contains(QStringLiteral("Hidden=true")));
    QVERIFY(
        lines.contains(QStringLiteral("Exec=") + desktopExecValue(QCoreApplication::applicationFilePath())));
}

void tst_StartUpShortcut::removeDeletesEntryOnly()
{
    CreateStartUpShortcut();
    QFile other(folder() + QStringLiteral("/Other.desktop"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    RemoveStartUpShortcut();
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Other.desktop"});
}

void tst_StartUpShortcut::removeAbsentIsQuiet()
{
    RemoveStartUpShortcut();
    QVERIFY(!QFileInfo::exists(folder()));
    QVERIFY(QDir().mkpath(folder()));
    RemoveStartUpShortcut();
    QVERIFY(QDir(folder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void tst_StartUpShortcut::unwritableFolderIsQuiet()
{
    // A file where the folder should be: nothing can be placed, and nothing is thrown.
    QFile blocker(folder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    CreateStartUpShortcut();
    RemoveStartUpShortcut();
    QVERIFY(QFileInfo(folder()).isFile());
}

QTEST_MAIN(tst_StartUpShortcut)
#include "tst_StartUpShortcut.moc"

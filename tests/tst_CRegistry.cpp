#include "settings/CRegistry.h"
#include "support/TestConfig.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

class tst_CRegistry : public QObject
{
    Q_OBJECT
private slots:
    void batchIsSavedWholeAtCommit();
    void saveRemovesLeftoversOfACutShortSave();
    void saveClearsALockLeftEmpty();

private:
    static CRegistry settingsStore();
};

CRegistry tst_CRegistry::settingsStore()
{
    CRegistry store;
    store.Application(QStringLiteral("Quillpost"));
    store.Section(QStringLiteral("Settings"));
    return store;
}

void tst_CRegistry::batchIsSavedWholeAtCommit()
{
    const TestConfig config;
    config.store(QStringLiteral("UserId"), QStringLiteral("old"));
    CRegistry store = settingsStore();
    store.BeginBatch();
    store.Key(QStringLiteral("UserId"));
    store.RegSet(QStringLiteral("new"));
    store.Key(QStringLiteral("POP3Server"));
    store.RegSet(QStringLiteral("pop.test"));
    QCOMPARE(config.stored(QStringLiteral("UserId")), QStringLiteral("old"));
    QCOMPARE(config.stored(QStringLiteral("POP3Server")), QStringLiteral("<absent>"));

    store.CommitBatch();
    QCOMPARE(config.stored(QStringLiteral("UserId")), QStringLiteral("new"));
    QCOMPARE(config.stored(QStringLiteral("POP3Server")), QStringLiteral("pop.test"));
    struct stat status = {};
    QCOMPARE(stat(QFile::encodeName(config.settingsFile()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0600u);

    // After the commit, writes go to the file at once again.
    store.Key(QStringLiteral("UserId"));
    store.RegSet(QStringLiteral("newer"));
    QCOMPARE(config.stored(QStringLiteral("UserId")), QStringLiteral("newer"));
}

void tst_CRegistry::saveRemovesLeftoversOfACutShortSave()
{
    const TestConfig config;
    config.store(QStringLiteral("UserId"), QStringLiteral("first"));
    const auto leftover = [&](const QString& suffix, qint64 ageSeconds) {
        QFile file(config.settingsFile() + suffix);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
    };
    leftover(QStringLiteral(".Ab3xYz"), 120);
    leftover(QStringLiteral(".Qw9rTy"), 0); // a save that may still be writing
    leftover(QStringLiteral(".notes"), 120);

    config.store(QStringLiteral("UserId"), QStringLiteral("second"));
    QVERIFY(!QFileInfo::exists(config.settingsFile() + QStringLiteral(".Ab3xYz")));
    QVERIFY(QFileInfo::exists(config.settingsFile() + QStringLiteral(".Qw9rTy")));
    QVERIFY(QFileInfo::exists(config.settingsFile() + QStringLiteral(".notes")));
    QCOMPARE(config.stored(QStringLiteral("UserId")), QStringLiteral("second"));
}

void tst_CRegistry::saveClearsALockLeftEmpty()
{
    // A writer killed between creating its lock file and writing its name into it.
    const TestConfig config;
    config.store(QStringLiteral("UserId"), QStringLiteral("first"));
    QFile lock(config.settingsFile() + QStringLiteral(".lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-2), QFileDevice::FileModificationTime));
    lock.close();

    QElapsedTimer clock;
    clock.start();
    config.store(QStringLiteral("UserId"), QStringLiteral("second"));
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()));
    QCOMPARE(config.stored(QStringLiteral("UserId")), QStringLiteral("second"));
}

QTEST_MAIN(tst_CRegistry)
#include "tst_CRegistry.moc"

#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/FakePlatform.h"
#include "support/ScriptedPop3Server.h"
#include "tray/CTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#define QUILLPOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLPOST_ASAN 1
#endif
#endif

using Chunks = QList<QByteArray>;
using Then = ScriptedPop3Server::Then;

namespace {

// A way for the server to misbehave, and what the tray must show after a check against it.
struct Fault
{
    const char* name;
    Chunks greeting{"+OK ready\r\n"};
    Then afterGreeting = Then::StayOpen;
    Chunks user{"+OK\r\n"};
    Chunks pass{"+OK\r\n"};
    Chunks stat{"+OK 3 5000\r\n"};
    Chunks quit{"+OK bye\r\n"};
    const char* tip = "Off-Line";
    bool mail = false;
    bool message = false;
    bool silent = false; // ends only at the time-out
};

const QByteArray kHugeLine = "+OK " + QByteArray(100'000, 'x') + "\r\n";

const QList<Fault> kFaults{
    {.name = "normal", .tip = "3 e-mails waiting (5 Kb)", .mail = true},
    {.name = "split replies",
     .greeting = {"+O", "K ready\r\n"},
     .stat = {"+OK 2 20", "48\r\n"},
     .tip = "2 e-mails waiting (2 Kb)",
     .mail = true},
    {.name = "bare LF",
     .greeting = {"+OK ready\n"},
     .user = {"+OK\n"},
     .pass = {"+OK\n"},
     .stat = {"+OK 1 100\n"},
     .quit = {"+OK\n"},
     .tip = "1 e-mail waiting (0 Kb)",
     .mail = true},
    {.name = "-ERR greeting", .greeting = {"-ERR busy\r\n"}, .message = true},
    {.name = "-ERR USER", .user = {"-ERR who\r\n"}, .message = true},
    {.name = "-ERR PASS", .pass = {"-ERR [AUTH] Authentication failed.\r\n"}, .message = true},
    {.name = "-ERR STAT", .stat = {"-ERR locked\r\n"}, .message = true},
    {.name = "-ERR QUIT", .quit = {"-ERR not now\r\n"}, .message = true},
    {.name = "silent", .greeting = {}, .silent = true},
    {.name = "closed after the greeting", .afterGreeting = Then::Close, .user = {}},
    {.name = "huge line",
     .greeting = {kHugeLine},
     .stat = {"+OK 7 7168\r\n"},
     .tip = "7 e-mails waiting (7 Kb)",
     .mail = true},
    {.name = "big counts",
     .stat = {"+OK 4294967296 9223372036854775807\r\n"},
     .tip = "4294967296 e-mails waiting (9007199254740992 Kb)",
     .mail = true},
    {.name = "garbage STAT", .stat = {"+OK \x01\xff\xfe garbage\r\n"}},
};

// The silent faults wait this long; the others are never near it.
constexpr int kShortTimeoutMs = 40;
constexpr int kLongTimeoutMs = 10'000;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

// Thousands of checks in a row against a server that cycles through every fault: after each the
// program must be idle again with the right tray, and in the end hold no more memory or
// descriptors than after warm-up. Also a year of scheduler ticks, driven directly.
class tst_Soak : public QObject
{
    Q_OBJECT
public:
    explicit tst_Soak(int checks)
        : m_checks(checks)
    {}

private slots:
    void init();
    void cleanup();

    void checksInARow();
    void aYearOfTicks_data();
    void aYearOfTicks();

private:
    void script(const Fault& fault);
    void checkAgainst(const Fault& fault, int number);

    const int m_checks;
    std::optional<ScriptedPop3Server> m_server;
    std::optional<CheckingWindow> m_rig;
    FakePlatform* m_platform = nullptr;
    frmSettings* m_window = nullptr;
};

void tst_Soak::init()
{
    m_server.emplace();
    QVERIFY(m_server->isListening());
    m_rig.emplace(QStringLiteral("127.0.0.1:%1").arg(m_server->port()), QStringLiteral("alice"),
                  QStringLiteral("wonderland"));
    m_platform = &m_rig->platform();
    m_window = &m_rig->window();
    m_window->optRun[0]->click();
}

void tst_Soak::cleanup()
{
    m_rig.reset();
    m_server.reset();
}

void tst_Soak::script(const Fault& fault)
{
    m_server->setGreeting(fault.greeting, fault.afterGreeting);
    m_server->setReply("USER", fault.user);
    m_server->setReply("PASS", fault.pass);
    m_server->setReply("STAT", fault.stat);
    m_server->setReply("QUIT", fault.quit, Then::Close);
    m_window->tmrTimeout->setInterval(fault.silent ? kShortTimeoutMs : kLongTimeoutMs);
}

void tst_Soak::checkAgainst(const Fault& fault, int number)
{
    const QByteArray where = QByteArray::number(number) + ": " + fault.name;
    frmSettings& w = *m_window;
    script(fault);
    QElapsedTimer clock;
    clock.start();
    w.cmdCheckNow->click();
    // A silent server is given up at the time-out, not before (a coarse timer may be 5 % early).
    if (fault.silent)
        QVERIFY2(clock.elapsed() >= kShortTimeoutMs * 95 / 100 - 1, where + " ended early");

    // Idle again: the timer and every trigger on, the connection gone on both sides.
    QVERIFY2(w.tmrCheck->Enabled(), where);
    QVERIFY2(w.cmdCheckNow->isEnabled() && w.mnuPopUpCheck->isEnabled() && w.cmdOK->isEnabled(), where);
    QVERIFY2(!w.tmrTimeout->Enabled() && !w.tmrIconAnim->Enabled(), where);
    QVERIFY2(QTest::qWaitFor(
                 [&] { return !m_server->hasClient() && w.socPOP->findChildren<QTcpSocket*>().isEmpty(); }),
             where);

    QVERIFY2(m_platform->shownTip() == QLatin1String(fault.tip),
             where + " shows " + m_platform->shownTip().toUtf8());
    const PictureBox* picture = fault.mail ? w.picGotMail : w.picNoMail;
    QVERIFY2(m_platform->shownIcon().cacheKey() == picture->Picture().cacheKey(), where);
    QVERIFY2(m_platform->messages.size() == (fault.message ? 1 : 0), where);
    m_platform->forgetHistory();
    m_server->forgetReceived();
}

void tst_Soak::checksInARow()
{
    const int warmUp = qMax(200, m_checks / 10);
    qint64 residentAfterWarmUp = 0;
    const qsizetype descriptorsAtStart = openDescriptors();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < m_checks; ++i) {
        checkAgainst(kFaults[i % kFaults.size()], i);
        if (QTest::currentTestFailed())
            return;
        if (i + 1 == warmUp)
            residentAfterWarmUp = residentBytes();
    }
    const qint64 growth = residentBytes() - residentAfterWarmUp;
    const qsizetype descriptorsAtEnd = openDescriptors();
    qInfo("soak: %d checks over %lld faults in %.1f s; resident memory %+lld KiB after %d warm-up checks; "
          "descriptors %lld at the start, %lld at the end",
          m_checks, static_cast<long long>(kFaults.size()), clock.elapsed() / 1000.0, growth / 1024, warmUp,
          static_cast<long long>(descriptorsAtStart), static_cast<long long>(descriptorsAtEnd));
    QCOMPARE(descriptorsAtEnd, descriptorsAtStart);
#ifndef QUILLPOST_ASAN
    // AddressSanitizer holds freed memory back for a while; its leak check stands in there.
    QVERIFY2(growth < 1024 * 1024, QByteArray::number(growth));
#endif
}

void tst_Soak::aYearOfTicks_data()
{
    QTest::addColumn<qint32>("interval");
    QTest::newRow("10 minutes") << 600;
    QTest::newRow("7 seconds, out of step with the on-line poll") << 7;
}

void tst_Soak::aYearOfTicks()
{
    QFETCH(qint32, interval);
    frmSettings& w = *m_window;
    w.optIfOffLine[0]->click(); // every check ends at once with "Off-Line"
    w.miInterval = interval;

    // A check shows in the tray; each must come exactly one interval after the one before.
    constexpr qint64 kYear = 366LL * 24 * 60 * 60;
    qint64 tick = 0, lastCheck = 0, checks = 0, offBeat = 0;
    m_platform->onNotify = [&] {
        offBeat += tick - lastCheck != interval;
        lastCheck = tick;
        ++checks;
        m_platform->trayCalls.clear();
    };
    for (tick = 1; tick <= kYear; ++tick)
        w.tmrCheck_Timer();
    m_platform->onNotify = nullptr;
    QCOMPARE(offBeat, 0);
    QCOMPARE(checks, kYear / interval);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // --long: the long run that the README's figures come from.
    QStringList arguments = app.arguments();
    const bool isLong = arguments.removeAll(QStringLiteral("--long")) > 0;
    tst_Soak test(isLong ? 10'000 : 2'000);
    return QTest::qExec(&test, arguments);
}

#include "tst_Soak.moc"

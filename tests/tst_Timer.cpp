#include "platform/Timer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs an action every few milliseconds, far more often than the timers under test tick.
class Poker
{
public:
    explicit Poker(std::function<void()> action)
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(action));
        m_timer.start(20);
    }

private:
    QTimer m_timer;
};

constexpr int kPeriod = 300;
// Coarse timers may fire a little early: they aim within 5% and align their wake-ups.
constexpr int kEarliest = kPeriod * 80 / 100;
// Generous: a loaded machine delays ticks, it never brings them forward.
constexpr int kDeadline = 10000;

} // namespace

class tst_Timer : public QObject
{
    Q_OBJECT
private slots:
    void startsAsConstructed();
    void ticksRepeatedly();
    void enablingARunningTimerKeepsItsPhase();
    void anUnchangedIntervalKeepsThePhase();
    void aNewIntervalAppliesAtOnce();
    void disablingStopsTicks();
    void reenablingStartsAFullPeriod();
    void tagSurvivesEverything();
};

void tst_Timer::startsAsConstructed()
{
    Timer running(1000, true);
    Timer stopped(60000, false);
    QVERIFY(running.Enabled());
    QCOMPARE(running.Interval(), 1000);
    QVERIFY(!stopped.Enabled());
    QCOMPARE(stopped.Interval(), 60000);
    QVERIFY(stopped.Tag.isEmpty());

    stopped.setInterval(50);
    QVERIFY2(!stopped.Enabled(), "a new interval must not start a disabled timer");
}

void tst_Timer::ticksRepeatedly()
{
    Timer timer(20, true);
    QSignalSpy ticks(&timer, &Timer::Tick);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, kDeadline);
    QVERIFY(timer.Enabled());
}

void tst_Timer::enablingARunningTimerKeepsItsPhase()
{
    QElapsedTimer clock;
    clock.start();
    Timer timer(kPeriod, true);
    QSignalSpy ticks(&timer, &Timer::Tick);
    // Were enabling a restart, every poke would push the tick another period away and none would come.
    Poker poker([&timer] { timer.setEnabled(true); });

    QVERIFY2(ticks.wait(kDeadline), "enabling a running timer restarted it");
    QVERIFY2(clock.elapsed() >= kEarliest, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(timer.Enabled());
}

void tst_Timer::anUnchangedIntervalKeepsThePhase()
{
    QElapsedTimer clock;
    clock.start();
    Timer timer(kPeriod, true);
    QSignalSpy ticks(&timer, &Timer::Tick);
    Poker poker([&timer] { timer.setInterval(kPeriod); });

    QVERIFY2(ticks.wait(kDeadline), "setting the same interval restarted the timer");
    QVERIFY2(clock.elapsed() >= kEarliest, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(timer.Interval(), kPeriod);
}

void tst_Timer::aNewIntervalAppliesAtOnce()
{
    Timer timer(600000, true);
    QSignalSpy ticks(&timer, &Timer::Tick);
    timer.setInterval(20);
    QCOMPARE(timer.Interval(), 20);
    QVERIFY(ticks.wait(kDeadline));
    QVERIFY(timer.Enabled());
}

void tst_Timer::disablingStopsTicks()
{
    Timer timer(20, true);
    QSignalSpy ticks(&timer, &Timer::Tick);
    QVERIFY(ticks.wait(kDeadline));

    timer.setEnabled(false);
    ticks.clear();
    QVERIFY(!timer.Enabled());
    QVERIFY2(!ticks.wait(300), "a disabled timer ticked");

    timer.setEnabled(false);
    QVERIFY(!timer.Enabled());
}

void tst_Timer::reenablingStartsAFullPeriod()
{
    Timer timer(kPeriod, false);
    QSignalSpy ticks(&timer, &Timer::Tick);
    QElapsedTimer clock;
    clock.start();
    timer.setEnabled(true);
    QVERIFY(ticks.wait(kDeadline));
    QVERIFY2(clock.elapsed() >= kEarliest, qPrintable(QString::number(clock.elapsed())));
}

void tst_Timer::tagSurvivesEverything()
{
    Timer timer(500, false);
    timer.Tag = QStringLiteral("1");
    timer.setEnabled(true);
    timer.setInterval(250);
    timer.setEnabled(false);
    timer.setInterval(250);
    QCOMPARE(timer.Tag, QStringLiteral("1"));
}

QTEST_MAIN(tst_Timer)
#include "tst_Timer.moc"

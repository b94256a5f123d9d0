#include "platform/Timer.h"

Timer::Timer(int interval, bool enabled, QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(interval);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::Tick);
    setEnabled(enabled);
}

void Timer::setEnabled(bool enabled)
{
    if (enabled && !m_timer.isActive())
        m_timer.start();
    else if (!enabled)
        m_timer.stop();
}

void Timer::setInterval(int milliseconds)
{
    // QTimer restarts a running timer on a new interval; an unchanged interval keeps the phase.
    if (milliseconds != m_timer.interval())
        m_timer.setInterval(milliseconds);
}

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// A window timer: ticks every Interval milliseconds while Enabled. Enabling a timer that already
// runs keeps its phase, so callers may enable it freely; Tag is free text kept for the caller.
class Timer : public QObject
{
    Q_OBJECT
public:
    Timer(int interval, bool enabled, QObject* parent = nullptr);

    bool Enabled() const { return m_timer.isActive(); }
    void setEnabled(bool enabled);
    int Interval() const { return m_timer.interval(); }
    void setInterval(int milliseconds);

    QString Tag;

signals:
    void Tick();

private:
    QTimer m_timer;
};

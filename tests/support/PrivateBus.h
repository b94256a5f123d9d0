#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A dbus-daemon of the test's own, so that the code under test talks to no bus of the machine's;
// the daemon stops with this object.
//
//   PrivateBus bus;
//   if (!bus.start(PrivateBus::Services::None))
//       QSKIP(qPrintable(bus.error()));
//   qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
class PrivateBus
{
public:
    enum class Services
    {
        OnDemand, // the machine's usual session bus, which starts the installed services when called
        None      // nothing starts on demand: no daemon of the machine's answers in place of the test's
    };

    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon and waits a bounded time for its address; false, with the reason in error(),
    // when it does not come up.
    bool start(Services services = Services::OnDemand);
    QString address() const { return m_address; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& reason);

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

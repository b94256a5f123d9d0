#include "support/PrivateBus.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int kStartMs = 10000;

// The session bus's own policy, without its service folders.
const char kBareConfig[] = R"(<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool PrivateBus::start(Services services)
{
    QString config = QStringLiteral("--session");
    if (services == Services::None) {
        if (!m_dir.isValid())
            return fail("no temporary folder for its configuration: " + m_dir.errorString());
        QFile file(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QString::fromLatin1(kBareConfig).arg(m_dir.path()).toUtf8()) < 0)
            return fail("cannot write " + file.fileName() + ": " + file.errorString());
        config = "--config-file=" + file.fileName();
    }
    m_daemon.start(QStringLiteral("dbus-daemon"), {config, "--nofork", "--print-address=1"});
    const QDeadlineTimer deadline(kStartMs);
    while (!m_daemon.canReadLine() && m_daemon.state() != QProcess::NotRunning && !deadline.hasExpired())
        m_daemon.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (m_daemon.canReadLine()) {
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        return true;
    }
    if (m_daemon.error() == QProcess::FailedToStart)
        return fail(m_daemon.errorString());
    if (m_daemon.state() == QProcess::NotRunning)
        return fail(QString::fromLocal8Bit(m_daemon.readAllStandardError().trimmed()));
    return fail(QStringLiteral("no address within %1 s").arg(kStartMs / 1000));
}

bool PrivateBus::fail(const QString& reason)
{
    m_error = "dbus-daemon did not start: " + reason;
    return false;
}

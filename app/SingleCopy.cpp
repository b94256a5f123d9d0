#include "app/SingleCopy.h"

#include "core/Logging.h"
#include "core/RuntimeError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <utility>

namespace {

const QByteArray kShowRequest = "show\n";
// A running copy may still be on its way to listening, or be busy for a moment.
constexpr int kReachLimitMs = 5000;
constexpr int kRetryGapMs = 100;
constexpr int kStepLimitMs = 1000;

} // namespace

SingleCopy::SingleCopy(const QString& folder)
    : m_socketPath(folder + QStringLiteral("/Quillpost.socket"))
    , m_lock(folder + QStringLiteral("/Quillpost.lock"))
{
    // Only a holder that has died makes the lock stale, however long a copy has been running.
    m_lock.setStaleLockTime(0);
}

SingleCopy::~SingleCopy() = default;

QString SingleCopy::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

bool SingleCopy::claim()
{
    QDir().mkpath(QFileInfo(m_socketPath).absolutePath());
    const QDeadlineTimer deadline(kReachLimitMs);
    for (;;) {
        if (m_lock.tryLock(0)) {
            listen();
            return true;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            // A folder where no lock can be made must not keep the program from running.
            qCWarning(lcStartup) << "cannot make sure that Quillpost runs only once:" << m_lock.fileName();
            return true;
        }
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(kStepLimitMs) && socket.write(kShowRequest) == kShowRequest.size() &&
            socket.waitForBytesWritten(kStepLimitMs)) {
            qCInfo(lcStartup) << "Quillpost already runs: asked it to show its settings window";
            socket.disconnectFromServer();
            return false;
        }
        if (deadline.hasExpired())
            throw RuntimeError(QStringLiteral("Quillpost already runs, but does not answer."));
        QThread::msleep(kRetryGapMs);
    }
}

void SingleCopy::carryOutRequests(std::function<void()> show)
{
    m_show = std::move(show);
    if (std::exchange(m_requested, false))
        m_show();
}

void SingleCopy::listen()
{
    // The lock is ours: a socket file still there was left by a copy that was killed.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleCopy::serve);
    if (!m_server->listen(m_socketPath))
        qCWarning(lcStartup) << "later starts cannot reach this copy:" << m_server->errorString();
    else
        qCInfo(lcStartup) << "later starts reach this copy at" << m_socketPath;
}

void SingleCopy::serve()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                if (socket->readLine(kShowRequest.size() + 1) == kShowRequest) {
                    if (m_show)
                        m_show();
                    else
                        m_requested = true;
                }
            // Nothing but short requests comes this way.
            if (socket->bytesAvailable() > kShowRequest.size())
                socket->abort();
        });
    }
}

// frmSettings: the wire side of a check — sending commands, reading replies, waiting for them
// while events go on, the time-out, and ending a conversation that failed.

#include "settings/frmSettings.h"

#include "core/RuntimeError.h"
#include "mail/Logging.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"

#include <QEventLoop>
#include <QScopedValueRollback>

void frmSettings::SendCommand(const QString& command)
{
    qCDebug(lcPop3).noquote() << "sending"
                              << (command.startsWith(QLatin1String("PASS ")) ? QStringLiteral("PASS ****")
                                                                             : command);
    socPOP->SendData(command + QStringLiteral("\r\n"));
}

void frmSettings::socPOP_DataArrival(qint32 bytesTotal)
{
    const QString text = socPOP->GetData(bytesTotal);
    if (mbGotOK || mbGotErr)
        return; // a wait judges one reply
    const ReplyReader::Reply reply = m_replies.take(text);
    if (reply.verdict == ReplyReader::Verdict::None)
        return;
    msReply = reply.line;
    mbGotOK = reply.verdict == ReplyReader::Verdict::Ok;
    mbGotErr = !mbGotOK;
    if (m_replyWait)
        m_replyWait->quit();
}

void frmSettings::tmrTimeout_Timer()
{
    mbTimedOut = true;
    tmrTimeout->setEnabled(false);
    if (m_replyWait)
        m_replyWait->quit();
}

bool frmSettings::WaitForReply()
{
    mbGotOK = false;
    mbGotErr = false;
    m_replies.clear();
    runStep([this] {
        // Sleeps in the event loop until a reply or the time-out wakes it.
        QEventLoop loop;
        QScopedValueRollback<QEventLoop*> current(m_replyWait, &loop);
        while (!mbGotOK && !mbGotErr && !mbTimedOut && !mbEnded)
            loop.exec();
    });
    if (mbEnded)
        return false;

    if (mbGotErr) {
        const QString text = ReplyReader::serverText(msReply);
        qCDebug(lcPop3).noquote() << "server refused:" << text;
        runStep([&] {
            m_platform.messageBox(MessageIcon::Critical, QStringLiteral("Quillpost"),
                                  QStringLiteral("Error connecting to POP3 server : \n\n") + text +
                                      QStringLiteral(".\n"));
        });
    } else if (mbTimedOut) {
        qCDebug(lcPop3) << "no reply in time";
    }
    if (mbGotErr || mbTimedOut) {
        mbGotOK = false;
        mbGotErr = false;
        runStep([this] { socPOP->SendData(QStringLiteral("QUIT\r\n")); });
        EndConversation();
        return false;
    }
    return true;
}

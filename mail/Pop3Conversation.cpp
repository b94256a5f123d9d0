// frmSettings: the wire side of a check — sending commands, reading replies, waiting for them
// while events go on, the time-out, and ending a conversation that failed.

#include "settings/frmSettings.h"

#include "core/RuntimeError.h"
#include "mail/Logging.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "settings/CRegistry.h"
#include "settings/StoredSettings.h"

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

void frmSettings::socPOP_Closed(const QString& reason)
{
    qCDebug(lcPop3).noquote() << "connection gone:" << reason;
    // No reply can come any more: the wait ends now, as at the time-out, and so does every later
    // wait of this conversation.
    mbClosed = true;
    if (m_replyWait)
        m_replyWait->quit();
}

bool frmSettings::WaitForReply()
{
    AwaitReply(ReplyReader::Shape::Line);
    if (mbEnded)
        return false;
    if (mbGotErr) {
        if (ReplyReader::isTemporary(msReply))
            qCDebug(lcPop3).noquote()
                << "server busy for now, trying again at the next check:" << ReplyReader::serverText(msReply);
        else
            ShowPop3Error(ReplyReader::serverText(msReply));
    } else if (mbTimedOut) {
        qCDebug(lcPop3) << "no reply in time";
    }
    if (mbGotErr || mbTimedOut || LostBeforeReply()) {
        FailConversation();
        return false;
    }
    return true;
}

bool frmSettings::LostBeforeReply() const
{
    // A reply that came in before the connection ended still counts.
    return mbClosed && !mbGotOK && !mbGotErr;
}

void frmSettings::AwaitReply(ReplyReader::Shape shape)
{
    mbGotOK = false;
    mbGotErr = false;
    m_replies.clear(shape);
    runStep([this] {
        // Sleeps in the event loop until a reply or the time-out wakes it.
        QEventLoop loop;
        QScopedValueRollback<QEventLoop*> current(m_replyWait, &loop);
        while (!mbGotOK && !mbGotErr && !mbTimedOut && !mbClosed && !mbEnded)
            loop.exec();
    });
}

void frmSettings::ShowPop3Error(const QString& text)
{
    qCDebug(lcPop3).noquote() << "server refused:" << text;
    runStep([&] {
        m_platform.messageBox(MessageIcon::Critical, QStringLiteral("Quillpost"),
                              QStringLiteral("Error connecting to POP3 server : \n\n") + text +
                                  QStringLiteral(".\n"));
    });
}

void frmSettings::FailConversation()
{
    mbGotOK = false;
    mbGotErr = false;
    runStep([this] { socPOP->SendData(QStringLiteral("QUIT\r\n")); });
    EndConversation();
}

bool frmSettings::SecureIfOffered()
{
    SendCommand(QStringLiteral("CAPA"));
    AwaitReply(ReplyReader::Shape::List);
    if (mbEnded)
        return false;
    if (mbTimedOut || LostBeforeReply()) {
        qCDebug(lcPop3) << "no reply in time";
        FailConversation();
        return false;
    }
    // A server that does not know CAPA answers "-ERR": it offers nothing.
    if (!mbGotOK || !m_replies.capabilities().stls) {
        // Someone on the way may have struck STLS from the list, or answered CAPA in its place.
        if (!msServer.isEmpty() && msServer == msSecuredServer) {
            ShowPop3Error(
                QStringLiteral("The server no longer offers encryption (STLS); your password was not sent"));
            FailConversation();
            return false;
        }
        qCDebug(lcPop3) << "the server offers no STLS: going on in plain text";
        return true;
    }
    // From here on the server has offered encryption: nothing is sent in the clear any more.
    SendCommand(QStringLiteral("STLS"));
    if (!WaitForReply())
        return false;
    socPOP->StartTls();
    if (!WaitForReply())
        return false;
    RememberSecured();
    return true;
}

void frmSettings::RememberSecured()
{
    if (msServer == msSecuredServer)
        return;
    msSecuredServer = msServer;
    try {
        CRegistry store;
        store.Application(StoredSettings::kApplication);
        store.Section(StoredSettings::kSection);
        store.Key(QString::fromLatin1(StoredSettings::SecuredServer.name));
        store.RegSet(msServer);
    } catch (const std::exception& failure) {
        // This run still holds it.
        qCWarning(lcPop3) << "cannot remember that the server offers STLS:" << failure.what();
    }
}

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
#include <QLineEdit>
#include <QScopedValueRollback>

namespace {

// The client's one message of an OAuth 2 sign-in: XOAUTH2 as Google and Microsoft define it, or
// OAUTHBEARER (RFC 7628), whose user name escapes "," and "=".
QString saslResponse(const QString& mechanism, const QString& userId, const QString& host, int port,
                     const QString& token)
{
    const QString bearer = QStringLiteral("auth=Bearer ") + token + QStringLiteral("\x01\x01");
    QString message;
    if (mechanism == QLatin1String("XOAUTH2")) {
        message = QStringLiteral("user=") + userId + u'\x01' + bearer;
    } else {
        QString name = userId;
        name.replace(u'=', QStringLiteral("=3D")).replace(u',', QStringLiteral("=2C"));
        message = QStringLiteral("n,a=%1,\x01host=%2\x01port=%3\x01").arg(name, host).arg(port) + bearer;
    }
    return QString::fromLatin1(message.toUtf8().toBase64());
}

} // namespace

void frmSettings::SendCommand(const QString& command, bool secret)
{
    qCDebug(lcPop3).noquote() << "sending"
                              << (secret                                       ? QStringLiteral("****")
                                  : command.startsWith(QLatin1String("PASS ")) ? QStringLiteral("PASS ****")
                                                                               : command);
    socPOP->SendData(command + QStringLiteral("\r\n"));
}

void frmSettings::socPOP_DataArrival(qint32 bytesTotal)
{
    const QString text = socPOP->GetData(bytesTotal);
    if (mbGotOK || mbGotErr || mbGotChallenge)
        return; // a wait judges one reply
    const ReplyReader::Reply reply = m_replies.take(text);
    if (reply.verdict == ReplyReader::Verdict::None)
        return;
    msReply = reply.line;
    mbGotOK = reply.verdict == ReplyReader::Verdict::Ok;
    mbGotErr = reply.verdict == ReplyReader::Verdict::Err;
    mbGotChallenge = reply.verdict == ReplyReader::Verdict::Continue;
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
    mbGotChallenge = false;
    m_replies.clear(shape);
    runStep([this] {
        // Sleeps in the event loop until a reply or the time-out wakes it.
        QEventLoop loop;
        QScopedValueRollback<QEventLoop*> current(m_replyWait, &loop);
        while (!mbGotOK && !mbGotErr && !mbGotChallenge && !mbTimedOut && !mbClosed && !mbEnded)
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
    mbGotChallenge = false;
    runStep([this] { socPOP->SendData(QStringLiteral("QUIT\r\n")); });
    EndConversation();
}

bool frmSettings::AskCapabilities()
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
    return true;
}

bool frmSettings::SecureIfOffered(bool tokenFollows)
{
    if (!AskCapabilities())
        return false;
    // A server that does not know CAPA answers "-ERR": it offers nothing.
    if (!mbGotOK || !m_replies.capabilities().stls) {
        // Someone on the way may have struck STLS from the list, or answered CAPA in its place. A
        // token is never sent in plain text anyway, and says so itself.
        if (!tokenFollows && !msServer.isEmpty() && msServer == msSecuredServer) {
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

bool frmSettings::Authenticate(const AccountLogin::Login& login)
{
    // A token lets anyone who reads it into the mailbox: only ever over TLS, whatever the server
    // would take.
    if (!socPOP->Encrypted()) {
        ShowPop3Error(QStringLiteral("The server offers no encryption (STLS); the sign-in was not sent"));
        FailConversation();
        return false;
    }
    // What the server takes may have changed with TLS.
    if (!AskCapabilities())
        return false;
    const QStringList offered = mbGotOK ? m_replies.capabilities().sasl : QStringList();
    const QString mechanism = offered.contains(QLatin1String("XOAUTH2"))       ? QStringLiteral("XOAUTH2")
                              : offered.contains(QLatin1String("OAUTHBEARER")) ? QStringLiteral("OAUTHBEARER")
                                                                               : QString();
    if (mechanism.isEmpty()) {
        ShowPop3Error(
            QStringLiteral("The server takes no OAuth sign-in (XOAUTH2 or OAUTHBEARER); it offers %1")
                .arg(offered.isEmpty() ? QStringLiteral("no SASL mechanism") : offered.join(u' ')));
        FailConversation();
        return false;
    }
    // Always the two-line form: some servers refuse a long first line, and POP3 limits it.
    SendCommand(QStringLiteral("AUTH ") + mechanism);
    AwaitReply(ReplyReader::Shape::Challenge);
    const bool tokenSent = mbGotChallenge;
    if (tokenSent) {
        SendCommand(
            saslResponse(mechanism, txtUserId->text(), socPOP->RemoteHost, socPOP->RemotePort, login.secret),
            true);
        AwaitReply(ReplyReader::Shape::Challenge);
        // A refused token comes back as a challenge with the reason, which the client answers
        // before the server says -ERR.
        if (mbGotChallenge) {
            qCDebug(lcPop3).noquote() << "token refused:"
                                      << QString::fromUtf8(QByteArray::fromBase64(
                                             ReplyReader::withoutLineEnd(msReply).mid(2).toLatin1()));
            SendCommand(mechanism == QLatin1String("XOAUTH2") ? QString() : QStringLiteral("AQ=="));
            AwaitReply(ReplyReader::Shape::Line);
        }
    }
    if (mbEnded)
        return false;
    if (mbGotOK)
        return true;
    if (mbGotErr && ReplyReader::isTemporary(msReply)) {
        qCDebug(lcPop3).noquote() << "server busy for now, trying again at the next check:"
                                  << ReplyReader::serverText(msReply);
    } else if (mbGotErr && !tokenSent) {
        ShowPop3Error(ReplyReader::serverText(msReply));
    } else if (mbGotErr && login.fresh) {
        SignInExpired(ReplyReader::serverText(msReply));
    } else if (mbGotErr) {
        // A kept token may have been revoked: the next check asks for a new one.
        qCDebug(lcPop3).noquote() << "kept token refused:" << ReplyReader::serverText(msReply);
        m_login.forget();
    } else {
        qCDebug(lcPop3) << "no reply in time";
    }
    FailConversation();
    return false;
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

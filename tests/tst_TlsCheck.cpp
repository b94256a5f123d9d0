#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/TestAuthority.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <optional>
#include <utility>

namespace {

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

} // namespace

// Whole checks over POP3 with TLS, and over plain POP3 turned into TLS by STLS, against the test
// Dovecot, whose certificate authority this test alone trusts; skipped without that server.
class tst_TlsCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void countsTheMail_data();
    void countsTheMail();
    void turnsDownBadCertificates_data();
    void turnsDownBadCertificates();

private:
    // Types the server and the login into the settings, saves them with OK and checks once.
    void check(const QString& server, const QString& userId, const QString& password);
    // What the server logged since the test began.
    QString newLog() const;

    std::optional<TestConfig> m_config;
    std::optional<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
    qint64 m_logStart = 0;
};

void tst_TlsCheck::initTestCase()
{
    if (env("QUILLPOST_DOVECOT_TLS_PORT").isEmpty())
        QSKIP("no test POP3 server: start tests/dovecot/harness.sh and source its env file");
    QVERIFY(TestAuthority::trust());
}

void tst_TlsCheck::init()
{
    m_config.emplace();
    m_platform.emplace();
    gTrayIcon.bind(&*m_platform);
    m_window = std::make_unique<frmSettings>(*m_platform, m_platform->tokens);
    m_window->miInterval = 3600;
    m_window->tmrTimeout->setInterval(10000); // a refusal must come well before this
    m_window->optIfOffLine[1]->click();
    m_window->optTT[1]->click();
    gTrayIcon->Icon(m_window->picNoMail->Picture());
    gTrayIcon->Notification(m_window->picHook);
    gTrayIcon->Create();
    m_logStart = QFile(env("QUILLPOST_DOVECOT_LOG")).size();
}

void tst_TlsCheck::cleanup()
{
    m_window.reset();
    gTrayIcon.release();
    m_platform.reset();
    m_config.reset();
}

void tst_TlsCheck::check(const QString& server, const QString& userId, const QString& password)
{
    m_window->txtServer->setText(server);
    m_window->txtUserId->setText(userId);
    m_window->txtPassword->setText(password);
    m_window->cmdOK->click();
    QCOMPARE(m_config->stored(QStringLiteral("POP3Server")), server);
    m_window->cmdCheckNow->click();
    QVERIFY(m_window->tmrCheck->Enabled());
    QVERIFY(m_window->cmdOK->isEnabled());
    QVERIFY(!m_window->tmrIconAnim->Enabled());
}

QString tst_TlsCheck::newLog() const
{
    QFile log(env("QUILLPOST_DOVECOT_LOG"));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logStart))
        return {};
    return QString::fromUtf8(log.readAll());
}

void tst_TlsCheck::countsTheMail_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("loginMark"); // how the server describes the connection of the login
    const QString tlsPort = env("QUILLPOST_DOVECOT_TLS_PORT");
    QTest::newRow("pop3s by address")
        << "pop3s://" + env("QUILLPOST_DOVECOT_TLS_HOST") + ":" + tlsPort << ", TLS,";
    QTest::newRow("pop3s by name") << "pop3s://localhost:" + tlsPort << ", TLS,";
    QTest::newRow("STLS, host:port") << env("QUILLPOST_DOVECOT_HOST") + ":" + env("QUILLPOST_DOVECOT_PORT")
                                     << ", TLS,";
    QTest::newRow("STLS, bare name") << env("QUILLPOST_DOVECOT_BARE_HOST") << ", TLS,";
}

void tst_TlsCheck::countsTheMail()
{
    QFETCH(QString, server);
    QFETCH(QString, loginMark);
    if (server.isEmpty())
        QSKIP("the test server listens on port 110 only when run as root");
    check(server, QStringLiteral("alice"), QStringLiteral("wonderland"));
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_platform->shownTip(), QStringLiteral("3 e-mails waiting"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), m_window->picGotMail->Picture().cacheKey());
    QTRY_VERIFY(newLog().contains(
        QRegularExpression(QStringLiteral("Login: user=<alice>.*") + QRegularExpression::escape(loginMark))));
}

void tst_TlsCheck::turnsDownBadCertificates_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("reason");
    const QString otherName = env("QUILLPOST_DOVECOT_TLS_OTHER_NAME_HOST");
    const std::pair<QString, QString> certificates[] = {
        {otherName, "The server's certificate is for another host, not " + otherName},
        {env("QUILLPOST_DOVECOT_TLS_EXPIRED_HOST"), "The server's certificate has expired"},
        {env("QUILLPOST_DOVECOT_TLS_UNTRUSTED_HOST"),
         "The server's certificate is not from a trusted authority"},
    };
    for (const auto& [host, reason] : certificates) {
        QTest::addRow("pop3s, %s", qPrintable(reason))
            << host << "pop3s://" + host + ":" + env("QUILLPOST_DOVECOT_TLS_PORT") << reason;
        QTest::addRow("STLS, %s", qPrintable(reason))
            << host << host + ":" + env("QUILLPOST_DOVECOT_PORT") << reason;
    }
}

void tst_TlsCheck::turnsDownBadCertificates()
{
    QFETCH(QString, host);
    QFETCH(QString, server);
    QFETCH(QString, reason);
    const QString userId = QStringLiteral("tls-probe-") + host, password = QStringLiteral("never-sent");
    check(server, userId, password);

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_platform->messages[0].text, "Error connecting to POP3 server : \n\n" + reason + ".\n");
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), m_window->picNoMail->Picture().cacheKey());

    // The server saw the connection end inside the handshake, before any login: USER could not
    // have come through, and PASS would have been logged with the user and the password.
    const QRegularExpression ended(QStringLiteral("no auth attempts.*lip=") +
                                   QRegularExpression::escape(host) + QStringLiteral(", TLS handshaking"));
    QTRY_VERIFY(newLog().contains(ended));
    QVERIFY(!newLog().contains(userId));
    QVERIFY(!newLog().contains(password));
}

QTEST_MAIN(tst_TlsCheck)
#include "tst_TlsCheck.moc"

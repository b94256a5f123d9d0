#include "app/MainModule.h"
#include "platform/Timer.h"
#include "settings/StoredPassword.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <optional>

namespace {

const QString kAlice = QStringLiteral("alice");

} // namespace

// Where the password goes when OK saves and start-up reads, against a keyring that answers by
// script: late, locked, or refusing.
class tst_StoredPassword : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void failedSaveLeavesTheKeyringAlone_data();
    void failedSaveLeavesTheKeyringAlone();
    void lateAnswerOnlyForTheAccountAsked_data();
    void lateAnswerOnlyForTheAccountAsked();
    void lockedKeyringSendsNoPassword();
    void entryThatCannotBeRemovedIsSaid();
    void anotherAccountLeavesNoEntryBehind();
    void signInSecretsReadBack_data();
    void signInSecretsReadBack();

private:
    // Starts the program on the stored settings: alice at the scripted server, on-line.
    void start();
    QString account(const QString& userId = kAlice) const
    {
        return StoredPassword::Account(userId, m_serverText);
    }
    FakePlatform::Secrets& secrets() { return *m_platform->secrets; }

    std::optional<TestConfig> m_config;
    std::optional<ScriptedPop3Server> m_server;
    std::optional<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
    QString m_serverText;
};

void tst_StoredPassword::init()
{
    m_config.emplace();
    m_server.emplace();
    m_platform.emplace();
    m_platform->secrets.emplace();
    m_serverText = QStringLiteral("127.0.0.1:%1").arg(m_server->port());
    for (const auto& [key, value] :
         {std::pair{"AlreadyRun", QStringLiteral("1")}, std::pair{"StartUp", QStringLiteral("1")},
          std::pair{"IfOffLine", QStringLiteral("1")}, std::pair{"POP3Server", m_serverText},
          std::pair{"UserId", kAlice}})
        m_config->store(QString::fromLatin1(key), value);
    secrets().entries.insert(account(), QStringLiteral("wonderland"));
}

void tst_StoredPassword::cleanup()
{
    m_window.reset();
    gTrayIcon.release();
    m_platform.reset();
    m_server.reset();
    m_config.reset();
}

void tst_StoredPassword::start()
{
    m_window.reset();
    gTrayIcon.release();
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
}

void tst_StoredPassword::failedSaveLeavesTheKeyringAlone_data()
{
    QTest::addColumn<QString>("userId");
    QTest::addColumn<QString>("password");
    QTest::newRow("new password") << kAlice << "looking-glass";
    QTest::newRow("emptied password") << kAlice << "";
    QTest::newRow("another account") << "bob"
                                     << "builder";
}

void tst_StoredPassword::failedSaveLeavesTheKeyringAlone()
{
    QFETCH(QString, userId);
    QFETCH(QString, password);
    start();
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("wonderland"));
    const auto entries = secrets().entries;
    m_window->txtUserId->setText(userId);
    m_window->txtPassword->setText(password);
    QVERIFY(!m_config->blockSaving().isEmpty());
    secrets().calls.clear();

    m_window->cmdOK_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(secrets().calls, QStringList());
    QCOMPARE(secrets().entries, entries);
    QVERIFY(m_config->unblockSaving());
    start();
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("wonderland"));
}

void tst_StoredPassword::lateAnswerOnlyForTheAccountAsked_data()
{
    QTest::addColumn<QString>("userId");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::newRow("the account asked for") << kAlice << QString() << "wonderland";
    QTest::newRow("another user ID") << "bob" << QString() << "";
    QTest::newRow("another server") << kAlice << "pop.other.test"
                                    << "";
}

void tst_StoredPassword::lateAnswerOnlyForTheAccountAsked()
{
    QFETCH(QString, userId);
    QFETCH(QString, server);
    secrets().late = true;
    start();
    QCOMPARE(m_window->txtPassword->text(), QString());
    // Switched in the window and saved, with no password of its own yet.
    m_window->txtUserId->setText(userId);
    m_window->txtServer->setText(server.isEmpty() ? m_serverText : server);
    m_window->cmdOK_Click();

    m_platform->answerLate();

    QTEST(m_window->txtPassword->text(), "password");
}

void tst_StoredPassword::lockedKeyringSendsNoPassword()
{
    secrets().refusal = QStringLiteral("the keyring is locked");
    start();
    m_window->optTT[1]->click();
    for (int check = 0; check < 2; ++check) {
        m_window->cmdCheckNow->click();
        QCOMPARE(m_server->connectionCount(), 0);
        QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
        QVERIFY(m_window->tmrCheck->Enabled());
    }
    QCOMPARE(secrets().calls, QStringList(3, "read " + account()));

    secrets().refusal.clear(); // unlocked at last
    m_window->cmdCheckNow->click();
    QVERIFY(m_server->received("PASS wonderland"));
    QCOMPARE(m_platform->shownTip(), QStringLiteral("No e-mail waiting"));
    m_window->frmSettings_Show();
    m_window->cmdCancel->click();
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("wonderland"));
}

void tst_StoredPassword::entryThatCannotBeRemovedIsSaid()
{
    start();
    m_window->txtPassword->clear();
    secrets().refusal = QStringLiteral("the keyring is locked");
    m_window->cmdOK_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Information);
    QVERIFY2(m_platform->messages[0].text.contains("the keyring is locked") &&
                 m_platform->messages[0].text.contains(account()),
             qPrintable(m_platform->messages[0].text));
    QCOMPARE(m_config->stored(QStringLiteral("Password")), QString());
}

void tst_StoredPassword::anotherAccountLeavesNoEntryBehind()
{
    start();
    m_window->txtUserId->setText(QStringLiteral("bob"));
    m_window->txtPassword->setText(QStringLiteral("builder"));
    secrets().calls.clear();
    m_window->cmdOK_Click();

    QCOMPARE(secrets().calls, (QStringList{"write " + account("bob"), "remove " + account()}));
    QCOMPARE(secrets().entries.keys(), QStringList{account("bob")});
    QCOMPARE(m_config->stored(QStringLiteral("Password")), QString());
}

QTEST_MAIN(tst_StoredPassword)
#include "tst_StoredPassword.moc"

void tst_StoredPassword::signInSecretsReadBack_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::newRow("in the keyring") << QString();
    QTest::newRow("enciphered in the file") << "the keyring is locked";
}

void tst_StoredPassword::signInSecretsReadBack()
{
    QFETCH(QString, refusal);
    start();
    SignIn signIn;
    signIn.kind = SignIn::Kind::Browser;
    signIn.provider = SignIn::Provider::Google;
    signIn.clientId = QStringLiteral("own-client");
    signIn.clientSecret = QStringLiteral("own-secret");
    signIn.refreshToken = QStringLiteral("refresh-1");
    m_window->setSignIn(signIn);
    secrets().refusal = refusal;
    m_window->cmdOK_Click();
    secrets().refusal.clear();

    start();
    QCOMPARE(m_window->signIn(), signIn);
    QVERIFY(!m_window->txtPassword->isEnabled());
    QCOMPARE(m_config->stored(QStringLiteral("SignIn")), QStringLiteral("oauth"));
    QCOMPARE(m_config->stored(QStringLiteral("RefreshToken")) == QLatin1String("<absent>"),
             refusal.isEmpty());
    QFile file(m_config->settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("refresh-1"));

    // Back to the password: the file has no sign-in keys left.
    m_window->setSignIn({});
    m_window->txtPassword->setText(QStringLiteral("wonderland"));
    m_window->cmdOK_Click();
    for (const char* key : {"SignIn", "OAuthProvider", "OAuthClientId", "RefreshToken", "OAuthClientSecret"})
        QCOMPARE(m_config->stored(QString::fromLatin1(key)), QStringLiteral("<absent>"));
}

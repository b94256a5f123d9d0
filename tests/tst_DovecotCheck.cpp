#include "platform/PictureBox.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/TestAuthority.h"

#include <QTest>

#include <cmath>

// Whole checks against the real Dovecot that the test command starts (tests/dovecot/harness.sh).
class tst_DovecotCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void check_data();
    void check();
};

void tst_DovecotCheck::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("QUILLPOST_DOVECOT_PORT"))
        QSKIP("no test POP3 server: QUILLPOST_DOVECOT_PORT is not set");
    // The server offers STLS, with a certificate from the harness's own authority.
    QVERIFY(TestAuthority::trust());
}

void tst_DovecotCheck::check_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("toolTip");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<bool>("mail");
    QTest::addColumn<QString>("message");

    // Kb are rounded to nearest with halves to even (the default rounding mode).
    const double aliceKb =
        std::nearbyint(qEnvironmentVariableIntValue("QUILLPOST_DOVECOT_ALICE_SIZE") / 1024.0);
    QTest::newRow("alice, three messages")
        << "alice"
        << "wonderland" << 2 << QStringLiteral("3 e-mails waiting (%1 Kb)").arg(aliceKb) << true << QString();
    QTest::newRow("bob, empty mailbox") << "bob"
                                        << "builder" << 1 << "No e-mail waiting" << false << QString();
    // Dovecot's own words for a failed login.
    QTest::newRow("wrong password")
        << "alice"
        << "looking-glass" << 2 << "Off-Line" << false
        << "Error connecting to POP3 server : \n\n[AUTH] Authentication failed..\n";
}

void tst_DovecotCheck::check()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, toolTip);
    QFETCH(bool, mail);
    QFETCH(QString, message);
    CheckingWindow rig(qEnvironmentVariable("QUILLPOST_DOVECOT_HOST") + QLatin1Char(':') +
                           qEnvironmentVariable("QUILLPOST_DOVECOT_PORT"),
                       user, password);
    frmSettings& w = rig.window();
    FakePlatform& platform = rig.platform();
    w.optTT[static_cast<std::size_t>(toolTip)]->click();
    QString tipWhileMessageOpen;
    platform.whileMessageOpen = [&] {
        tipWhileMessageOpen = platform.shownTip();
    };

    rig.check();

    QTEST(platform.shownTip(), "tip");
    QCOMPARE(platform.shownIcon().cacheKey(), (mail ? w.picGotMail : w.picNoMail)->Picture().cacheKey());
    QCOMPARE(platform.beeps, mail ? 1 : 0);
    QCOMPARE(platform.commandLines, mail ? QStringList{"mail-arrived --now"} : QStringList{});
    if (message.isEmpty()) {
        QVERIFY(platform.messages.isEmpty());
    } else {
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].icon, MessageIcon::Critical);
        QCOMPARE(platform.messages[0].text, message);
        QCOMPARE(tipWhileMessageOpen, QStringLiteral("Checking ..."));
    }
    QVERIFY(rig.idle());
}

QTEST_MAIN(tst_DovecotCheck)
#include "tst_DovecotCheck.moc"

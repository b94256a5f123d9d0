#include "settings/SignInDialog.h"
#include "support/FakeIdentityProvider.h"
#include "support/FakeTokenSource.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

template <typename W = QWidget> W* control(QDialog& dialog, const char* name)
{
    return dialog.findChild<W*>(QLatin1String(name));
}

QPushButton* button(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>()->button(which);
}

QString status(QDialog& dialog)
{
    return control(dialog, "lblStatus")->property("text").toString();
}

// Shows the dialog with the other provider chosen and the stand-in's values typed, all but omit's.
void typeOther(QDialog& dialog, const OAuthEndpoints& at, const QString& omit = {})
{
    dialog.show();
    control<QComboBox>(dialog, "cboAccount")->setCurrentIndex(5);
    const std::pair<const char*, QString> values[] = {{"txtClientId", at.clientId},
                                                      {"txtClientSecret", at.clientSecret},
                                                      {"txtScope", at.scope},
                                                      {"txtAuthorizeUrl", at.authorizeUrl.toString()},
                                                      {"txtTokenUrl", at.tokenUrl.toString()}};
    for (const auto& [box, value] : values)
        if (omit != QLatin1String(box))
            QTest::keyClicks(control<QLineEdit>(dialog, box), value);
}

const OAuthEndpoints kClient{{}, {}, "mail", "client", "secret", {}};

} // namespace

class tst_SignInDialog : public QObject
{
    Q_OBJECT
    FakeTokenSource m_tokens;

private slots:
    void init()
    {
        m_tokens = FakeTokenSource();
        m_tokens.accounts = {{"account_1", "alice@example.test", "google"},
                             {"account_2", "bob@example.test", "ms365"}};
    }

    void startsWithTheCurrentSignIn_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("address");
        const QString none;
        QTest::newRow("password") << "password" << none << "Password" << true << none;
        QTest::newRow("online") << "goa:account_2" << none << "bob@example.test (GNOME Online Accounts)"
                                << true << "bob@example.test";
        QTest::newRow("online gone") << "goa:account_3" << none << none << false << none;
        QTest::newRow("browser") << "oauth" << none << "Microsoft account" << false << none;
        QTest::newRow("signed in") << "oauth" << QString("refresh-9") << "Microsoft account" << true << none;
    }
    void startsWithTheCurrentSignIn()
    {
        QFETCH(QString, key);
        QFETCH(QString, refreshToken);
        QFETCH(QString, selected);
        QFETCH(bool, complete);
        QFETCH(QString, address);
        SignIn current;
        current.setKey(key);
        current.refreshToken = refreshToken;
        SignInDialog dialog(m_tokens, current);
        QCOMPARE(control<QComboBox>(dialog, "cboAccount")->currentText(), selected);
        QCOMPARE(button(dialog, QDialogButtonBox::Ok)->isEnabled(), complete);
        QCOMPARE(dialog.result().refreshToken, refreshToken);
        QCOMPARE(dialog.address(), address);
        // A vanished account is not silently replaced by the password.
        QVERIFY(!selected.isEmpty() || !status(dialog).isEmpty());
    }

    void showsTheChoicesRows_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("password") << 0 << QStringList();
        QTest::newRow("Microsoft") << 3 << QStringList{"txtClientId", "txtTenant"};
        QTest::newRow("Google") << 4 << QStringList{"txtClientId", "txtClientSecret"};
        QTest::newRow("other") << 5
                               << QStringList{"txtClientId", "txtClientSecret", "txtAuthorizeUrl",
                                              "txtTokenUrl", "txtScope"};
    }
    void showsTheChoicesRows()
    {
        QFETCH(int, entry);
        QFETCH(QStringList, shown);
        SignInDialog dialog(m_tokens, SignIn());
        control<QComboBox>(dialog, "cboAccount")->setCurrentIndex(entry);
        for (const QLineEdit* box : dialog.findChildren<QLineEdit*>())
            QVERIFY2(box->isHidden() != shown.contains(box->objectName()), qPrintable(box->objectName()));
        QCOMPARE(control(dialog, "cmdSignInNow")->isHidden(), shown.isEmpty());
    }

    void mnemonicsAreUnique()
    {
        SignInDialog dialog(m_tokens, SignIn());
        QStringList keys;
        for (const QWidget* widget : dialog.findChildren<QWidget*>())
            for (const auto& match :
                 QRegularExpression("&([^&])").globalMatch(widget->property("text").toString()))
                keys << match.captured(1).toLower();
        QCOMPARE(keys.size(), 8);
        QCOMPARE(keys.removeDuplicates(), 0);
    }

    void signsIn_data()
    {
        QTest::addColumn<QString>("omit");
        QTest::addColumn<bool>("deny");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("says");
        QTest::newRow("signed in") << "" << false << false << "Signed in as carol@example.org";
        QTest::newRow("refused") << "" << true << false << "access_denied";
        QTest::newRow("cancelled") << "" << false << true << "The sign-in was cancelled.";
        QTest::newRow("no client ID")
            << "txtClientId" << false << false
            << "a client ID (<a href=\"https://quillpost.example.org/#signing-in-with-the-browser\">";
        QTest::newRow("no token URL")
            << "txtTokenUrl" << false << false << "Needed for signing in: the token URL.";
    }
    void signsIn()
    {
        QFETCH(QString, omit);
        QFETCH(bool, deny);
        QFETCH(bool, cancel);
        QFETCH(QString, says);
        FakeIdentityProvider provider;
        provider.setIdTokenEmail("carol@example.org");
        provider.setDenySignIn(deny);
        m_tokens.browser = provider.browser(cancel ? FakeIdentityProvider::Browser::Ignore
                                                   : FakeIdentityProvider::Browser::Follow);
        SignInDialog dialog(m_tokens, SignIn());
        typeOther(dialog, provider.serve(kClient), omit);
        auto* signInNow = control<QPushButton>(dialog, "cmdSignInNow");
        signInNow->click();
        QCOMPARE(!signInNow->isEnabled(), omit.isEmpty());
        QCOMPARE(status(dialog).startsWith("Waiting"), omit.isEmpty());
        // BrowserSignIn closes its listener when it ends; the status shows that it has.
        if (cancel)
            button(dialog, QDialogButtonBox::Cancel)->click();
        QTRY_VERIFY2_WITH_TIMEOUT(status(dialog).contains(says), qPrintable(status(dialog)), 10000);
        const bool signedIn = says.startsWith("Signed in");
        QVERIFY(signInNow->isEnabled());
        QCOMPARE(button(dialog, QDialogButtonBox::Ok)->isEnabled(), signedIn);
        QCOMPARE(dialog.address(), signedIn ? "carol@example.org" : QString());
        // The stand-in refreshes only a token it issued, for the client, secret and scope typed.
        const SignIn result = dialog.result();
        QCOMPARE(BrowserSignIn::refresh(result.endpoints(), result.refreshToken).outcome == TokenAnswer::Done,
                 signedIn);
        QTest::keyClicks(control<QLineEdit>(dialog, "txtScope"), " openid");
        QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
    }
};

QTEST_MAIN(tst_SignInDialog)
#include "tst_SignInDialog.moc"

#include "app/MainModule.h"
#include "platform/Winsock.h"
#include "settings/CCipher.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <optional>

// The OK command against the real store, and what the next start reads back.
class tst_ApplySettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void writesEveryKey();
    void intervalAndToolTip_data();
    void intervalAndToolTip();
    void shortcutFollowsAutoRun();
    void failingSaveKeepsThePreviousSet();
    void savedSettingsSurviveARestart();
    void cancelReturnsToLastSave();

private:
    void start();
    static QString autostartFile();

    std::optional<TestConfig> m_config;
    std::optional<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
};

void tst_ApplySettings::init()
{
    m_config.emplace();
    m_platform.emplace();
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
}

void tst_ApplySettings::cleanup()
{
    m_window.reset();
    gTrayIcon.release();
    m_platform.reset();
    m_config.reset();
}

void tst_ApplySettings::start()
{
    m_window.reset();
    gTrayIcon.release();
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
}

QString tst_ApplySettings::autostartFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/Quillpost.desktop");
}

void tst_ApplySettings::writesEveryKey()
{
    start();
    m_window->frmSettings_Show();
    m_window->txtInterval->setText(QStringLiteral("05"));
    m_window->optIfOffLine[1]->click();
    m_window->txtServer->setText(QStringLiteral(" pop.mail.test "));
    m_window->txtUserId->setText(QStringLiteral("jo,\"e\"@home"));
    m_window->txtPassword->setText(QStringLiteral("p;a\\ss"));
    m_window->optTT[2]->click();
    m_window->optSound[2]->click();
    m_window->msSample = QStringLiteral("/sounds/ding dong.wav");
    m_window->optRun[1]->click();
    m_window->txtRun->setText(QStringLiteral("notify-send \"Mail\""));
    m_window->optStartUp[0]->click();
    m_window->optAutoRun[1]->click();
    QVERIFY2(m_window->chkNotify->isChecked(), "an absent key means on");
    m_window->chkNotify->click();

    const auto stored = [this](const char* key) {
        return m_config->stored(QString::fromLatin1(key));
    };
    const qsizetype callsBefore = m_platform->trayCalls.size();
    m_window->cmdOK->click();

    QCOMPARE(stored("Interval"), QStringLiteral("05"));
    QCOMPARE(m_window->miInterval, 300);
    QCOMPARE(stored("IfOffLine"), QStringLiteral("1"));
    QCOMPARE(stored("POP3Server"), QStringLiteral(" pop.mail.test "));
    QCOMPARE(m_window->socPOP->RemoteHost, QStringLiteral(" pop.mail.test "));
    QCOMPARE(stored("UserId"), QStringLiteral("jo,\"e\"@home"));
    QVERIFY(stored("Password") != QLatin1String("p;a\\ss"));
    CCipher cipher;
    cipher.Text(stored("Password"));
    cipher.Key(ApplicationKey());
    cipher.Decrypt();
    QCOMPARE(cipher.Text(), QStringLiteral("p;a\\ss"));
    QCOMPARE(stored("ToolTip"), QStringLiteral("2"));
    QCOMPARE(stored("Sound"), QStringLiteral("2"));
    QCOMPARE(stored("Sample"), QStringLiteral("/sounds/ding dong.wav"));
    QCOMPARE(stored("Run"), QStringLiteral("1"));
    QCOMPARE(stored("CommandLine"), QStringLiteral("notify-send \"Mail\""));
    QCOMPARE(stored("StartUp"), QStringLiteral("0"));
    QCOMPARE(stored("AutoRun"), QStringLiteral("1"));
    QCOMPARE(stored("Notify"), QStringLiteral("0"));
    QCOMPARE(stored("AlreadyRun"), QStringLiteral("1"));
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_platform->trayCalls.size(), callsBefore + 1);
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
}

void tst_ApplySettings::intervalAndToolTip_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("toolTip");
    QTest::addColumn<QString>("storedInterval");
    QTest::addColumn<qint32>("seconds");
    QTest::addColumn<QString>("tip");
    QTest::newRow("fraction") << "1.5" << 1 << "1.5" << 90 << "Off-Line";
    QTest::newRow("fraction below one") << ".5" << 1 << "1" << 60 << "Off-Line";
    QTest::newRow("zero is floored") << "0" << 1 << "1" << 60 << "Off-Line";
    QTest::newRow("empty is floored") << "" << 2 << "1" << 60 << "Off-Line";
    QTest::newRow("no tool tip empties it") << "10" << 0 << "10" << 600 << "";
}

void tst_ApplySettings::intervalAndToolTip()
{
    QFETCH(QString, typed);
    QFETCH(int, toolTip);
    start();
    m_window->txtInterval->setText(typed);
    m_window->optTT[static_cast<std::size_t>(toolTip)]->click();
    m_window->cmdOK_Click();
    QTEST(m_config->stored(QStringLiteral("Interval")), "storedInterval");
    QTEST(m_window->miInterval, "seconds");
    QTEST(m_platform->shownTip(), "tip");
}

void tst_ApplySettings::shortcutFollowsAutoRun()
{
    start();
    m_window->optAutoRun[0]->click();
    m_window->cmdOK_Click();
    m_window->cmdOK_Click();
    QVERIFY(QFile::exists(autostartFile()));
    QCOMPARE(QDir(QFileInfo(autostartFile()).absolutePath()).entryList(QDir::Files).size(), 1);
    m_window->optAutoRun[1]->click();
    m_window->cmdOK_Click();
    QVERIFY(!QFile::exists(autostartFile()));
    m_window->cmdOK_Click(); // removing an absent entry is quiet
    QVERIFY(!QFile::exists(autostartFile()));
}

void tst_ApplySettings::failingSaveKeepsThePreviousSet()
{
    start();
    m_window->frmSettings_Show();
    m_window->txtServer->setText(QStringLiteral("first.save"));
    m_window->optAutoRun[1]->click();
    m_window->cmdOK_Click();
    QFile file(m_config->settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();

    m_window->frmSettings_Show();
    m_window->txtInterval->setText(QStringLiteral("3"));
    m_window->txtServer->setText(QStringLiteral("second.save"));
    m_window->optTT[0]->click();
    m_window->optAutoRun[0]->click();
    const QString folder = m_config->blockSaving();
    QVERIFY(!folder.isEmpty());
    const qsizetype trayCalls = m_platform->trayCalls.size();
    m_window->cmdOK_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Critical);
    QVERIFY2(m_platform->messages[0].text.contains(folder), qPrintable(m_platform->messages[0].text));
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->txtServer->text(), QStringLiteral("second.save"));
    QCOMPARE(m_window->miInterval, 600);
    QCOMPARE(m_window->socPOP->RemoteHost, QStringLiteral("first.save"));
    QCOMPARE(m_platform->trayCalls.size(), trayCalls);
    QVERIFY(!QFile::exists(autostartFile()));
    QCOMPARE(QFileInfo(folder).size(), 0);

    QVERIFY(m_config->unblockSaving());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), saved);
}

void tst_ApplySettings::savedSettingsSurviveARestart()
{
    start();
    m_window->txtInterval->setText(QStringLiteral("25"));
    m_window->txtServer->setText(QStringLiteral("[::1]"));
    m_window->txtUserId->setText(QStringLiteral("élodie"));
    m_window->txtPassword->setText(QStringLiteral("pä55 wörd€"));
    m_window->optTT[2]->click();
    m_window->optRun[1]->click();
    m_window->txtRun->setText(QStringLiteral("/usr/bin/true --x"));
    m_window->chkNotify->setChecked(false);
    m_window->cmdOK_Click();

    start();
    QCOMPARE(m_window->txtInterval->text(), QStringLiteral("25"));
    QCOMPARE(m_window->miInterval, 1500);
    QCOMPARE(m_window->txtServer->text(), QStringLiteral("[::1]"));
    QCOMPARE(m_window->txtUserId->text(), QStringLiteral("élodie"));
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("pä55 wörd€"));
    QCOMPARE(m_window->miTT, 2);
    QVERIFY(m_window->txtRun->isEnabled());
    QCOMPARE(m_window->txtRun->text(), QStringLiteral("/usr/bin/true --x"));
    QVERIFY(!m_window->chkNotify->isChecked());
}

void tst_ApplySettings::cancelReturnsToLastSave()
{
    start();
    m_window->txtUserId->setText(QStringLiteral("saved"));
    m_window->optSound[2]->click();
    m_window->cmdOK_Click();
    m_window->frmSettings_Show();
    m_window->txtUserId->setText(QStringLiteral("changed"));
    m_window->optSound[0]->click();
    m_window->chkNotify->click();
    m_window->cmdCancel->click();
    QVERIFY(m_window->chkNotify->isChecked());
    QCOMPARE(m_window->txtUserId->text(), QStringLiteral("saved"));
    QCOMPARE(m_window->miSound, 2);
    QVERIFY(m_window->optSound[2]->isChecked());
}

QTEST_MAIN(tst_ApplySettings)
#include "tst_ApplySettings.moc"

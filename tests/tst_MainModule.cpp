#include "app/MainModule.h"
#include "platform/PictureBox.h"
#include "platform/Winsock.h"
#include "settings/CCipher.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <optional>

// Start-up and the ways the program ends, against the real store in a temporary config folder.
class tst_MainModule : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstRunOnEmptyStore();
    void firstRunWithAutoRunNo();
    void laterRun_data();
    void laterRun();
    void storedServerTextPointsTheSocket();
    void unusableStoredValues_data();
    void unusableStoredValues();
    void storedPasswordIsDeciphered();
    void garbagePasswordDoesNotStopStartUp();
    void exitPaths_data();
    void exitPaths();

private:
    static QString autostartFile();
    static frmSettings* findWindow();

    std::optional<TestConfig> m_config;
    std::optional<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
};

void tst_MainModule::init()
{
    m_config.emplace();
    m_platform.emplace();
}

void tst_MainModule::cleanup()
{
    m_window.reset();
    gTrayIcon.release();
    m_platform.reset();
    m_config.reset();
}

QString tst_MainModule::autostartFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/Quillpost.desktop");
}

frmSettings* tst_MainModule::findWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<frmSettings*>(widget))
            return window;
    return nullptr;
}

void tst_MainModule::firstRunOnEmptyStore()
{
    // What the user has in front of them while the set-up message is open.
    bool windowShown = false, focusInServer = false, iconAdded = true, markerSaved = true;
    m_platform->whileMessageOpen = [&] {
        frmSettings* window = findWindow();
        windowShown = window && window->isVisible();
        focusInServer = window && window->focusWidget() == window->txtServer;
        iconAdded = !m_platform->trayCalls.isEmpty();
        markerSaved = m_config->stored(QStringLiteral("AlreadyRun")) != QLatin1String("<absent>");
    };
    m_window = MainModule::Main(*m_platform, m_platform->tokens);

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("Quillpost Set Up"));
    QCOMPARE(m_platform->messages[0].text.split(QLatin1Char('\n')).size(), 9);
    QVERIFY(m_platform->messages[0].text.contains(
        QLatin1String("(eg. pop.example.com), your user ID and your\n")));
    QVERIFY(windowShown);
    QVERIFY(focusInServer);
    QVERIFY(!iconAdded);
    QVERIFY(!markerSaved);

    QCOMPARE(m_config->stored(QStringLiteral("AlreadyRun")), QStringLiteral("1"));
    QVERIFY(QFile::exists(autostartFile()));
    QVERIFY(m_platform->iconShown());
    QCOMPARE(m_platform->shownTip(), QStringLiteral("Off-Line"));
    QCOMPARE(m_platform->shownIcon().cacheKey(), m_window->picNoMail->Picture().cacheKey());
    QCOMPARE(m_platform->trayCalls.last().data.hWnd.data(), m_window->picHook);

    // The defaults of an empty store.
    QCOMPARE(m_window->txtInterval->text(), QStringLiteral("10"));
    QCOMPARE(m_window->miInterval, 600);
    QVERIFY(m_window->optIfOffLine[0]->isChecked());
    QVERIFY(m_window->txtServer->text().isEmpty());
    QVERIFY(m_window->txtPassword->text().isEmpty());
    QCOMPARE(m_window->miTT, 1);
    QCOMPARE(m_window->miSound, 1);
    QCOMPARE(m_window->msSample, QCoreApplication::applicationDirPath() + QStringLiteral("/Mailtrill.wav"));
    QVERIFY(m_window->optRun[0]->isChecked());
    QVERIFY(!m_window->txtRun->isEnabled());
    QVERIFY(m_window->optStartUp[1]->isChecked());
    QVERIFY(m_window->optAutoRun[0]->isChecked());
    QCOMPARE(m_window->socPOP->RemotePort, 110);
}

void tst_MainModule::firstRunWithAutoRunNo()
{
    m_config->store(QStringLiteral("AutoRun"), QStringLiteral("1"));
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    QVERIFY(m_window->optAutoRun[1]->isChecked());
    QVERIFY(QFile::exists(autostartFile()));
}

void tst_MainModule::laterRun_data()
{
    QTest::addColumn<QString>("alreadyRun");
    QTest::addColumn<QString>("startUp");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<QString>("tip");
    QTest::newRow("tray icon only") << "1"
                                    << "1"
                                    << "1" << false << "Off-Line";
    QTest::newRow("settings window") << "1"
                                     << "0"
                                     << "2" << true << "Off-Line";
    QTest::newRow("no tool tip") << "1"
                                 << "1"
                                 << "0" << false << "";
    QTest::newRow("any marker but 0 means set up") << "yes"
                                                   << "1"
                                                   << "1" << false << "Off-Line";
}

void tst_MainModule::laterRun()
{
    QFETCH(QString, alreadyRun);
    QFETCH(QString, startUp);
    QFETCH(QString, toolTip);
    m_config->store(QStringLiteral("AlreadyRun"), alreadyRun);
    m_config->store(QStringLiteral("StartUp"), startUp);
    m_config->store(QStringLiteral("ToolTip"), toolTip);
    m_config->store(QStringLiteral("POP3Server"), QStringLiteral("mail.test"));
    m_window = MainModule::Main(*m_platform, m_platform->tokens);

    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(!QFile::exists(autostartFile()));
    QTEST(m_window->isVisible(), "windowShown");
    QVERIFY(m_platform->iconShown());
    QTEST(m_platform->shownTip(), "tip");
    QCOMPARE(m_window->txtServer->text(), QStringLiteral("mail.test"));
    QCOMPARE(m_window->socPOP->RemoteHost, QStringLiteral("mail.test"));
}

void tst_MainModule::storedServerTextPointsTheSocket()
{
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_config->store(QStringLiteral("POP3Server"), QStringLiteral("pop3s://mail.test:1995"));
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    QCOMPARE(m_window->txtServer->text(), QStringLiteral("pop3s://mail.test:1995"));
    QCOMPARE(m_window->socPOP->RemoteHost, QStringLiteral("mail.test"));
    QCOMPARE(m_window->socPOP->RemotePort, 1995);
    QVERIFY(m_window->socPOP->Secure);
}

void tst_MainModule::unusableStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<qint32>("seconds");
    QTest::addColumn<int>("toolTip");
    QTest::newRow("interval not a number") << "Interval"
                                           << "x"
                                           << "1" << 60 << 1;
    QTest::newRow("interval zero") << "Interval"
                                   << "0"
                                   << "1" << 60 << 1;
    QTest::newRow("interval too large to count") << "Interval"
                                                 << "1e12"
                                                 << "1" << 60 << 1;
    QTest::newRow("interval fraction kept") << "Interval"
                                            << "1.5"
                                            << "1.5" << 90 << 1;
    QTest::newRow("option not a number") << "ToolTip"
                                         << "two"
                                         << "10" << 600 << 1;
    QTest::newRow("option out of range") << "ToolTip"
                                         << "7"
                                         << "10" << 600 << 1;
    QTest::newRow("option negative") << "ToolTip"
                                     << "-1"
                                     << "10" << 600 << 1;
    QTest::newRow("option usable") << "ToolTip"
                                   << "2"
                                   << "10" << 600 << 2;
}

void tst_MainModule::unusableStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_config->store(key, value);
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    QTEST(m_window->txtInterval->text(), "interval");
    QTEST(m_window->miInterval, "seconds");
    QTEST(int(m_window->miTT), "toolTip");
    QVERIFY(m_window->optTT[static_cast<std::size_t>(m_window->miTT)]->isChecked());
}

void tst_MainModule::storedPasswordIsDeciphered()
{
    CCipher cipher;
    cipher.Text(QStringLiteral("s3cret wörd"));
    cipher.Key(ApplicationKey());
    cipher.Encrypt();
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_config->store(QStringLiteral("Password"), cipher.Text());
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("s3cret wörd"));
}

void tst_MainModule::garbagePasswordDoesNotStopStartUp()
{
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_config->store(QStringLiteral("Password"), QStringLiteral("\u00e9~ !x"));
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    QVERIFY(m_platform->iconShown());
}

void tst_MainModule::exitPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("quit button") << "button";
    QTest::newRow("tray menu") << "menu";
    QTest::newRow("closing the window") << "close";
}

void tst_MainModule::exitPaths()
{
    QFETCH(QString, path);
    m_config->store(QStringLiteral("AlreadyRun"), QStringLiteral("1"));
    m_config->store(QStringLiteral("StartUp"), QStringLiteral("0"));
    m_window = MainModule::Main(*m_platform, m_platform->tokens);
    m_window->txtServer->setText(QStringLiteral("typed.but.not.saved"));

    if (path == QLatin1String("button"))
        m_window->cmdQuit->click();
    else if (path == QLatin1String("menu"))
        m_window->mnuPopUpExit->trigger();
    else
        m_window->close();

    QVERIFY(!m_platform->iconShown());
    QCOMPARE(m_platform->trayCalls.last().message, NotifyMessage::Delete);
    QCOMPARE(m_platform->endProgramCalls, 1);
    QVERIFY(!gTrayIcon.exists());
    QCOMPARE(m_config->stored(QStringLiteral("POP3Server")), QStringLiteral("<absent>"));
}

QTEST_MAIN(tst_MainModule)
#include "tst_MainModule.moc"

#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "platform/Twips.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/TestConfig.h"
#include "tray/CTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

// The tray icon's mouse events, its pop-up menu, and the two animations.
class tst_TrayMenu : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void mouseEvents_data();
    void mouseEvents();
    void doubleClickShowsAtFirstRelease();
    void menuItems();
    void menuOpenedByTheTrayIsNotOpenedAgain();
    void iconAnimation_data();
    void iconAnimation();
    void windowAnimation_data();
    void windowAnimation();

private:
    // Delivers a tray message the way the desktop service does; returns whether the pop-up menu
    // opened (it is closed again at once).
    bool deliver(int message);

    std::optional<TestConfig> m_config;
    std::optional<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
};

void tst_TrayMenu::init()
{
    m_config.emplace();
    m_platform.emplace();
    gTrayIcon.bind(&*m_platform);
    m_window = std::make_unique<frmSettings>(*m_platform, m_platform->tokens);
    gTrayIcon->Icon(m_window->picNoMail->Picture());
    gTrayIcon->Notification(m_window->picHook);
    gTrayIcon->Create();
}

void tst_TrayMenu::cleanup()
{
    m_window.reset();
    gTrayIcon.release();
    m_platform.reset();
    m_config.reset();
}

bool tst_TrayMenu::deliver(int message)
{
    bool menuOpened = false;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QApplication::activePopupWidget() == m_window->mnuPopUp) {
            menuOpened = true;
            m_window->mnuPopUp->close();
        }
    });
    closer.start();
    m_window->picHook->raiseMouseMove(0, 0, static_cast<float>(message * Twips::perPixelX()), 0);
    return menuOpened;
}

void tst_TrayMenu::mouseEvents_data()
{
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<bool>("menuOpened");
    QTest::newRow("pointer over the icon") << 512 << false << false;
    QTest::newRow("left button down") << 513 << false << false;
    QTest::newRow("left button up") << 514 << true << false;
    QTest::newRow("double click") << 515 << false << false;
    QTest::newRow("right button down") << 516 << false << true;
    QTest::newRow("right button up") << 517 << false << false;
    QTest::newRow("right double click") << 518 << false << false;
    QTest::newRow("middle button") << 519 << false << false;
}

void tst_TrayMenu::mouseEvents()
{
    QFETCH(int, message);
    const bool menuOpened = deliver(message);
    QTEST(m_window->isVisible(), "windowShown");
    QTEST(menuOpened, "menuOpened");
}

void tst_TrayMenu::doubleClickShowsAtFirstRelease()
{
    // A double click arrives as down, up, double click, up.
    deliver(513);
    deliver(514);
    QVERIFY(m_window->isVisible());
    m_window->hide();
    deliver(515);
    QVERIFY(!m_window->isVisible());
    deliver(514);
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->tmrWindowAnim->Enabled());
}

void tst_TrayMenu::menuItems()
{
    const QList<QAction*> items = m_window->mnuPopUp->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0]->text(), QStringLiteral("Check &Now"));
    QCOMPARE(items[1]->text(), QStringLiteral("&Settings"));
    QVERIFY(items[2]->isSeparator());
    QCOMPARE(items[3]->text(), QStringLiteral("&Quit"));

    m_window->mnuPopUpSettings->trigger();
    QVERIFY(m_window->isVisible());
    m_window->mnuPopUpExit->trigger();
    QVERIFY(!m_platform->iconShown());
    QCOMPARE(m_platform->endProgramCalls, 1);
}

void tst_TrayMenu::menuOpenedByTheTrayIsNotOpenedAgain()
{
    // The tray draws or opens this menu itself.
    QCOMPARE(m_platform->trayMenu, m_window->mnuPopUp);
    // Qt's X11 tray icon opens it on the press and reports the click after.
    m_window->mnuPopUp->popup(QPoint(10, 10));
    QVERIFY(!deliver(516));
    QVERIFY(m_window->mnuPopUp->isVisible());
    m_window->mnuPopUp->close();
}

void tst_TrayMenu::iconAnimation_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("nextTag");
    QTest::newRow("1 shows checking") << "1"
                                      << "picCheck"
                                      << "2";
    QTest::newRow("2 shows no mail") << "2"
                                     << "picNoMail"
                                     << "1";
    QTest::newRow("empty shows no mail") << ""
                                         << "picNoMail"
                                         << "1";
}

void tst_TrayMenu::iconAnimation()
{
    QFETCH(QString, tag);
    QFETCH(QString, shown);
    m_window->tmrIconAnim->Tag = tag;
    const QString tipBefore = m_platform->shownTip();
    const qsizetype callsBefore = m_platform->trayCalls.size();
    m_window->tmrIconAnim_Timer();
    QCOMPARE(m_platform->trayCalls.size(), callsBefore + 1);
    QCOMPARE(m_platform->shownIcon().cacheKey(),
             m_window->findChild<PictureBox*>(shown)->Picture().cacheKey());
    QCOMPARE(m_platform->shownTip(), tipBefore);
    QTEST(m_window->tmrIconAnim->Tag, "nextTag");
}

void tst_TrayMenu::windowAnimation_data()
{
    QTest::addColumn<bool>("gotMailVisible");
    QTest::addColumn<bool>("noMailVisible");
    QTest::addColumn<bool>("gotMailAfter");
    QTest::newRow("as created: mail waiting shows first") << true << false << false;
    QTest::newRow("no mail shown") << false << true << true;
    QTest::newRow("both visible") << true << true << false;
    QTest::newRow("neither visible") << false << false << true;
}

void tst_TrayMenu::windowAnimation()
{
    QFETCH(bool, gotMailVisible);
    QFETCH(bool, noMailVisible);
    QFETCH(bool, gotMailAfter);
    m_window->frmSettings_Show();
    m_window->picGotMail->setVisible(gotMailVisible);
    m_window->picNoMail->setVisible(noMailVisible);
    m_window->tmrWindowAnim_Timer();
    QCOMPARE(m_window->picGotMail->isVisible(), gotMailAfter);
    QCOMPARE(m_window->picNoMail->isVisible(), !gotMailAfter);
}

QTEST_MAIN(tst_TrayMenu)
#include "tst_TrayMenu.moc"

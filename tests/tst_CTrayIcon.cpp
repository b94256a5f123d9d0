#include "support/FakePlatform.h"

#include "platform/LinuxPlatform.h"
#include "platform/PictureBox.h"
#include "platform/Twips.h"
#include "tray/CTrayIcon.h"

#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>

#include <limits>

namespace {

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// The X a tray callback carries for a message number (or a fraction of one).
float twipsOf(double message)
{
    return static_cast<float>(message * Twips::perPixelX());
}

} // namespace

class tst_CTrayIcon : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void tipField_data();
    void tipField();
    void nonAsciiTipIsUtf8();
    void settingWithoutRefreshLeavesTray();
    void serviceCallsCarryRecord();

    void mouseEvent_data();
    void mouseEvent();
    void mouseMessages_data();
    void mouseMessages();

    void programWideIcon();

private:
    FakePlatform m_platform;
};

void tst_CTrayIcon::initTestCase()
{
    // The half-way rows below are exact in single precision only for whole twips factors.
    QCOMPARE(Twips::perPixelX(), 15.0);
}

void tst_CTrayIcon::cleanup()
{
    gTrayIcon.release();
    m_platform.trayCalls.clear();
}

void tst_CTrayIcon::tipField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");

    const QChar zero(0);
    const QString astral = QString::fromUcs4(U"\U0001F4E7");
    QTest::newRow("three letters") << "abc" << QString("abc") + zero + QString(60, ' ');
    QTest::newRow("empty") << "" << zero + QString(63, ' ');
    QTest::newRow("63 characters") << QString(63, 'x') << QString(63, 'x') + zero;
    QTest::newRow("64 characters") << QString(64, 'x') << QString(64, 'x');
    QTest::newRow("65 characters") << QString(64, 'x') + 'y' << QString(64, 'x');
    QTest::newRow("two-unit character at the cut")
        << QString(63, 'x') + astral + 'y' << QString(63, 'x') + astral;
}

void tst_CTrayIcon::tipField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);

    CTrayIcon icon(m_platform);
    icon.ToolTip(text);
    QCOMPARE(icon.ToolTip(), field);
    QCOMPARE(icon.ToolTip().toUcs4().size(), 64);
    icon.Create();
    QCOMPARE(m_platform.trayCalls.last().data.szTip, field.toUtf8());
}

void tst_CTrayIcon::nonAsciiTipIsUtf8()
{
    CTrayIcon icon(m_platform);
    icon.ToolTip(QStringLiteral("Grüße €"));
    icon.Create();
    const QByteArray tip = m_platform.trayCalls.last().data.szTip;
    QVERIFY(tip.startsWith("Gr\xc3\xbc\xc3\x9f"
                           "e \xe2\x82\xac" +
                           QByteArray(1, '\0')));
    QCOMPARE(tip.size(), 64 + 1 + 1 + 2); // ü and ß take two bytes, € three
    QCOMPARE(m_platform.shownTip(), QStringLiteral("Grüße €"));
}

void tst_CTrayIcon::settingWithoutRefreshLeavesTray()
{
    PictureBox hook;
    CTrayIcon icon(m_platform);
    icon.Notification(&hook);
    icon.Icon(colourIcon(Qt::red));
    icon.ToolTip(QStringLiteral("Off-Line"));
    icon.Create();
    QCOMPARE(m_platform.trayCalls.size(), 1);

    icon.Icon(colourIcon(Qt::green));
    icon.ToolTip(QStringLiteral("1 e-mail waiting"));
    QCOMPARE(m_platform.trayCalls.size(), 1);
    QCOMPARE(m_platform.shownTip(), QStringLiteral("Off-Line"));

    icon.Refresh();
    QCOMPARE(m_platform.shownTip(), QStringLiteral("1 e-mail waiting"));
    QCOMPARE(m_platform.shownIcon().cacheKey(), icon.Icon().cacheKey());
}

void tst_CTrayIcon::serviceCallsCarryRecord()
{
    PictureBox hook;
    const QIcon red = colourIcon(Qt::red);
    const QIcon green = colourIcon(Qt::green);
    {
        CTrayIcon icon(m_platform);
        icon.Notification(&hook);
        QCOMPARE(icon.Notification(), &hook);
        icon.Icon(red);
        icon.Create();
        icon.Icon(green);
        icon.ToolTip(QStringLiteral("Checking ..."));
        icon.Refresh();
    }

    QCOMPARE(m_platform.trayCalls.size(), 3);
    const QList<NotifyMessage> messages = {NotifyMessage::Add, NotifyMessage::Modify, NotifyMessage::Delete};
    for (qsizetype i = 0; i < 3; ++i) {
        const FakePlatform::TrayCall& call = m_platform.trayCalls[i];
        QCOMPARE(call.message, messages[i]);
        QCOMPARE(call.data.cbSize, 88u);
        QCOMPARE(call.data.hWnd.data(), &hook);
        QCOMPARE(call.data.uID, 1u);
        QCOMPARE(call.data.uFlags, 7u);
        QCOMPARE(call.data.uCallbackMessage, 512u);
    }
    // Before any tip is set the field is all zeros: no tip.
    QCOMPARE(m_platform.trayCalls[0].data.szTip, QByteArray(64, '\0'));
    QCOMPARE(m_platform.trayCalls[0].data.hIcon.cacheKey(), red.cacheKey());
    QCOMPARE(m_platform.trayCalls[1].data.hIcon.cacheKey(), green.cacheKey());
    QVERIFY(m_platform.trayCalls[1].data.szTip.startsWith(QByteArray("Checking ...", 13)));
    QVERIFY(!m_platform.iconShown());
}

void tst_CTrayIcon::mouseEvent_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<QString>("name");

    const QStringList names = {"",
                               "LeftButtonDown",
                               "LeftButtonUp",
                               "DoubleClick",
                               "RightButtonDown",
                               "RightButtonUp",
                               "RightDoubleClick",
                               "",
                               "",
                               ""};
    for (int message = 512; message <= 521; ++message)
        QTest::addRow("message %d", message) << twipsOf(message) << names[message - 512];

    QTest::newRow("513.4") << twipsOf(513.4) << "LeftButtonDown";
    QTest::newRow("517.6") << twipsOf(517.6) << "RightDoubleClick";
    QTest::newRow("512.5 to even 512") << twipsOf(512.5) << "";
    QTest::newRow("513.5 to even 514") << twipsOf(513.5) << "LeftButtonUp";
    QTest::newRow("514.5 to even 514") << twipsOf(514.5) << "LeftButtonUp";
    QTest::newRow("517.5 to even 518") << twipsOf(517.5) << "RightDoubleClick";
    QTest::newRow("518.5 to even 518") << twipsOf(518.5) << "RightDoubleClick";
    QTest::newRow("519.5 to even 520") << twipsOf(519.5) << "";
    QTest::newRow("zero") << 0.0f << "";
    QTest::newRow("negative") << twipsOf(-513) << "";
    QTest::newRow("beyond 32 bits") << 1e30f << "";
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << "";
}

void tst_CTrayIcon::mouseEvent()
{
    QFETCH(float, x);
    QFETCH(QString, name);

    CTrayIcon icon(m_platform);
    QCOMPARE(icon.GetMouseEvent(x), name);
    // Whatever the X, the busy flag is down again afterwards. Re-entry itself cannot be brought
    // about: nothing the call does can run another handler on this thread.
    QCOMPARE(icon.GetMouseEvent(twipsOf(516)), QStringLiteral("RightButtonDown"));
}

void tst_CTrayIcon::mouseMessages_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("click") << int(QSystemTrayIcon::Trigger) << QList<int>{513, 514}
                           << QStringList{"LeftButtonDown", "LeftButtonUp"};
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << QList<int>{515, 514}
                                  << QStringList{"DoubleClick", "LeftButtonUp"};
    QTest::newRow("context") << int(QSystemTrayIcon::Context) << QList<int>{516, 517}
                             << QStringList{"RightButtonDown", "RightButtonUp"};
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << QList<int>{519, 520}
                                  << QStringList{"", ""};
    QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << QList<int>{} << QStringList{};
}

void tst_CTrayIcon::mouseMessages()
{
    QFETCH(int, reason);
    QFETCH(QList<int>, messages);
    QFETCH(QStringList, names);

    QCOMPARE(LinuxPlatform::mouseMessages(reason), messages);
    // Through the hook's X as the platform delivers it, back to the names.
    CTrayIcon icon(m_platform);
    QStringList got;
    for (int message : messages)
        got << icon.GetMouseEvent(static_cast<float>(message * Twips::perPixelX()));
    QCOMPARE(got, names);
}

void tst_CTrayIcon::programWideIcon()
{
    PictureBox hook;
    gTrayIcon.bind(&m_platform);
    QVERIFY(!gTrayIcon.exists());

    gTrayIcon->Notification(&hook);
    QVERIFY(gTrayIcon.exists());
    gTrayIcon->ToolTip(QStringLiteral("Off-Line"));
    gTrayIcon->Create();
    QVERIFY(m_platform.iconShown());

    gTrayIcon.release();
    QVERIFY(!gTrayIcon.exists());
    QCOMPARE(m_platform.trayCalls.last().message, NotifyMessage::Delete);
    QCOMPARE(m_platform.trayCalls.last().data.hWnd.data(), &hook);
    QVERIFY(!m_platform.iconShown());

    // A later use gets a fresh object: it knows no window, so its refresh shows nothing.
    gTrayIcon->ToolTip(QStringLiteral("1 e-mail waiting"));
    QVERIFY(gTrayIcon.exists());
    QVERIFY(gTrayIcon->Notification() == nullptr);
    gTrayIcon->Refresh();
    QCOMPARE(m_platform.trayCalls.last().message, NotifyMessage::Modify);
    QVERIFY(m_platform.trayCalls.last().data.hWnd.isNull());
    QVERIFY(!m_platform.iconShown());
}

QTEST_MAIN(tst_CTrayIcon)
#include "tst_CTrayIcon.moc"

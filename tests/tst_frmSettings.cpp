#include "platform/FileOpenDialog.h"
#include "platform/LinuxPlatform.h"
#include "platform/PictureBox.h"
#include "platform/Timer.h"
#include "platform/Winsock.h"
#include "resources/Icons.h"
#include "settings/frmSettings.h"
#include "support/FakePlatform.h"
#include "support/LoadedFiles.h"
#include "support/TestConfig.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace {

// One control of the window's design: name (and member index for control arrays), container,
// caption, position in twips, tab stop and tool tip.
struct Design
{
    const char* name;
    int index;
    const char* container;
    const char* caption;
    int left, top, width, height;
    int tabStop;
    const char* tip;
};

constexpr int kNoIndex = -1;
constexpr int kNoTabStop = -1;

// clang-format off
const Design kDesign[] = {
    {"tabLB",        kNoIndex, "frmSettings", nullptr,                     120,  120,  4245, 3615, 0,  nullptr},
    {"picGotMail",   kNoIndex, "frmSettings", nullptr,                     4875, 275,  540,  480,  kNoTabStop, nullptr},
    {"picNoMail",    kNoIndex, "frmSettings", nullptr,                     4875, 275,  540,  480,  kNoTabStop, nullptr},
    {"Label6",       kNoIndex, "frmSettings", nullptr,                     4480, 810,  135,  135,  kNoTabStop, nullptr},
    {"cmdWeb",       kNoIndex, "frmSettings", nullptr,                     4620, 780,  1050, 210,  23, "To Home Page"},
    {"cmdCheckNow",  kNoIndex, "frmSettings", "Chec&k Now",                4620, 1560, 1050, 375,  24, "Check For E-mail Now"},
    {"cmdOK",        kNoIndex, "frmSettings", "OK",                        4620, 2040, 1050, 375,  25, "Save Settings"},
    {"cmdCancel",    kNoIndex, "frmSettings", "Cancel",                    4620, 2520, 1050, 375,  26, "Cancel Settings Changes"},
    {"cmdQuit",      kNoIndex, "frmSettings", "&Quit",                     4620, 3000, 1050, 375,  27, "Close Quillpost"},
    {"lblVer",       kNoIndex, "frmSettings", nullptr,                     5280, 3600, 615,  255,  kNoTabStop, nullptr},

    {"Frame5",       kNoIndex, "tabLB",       "Check Mail",                200,  360,  3825, 1455, kNoTabStop, nullptr},
    {"Label1",       kNoIndex, "Frame5",      "Every",                     840,  375,  465,  255,  kNoTabStop, nullptr},
    {"txtInterval",  kNoIndex, "Frame5",      nullptr,                     1320, 360,  300,  285,  1,  nullptr},
    {"Label2",       kNoIndex, "Frame5",      "minutes",                   1695, 375,  615,  255,  kNoTabStop, nullptr},
    {"Label7",       kNoIndex, "Frame5",      "If Off-Line :",             480,  820,  855,  255,  kNoTabStop, nullptr},
    {"optIfOffLine", 0,        "Frame5",      "Sta&y Off-Line",            1320, 805,  1335, 195,  2,  nullptr},
    {"optIfOffLine", 1,        "Frame5",      "&Go On-Line",               1320, 1075, 1335, 195,  3,  nullptr},
    {"Frame4",       kNoIndex, "tabLB",       "Mail Details",              200,  1920, 3825, 1575, kNoTabStop, nullptr},
    {"Label3",       kNoIndex, "Frame4",      "POP3 Server :",             120,  375,  1095, 255,  kNoTabStop, nullptr},
    {"txtServer",    kNoIndex, "Frame4",      nullptr,                     1320, 360,  2175, 285,  4,  nullptr},
    {"Label4",       kNoIndex, "Frame4",      "User ID :",                 480,  750,  735,  255,  kNoTabStop, nullptr},
    {"txtUserId",    kNoIndex, "Frame4",      nullptr,                     1320, 735,  1695, 285,  5,  nullptr},
    {"Label5",       kNoIndex, "Frame4",      "Password :",                360,  1140, 855,  255,  kNoTabStop, nullptr},
    {"txtPassword",  kNoIndex, "Frame4",      nullptr,                     1320, 1125, 1695, 285,  6,  nullptr},

    {"Frame3",       kNoIndex, "tabLB",       "Tool Tip Text",             200,  600,  1830, 1335, kNoTabStop, nullptr},
    {"optTT",        0,        "Frame3",      "N&one",                     200,  360,  1455, 195,  7,  nullptr},
    {"optTT",        1,        "Frame3",      "&Count Only",               200,  660,  1455, 195,  8,  nullptr},
    {"optTT",        2,        "Frame3",      "Count And Si&ze",           200,  960,  1455, 195,  9,  nullptr},
    {"Frame1",       kNoIndex, "tabLB",       "Sound On New Mail",         2185, 600,  1830, 1335, kNoTabStop, nullptr},
    {"optSound",     0,        "Frame1",      "Non&e",                     200,  360,  975,  195,  10, nullptr},
    {"optSound",     1,        "Frame1",      "&Beep",                     200,  660,  975,  195,  11, nullptr},
    {"optSound",     2,        "Frame1",      "&Play Sample",              200,  960,  1215, 195,  12, nullptr},
    {"cmdBrowse",    0,        "Frame1",      "...",                       1430, 960,  285,  235,  13, "Browse For Sample"},
    {"Frame2",       kNoIndex, "tabLB",       "Run On New Mail",           200,  2160, 3825, 1095, kNoTabStop, nullptr},
    {"optRun",       0,        "Frame2",      "No&thing",                  200,  360,  975,  255,  14, nullptr},
    {"optRun",       1,        "Frame2",      "",                          200,  660,  255,  255,  15, nullptr},
    {"txtRun",       kNoIndex, "Frame2",      nullptr,                     460,  650,  2775, 285,  16, nullptr},
    {"cmdBrowse",    1,        "Frame2",      "...",                       3360, 690,  285,  235,  17, "Browse For Command Line"},
    {"chkNotify",    kNoIndex, "tabLB",       "Show a &desktop notification", 200, 3300, 3825, 285, 18, nullptr},

    {"Frame6",       kNoIndex, "tabLB",       "Initial Display",           200,  720,  3815, 1095, kNoTabStop, nullptr},
    {"optStartUp",   0,        "Frame6",      "Settings &Window",          960,  360,  1935, 195,  19, nullptr},
    {"optStartUp",   1,        "Frame6",      "Tray &Icon Only",           960,  660,  2175, 255,  20, nullptr},
    {"Frame7",       kNoIndex, "tabLB",       "Run Automatically",         240,  2160, 3735, 1095, kNoTabStop, nullptr},
    {"optAutoRun",   0,        "Frame7",      "&Yes (via StartUp Folder)", 960,  360,  2175, 195,  21, nullptr},
    {"optAutoRun",   1,        "Frame7",      "&No",                       960,  660,  735,  195,  22, nullptr},
};
// clang-format on

// The frames (and controls outside a frame) each tab shows.
const QStringList kFramesOfTab[] = {
    {"Frame5", "Frame4"}, {"Frame3", "Frame1", "Frame2", "chkNotify"}, {"Frame6", "Frame7"}};

QWidget* control(const QWidget& window, const QString& name, int index = kNoIndex)
{
    for (QWidget* w : window.findChildren<QWidget*>(name))
        if (index == kNoIndex || w->property("Index").toInt() == index)
            return w;
    return nullptr;
}

int pixels(int twips)
{
    return static_cast<int>(
        std::lround(twips * QGuiApplication::primaryScreen()->logicalDotsPerInchX() / 1440.0));
}

QString captionOf(const QWidget* w)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(w))
        return frame->title();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    return {};
}

// Plain labels draw only their text, like the design's windowless labels: they may reach under a
// neighbour stacked above them.
bool isTextLabel(const QWidget* w)
{
    return qobject_cast<const QLabel*>(w) && !qobject_cast<const PictureBox*>(w);
}

// The part of a control that shows: a label's text, any other control's whole box.
QRect shownRect(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    if (!isTextLabel(w))
        return w->geometry();
    const QRect text = label->fontMetrics().boundingRect(
        label->contentsRect(), int(label->alignment()) | Qt::TextShowMnemonic, label->text());
    return text.translated(w->pos());
}

// Whether a file name passes a Qt file dialog filter, read the way the dialog reads it: the
// patterns in the last parentheses, or the whole filter when it has none.
bool passes(const QString& filter, const QString& fileName)
{
    static const QRegularExpression patternsInParentheses(QStringLiteral("^.*\\(([^()]*)\\)$"));
    const QRegularExpressionMatch match = patternsInParentheses.match(filter);
    const QString patterns = match.hasMatch() ? match.captured(1) : filter;
    for (const QString& pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                .match(fileName)
                .hasMatch())
            return true;
    return false;
}

} // namespace

class tst_frmSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // First: a plugin loaded by an earlier test would stay loaded.
    void picturesLoadNoImagePlugins();

    // Design values.
    void windowDesign();
    void designedControl_data();
    void designedControl();
    void controlArraysAreComplete();
    void controlsNotSeenAtRunTime();
    void versionLabel();
    void passwordIsMasked();
    void intervalAcceptsTwoTypedCharacters();
    void tabOrder();
    void firstTabAtCreation();
    void layoutOfEachTab_data();
    void layoutOfEachTab();
    void accessKeys();

    // Behaviour.
    void optionClicksSetTheirVariables();
    void privateOptionVariablesFollowTheirClicks_data();
    void privateOptionVariablesFollowTheirClicks();
    void startUpSelectionRunsTheHandlers();
    void focusSelectsAll_data();
    void focusSelectsAll();
    void intervalFloor_data();
    void intervalFloor();
    void browseForSample();
    void browseForCommandLine();
    void cancelledBrowseChangesNothing();
    void webButtonOpensTheHomePage();
    void cancelRestoresTheSnapshot();
    void signInButtonChoosesHowToSignIn();
    void escapeCancels();
    void enterClicksOK();
    void enterOnTabStripOrButton_data();
    void enterOnTabStripOrButton();
    void showAndHide();
    void aHiddenWindowReopensOnItsLastTab();

    void fileDialogFilter_data();
    void fileDialogFilter();

private:
    void showActive();

    std::optional<TestConfig> m_config;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<frmSettings> m_window;
};

void tst_frmSettings::init()
{
    m_config.emplace();
    m_platform = std::make_unique<FakePlatform>();
    m_window = std::make_unique<frmSettings>(*m_platform, m_platform->tokens);
}

void tst_frmSettings::cleanup()
{
    m_window.reset();
    m_platform.reset();
    QVERIFY2(!QFileInfo::exists(m_config->settingsFile()), "the window wrote to the store");
    m_config.reset();
}

void tst_frmSettings::showActive()
{
    m_window->frmSettings_Show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void tst_frmSettings::picturesLoadNoImagePlugins()
{
    for (const QIcon& icon : {Icons::application(), Icons::noMail(), Icons::gotMail(), Icons::checking()})
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {22, 22}, {32, 32}, {48, 48}}));
    QVERIFY(!isMapped("/imageformats/"));
}

void tst_frmSettings::windowDesign()
{
    frmSettings& w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillpost Settings"));
    QCOMPARE(w.size(), QSize(pixels(5865), pixels(3840)));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY2(!w.isVisible(), "the window is created hidden");

    QCOMPARE(w.tabLB->count(), 3);
    QCOMPARE(w.tabLB->tabText(0), QStringLiteral("&Server"));
    QCOMPARE(w.tabLB->tabText(1), QStringLiteral("&Notification"));
    QCOMPARE(w.tabLB->tabText(2), QStringLiteral("Start &Up"));

    QVERIFY(w.cmdOK->isDefault());
    QVERIFY(!w.cmdCancel->isDefault());
    QVERIFY(!w.Label6->text().isEmpty());
    QVERIFY(!w.cmdWeb->text().isEmpty());
}

void tst_frmSettings::designedControl_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kDesign)); ++i) {
        const Design& d = kDesign[i];
        if (d.index == kNoIndex)
            QTest::newRow(d.name) << i;
        else
            QTest::addRow("%s %d", d.name, d.index) << i;
    }
}

void tst_frmSettings::designedControl()
{
    QFETCH(int, row);
    const Design& d = kDesign[row];
    const QWidget* w = control(*m_window, QString::fromLatin1(d.name), d.index);
    QVERIFY2(w, "no control with this name");
    QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(d.container));
    QCOMPARE(w->geometry(), QRect(pixels(d.left), pixels(d.top), pixels(d.width), pixels(d.height)));
    if (d.caption)
        QCOMPARE(captionOf(w), QString::fromLatin1(d.caption));
    QCOMPARE(w->toolTip(), QString::fromLatin1(d.tip ? d.tip : ""));
    if (d.tabStop == kNoTabStop)
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    else
        QVERIFY(w->focusPolicy() & Qt::TabFocus);
}

void tst_frmSettings::controlArraysAreComplete()
{
    const struct
    {
        const char* name;
        int members;
    } arrays[] = {{"optIfOffLine", 2}, {"optTT", 3},      {"optSound", 3}, {"optRun", 2},
                  {"optStartUp", 2},   {"optAutoRun", 2}, {"cmdBrowse", 2}};
    for (const auto& array : arrays) {
        const QList<QWidget*> members = m_window->findChildren<QWidget*>(QString::fromLatin1(array.name));
        QCOMPARE(members.size(), array.members);
        for (int i = 0; i < array.members; ++i)
            QVERIFY2(control(*m_window, QString::fromLatin1(array.name), i), array.name);
    }
    // The public arrays are the named members, in index order.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_window->optTT[i], control(*m_window, QStringLiteral("optTT"), i));
    QCOMPARE(m_window->cmdBrowse[1], control(*m_window, QStringLiteral("cmdBrowse"), 1));
}

void tst_frmSettings::controlsNotSeenAtRunTime()
{
    frmSettings& w = *m_window;
    QCOMPARE(w.tmrCheck->Interval(), 1000);
    QVERIFY(w.tmrCheck->Enabled());
    QCOMPARE(w.tmrTimeout->Interval(), 60000);
    QVERIFY(!w.tmrTimeout->Enabled());
    QCOMPARE(w.tmrIconAnim->Interval(), 500);
    QVERIFY(!w.tmrIconAnim->Enabled());
    QCOMPARE(w.tmrIconAnim->Tag, QStringLiteral("1"));
    QCOMPARE(w.tmrWindowAnim->Interval(), 500);
    QVERIFY(!w.tmrWindowAnim->Enabled());
    QCOMPARE(w.socPOP->RemotePort, 110);
    QVERIFY(w.dlgFileOpen);

    QVERIFY(!w.picGotMail->isHidden());
    QVERIFY(w.picNoMail->isHidden());
    QVERIFY(!w.picGotMail->Picture().isNull());
    QVERIFY(!w.picNoMail->Picture().isNull());
    QVERIFY(!w.picCheck->Picture().isNull());
    QVERIFY(w.picHook->isHidden());
    QCOMPARE(w.picHook->size(), QSize(pixels(300), pixels(300)));
    QCOMPARE(w.picCheck->size(), QSize(pixels(495), pixels(495)));
    // Not seen: hidden, or below the client area.
    QVERIFY(w.picCheck->isHidden() || w.picCheck->y() >= w.height());

    QCOMPARE(w.mnuPopUp->title(), QStringLiteral("Pop-Up"));
    const QList<QAction*> items = w.mnuPopUp->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0], w.mnuPopUpCheck);
    QCOMPARE(items[1], w.mnuPopUpSettings);
    QCOMPARE(items[2], w.mnuPopUpHyphen);
    QCOMPARE(items[3], w.mnuPopUpExit);
    QCOMPARE(items[0]->text(), QStringLiteral("Check &Now"));
    QCOMPARE(items[1]->text(), QStringLiteral("&Settings"));
    QVERIFY(items[2]->isSeparator());
    QCOMPARE(items[3]->text(), QStringLiteral("&Quit"));
    for (const char* name : {"mnuPopUpCheck", "mnuPopUpSettings", "mnuPopUpHyphen", "mnuPopUpExit"})
        QVERIFY2(m_window->findChild<QAction*>(QString::fromLatin1(name)), name);
}

void tst_frmSettings::versionLabel()
{
    const QString version = QStringLiteral(QUILLPOST_PROJECT_VERSION);
    QCOMPARE(m_window->lblVer->text(), QStringLiteral("V ") + version);
    QVERIFY(QRegularExpression(QStringLiteral("^V (0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)$"))
                .match(m_window->lblVer->text())
                .hasMatch());
}

void tst_frmSettings::passwordIsMasked()
{
    QLineEdit* box = m_window->txtPassword;
    box->setText(QStringLiteral("s3cret"));
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    QCOMPARE(box->displayText(), QStringLiteral("******"));
    QCOMPARE(box->text(), QStringLiteral("s3cret"));
    // The other boxes show their text.
    m_window->txtUserId->setText(QStringLiteral("alice"));
    QCOMPARE(m_window->txtUserId->displayText(), QStringLiteral("alice"));
}

void tst_frmSettings::intervalAcceptsTwoTypedCharacters()
{
    showActive();
    QLineEdit* box = m_window->txtInterval;
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, QStringLiteral("123"));
    QCOMPARE(box->text(), QStringLiteral("12"));

    // A stored interval longer than two characters is shown as stored, not cut.
    box->setText(QStringLiteral("2.5"));
    QCOMPARE(box->text(), QStringLiteral("2.5"));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClicks(box, QStringLiteral("7"));
    QCOMPARE(box->text(), QStringLiteral("2.5"));
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("45"));
    QCOMPARE(box->text(), QStringLiteral("45"));
    // Such a text can still be shortened.
    box->setText(QStringLiteral("10.5"));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("10."));
    QTest::keyClicks(box, QStringLiteral("5"));
    QCOMPARE(box->text(), QStringLiteral("10."));

    // Pasting cannot pass the limit either.
    box->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("34"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("34"));
    box->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("345"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QVERIFY2(box->text().size() <= 2, qPrintable(box->text()));

    // The other boxes have no such limit.
    m_window->txtServer->setText(QString(200, QLatin1Char('m')));
    QCOMPARE(m_window->txtServer->text().size(), 200);
}

void tst_frmSettings::tabOrder()
{
    QList<const QWidget*> designed(28, nullptr);
    for (const Design& d : kDesign)
        if (d.tabStop != kNoTabStop)
            designed[d.tabStop] = control(*m_window, QString::fromLatin1(d.name), d.index);
    QVERIFY(!designed.contains(nullptr));

    // Follow the focus chain from the first stop and note the designed controls as they come.
    QList<const QWidget*> met;
    const QWidget* w = designed.first();
    for (int steps = 0; steps < 1000 && met.size() < designed.size(); ++steps, w = w->nextInFocusChain())
        if (designed.contains(w) && !met.contains(w))
            met.append(w);
    QCOMPARE(met, designed);
}

void tst_frmSettings::firstTabAtCreation()
{
    QCOMPARE(m_window->tabLB->currentIndex(), 0);
    for (int tab = 0; tab < 3; ++tab)
        for (const QString& name : kFramesOfTab[tab])
            QCOMPARE(control(*m_window, name)->isVisibleTo(m_window.get()), tab == 0);
}

void tst_frmSettings::layoutOfEachTab_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("Server") << 0;
    QTest::newRow("Notification") << 1;
    QTest::newRow("Start Up") << 2;
}

void tst_frmSettings::layoutOfEachTab()
{
    QFETCH(int, tab);
    frmSettings& w = *m_window;
    w.frmSettings_Show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.tabLB->setCurrentIndex(tab);

    for (int other = 0; other < 3; ++other)
        for (const QString& name : kFramesOfTab[other])
            QCOMPARE(control(w, name)->isVisible(), other == tab);

    // The frames of the tab lie on the tab's page: inside the tab control, below the row of tabs.
    const QRect page = w.tabLB->rect().adjusted(0, w.tabLB->tabBar()->geometry().bottom() + 1, 0, 0);
    QList<QWidget*> containers{&w};
    for (const QString& name : kFramesOfTab[tab]) {
        QWidget* frame = control(w, name);
        QVERIFY2(page.contains(frame->geometry()), qPrintable(name));
        QVERIFY2(frame->width() >= frame->sizeHint().width() && frame->height() >= frame->sizeHint().height(),
                 qPrintable(name + " is cut off"));
        for (const QString& other : kFramesOfTab[tab])
            QVERIFY2(other == name || !frame->geometry().intersects(control(w, other)->geometry()),
                     qPrintable(name + " overlaps " + other));
        containers << frame;
    }

    for (const QWidget* container : containers) {
        QList<const QWidget*> shown;
        for (const QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() && !child->isWindow() && child != w.picCheck)
                shown << child;
        for (const QWidget* a : shown) {
            const QString what = container->objectName() + QLatin1Char('/') + a->objectName();
            QVERIFY2(container->rect().contains(shownRect(a)), qPrintable(what + " sticks out"));
            // Whatever shows of a control is really there: a click at its centre reaches it.
            const QPoint centre = shownRect(a).center();
            const QWidget* hit = w.childAt(container->mapTo(&w, centre));
            QVERIFY2(hit && (hit == a || a->isAncestorOf(hit)), qPrintable(what + " is covered"));
            for (const QWidget* b : shown) {
                if (a == b || !a->geometry().intersects(b->geometry()))
                    continue;
                // Boxes meet only where a label reaches under a control stacked above it, clear of
                // the label's text.
                const QWidget* label = isTextLabel(a) ? a : b;
                const QWidget* other = label == a ? b : a;
                QVERIFY2(isTextLabel(label) && !isTextLabel(other) &&
                             container->children().indexOf(label) < container->children().indexOf(other) &&
                             !shownRect(label).intersects(other->geometry()),
                         qPrintable(what + " overlaps " + b->objectName()));
            }
        }
    }
    // The page shows the tab's frames; the controls on the window stay within the window.
    QVERIFY(w.rect().contains(w.tabLB->geometry()));
}

void tst_frmSettings::accessKeys()
{
    showActive();
    frmSettings& w = *m_window;

    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(w.tabLB->currentIndex(), 1);
    QTest::keyClick(&w, Qt::Key_Z, Qt::AltModifier);
    QTRY_VERIFY(w.optTT[2]->isChecked());
    QTest::keyClick(&w, Qt::Key_P, Qt::AltModifier);
    QTRY_VERIFY(w.optSound[2]->isChecked());
    QTest::keyClick(&w, Qt::Key_D, Qt::AltModifier);
    QTRY_VERIFY(!w.chkNotify->isChecked());

    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QCOMPARE(w.tabLB->currentIndex(), 2);
    QTest::keyClick(&w, Qt::Key_Y, Qt::AltModifier);
    QTRY_VERIFY(w.optAutoRun[0]->isChecked());

    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(w.tabLB->currentIndex(), 0);
    QTest::keyClick(&w, Qt::Key_G, Qt::AltModifier);
    QTRY_VERIFY(w.optIfOffLine[1]->isChecked());

    // No key stands for two things on a tab, counting the tabs and the buttons beside them. (On
    // "Start &Up" the design's "&No" shares its key with the tab "&Notification".)
    for (int tab : {0, 1}) {
        w.tabLB->setCurrentIndex(tab);
        QStringList captions;
        for (int t = 0; t < 3; ++t)
            captions << w.tabLB->tabText(t);
        for (const QAbstractButton* button : w.findChildren<QAbstractButton*>())
            if (button->isVisible())
                captions << button->text();
        QSet<QChar> keys;
        for (const QString& caption : captions) {
            const qsizetype amp = caption.indexOf(QLatin1Char('&'));
            if (amp < 0)
                continue;
            const QChar key = caption[amp + 1].toLower();
            QVERIFY2(!keys.contains(key), qPrintable(caption));
            keys.insert(key);
        }
    }
}

void tst_frmSettings::optionClicksSetTheirVariables()
{
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(1);

    QTest::mouseClick(w.optTT[2], Qt::LeftButton);
    QVERIFY(w.optTT[2]->isChecked());
    QCOMPARE(w.miTT, 2);
    QTest::mouseClick(w.optTT[0], Qt::LeftButton);
    QCOMPARE(w.miTT, 0);
    QVERIFY(!w.optTT[2]->isChecked());

    QTest::mouseClick(w.optSound[2], Qt::LeftButton);
    QCOMPARE(w.miSound, 2);
    QTest::mouseClick(w.optSound[1], Qt::LeftButton);
    QCOMPARE(w.miSound, 1);
    QCOMPARE(w.miTT, 0);
    QVERIFY(w.optTT[0]->isChecked());

    // The option without a caption enables the command line; "No&thing" disables it again.
    QTest::mouseClick(w.optRun[1], Qt::LeftButton);
    QVERIFY(w.optRun[1]->isChecked());
    QVERIFY(w.txtRun->isEnabled());
    QTest::mouseClick(w.optRun[0], Qt::LeftButton);
    QVERIFY(!w.txtRun->isEnabled());
    QVERIFY(w.cmdBrowse[1]->isEnabled());
    QTest::mouseClick(w.optRun[1], Qt::LeftButton);
    QVERIFY(w.txtRun->isEnabled());
    QVERIFY(w.cmdBrowse[1]->isEnabled());
}

void tst_frmSettings::privateOptionVariablesFollowTheirClicks_data()
{
    QTest::addColumn<QString>("array");
    QTest::addColumn<int>("tab");
    QTest::newRow("optIfOffLine") << "optIfOffLine" << 0;
    QTest::newRow("optRun") << "optRun" << 1;
    QTest::newRow("optStartUp") << "optStartUp" << 2;
    QTest::newRow("optAutoRun") << "optAutoRun" << 2;
}

void tst_frmSettings::privateOptionVariablesFollowTheirClicks()
{
    // The variables are private; Cancel returns to the choice they held when the snapshot was taken.
    QFETCH(QString, array);
    QFETCH(int, tab);
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(tab);
    auto* first = qobject_cast<QRadioButton*>(control(w, array, 0));
    auto* second = qobject_cast<QRadioButton*>(control(w, array, 1));

    QTest::mouseClick(second, Qt::LeftButton);
    w.TakeSnapshot();
    QTest::mouseClick(first, Qt::LeftButton);
    QVERIFY(first->isChecked());
    w.cmdCancel_Click();
    QVERIFY(second->isChecked());

    w.frmSettings_Show();
    QTest::mouseClick(first, Qt::LeftButton);
    w.TakeSnapshot();
    QTest::mouseClick(second, Qt::LeftButton);
    w.cmdCancel_Click();
    QVERIFY(first->isChecked());
}

void tst_frmSettings::startUpSelectionRunsTheHandlers()
{
    frmSettings& w = *m_window;
    // No option is selected before start-up selects the stored ones, so each selection runs its handler.
    for (const QRadioButton* option : w.findChildren<QRadioButton*>())
        QVERIFY2(!option->isChecked(), qPrintable(option->objectName()));

    w.miTT = 7;
    w.miSound = 7;
    w.optTT[0]->setChecked(true);
    w.optSound[0]->setChecked(true);
    w.optRun[0]->setChecked(true);
    QCOMPARE(w.miTT, 0);
    QCOMPARE(w.miSound, 0);
    QVERIFY(!w.txtRun->isEnabled());

    w.optTT[1]->setChecked(true);
    w.optSound[2]->setChecked(true);
    w.optRun[1]->setChecked(true);
    QCOMPARE(w.miTT, 1);
    QCOMPARE(w.miSound, 2);
    QVERIFY(w.txtRun->isEnabled());
}

void tst_frmSettings::focusSelectsAll_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("text");
    QTest::newRow("txtInterval") << "txtInterval" << 0 << "15";
    QTest::newRow("txtServer") << "txtServer" << 0 << "pop.example.org";
    QTest::newRow("txtUserId") << "txtUserId" << 0 << "alice";
    QTest::newRow("txtPassword") << "txtPassword" << 0 << "s3cret";
    QTest::newRow("txtRun") << "txtRun" << 1 << "notify-send mail";
}

void tst_frmSettings::focusSelectsAll()
{
    QFETCH(QString, box);
    QFETCH(int, tab);
    QFETCH(QString, text);
    showActive();
    frmSettings& w = *m_window;
    w.optRun[1]->setChecked(true);
    w.tabLB->setCurrentIndex(tab);
    auto* edit = qobject_cast<QLineEdit*>(control(w, box));
    edit->setText(text);
    const auto wholeTextSelected = [&] {
        return w.focusWidget() == edit && edit->selectionStart() == 0 &&
               edit->selectionLength() == text.size();
    };

    // Tabbing into the box.
    w.cmdOK->setFocus();
    for (int presses = 0; presses < 40 && w.focusWidget() != edit; ++presses)
        QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
    QVERIFY(wholeTextSelected());

    // Clicking into it, anywhere in the text.
    w.cmdOK->setFocus();
    QVERIFY(!edit->hasFocus());
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() / 3, edit->height() / 2));
    QTRY_VERIFY(wholeTextSelected());

    // Typing replaces the whole text.
    QTest::keyClicks(edit, QStringLiteral("9"));
    QCOMPARE(edit->text(), QStringLiteral("9"));
}

void tst_frmSettings::intervalFloor_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::newRow("zero") << "0"
                          << "1";
    QTest::newRow("nothing") << ""
                             << "1";
    QTest::newRow("letter") << "x"
                            << "1";
    QTest::newRow("negative") << "-3"
                              << "1";
    QTest::newRow("half") << ".5"
                          << "1";
    QTest::newRow("blank") << " "
                           << "1";
    QTest::newRow("one") << "1"
                         << "1";
    QTest::newRow("leading zero") << "05"
                                  << "05";
    QTest::newRow("largest") << "99"
                             << "99";
    QTest::newRow("one and a half, stored") << "1.5"
                                            << "1.5";
}

void tst_frmSettings::intervalFloor()
{
    QFETCH(QString, typed);
    QFETCH(QString, left);
    showActive();
    frmSettings& w = *m_window;
    w.txtInterval->setFocus();
    QVERIFY(w.txtInterval->hasFocus());
    w.txtInterval->setText(typed);
    QTest::keyClick(w.txtInterval, Qt::Key_Tab);
    QVERIFY(!w.txtInterval->hasFocus());
    QCOMPARE(w.txtInterval->text(), left);

    // Clicking elsewhere applies the floor as well.
    w.txtInterval->setFocus();
    w.txtInterval->setText(typed);
    QTest::mouseClick(w.txtServer, Qt::LeftButton);
    QCOMPARE(w.txtInterval->text(), left);
}

void tst_frmSettings::browseForSample()
{
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(1);
    w.txtRun->setText(QStringLiteral("keep me"));
    w.optSound[1]->setChecked(true);
    m_platform->nextFileNames << QStringLiteral("/home/alice/sounds/bell.wav");

    QTest::mouseClick(w.cmdBrowse[0], Qt::LeftButton);
    QCOMPARE(m_platform->dialogs.size(), 1);
    QCOMPARE(m_platform->dialogs[0].title, QStringLiteral("Select A Sample"));
    QCOMPARE(m_platform->dialogs[0].filter, QStringLiteral("Sounds (*.wav)|*.wav"));
    QCOMPARE(m_platform->dialogs[0].folder, QCoreApplication::applicationDirPath());
    QCOMPARE(w.msSample, QStringLiteral("/home/alice/sounds/bell.wav"));
    QCOMPARE(w.txtRun->text(), QStringLiteral("keep me"));
    QVERIFY2(w.optSound[1]->isChecked(), "choosing a sample changed the sound option");
    QCOMPARE(w.miSound, 1);
}

void tst_frmSettings::browseForCommandLine()
{
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(1);
    w.msSample = QStringLiteral("/keep/me.wav");
    w.optRun[0]->setChecked(true);
    m_platform->nextFileNames << QStringLiteral("/usr/bin/notify-send");

    // The button works while "No&thing" is selected; the path lands in the disabled box.
    QTest::mouseClick(w.cmdBrowse[1], Qt::LeftButton);
    QCOMPARE(m_platform->dialogs.size(), 1);
    QCOMPARE(m_platform->dialogs[0].title, QStringLiteral("Select A File To Run"));
    QCOMPARE(m_platform->dialogs[0].filter, QStringLiteral("All Files (*.*)|*.*"));
    QCOMPARE(m_platform->dialogs[0].folder, QCoreApplication::applicationDirPath());
    QCOMPARE(w.txtRun->text(), QStringLiteral("/usr/bin/notify-send"));
    QVERIFY(!w.txtRun->isEnabled());
    QVERIFY(w.optRun[0]->isChecked());
    QCOMPARE(w.msSample, QStringLiteral("/keep/me.wav"));
}

void tst_frmSettings::cancelledBrowseChangesNothing()
{
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(1);
    m_platform->nextFileNames << QStringLiteral("/a/first.wav") << QStringLiteral("/usr/bin/first");
    QTest::mouseClick(w.cmdBrowse[0], Qt::LeftButton);
    QTest::mouseClick(w.cmdBrowse[1], Qt::LeftButton);

    // Each dialog cancelled in turn.
    m_platform->nextFileNames << QString() << QString();
    QTest::mouseClick(w.cmdBrowse[0], Qt::LeftButton);
    QTest::mouseClick(w.cmdBrowse[1], Qt::LeftButton);
    QCOMPARE(m_platform->dialogs.size(), 4);
    QCOMPARE(w.msSample, QStringLiteral("/a/first.wav"));
    QCOMPARE(w.txtRun->text(), QStringLiteral("/usr/bin/first"));
}

void tst_frmSettings::webButtonOpensTheHomePage()
{
    showActive();
    QTest::mouseClick(m_window->cmdWeb, Qt::LeftButton);
    QCOMPARE(m_platform->openedDocuments.size(), 1);
    const QUrl address(m_platform->openedDocuments[0]);
    QVERIFY(address.isValid());
    QVERIFY(address.scheme() == QLatin1String("https") || address.scheme() == QLatin1String("http"));
    QVERIFY(!address.host().isEmpty());
    QVERIFY(m_window->isVisible());
}

void tst_frmSettings::cancelRestoresTheSnapshot()
{
    frmSettings& w = *m_window;
    w.txtInterval->setText(QStringLiteral("2.5"));
    w.txtServer->setText(QStringLiteral("pop.example.org"));
    w.txtUserId->setText(QStringLiteral("alice"));
    w.txtPassword->setText(QStringLiteral("s3cret"));
    w.txtRun->setText(QStringLiteral("notify-send"));
    w.msSample = QStringLiteral("/a/bell.wav");
    w.miInterval = 150;
    w.optIfOffLine[1]->setChecked(true);
    w.optTT[2]->setChecked(true);
    w.optSound[2]->setChecked(true);
    w.optRun[1]->setChecked(true);
    w.optStartUp[0]->setChecked(true);
    w.optAutoRun[1]->setChecked(true);
    w.chkNotify->setChecked(false);
    w.TakeSnapshot();

    showActive();
    w.tabLB->setCurrentIndex(2);
    w.txtInterval->setText(QStringLiteral("7"));
    w.txtServer->setText(QStringLiteral("other"));
    w.txtUserId->setText(QStringLiteral("bob"));
    w.txtPassword->setText(QStringLiteral("guess"));
    w.txtRun->setText(QStringLiteral("rm"));
    w.msSample = QStringLiteral("/b/horn.wav");
    w.miInterval = 420;
    w.optIfOffLine[0]->setChecked(true);
    w.optTT[0]->setChecked(true);
    w.optSound[0]->setChecked(true);
    w.optRun[0]->setChecked(true);
    w.optStartUp[1]->setChecked(true);
    w.optAutoRun[0]->setChecked(true);
    w.chkNotify->setChecked(true);

    QTest::mouseClick(w.cmdCancel, Qt::LeftButton);

    QVERIFY(!w.isVisible());
    QVERIFY(!w.tmrWindowAnim->Enabled());
    QCOMPARE(w.txtInterval->text(), QStringLiteral("2.5"));
    QCOMPARE(w.txtServer->text(), QStringLiteral("pop.example.org"));
    QCOMPARE(w.txtUserId->text(), QStringLiteral("alice"));
    QCOMPARE(w.txtPassword->text(), QStringLiteral("s3cret"));
    QCOMPARE(w.txtRun->text(), QStringLiteral("notify-send"));
    QCOMPARE(w.msSample, QStringLiteral("/a/bell.wav"));
    QCOMPARE(w.miInterval, 150);
    QCOMPARE(w.miTT, 2);
    QCOMPARE(w.miSound, 2);
    QVERIFY(w.optIfOffLine[1]->isChecked());
    QVERIFY(w.optTT[2]->isChecked());
    QVERIFY(w.optSound[2]->isChecked());
    QVERIFY(w.optRun[1]->isChecked());
    QVERIFY(w.txtRun->isEnabled());
    QVERIFY(w.optStartUp[0]->isChecked());
    QVERIFY(w.optAutoRun[1]->isChecked());
    QVERIFY(!w.chkNotify->isChecked());
    QVERIFY(m_platform->dialogs.isEmpty());
    QVERIFY(m_platform->openedDocuments.isEmpty());
    // Hidden, not destroyed; the tab stays as it was.
    QCOMPARE(w.tabLB->currentIndex(), 2);
}

void tst_frmSettings::signInButtonChoosesHowToSignIn()
{
    QPushButton* signIn = m_window->cmdSignIn;
    QCOMPARE(signIn->parentWidget(), m_window->Frame4);
    QVERIFY(signIn->geometry().left() > m_window->txtPassword->geometry().right());
    QVERIFY(signIn->geometry().intersects(
        QRect(0, m_window->txtPassword->y(), m_window->Frame4->width(), m_window->txtPassword->height())));
    QCOMPARE(signIn->toolTip(), QStringLiteral("Sign In With an Account"));
    QCOMPARE(m_window->txtPassword->nextInFocusChain(), signIn);

    m_platform->tokens.accounts = {{"account_1", "alice@gmail.test", "google"}};
    m_window->txtPassword->setText(QStringLiteral("wonderland"));
    m_window->TakeSnapshot();
    QTimer::singleShot(0, m_window.get(), [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QComboBox*>(QStringLiteral("cboAccount"))->setCurrentIndex(1);
        dialog->accept();
    });
    signIn->click();

    QCOMPARE(m_window->signIn().key(), QStringLiteral("goa:account_1"));
    QVERIFY(!m_window->txtPassword->isEnabled());
    QCOMPARE(m_window->txtPassword->text(), QString());
    QCOMPARE(m_window->txtServer->text(), QStringLiteral("pop.gmail.com:995"));
    QCOMPARE(m_window->txtUserId->text(), QStringLiteral("alice@gmail.test"));
    m_window->cmdCancel->click();
    QCOMPARE(m_window->signIn(), SignIn());
    QVERIFY(m_window->txtPassword->isEnabled());
    QCOMPARE(m_window->txtPassword->text(), QStringLiteral("wonderland"));
}

void tst_frmSettings::escapeCancels()
{
    frmSettings& w = *m_window;
    w.txtServer->setText(QStringLiteral("pop.example.org"));
    w.TakeSnapshot();
    showActive();
    w.txtServer->setFocus();
    w.txtServer->setText(QStringLiteral("typo"));
    QSignalSpy okClicks(w.cmdOK, &QPushButton::clicked);

    QTest::keyClick(w.txtServer, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.tmrWindowAnim->Enabled());
    QCOMPARE(w.txtServer->text(), QStringLiteral("pop.example.org"));
    QCOMPARE(okClicks.count(), 0);
}

void tst_frmSettings::enterClicksOK()
{
    frmSettings& w = *m_window;
    QSignalSpy okClicks(w.cmdOK, &QPushButton::clicked);
    QSignalSpy cancelClicks(w.cmdCancel, &QPushButton::clicked);
    // OK saves and hides the window; each Enter below starts from the shown window.
    const auto enterIn = [&](QWidget* control) {
        showActive();
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
    };

    enterIn(w.txtServer);
    QCOMPARE(okClicks.count(), 1);
    QVERIFY(!w.isVisible());
    enterIn(w.optIfOffLine[0]);
    QCOMPARE(okClicks.count(), 2);
    // A longer interval text, as stored, does not keep Enter from acting.
    w.txtInterval->setText(QStringLiteral("2.5"));
    enterIn(w.txtInterval);
    QCOMPARE(okClicks.count(), 3);

    // While a check runs OK is disabled, and Enter does nothing.
    w.cmdOK->setEnabled(false);
    enterIn(w.txtServer);
    QCOMPARE(okClicks.count(), 3);
    QCOMPARE(cancelClicks.count(), 0);
    QVERIFY(w.isVisible());
    QVERIFY(QFile::remove(m_config->settingsFile())); // OK saved, as it should
}

void tst_frmSettings::enterOnTabStripOrButton_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("clicked");
    QTest::newRow("tab strip") << "tabLB"
                               << "cmdOK";
    QTest::newRow("Cancel") << "cmdCancel"
                            << "cmdCancel";
    QTest::newRow("Quit") << "cmdQuit"
                          << "cmdQuit";
    QTest::newRow("Check Now") << "cmdCheckNow"
                               << "cmdCheckNow";
}

void tst_frmSettings::enterOnTabStripOrButton()
{
    QFETCH(QString, focus);
    QFETCH(QString, clicked);
    frmSettings& w = *m_window;
    showActive();
    // Choosing a tab by its access key hides the text box that had the focus; the focus goes to
    // the tab strip, not to the next button in the tab order.
    w.txtServer->setFocus();
    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(w.tabLB->currentIndex(), 1);
    QWidget* target = focus == QLatin1String("tabLB") ? w.tabLB->tabBar() : w.findChild<QWidget*>(focus);
    if (target != w.tabLB->tabBar())
        target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);

    const QList<QPushButton*> buttons{w.cmdOK, w.cmdCancel, w.cmdQuit, w.cmdCheckNow};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QPushButton* button : buttons) {
        // Only the click is wanted: the handlers would save, quit or check.
        button->disconnect(&w);
        spies.push_back(std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
    }
    QTest::keyClick(target, Qt::Key_Return);
    for (std::size_t i = 0; i < buttons.size(); ++i)
        QCOMPARE(spies[i]->count(), buttons[i]->objectName() == clicked ? 1 : 0);
}

void tst_frmSettings::showAndHide()
{
    frmSettings& w = *m_window;
    QVERIFY(!w.isVisible());
    w.frmSettings_Show();
    QVERIFY(w.isVisible());
    QVERIFY(w.tmrWindowAnim->Enabled());
    w.frmSettings_Show();
    QVERIFY(w.isVisible());
    QVERIFY(w.tmrWindowAnim->Enabled());

    w.cmdCancel_Click();
    QVERIFY(!w.isVisible());
    QVERIFY(!w.tmrWindowAnim->Enabled());

    // The tray menu's "&Settings" shows the window.
    w.mnuPopUpSettings->trigger();
    QVERIFY(w.isVisible());
    QVERIFY(w.tmrWindowAnim->Enabled());
}

void tst_frmSettings::aHiddenWindowReopensOnItsLastTab()
{
    showActive();
    frmSettings& w = *m_window;
    w.tabLB->setCurrentIndex(2);
    w.cmdCancel_Click();
    w.frmSettings_Show();
    QCOMPARE(w.tabLB->currentIndex(), 2);
    QVERIFY(control(w, QStringLiteral("Frame6"))->isVisible());
    QVERIFY(!control(w, QStringLiteral("Frame5"))->isVisible());

    w.tabLB->setCurrentIndex(1);
    w.hide();
    w.frmSettings_Show();
    QCOMPARE(w.tabLB->currentIndex(), 1);
    QVERIFY(control(w, QStringLiteral("Frame3"))->isVisible());
}

void tst_frmSettings::fileDialogFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    QTest::newRow("sounds") << "Sounds (*.wav)|*.wav" << 0 << QStringList{"Mailtrill.wav", "a.b.wav"}
                            << QStringList{"notes.txt", "wav", "bell.wav.txt"};
    QTest::newRow("all files") << "All Files (*.*)|*.*" << 0
                               << QStringList{"notify-send", "run.sh", ".hidden", "a.b.c"} << QStringList{};
    QTest::newRow("description without pattern")
        << "Sounds|*.wav;*.mp3" << 0 << QStringList{"a.wav", "b.mp3"} << QStringList{"c.ogg"};
    QTest::newRow("the pattern decides, not the description")
        << "Sounds (*.wav)|*.wav;*.mp3" << 0 << QStringList{"a.wav", "b.mp3"} << QStringList{"c.ogg"};
    QTest::newRow("second of two") << "Sounds (*.wav)|*.wav|All Files (*.*)|*.*" << 1
                                   << QStringList{"a.wav", "program"} << QStringList{};
}

void tst_frmSettings::fileDialogFilter()
{
    QFETCH(QString, filter);
    QFETCH(int, choice);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);

    const QStringList filters = LinuxPlatform::qtFilter(filter).split(QStringLiteral(";;"));
    QCOMPARE(filters.size(), (filter.count(QLatin1Char('|')) + 1) / 2);
    const QString description = filter.split(QLatin1Char('|'))[2 * choice].section(QLatin1Char('('), 0, 0);
    QVERIFY2(filters[choice].startsWith(description.trimmed()), qPrintable(filters[choice]));
    for (const QString& name : shown)
        QVERIFY2(passes(filters[choice], name), qPrintable(filters[choice] + " hides " + name));
    for (const QString& name : notShown)
        QVERIFY2(!passes(filters[choice], name), qPrintable(filters[choice] + " shows " + name));
}

QTEST_MAIN(tst_frmSettings)
#include "tst_frmSettings.moc"

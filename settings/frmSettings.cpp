#include "settings/frmSettings.h"

#include "core/Conversions.h"
#include "core/RuntimeError.h"
#include "platform/FileOpenDialog.h"
#include "platform/PictureBox.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Twips.h"
#include "platform/Winsock.h"
#include "resources/Icons.h"
#include "settings/SignInDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QValidator>

#include <functional>
#include <type_traits>

namespace {

const QString kHomePage = QStringLiteral("https://quillpost.example.org/");

// Positions a control from its design values in twips, relative to its container.
template <typename W> W* place(W* widget, int left, int top, int width, int height)
{
    widget->setGeometry(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width),
                        Twips::toPixels(height));
    return widget;
}

template <typename W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QFont designFont(double points, bool italic)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    font.setItalic(italic);
    return font;
}

// Password boxes show "*" for every character, whatever the desktop style would draw.
class AsteriskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The design's maximum length as the desktop's text boxes apply it: typing, pasting or dropping
// cannot make the text longer than the limit, while a text the program sets, such as a stored
// "2.5", stays whole and can still be shortened.
class TypedLengthLimit : public QValidator
{
public:
    TypedLengthLimit(qsizetype limit, QLineEdit* box)
        : QValidator(box)
        , m_limit(limit)
        , m_box(box)
        , m_length(box->text().size())
    {
        // Emitted after each change has been validated, so m_length is the length before it.
        connect(box, &QLineEdit::textChanged, this, [this](const QString& text) { m_length = text.size(); });
    }

    State validate(QString& input, int&) const override
    {
        const bool typed = m_box->isModified();
        return !typed || input.size() <= m_limit || input.size() < m_length ? Acceptable : Invalid;
    }

private:
    qsizetype m_limit;
    QLineEdit* m_box;
    qsizetype m_length;
};

// Turns away typed or pasted text that holds CR, LF or NUL: the user ID and password go into
// commands to the server, where such a character would end the command early.
class SingleLine : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        return Conversions::breaksCommandLine(input) ? Invalid : Acceptable;
    }
};

// Handlers take the signal's arguments, or none (a button's "checked" is of no use). A function of
// its own: clang checks a discarded branch that holds a lambda.
template <typename Handler, typename... Arguments>
void invokeHandler(frmSettings* window, const Handler& handler, Arguments... arguments)
{
    if constexpr (std::is_invocable_v<Handler, frmSettings*, Arguments...>)
        std::invoke(handler, window, arguments...);
    else
        std::invoke(handler, window);
}

} // namespace

frmSettings::frmSettings(Platform& platform, TokenSource& tokens)
    : m_platform(platform)
    , m_tokens(tokens)
    , m_login(tokens)
{
    buildLayout();
    connectHandlers();
    Form_Load();
}

frmSettings::~frmSettings() = default;

void frmSettings::buildLayout()
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Quillpost Settings"));
    setWindowIcon(Icons::application());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont standard(QStringLiteral("Arial"));
    standard.setPointSizeF(8.25);
    setFont(standard);
    setFixedSize(Twips::toPixels(5865), Twips::toPixels(3840));

    // The tab control hosts its frames directly, measured from its own corner as the design
    // gives them; the pages stay empty and the selected tab decides which frames are visible.
    tabLB = place(named(new QTabWidget(this), QStringLiteral("tabLB")), 120, 120, 4245, 3615);
    for (const QString& caption :
         {QStringLiteral("&Server"), QStringLiteral("&Notification"), QStringLiteral("Start &Up")})
        tabLB->addTab(new QWidget, caption);

    const auto frame = [this](const QString& name, const QString& caption, int l, int t, int w, int h) {
        return place(named(new QGroupBox(caption, tabLB), name), l, t, w, h);
    };
    const auto label = [](QWidget* parent, const QString& name, const QString& caption, int l, int t, int w,
                          int h) {
        return place(named(new QLabel(caption, parent), name), l, t, w, h);
    };
    const auto textBox = [](QWidget* parent, const QString& name, int l, int t, int w, int h) {
        return place(named(new QLineEdit(parent), name), l, t, w, h);
    };
    const auto option = [](QWidget* parent, const QString& name, int index, const QString& caption, int l,
                           int t, int w, int h) {
        auto* button = place(named(new QRadioButton(caption, parent), name), l, t, w, h);
        button->setProperty("Index", index);
        return button;
    };
    const auto button = [](QWidget* parent, const QString& name, const QString& caption, const QString& tip,
                           int l, int t, int w, int h) {
        auto* b = place(named(new QPushButton(caption, parent), name), l, t, w, h);
        b->setToolTip(tip);
        return b;
    };

    // Right-hand column.
    picGotMail = place(named(new PictureBox(this), QStringLiteral("picGotMail")), 4875, 275, 540, 480);
    picGotMail->setPicture(Icons::gotMail());
    picNoMail = place(named(new PictureBox(this), QStringLiteral("picNoMail")), 4875, 275, 540, 480);
    picNoMail->setPicture(Icons::noMail());
    picNoMail->setVisible(false);
    Label6 = label(this, QStringLiteral("Label6"), QStringLiteral("\u00A9"), 4480, 810, 135, 135);
    Label6->setFont(designFont(6.75, true));
    cmdWeb = button(this, QStringLiteral("cmdWeb"), QStringLiteral("Quillworks"),
                    QStringLiteral("To Home Page"), 4620, 780, 1050, 210);
    cmdWeb->setFont(designFont(6.75, true));
    cmdWeb->setFlat(true);
    cmdCheckNow = button(this, QStringLiteral("cmdCheckNow"), QStringLiteral("Chec&k Now"),
                         QStringLiteral("Check For E-mail Now"), 4620, 1560, 1050, 375);
    cmdOK = button(this, QStringLiteral("cmdOK"), QStringLiteral("OK"), QStringLiteral("Save Settings"), 4620,
                   2040, 1050, 375);
    cmdOK->setDefault(true);
    cmdCancel = button(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"),
                       QStringLiteral("Cancel Settings Changes"), 4620, 2520, 1050, 375);
    cmdQuit = button(this, QStringLiteral("cmdQuit"), QStringLiteral("&Quit"),
                     QStringLiteral("Close Quillpost"), 4620, 3000, 1050, 375);
    lblVer = label(this, QStringLiteral("lblVer"), QString(), 5280, 3600, 615, 255);
    lblVer->setFont(designFont(8.25, true));

    // Tab "&Server".
    Frame5 = frame(QStringLiteral("Frame5"), QStringLiteral("Check Mail"), 200, 360, 3825, 1455);
    label(Frame5, QStringLiteral("Label1"), QStringLiteral("Every"), 840, 375, 465, 255);
    txtInterval = textBox(Frame5, QStringLiteral("txtInterval"), 1320, 360, 300, 285);
    txtInterval->setValidator(new TypedLengthLimit(2, txtInterval));
    label(Frame5, QStringLiteral("Label2"), QStringLiteral("minutes"), 1695, 375, 615, 255);
    label(Frame5, QStringLiteral("Label7"), QStringLiteral("If Off-Line :"), 480, 820, 855, 255);
    optIfOffLine[0] = option(Frame5, QStringLiteral("optIfOffLine"), 0, QStringLiteral("Sta&y Off-Line"),
                             1320, 805, 1335, 195);
    optIfOffLine[1] = option(Frame5, QStringLiteral("optIfOffLine"), 1, QStringLiteral("&Go On-Line"), 1320,
                             1075, 1335, 195);
    Frame4 = frame(QStringLiteral("Frame4"), QStringLiteral("Mail Details"), 200, 1920, 3825, 1575);
    label(Frame4, QStringLiteral("Label3"), QStringLiteral("POP3 Server :"), 120, 375, 1095, 255)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtServer = textBox(Frame4, QStringLiteral("txtServer"), 1320, 360, 2175, 285);
    label(Frame4, QStringLiteral("Label4"), QStringLiteral("User ID :"), 480, 750, 735, 255)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtUserId = textBox(Frame4, QStringLiteral("txtUserId"), 1320, 735, 1695, 285);
    label(Frame4, QStringLiteral("Label5"), QStringLiteral("Password :"), 360, 1140, 855, 255)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtPassword = textBox(Frame4, QStringLiteral("txtPassword"), 1320, 1125, 1695, 285);
    for (QLineEdit* box : {txtUserId, txtPassword})
        box->setValidator(new SingleLine(box));
    // Beside the password, as the browse buttons stand beside their boxes.
    cmdSignIn = button(Frame4, QStringLiteral("cmdSignIn"), QStringLiteral("..."),
                       QStringLiteral("Sign In With an Account"), 3090, 1150, 285, 235);
    auto* asterisks = new AsteriskStyle;
    asterisks->setParent(txtPassword);
    txtPassword->setStyle(asterisks);
    txtPassword->setEchoMode(QLineEdit::Password);

    // Tab "&Notification".
    Frame3 = frame(QStringLiteral("Frame3"), QStringLiteral("Tool Tip Text"), 200, 600, 1830, 1335);
    optTT[0] = option(Frame3, QStringLiteral("optTT"), 0, QStringLiteral("N&one"), 200, 360, 1455, 195);
    optTT[1] = option(Frame3, QStringLiteral("optTT"), 1, QStringLiteral("&Count Only"), 200, 660, 1455, 195);
    optTT[2] =
        option(Frame3, QStringLiteral("optTT"), 2, QStringLiteral("Count And Si&ze"), 200, 960, 1455, 195);
    Frame1 = frame(QStringLiteral("Frame1"), QStringLiteral("Sound On New Mail"), 2185, 600, 1830, 1335);
    optSound[0] = option(Frame1, QStringLiteral("optSound"), 0, QStringLiteral("Non&e"), 200, 360, 975, 195);
    optSound[1] = option(Frame1, QStringLiteral("optSound"), 1, QStringLiteral("&Beep"), 200, 660, 975, 195);
    optSound[2] =
        option(Frame1, QStringLiteral("optSound"), 2, QStringLiteral("&Play Sample"), 200, 960, 1215, 195);
    cmdBrowse[0] = button(Frame1, QStringLiteral("cmdBrowse"), QStringLiteral("..."),
                          QStringLiteral("Browse For Sample"), 1430, 960, 285, 235);
    Frame2 = frame(QStringLiteral("Frame2"), QStringLiteral("Run On New Mail"), 200, 2160, 3825, 1095);
    optRun[0] = option(Frame2, QStringLiteral("optRun"), 0, QStringLiteral("No&thing"), 200, 360, 975, 255);
    optRun[1] = option(Frame2, QStringLiteral("optRun"), 1, QString(), 200, 660, 255, 255);
    txtRun = textBox(Frame2, QStringLiteral("txtRun"), 460, 650, 2775, 285);
    cmdBrowse[1] = button(Frame2, QStringLiteral("cmdBrowse"), QStringLiteral("..."),
                          QStringLiteral("Browse For Command Line"), 3360, 690, 285, 235);
    // Below the frames, on the tab itself: the desktop's own notice of new mail.
    chkNotify = place(named(new QCheckBox(QStringLiteral("Show a &desktop notification"), tabLB),
                            QStringLiteral("chkNotify")),
                      200, 3300, 3825, 285);
    chkNotify->setChecked(true);
    for (std::size_t i = 0; i < cmdBrowse.size(); ++i) {
        cmdBrowse[i]->setFont(designFont(8.25, false));
        cmdBrowse[i]->setProperty("Index", static_cast<int>(i));
    }
    cmdSignIn->setFont(designFont(8.25, false));

    // Tab "Start &Up".
    Frame6 = frame(QStringLiteral("Frame6"), QStringLiteral("Initial Display"), 200, 720, 3815, 1095);
    optStartUp[0] = option(Frame6, QStringLiteral("optStartUp"), 0, QStringLiteral("Settings &Window"), 960,
                           360, 1935, 195);
    optStartUp[1] = option(Frame6, QStringLiteral("optStartUp"), 1, QStringLiteral("Tray &Icon Only"), 960,
                           660, 2175, 255);
    Frame7 = frame(QStringLiteral("Frame7"), QStringLiteral("Run Automatically"), 240, 2160, 3735, 1095);
    optAutoRun[0] = option(Frame7, QStringLiteral("optAutoRun"), 0,
                           QStringLiteral("&Yes (via StartUp Folder)"), 960, 360, 2175, 195);
    optAutoRun[1] =
        option(Frame7, QStringLiteral("optAutoRun"), 1, QStringLiteral("&No"), 960, 660, 735, 195);

    // Controls not seen at run time.
    picCheck = place(named(new PictureBox(this), QStringLiteral("picCheck")), 0, 4080, 495, 495);
    picCheck->setPicture(Icons::checking());
    picHook = place(named(new PictureBox(this), QStringLiteral("picHook")), 0, 4080, 300, 300);
    picHook->setVisible(false);
    tmrCheck = named(new Timer(1000, true, this), QStringLiteral("tmrCheck"));
    tmrTimeout = named(new Timer(60000, false, this), QStringLiteral("tmrTimeout"));
    tmrIconAnim = named(new Timer(500, false, this), QStringLiteral("tmrIconAnim"));
    tmrIconAnim->Tag = QStringLiteral("1");
    tmrWindowAnim = named(new Timer(500, false, this), QStringLiteral("tmrWindowAnim"));
    socPOP = named(new Winsock(this), QStringLiteral("socPOP"));
    socPOP->RemotePort = 110;
    dlgFileOpen = named(new FileOpenDialog(m_platform, this), QStringLiteral("dlgFileOpen"));
    mnuPopUp = named(new QMenu(QStringLiteral("Pop-Up"), this), QStringLiteral("mnuPopUp"));
    mnuPopUpCheck = named(mnuPopUp->addAction(QStringLiteral("Check &Now")), QStringLiteral("mnuPopUpCheck"));
    mnuPopUpSettings =
        named(mnuPopUp->addAction(QStringLiteral("&Settings")), QStringLiteral("mnuPopUpSettings"));
    mnuPopUpHyphen = named(mnuPopUp->addSeparator(), QStringLiteral("mnuPopUpHyphen"));
    mnuPopUpExit = named(mnuPopUp->addAction(QStringLiteral("&Quit")), QStringLiteral("mnuPopUpExit"));
    m_platform.setTrayMenu(mnuPopUp);

    // Tab order as designed; frames, labels and pictures take no focus.
    const QList<QWidget*> order{tabLB,         txtInterval,   optIfOffLine[0], optIfOffLine[1], txtServer,
                                txtUserId,     txtPassword,   cmdSignIn,       optTT[0],        optTT[1],
                                optTT[2],      optSound[0],   optSound[1],     optSound[2],     cmdBrowse[0],
                                optRun[0],     optRun[1],     txtRun,          cmdBrowse[1],    chkNotify,
                                optStartUp[0], optStartUp[1], optAutoRun[0],   optAutoRun[1],   cmdWeb,
                                cmdCheckNow,   cmdOK,         cmdCancel,       cmdQuit};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

template <typename Sender, typename Signal, typename Handler>
void frmSettings::on(Sender* sender, Signal signal, Handler handler)
{
    connect(sender, signal, this, [this, handler](auto... arguments) {
        if (!mbEnded)
            runStep([&] { invokeHandler(this, handler, arguments...); });
    });
}

void frmSettings::connectHandlers()
{
    const auto onArray = [this](const auto& array, void (frmSettings::*handler)(int)) {
        for (std::size_t i = 0; i < array.size(); ++i)
            on(array[i], &QRadioButton::toggled, [handler, i](frmSettings* self, bool checked) {
                if (checked)
                    (self->*handler)(static_cast<int>(i));
            });
    };
    onArray(optIfOffLine, &frmSettings::optIfOffLine_Click);
    onArray(optTT, &frmSettings::optTT_Click);
    onArray(optSound, &frmSettings::optSound_Click);
    onArray(optRun, &frmSettings::optRun_Click);
    onArray(optStartUp, &frmSettings::optStartUp_Click);
    onArray(optAutoRun, &frmSettings::optAutoRun_Click);
    for (std::size_t i = 0; i < cmdBrowse.size(); ++i)
        on(cmdBrowse[i], &QPushButton::clicked,
           [i](frmSettings* self) { self->cmdBrowse_Click(static_cast<int>(i)); });
    on(cmdWeb, &QPushButton::clicked, &frmSettings::cmdWeb_Click);
    on(cmdCheckNow, &QPushButton::clicked, &frmSettings::cmdCheckNow_Click);
    on(cmdOK, &QPushButton::clicked, &frmSettings::cmdOK_Click);
    on(cmdCancel, &QPushButton::clicked, &frmSettings::cmdCancel_Click);
    on(cmdSignIn, &QPushButton::clicked, &frmSettings::cmdSignIn_Click);
    on(cmdQuit, &QPushButton::clicked, &frmSettings::cmdQuit_Click);
    on(mnuPopUpCheck, &QAction::triggered, &frmSettings::mnuPopUpCheck_Click);
    on(mnuPopUpSettings, &QAction::triggered, &frmSettings::mnuPopUpSettings_Click);
    on(mnuPopUpExit, &QAction::triggered, &frmSettings::mnuPopUpExit_Click);
    on(tmrCheck, &Timer::Tick, &frmSettings::tmrCheck_Timer);
    on(tmrTimeout, &Timer::Tick, &frmSettings::tmrTimeout_Timer);
    on(tmrIconAnim, &Timer::Tick, &frmSettings::tmrIconAnim_Timer);
    on(tmrWindowAnim, &Timer::Tick, &frmSettings::tmrWindowAnim_Timer);
    on(socPOP, &Winsock::DataArrival, &frmSettings::socPOP_DataArrival);
    on(socPOP, &Winsock::Closed, &frmSettings::socPOP_Closed);
    on(picHook, &PictureBox::MouseMove, &frmSettings::picHook_MouseMove);
    // The platform's own calls pass the same gate as the window's signals, and never reach a window
    // that is gone: a platform may serve several windows in turn.
    const auto fromPlatform = [this](auto handler) {
        return [window = QPointer<frmSettings>(this), handler](const auto&... arguments) {
            if (window && !window->mbEnded)
                runStep([&] { std::invoke(handler, window.data(), arguments...); });
        };
    };
    m_platform.onResume(fromPlatform(&frmSettings::System_Resume));
    m_platform.setNotificationActionHandler(fromPlatform(&frmSettings::notification_ActionInvoked));
    // Logging off closes the window like any other close request.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &QWidget::close);
    connect(tabLB, &QTabWidget::currentChanged, this, [this](int index) {
        const std::array<QList<QWidget*>, 3> framesOfTab{
            {{Frame5, Frame4}, {Frame3, Frame1, Frame2, chkNotify}, {Frame6, Frame7}}};
        // A hidden control passes the focus on to the next one in the tab order, often a button,
        // which Enter would then click instead of OK: the focus stays on the tab strip instead.
        for (std::size_t tab = 0; tab < framesOfTab.size(); ++tab)
            for (QWidget* f : framesOfTab[tab]) {
                const bool shown = static_cast<int>(tab) == index;
                if (!shown && (f == focusWidget() || f->isAncestorOf(focusWidget())))
                    tabLB->setFocus(Qt::ShortcutFocusReason);
                f->setVisible(shown);
            }
    });
    for (QLineEdit* box : {txtInterval, txtServer, txtUserId, txtPassword, txtRun})
        box->installEventFilter(this);
}

void frmSettings::Form_Load()
{
    lblVer->setText(QStringLiteral("V %1.%2.%3")
                        .arg(QUILLPOST_VERSION_MAJOR)
                        .arg(QUILLPOST_VERSION_MINOR)
                        .arg(QUILLPOST_VERSION_PATCH));
    // Select the first tab; the signal runs only on a change, so show its frames here as well.
    tabLB->setCurrentIndex(1);
    tabLB->setCurrentIndex(0);
}

void frmSettings::frmSettings_Show()
{
    show();
    raise();
    activateWindow();
    tmrWindowAnim->setEnabled(true);
}

void frmSettings::SelectText()
{
    if (auto* box = qobject_cast<QLineEdit*>(focusWidget()))
        box->setSelection(0, static_cast<int>(box->text().size()));
}

bool frmSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        // A mouse press places the cursor after the focus arrives; select once it has.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
            QTimer::singleShot(0, this, &frmSettings::SelectText);
        else
            SelectText();
    } else if (event->type() == QEvent::FocusOut && watched == txtInterval) {
        // Switching to another window or opening a menu leaves the focus in the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtInterval_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
}

void frmSettings::txtInterval_LostFocus()
{
    EnforceIntervalFloor();
}

void frmSettings::EnforceIntervalFloor()
{
    const QString text = txtInterval->text();
    if (Conversions::numericValue(text) < 1 || !runStep([&] { Conversions::intervalSeconds(text); }))
        txtInterval->setText(QStringLiteral("1"));
}

void frmSettings::optIfOffLine_Click(int index)
{
    miIfOffLine = static_cast<qint16>(index);
}

void frmSettings::optTT_Click(int index)
{
    miTT = static_cast<qint16>(index);
}

void frmSettings::optSound_Click(int index)
{
    miSound = static_cast<qint16>(index);
}

void frmSettings::optRun_Click(int index)
{
    txtRun->setEnabled(index != 0);
    miRun = static_cast<qint16>(index);
}

void frmSettings::optStartUp_Click(int index)
{
    miStartUp = static_cast<qint16>(index);
}

void frmSettings::optAutoRun_Click(int index)
{
    miAutoRun = static_cast<qint16>(index);
}

void frmSettings::cmdBrowse_Click(int index)
{
    if (index == 0) {
        dlgFileOpen->DialogTitle = QStringLiteral("Select A Sample");
        dlgFileOpen->Filter = QStringLiteral("Sounds (*.wav)|*.wav");
    } else {
        dlgFileOpen->DialogTitle = QStringLiteral("Select A File To Run");
        dlgFileOpen->Filter = QStringLiteral("All Files (*.*)|*.*");
    }
    dlgFileOpen->InitDir = QCoreApplication::applicationDirPath();
    dlgFileOpen->ShowOpen();
    if (dlgFileOpen->FileName.isEmpty())
        return;
    if (index == 0)
        msSample = dlgFileOpen->FileName;
    else
        txtRun->setText(dlgFileOpen->FileName);
}

void frmSettings::cmdWeb_Click()
{
    m_platform.openDocument(kHomePage);
}

void frmSettings::TakeSnapshot()
{
    m_snapshot = Snapshot{txtInterval->text(),
                          txtServer->text(),
                          txtUserId->text(),
                          txtPassword->text(),
                          txtRun->text(),
                          msSample,
                          miInterval,
                          miIfOffLine,
                          miTT,
                          miSound,
                          miRun,
                          miStartUp,
                          miAutoRun,
                          chkNotify->isChecked(),
                          m_signIn};
}

void frmSettings::TakeStoredSecret(const QString& secret)
{
    if (m_signIn.kind == SignIn::Kind::Browser) {
        m_signIn.setSecrets(secret);
        m_snapshot.signIn.setSecrets(secret);
    } else {
        txtPassword->setText(secret);
        m_snapshot.password = secret;
    }
}

void frmSettings::setSignIn(const SignIn& signIn)
{
    if (signIn != m_signIn)
        m_expiryShown = false;
    m_signIn = signIn;
    // A token sign-in sends no password: the box shows none and takes none.
    if (signIn.oauth())
        txtPassword->clear();
    txtPassword->setEnabled(!signIn.oauth());
}

void frmSettings::cmdSignIn_Click()
{
    SignInDialog dialog(m_tokens, m_signIn, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setSignIn(dialog.result());
    if (!m_signIn.oauth())
        return;
    // The provider's mailbox, where the boxes are still empty.
    if (txtServer->text().isEmpty())
        txtServer->setText(dialog.server());
    if (txtUserId->text().isEmpty())
        txtUserId->setText(dialog.address());
}

void frmSettings::cmdCancel_Click()
{
    // Cancel undoes every change since the settings were last loaded or saved, as its tool tip
    // promises; the option arrays are restored through their handlers, which keeps the variables
    // and txtRun's enabled state in step.
    const Snapshot& s = m_snapshot;
    txtInterval->setText(s.interval);
    txtServer->setText(s.server);
    txtUserId->setText(s.userId);
    txtPassword->setText(s.password);
    txtRun->setText(s.commandLine);
    msSample = s.sample;
    miInterval = s.intervalSeconds;
    SelectOption(optIfOffLine, s.ifOffLine);
    SelectOption(optTT, s.tt);
    SelectOption(optSound, s.sound);
    SelectOption(optRun, s.run);
    SelectOption(optStartUp, s.startUp);
    SelectOption(optAutoRun, s.autoRun);
    chkNotify->setChecked(s.notify);
    setSignIn(s.signIn);

    tmrWindowAnim->setEnabled(false);
    hide();
}

void frmSettings::reject()
{
    runStep([this] { cmdCancel_Click(); });
}

#include "app/MainModule.h"

#include "core/Conversions.h"
#include "core/Logging.h"
#include "core/RuntimeError.h"
#include "platform/PictureBox.h"
#include "platform/Platform.h"
#include "settings/CRegistry.h"
#include "settings/StartUpShortcut.h"
#include "settings/StoredPassword.h"
#include "settings/StoredSettings.h"
#include "settings/frmSettings.h"
#include "tray/CTrayIcon.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>

namespace MainModule {

namespace {

bool setUpMessageOpen = false;

// Selects the stored option; a stored text that is not an index of the array takes the key's
// default, so a hand-edited store never stops the program.
template <std::size_t N>
void selectStored(const std::array<QRadioButton*, N>& array, const QString& stored,
                  const StoredSettings::Key& key)
{
    int index = -1;
    runStep([&] { index = Conversions::optionIndex(stored); });
    if (index < 0 || index >= static_cast<int>(N))
        index = Conversions::optionIndex(StoredSettings::defaultOf(key));
    SelectOption(array, index);
}

} // namespace

std::unique_ptr<frmSettings> Main(Platform& platform, TokenSource& tokens)
{
    using namespace StoredSettings;

    gTrayIcon.bind(&platform);
    auto frm = std::make_unique<frmSettings>(platform, tokens);

    CRegistry store;
    store.Application(kApplication);
    store.Section(kSection);
    const auto read = [&store](const Key& key) {
        store.Key(QString::fromLatin1(key.name));
        return store.RegGet(defaultOf(key));
    };

    frm->txtInterval->setText(read(Interval));
    frm->EnforceIntervalFloor();
    frm->miInterval = Conversions::intervalSeconds(frm->txtInterval->text());
    selectStored(frm->optIfOffLine, read(IfOffLine), IfOffLine);
    frm->txtServer->setText(read(POP3Server));
    frm->SetServer(store.RegGet(defaultOf(POP3Server)));
    frm->msSecuredServer = read(SecuredServer);
    frm->txtUserId->setText(read(UserId));
    SignIn signIn;
    signIn.setKey(read(SignInWith));
    signIn.setProviderKey(read(OAuthProvider));
    signIn.clientId = read(OAuthClientId);
    signIn.tenant = read(OAuthTenant);
    signIn.authorizeUrl = read(OAuthAuthorizeUrl);
    signIn.tokenUrl = read(OAuthTokenUrl);
    signIn.scope = read(OAuthScope);
    const bool browser = signIn.kind == SignIn::Kind::Browser;
    // Copies in the file win, as for the password: saved where no keyring took them, they are the
    // newest.
    if (const QString stored = read(RefreshToken); browser && !stored.isEmpty()) {
        signIn.refreshToken = StoredPassword::Deciphered(stored);
        signIn.clientSecret = StoredPassword::Deciphered(read(OAuthClientSecret));
    }
    frm->setSignIn(signIn);
    // A keyring whose unlock prompt the user took time over still hands over the secret, unless the
    // window is open for editing by then, or names another account or sign-in.
    const auto lateAnswer = [window = QPointer<frmSettings>(frm.get()), userId = frm->txtUserId->text(),
                             server = frm->txtServer->text(), kind = signIn.kind](const QString& secret) {
        if (!window || window->isVisible() || window->txtUserId->text() != userId ||
            window->txtServer->text() != server || window->signIn().kind != kind ||
            !window->txtPassword->text().isEmpty() || !window->signIn().refreshToken.isEmpty())
            return false;
        window->TakeStoredSecret(secret);
        return true;
    };
    // An online account keeps its own secrets.
    if (signIn.kind != SignIn::Kind::OnlineAccount && signIn.refreshToken.isEmpty())
        if (const auto secret =
                StoredPassword::Load(platform, browser ? QString() : read(Password), frm->txtUserId->text(),
                                     frm->txtServer->text(), lateAnswer))
            frm->TakeStoredSecret(*secret);
    selectStored(frm->optTT, read(ToolTip), ToolTip);
    selectStored(frm->optSound, read(Sound), Sound);
    frm->msSample = read(Sample);
    // A packaged program that cannot find the sample beside it only shows as silence.
    qCInfo(lcStartup, "sound sample %s (%s, %s)", qUtf8Printable(frm->msSample),
           frm->msSample == defaultSamplePath() ? "default" : "chosen",
           QFileInfo::exists(frm->msSample) ? "found" : "missing");
    selectStored(frm->optRun, read(Run), Run);
    frm->txtRun->setText(read(CommandLine));
    selectStored(frm->optStartUp, read(StartUp), StartUp);
    selectStored(frm->optAutoRun, read(AutoRun), AutoRun);
    // Only "0" turns the notification off, so a hand-edited value keeps the default.
    frm->chkNotify->setChecked(read(Notify) != QLatin1String("0"));
    frm->TakeSnapshot();

    if (read(AlreadyRun) == QLatin1String("0")) {
        frm->frmSettings_Show();
        frm->txtServer->setFocus();
        ShowSetUpMessage(platform);
        store.Key(QString::fromLatin1(AlreadyRun.name));
        store.RegSet(QStringLiteral("1"));
        CreateStartUpShortcut();
    } else if (frm->optStartUp[0]->isChecked()) {
        frm->frmSettings_Show();
    }

    gTrayIcon->Icon(frm->picNoMail->Picture());
    if (frm->miTT != 0)
        gTrayIcon->ToolTip(QStringLiteral("Off-Line"));
    gTrayIcon->Notification(frm->picHook);
    gTrayIcon->Create();
    return frm;
}

void ShowSetUpMessage(Platform& platform)
{
    if (setUpMessageOpen)
        return;
    setUpMessageOpen = true;
    const QString text = QStringLiteral("Please complete the details Quillpost needs\n"
                                        "to check your e-mail.\n"
                                        "\n"
                                        "Enter the name of your incoming POP3 mail server\n"
                                        "(eg. pop.example.com), your user ID and your\n"
                                        "password for this server.\n"
                                        "\n"
                                        "All other settings may be left as they are or\n"
                                        "changed as required.");
    runStep([&] { platform.messageBox(MessageIcon::Information, QStringLiteral("Quillpost Set Up"), text); });
    setUpMessageOpen = false;
}

} // namespace MainModule

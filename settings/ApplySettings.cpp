// frmSettings: the OK command, which saves every setting and applies the server and interval.

#include "settings/frmSettings.h"

#include "core/Conversions.h"
#include "core/Logging.h"
#include "core/RuntimeError.h"
#include "platform/Platform.h"
#include "settings/CRegistry.h"
#include "settings/StartUpShortcut.h"
#include "settings/StoredPassword.h"
#include "settings/StoredSettings.h"
#include "tray/CTrayIcon.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScopeGuard>

namespace {

using namespace StoredSettings;

void write(CRegistry& store, const Key& key, const QString& value)
{
    store.Key(QString::fromLatin1(key.name));
    store.RegSet(value);
}

// Keys that only an OAuth sign-in uses are absent otherwise, so that the file of an account with a
// password stays as it always was.
void writeOrRemove(CRegistry& store, const Key& key, const QString& value)
{
    store.Key(QString::fromLatin1(key.name));
    if (value.isEmpty())
        store.RegDel();
    else
        store.RegSet(value);
}

void writeSignIn(CRegistry& store, const SignIn& signIn)
{
    const bool browser = signIn.kind == SignIn::Kind::Browser;
    writeOrRemove(store, SignInWith, signIn.oauth() ? signIn.key() : QString());
    writeOrRemove(store, OAuthProvider, browser ? signIn.providerKey() : QString());
    for (const auto& [key, value] :
         {std::pair{OAuthClientId, signIn.clientId}, std::pair{OAuthTenant, signIn.tenant},
          std::pair{OAuthAuthorizeUrl, signIn.authorizeUrl}, std::pair{OAuthTokenUrl, signIn.tokenUrl},
          std::pair{OAuthScope, signIn.scope}})
        writeOrRemove(store, key, browser ? value : QString());
}

// The file's copies of the account's secret, the password or a browser sign-in's secrets: enciphered,
// or none once the keyring keeps them.
void writeSecretCopies(CRegistry& store, const SignIn& signIn, const QString& password, bool inKeyring)
{
    const bool browser = signIn.kind == SignIn::Kind::Browser && !inKeyring;
    write(store, Password, inKeyring ? QString() : StoredPassword::Enciphered(password));
    writeOrRemove(store, RefreshToken, browser ? StoredPassword::Enciphered(signIn.refreshToken) : QString());
    writeOrRemove(store, OAuthClientSecret,
                  browser && !signIn.clientSecret.isEmpty() ? StoredPassword::Enciphered(signIn.clientSecret)
                                                            : QString());
}

CRegistry settingsStore()
{
    CRegistry store;
    store.Application(kApplication);
    store.Section(kSection);
    return store;
}

// Saves the copies of a sign-in's secrets alone, in one replacement of the file, outside OK.
void saveSecretCopies(const SignIn& signIn, bool inKeyring)
{
    CRegistry store = settingsStore();
    store.BeginBatch();
    writeSecretCopies(store, signIn, {}, inKeyring);
    store.CommitBatch();
}

} // namespace

void frmSettings::cmdOK_Click()
{
    using Conversions::optionText;

    // Enter saves without the box losing the focus; the floor applies all the same, so a check
    // never runs every second.
    EnforceIntervalFloor();

    // The set is saved whole or not at all: a crash or kill part-way leaves the previous set
    // intact, and a save that fails changes nothing, says why, and leaves what was typed in the
    // open window for another try. The account's secret is saved enciphered with it; only then may
    // the keyring take it over.
    const bool secured = txtServer->text() == msSecuredServer;
    try {
        CRegistry store = settingsStore();
        store.BeginBatch();
        write(store, Interval, txtInterval->text());
        write(store, IfOffLine, optionText(miIfOffLine));
        write(store, POP3Server, txtServer->text());
        write(store, UserId, txtUserId->text());
        writeSecretCopies(store, m_signIn, txtPassword->text(), false);
        write(store, ToolTip, optionText(miTT));
        write(store, Sound, optionText(miSound));
        write(store, Sample, msSample);
        write(store, Run, optionText(miRun));
        write(store, CommandLine, txtRun->text());
        write(store, StartUp, optionText(miStartUp));
        write(store, AutoRun, optionText(miAutoRun));
        write(store, Notify, chkNotify->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        writeSignIn(store, m_signIn);
        // Another server text: what the last one offered says nothing about it.
        if (!secured)
            writeOrRemove(store, SecuredServer, QString());
        store.CommitBatch();
    } catch (const std::exception& failure) {
        runStep([&] {
            m_platform.messageBox(MessageIcon::Critical, QStringLiteral("Quillpost"),
                                  QStringLiteral("The settings could not be saved, so none of them has "
                                                 "changed:\n\n") +
                                      QString::fromUtf8(failure.what()));
        });
        return;
    }
    if (!secured)
        msSecuredServer.clear();
    {
        // No check may start while the keyring's answer is awaited.
        SetIdle(false);
        const auto idleAgain = qScopeGuard([this] { SetIdle(true); });
        const Snapshot& saved = m_snapshot; // as loaded, or as the OK before saved it
        KeepSecret(txtUserId->text(), txtServer->text(), Secret(),
                   saved.userId.isEmpty() || saved.server.isEmpty()
                       ? QString()
                       : StoredPassword::Account(saved.userId, saved.server));
    }

    // Once saved, each remaining step runs even when an earlier one failed.
    runStep([this] { miInterval = Conversions::intervalSeconds(txtInterval->text()); });
    runStep([this] { SetServer(txtServer->text()); });
    runStep([this] {
        gTrayIcon->ToolTip(miTT == 0 ? QString() : QStringLiteral("Off-Line"));
        gTrayIcon->Refresh();
    });
    runStep([this] {
        if (miAutoRun == 0)
            CreateStartUpShortcut();
        else
            RemoveStartUpShortcut();
    });
    TakeSnapshot();
    hide();
}

void frmSettings::KeepSecret(const QString& userId, const QString& server, const QString& secret,
                             const QString& previousAccount)
{
    const StoredPassword::Kept kept =
        StoredPassword::Keep(m_platform, userId, server, secret, previousAccount);
    if (kept.inKeyring) {
        // The file gives up its copy only now; failing that, it keeps one beside the keyring's.
        try {
            saveSecretCopies(m_signIn, true);
        } catch (const std::exception& failure) {
            qCInfo(lcKeyring, "the settings file keeps its copy of the secret: %s", failure.what());
        }
    }
    if (!kept.failure.isEmpty())
        runStep([&] {
            m_platform.messageBox(
                MessageIcon::Information, QStringLiteral("Quillpost"),
                QStringLiteral("The settings are saved, but the keyring could not be changed:\n\n%1\n\n"
                               "It still holds the password of %2, which comes back at the next start. "
                               "Press OK again once the keyring can be reached.")
                    .arg(kept.failure, StoredPassword::Account(userId, server)));
        });
}

void frmSettings::KeepRefreshToken(const QString& previous)
{
    // Only the saved sign-in's token is kept; one not saved yet goes with the next OK.
    SignIn& saved = m_snapshot.signIn;
    if (saved.kind != SignIn::Kind::Browser || saved.refreshToken != previous)
        return;
    saved.refreshToken = m_signIn.refreshToken;
    try {
        saveSecretCopies(saved, false);
    } catch (const std::exception& failure) {
        qCWarning(lcKeyring, "cannot save the provider's new refresh token: %s", failure.what());
        return;
    }
    KeepSecret(m_snapshot.userId, m_snapshot.server, saved.secrets(), {});
}

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

void frmSettings::cmdOK_Click()
{
    using namespace StoredSettings;
    using Conversions::optionText;

    // Enter saves without the box losing the focus; the floor applies all the same, so a check
    // never runs every second.
    EnforceIntervalFloor();

    // The set is saved whole or not at all: a crash or kill part-way leaves the previous set
    // intact, and a save that fails changes nothing, says why, and leaves what was typed in the
    // open window for another try. The password is saved enciphered with it; only then may the
    // keyring take it over.
    const QString password = txtPassword->text();
    const bool secured = txtServer->text() == msSecuredServer;
    try {
        CRegistry store;
        store.Application(kApplication);
        store.Section(kSection);
        store.BeginBatch();
        const auto write = [&store](const Key& key, const QString& value) {
            store.Key(QString::fromLatin1(key.name));
            store.RegSet(value);
        };
        write(Interval, txtInterval->text());
        write(IfOffLine, optionText(miIfOffLine));
        write(POP3Server, txtServer->text());
        write(UserId, txtUserId->text());
        write(Password, StoredPassword::Enciphered(password));
        write(ToolTip, optionText(miTT));
        write(Sound, optionText(miSound));
        write(Sample, msSample);
        write(Run, optionText(miRun));
        write(CommandLine, txtRun->text());
        write(StartUp, optionText(miStartUp));
        write(AutoRun, optionText(miAutoRun));
        write(Notify, chkNotify->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        if (!secured) {
            // Another server text: what the last one offered says nothing about it.
            store.Key(QString::fromLatin1(SecuredServer.name));
            store.RegDel();
        }
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
    KeepPassword();

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

void frmSettings::KeepPassword()
{
    using namespace StoredSettings;
    // No check may start while the keyring's answer is awaited.
    SetIdle(false);
    const auto idleAgain = qScopeGuard([this] { SetIdle(true); });
    const Snapshot& saved = m_snapshot; // as loaded, or as the OK before saved it
    const QString previousAccount = saved.userId.isEmpty() || saved.server.isEmpty()
                                        ? QString()
                                        : StoredPassword::Account(saved.userId, saved.server);
    const StoredPassword::Kept kept = StoredPassword::Keep(m_platform, txtUserId->text(), txtServer->text(),
                                                           txtPassword->text(), previousAccount);
    if (kept.inKeyring) {
        // The file gives up its copy only now; failing that, it keeps one beside the keyring's.
        try {
            CRegistry store;
            store.Application(kApplication);
            store.Section(kSection);
            store.Key(QString::fromLatin1(Password.name));
            store.RegSet(QString());
        } catch (const std::exception& failure) {
            qCInfo(lcKeyring, "the settings file keeps its copy of the password: %s", failure.what());
        }
    }
    if (!kept.failure.isEmpty())
        runStep([&] {
            m_platform.messageBox(
                MessageIcon::Information, QStringLiteral("Quillpost"),
                QStringLiteral("The settings are saved, but the keyring could not be changed:\n\n%1\n\n"
                               "It still holds the password of %2, which comes back at the next start. "
                               "Press OK again once the keyring can be reached.")
                    .arg(kept.failure, StoredPassword::Account(txtUserId->text(), txtServer->text())));
        });
}

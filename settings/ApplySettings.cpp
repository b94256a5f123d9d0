// frmSettings: the OK command, which saves every setting and applies the server and interval.

#include "settings/frmSettings.h"

#include "core/Conversions.h"
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
    // open window for another try.
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
        // The keyring is written before the set is saved, and the file gives up its copy only in
        // that same save. No check may start while the keyring's answer is awaited.
        SetIdle(false);
        const auto idleAgain = qScopeGuard([this] { SetIdle(true); });
        write(Password,
              StoredPassword::Save(m_platform, txtUserId->text(), txtServer->text(), txtPassword->text()));
        write(ToolTip, optionText(miTT));
        write(Sound, optionText(miSound));
        write(Sample, msSample);
        write(Run, optionText(miRun));
        write(CommandLine, txtRun->text());
        write(StartUp, optionText(miStartUp));
        write(AutoRun, optionText(miAutoRun));
        write(Notify, chkNotify->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
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

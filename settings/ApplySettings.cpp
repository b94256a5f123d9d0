// frmSettings: the OK command, which saves every setting and applies the server and interval.

#include "settings/frmSettings.h"

#include "core/Conversions.h"
#include "core/RuntimeError.h"
#include "settings/CRegistry.h"
#include "settings/StartUpShortcut.h"
#include "settings/StoredPassword.h"
#include "settings/StoredSettings.h"
#include "tray/CTrayIcon.h"

#include <QLineEdit>

void frmSettings::cmdOK_Click()
{
    using namespace StoredSettings;
    using Conversions::optionText;

    // Every step runs even when an earlier one failed; a failed step is abandoned.
    CRegistry store;
    store.Application(kApplication);
    store.Section(kSection);
    // The set is saved whole at the end: a crash or kill part-way leaves the previous set intact.
    store.BeginBatch();
    const auto write = [&store](const StoredSettings::Key& key, const QString& value) {
        runStep([&] {
            store.Key(QString::fromLatin1(key.name));
            store.RegSet(value);
        });
    };

    // Enter saves without the box losing the focus; the floor applies all the same, so a check
    // never runs every second.
    EnforceIntervalFloor();
    write(Interval, txtInterval->text());
    runStep([this] { miInterval = Conversions::intervalSeconds(txtInterval->text()); });
    write(IfOffLine, optionText(miIfOffLine));
    write(POP3Server, txtServer->text());
    SetServer(txtServer->text());
    write(UserId, txtUserId->text());
    // The keyring is written before the set is saved, and the file gives up its copy only in that
    // same save. No check may start while the keyring's answer is awaited.
    SetIdle(false);
    runStep([&] {
        store.Key(QString::fromLatin1(Password.name));
        store.RegSet(
            StoredPassword::Save(m_platform, txtUserId->text(), txtServer->text(), txtPassword->text()));
    });
    SetIdle(true);
    write(ToolTip, optionText(miTT));
    runStep([this] {
        gTrayIcon->ToolTip(miTT == 0 ? QString() : QStringLiteral("Off-Line"));
        gTrayIcon->Refresh();
    });
    write(Sound, optionText(miSound));
    write(Sample, msSample);
    write(Run, optionText(miRun));
    write(CommandLine, txtRun->text());
    write(StartUp, optionText(miStartUp));
    write(AutoRun, optionText(miAutoRun));
    runStep([&store] { store.CommitBatch(); });
    runStep([this] {
        if (miAutoRun == 0)
            CreateStartUpShortcut();
        else
            RemoveStartUpShortcut();
    });
    TakeSnapshot();
    hide();
}

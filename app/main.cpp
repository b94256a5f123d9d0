#include "app/MainModule.h"
#include "app/SingleCopy.h"
#include "core/Logging.h"
#include "platform/FontConfiguration.h"
#include "platform/LinuxPlatform.h"
#include "platform/LinuxTokenSource.h"
#include "resources/Icons.h"
#include "settings/frmSettings.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    FontConfiguration fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpost"));
    QApplication::setApplicationVersion(QStringLiteral(QT_STRINGIFY(QUILLPOST_VERSION_MAJOR) "." QT_STRINGIFY(
        QUILLPOST_VERSION_MINOR) "." QT_STRINGIFY(QUILLPOST_VERSION_PATCH)));
    QApplication::setDesktopFileName(QStringLiteral("org.example.quillpost.Quillpost"));
    QApplication::setWindowIcon(Icons::application());
    // The program lives in the tray: a hidden window is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleCopy copy;
    LinuxPlatform platform;
    LinuxTokenSource tokens;
    fonts.wait();
    std::unique_ptr<frmSettings> window;
    try {
        if (!copy.claim())
            return 0; // the running copy shows its window instead
        window = MainModule::Main(platform, tokens);
    } catch (const std::exception& failure) {
        // Only a settings store that cannot be read at all, or a running copy that does not
        // answer, ends up here.
        QMessageBox::critical(nullptr, QStringLiteral("Quillpost"), QString::fromLocal8Bit(failure.what()));
        return 1;
    }
    // Start-up's own waits (the keyring's, the first-run message) may already have let a later
    // start's request in: it is carried out now.
    copy.carryOutRequests([&window] {
        qCInfo(lcStartup) << "another start asked for the settings window";
        window->frmSettings_Show();
    });
    return QApplication::exec();
}

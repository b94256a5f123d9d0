#include "app/MainModule.h"
#include "platform/LinuxPlatform.h"
#include "resources/Icons.h"
#include "settings/frmSettings.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpost"));
    QApplication::setApplicationVersion(QStringLiteral(QT_STRINGIFY(QUILLPOST_VERSION_MAJOR) "." QT_STRINGIFY(
        QUILLPOST_VERSION_MINOR) "." QT_STRINGIFY(QUILLPOST_VERSION_PATCH)));
    QApplication::setDesktopFileName(QStringLiteral("org.example.quillpost.Quillpost"));
    QApplication::setWindowIcon(Icons::application());
    // The program lives in the tray: a hidden window is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);

    LinuxPlatform platform;
    std::unique_ptr<frmSettings> window;
    try {
        window = MainModule::Main(platform);
    } catch (const std::exception& failure) {
        // Only a settings store that cannot be read at all ends up here.
        QMessageBox::critical(nullptr, QStringLiteral("Quillpost"), QString::fromLocal8Bit(failure.what()));
        return 1;
    }
    return QApplication::exec();
}

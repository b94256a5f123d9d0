#include "platform/LinuxPlatform.h"
#include "resources/Icons.h"
#include "settings/frmSettings.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpost"));
    QApplication::setApplicationVersion(QStringLiteral(QT_STRINGIFY(QUILLPOST_VERSION_MAJOR) "." QT_STRINGIFY(
        QUILLPOST_VERSION_MINOR) "." QT_STRINGIFY(QUILLPOST_VERSION_PATCH)));
    QApplication::setWindowIcon(Icons::application());
    // The program lives in the tray: a hidden window is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);

    LinuxPlatform platform;
    frmSettings window(platform);
    window.frmSettings_Show();
    return QApplication::exec();
}

#include "settings/StartUpShortcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString autostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString entryFile()
{
    return autostartFolder() + QStringLiteral("/Quillpost.desktop");
}

} // namespace

QString desktopExecValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    const bool quoted =
        std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); });
    // Exec quoting first, then "%" kept from reading as a field code, then the escapes every
    // string value gets, which a reader undoes first.
    QString exec;
    if (quoted)
        exec += QLatin1Char('"');
    for (const QChar c : program) {
        if (quoted && QStringLiteral("\"`$\\").contains(c))
            exec += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            exec += QLatin1Char('%');
        exec += c;
    }
    if (quoted)
        exec += QLatin1Char('"');

    QString value;
    for (const QChar c : exec) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

void CreateStartUpShortcut()
{
    if (!QDir().mkpath(autostartFolder()))
        return;
    // The delays and the after-panel keys keep a tray program from starting before there is a
    // tray to show its icon in.
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Quillpost\n"
                                         "Comment=Watches a POP3 mailbox from the notification area\n"
                                         "Exec=%1\n"
                                         "Icon=quillpost\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n"
                                         "X-GNOME-Autostart-Delay=5\n"
                                         "X-KDE-autostart-after=panel\n"
                                         "X-LXQt-Need-Tray=true\n"
                                         "X-MATE-Autostart-Delay=5\n")
                              .arg(desktopExecValue(QCoreApplication::applicationFilePath()));
    QSaveFile file(entryFile());
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(entry.toUtf8());
    file.commit();
}

void RemoveStartUpShortcut()
{
    QFile::remove(entryFile());
}

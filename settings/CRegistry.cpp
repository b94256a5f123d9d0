#include "settings/CRegistry.h"

#include "app/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

void check(const QSettings& settings, const char* what)
{
    if (settings.status() != QSettings::NoError)
        throw RuntimeError(QStringLiteral("Settings store: cannot %1 %2")
                               .arg(QString::fromLatin1(what), settings.fileName()));
}

// The file holds the enciphered password, so it is the user's alone from its first byte on;
// QSettings replaces it atomically and keeps the permissions of the file it replaces.
void prepareFile(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw RuntimeError(QStringLiteral("Settings store: cannot create the folder of ") + path);
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly))
            throw RuntimeError(QStringLiteral("Settings store: cannot create ") + path);
        file.close();
    }
    if (file.permissions() != kOwnerOnly && !file.setPermissions(kOwnerOnly))
        throw RuntimeError(QStringLiteral("Settings store: cannot protect ") + path);
}

} // namespace

QString CRegistry::fileOf(const QString& application)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           application + QLatin1Char('/') + application + QStringLiteral(".ini");
}

QString CRegistry::path() const
{
    return fileOf(m_application);
}

QString CRegistry::RegGet(QString defaultValue) const
{
    const QString file = path();
    if (!QFileInfo::exists(file))
        return defaultValue;
    QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(m_section + QLatin1Char('/') + m_key);
    check(settings, "read");
    if (!value.isValid())
        return defaultValue;
    // A value edited by hand with bare commas reads back as a list; keep it as the text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void CRegistry::RegSet(const QString& setting)
{
    const QString file = path();
    prepareFile(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(m_section + QLatin1Char('/') + m_key, setting);
    settings.sync();
    check(settings, "write");
}

void CRegistry::RegDel()
{
    const QString file = path();
    if (!QFileInfo::exists(file))
        return;
    QSettings settings(file, QSettings::IniFormat);
    settings.remove(m_section + QLatin1Char('/') + m_key);
    settings.sync();
    check(settings, "write");
}

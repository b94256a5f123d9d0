#include "settings/StoredSettings.h"

#include <QCoreApplication>

namespace StoredSettings {

QString defaultOf(const Key& key)
{
    return key.defaultValue ? QString::fromLatin1(key.defaultValue) : defaultSamplePath();
}

QString defaultSamplePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Mailtrill.wav");
}

} // namespace StoredSettings

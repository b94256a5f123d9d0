#include "TestConfig.h"

#include "settings/CRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestConfig::TestConfig()
    : m_previous(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
}

TestConfig::~TestConfig()
{
    qputenv("XDG_CONFIG_HOME", m_previous);
}

QString TestConfig::settingsFile() const
{
    return CRegistry::fileOf(QStringLiteral("Quillpost"));
}

static CRegistry settingsSection(const QString& key)
{
    CRegistry registry;
    registry.Application(QStringLiteral("Quillpost"));
    registry.Section(QStringLiteral("Settings"));
    registry.Key(key);
    return registry;
}

QString TestConfig::stored(const QString& key) const
{
    return settingsSection(key).RegGet(QStringLiteral("<absent>"));
}

void TestConfig::store(const QString& key, const QString& value) const
{
    settingsSection(key).RegSet(value);
}

QString TestConfig::blockSaving()
{
    const QString folder = QFileInfo(settingsFile()).absolutePath();
    QDir().mkpath(folder);
    QFile blocker(folder + QStringLiteral(".away"));
    if (!QDir().rename(folder, blocker.fileName()) || !QFile(folder).open(QIODevice::WriteOnly))
        return {};
    return folder;
}

bool TestConfig::unblockSaving()
{
    const QString folder = QFileInfo(settingsFile()).absolutePath();
    return QFile::remove(folder) && QDir().rename(folder + QStringLiteral(".away"), folder);
}

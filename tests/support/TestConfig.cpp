#include "TestConfig.h"

#include "settings/CRegistry.h"

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

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

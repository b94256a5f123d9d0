#include "settings/CRegistry.h"

#include "app/RuntimeError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
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

// A save cut short by a crash or a kill leaves its temporary "<file>.XXXXXX" behind, a copy of the
// settings that nothing would ever remove. A minute on, no save is still writing it.
void removeLeftovers(const QFileInfo& file)
{
    const QDateTime cutOff = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList entries = file.absoluteDir().entryInfoList(
        {file.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& entry : entries)
        if (entry.lastModified().toUTC() < cutOff)
            QFile::remove(entry.filePath());
}

// QSettings keeps writers apart with "<file>.lock". A process killed while creating it leaves it
// empty, and the next save would wait until it is 30 s old; as QLockFile's own stale time is
// one second here, such a lock is cleared as soon as it is that old (at once when its owner is
// known to be gone). A live writer holds its lock for milliseconds.
void clearStaleLock(const QString& path)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(1000);
    if (lock.tryLock(2000))
        lock.unlock();
}

// The file holds the enciphered password, so it is the user's alone from its first byte on;
// QSettings replaces it atomically and keeps the permissions of the file it replaces.
void prepareFile(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw RuntimeError(QStringLiteral("Settings store: cannot create the folder of ") + path);
    removeLeftovers(QFileInfo(path));
    clearStaleLock(path);
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly, kOwnerOnly))
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
    const QVariant value = settings.value(sectionKey());
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
    const Values values{{sectionKey(), setting}};
    if (m_batch)
        *m_batch += values;
    else
        save(values);
}

void CRegistry::CommitBatch()
{
    save(std::exchange(m_batch, std::nullopt).value_or(Values()));
}

// QSettings writes the whole file once per sync, through a temporary file that replaces it.
void CRegistry::save(const Values& values) const
{
    const QString file = path();
    prepareFile(file);
    QSettings settings(file, QSettings::IniFormat);
    for (const auto& [key, value] : values)
        settings.setValue(key, value);
    settings.sync();
    check(settings, "write");
}

void CRegistry::RegDel()
{
    const QString file = path();
    if (!QFileInfo::exists(file))
        return;
    QSettings settings(file, QSettings::IniFormat);
    settings.remove(sectionKey());
    settings.sync();
    check(settings, "write");
}

#include "settings/CRegistry.h"

#include "core/RuntimeError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>

// The file is read and written here rather than through QSettings: QSettings keeps a process-wide
// cache that misses another writer's change of the same size within one clock tick, and it
// reports success for a write that a full disk cut short.
//
// Form: "[Section]" headers and "Key=value" lines in UTF-8; lines starting with ";" or "#" are
// comments. Backslash escapes ("\\", "\n", "\r", "\t", "\xHH") keep every text on its line;
// names also escape the characters of the syntax. A value with blanks at its ends, or one that
// starts with a double quote, is written between double quotes.

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QString escaped(QStringView text, QStringView syntax)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\')
            out += u"\\\\";
        else if (c == u'\n')
            out += u"\\n";
        else if (c == u'\r')
            out += u"\\r";
        else if (c == u'\t')
            out += u"\\t";
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F || syntax.contains(c))
            out += QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

QString unescaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[i + 1].unicode()) {
        case u'\\':
            out += u'\\';
            ++i;
            continue;
        case u'n':
            out += u'\n';
            ++i;
            continue;
        case u'r':
            out += u'\r';
            ++i;
            continue;
        case u't':
            out += u'\t';
            ++i;
            continue;
        case u'x':
            if (i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 && hexDigit(text[i + 3]) >= 0) {
                out += QChar(char16_t(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3])));
                i += 3;
                continue;
            }
            break;
        }
        out += text[i]; // not an escape: a lone backslash stands for itself
    }
    return out;
}

QString encodedName(const QString& name)
{
    return escaped(name, u"=[];#\" ");
}

QString encodedValue(const QString& value)
{
    const QString text = escaped(value, {});
    const bool quoted =
        !text.isEmpty() && (text.front().isSpace() || text.back().isSpace() || text.front() == u'"');
    return quoted ? u'"' + text + u'"' : text;
}

QString decodedValue(QStringView raw)
{
    QStringView text = raw.trimmed();
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
        text = text.mid(1, text.size() - 2);
    return unescaped(text);
}

std::optional<QString> headerOf(const QString& line)
{
    const QStringView text = QStringView(line).trimmed();
    if (text.size() < 2 || text.front() != u'[' || text.back() != u']')
        return std::nullopt;
    return unescaped(text.mid(1, text.size() - 2).trimmed());
}

struct Entry
{
    QString key;
    QStringView rawValue;
};

std::optional<Entry> entryOf(const QString& line)
{
    const QStringView text = QStringView(line).trimmed();
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0 || text.startsWith(u';') || text.startsWith(u'#') || text.startsWith(u'['))
        return std::nullopt;
    return Entry{unescaped(text.left(equals).trimmed()), text.mid(equals + 1)};
}

// The lines of a section's entries for one key, and where a new entry of the section goes.
struct Place
{
    QList<qsizetype> entries;
    qsizetype insertAt = -1;
};

Place locate(const QStringList& lines, const QString& section, const QString& key)
{
    Place place;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto header = headerOf(lines[i])) {
            inSection = *header == section;
            if (inSection && place.insertAt < 0)
                place.insertAt = i + 1;
        } else if (const auto entry = entryOf(lines[i]); inSection && entry) {
            if (entry->key == key)
                place.entries.append(i);
            place.insertAt = i + 1;
        }
    }
    return place;
}

// The file's lines; none when there is no file.
QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(
            QStringLiteral("Settings store: cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(
            QStringLiteral("Settings store: cannot read %1: %2").arg(path, file.errorString()));
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
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

// Replaces the file as a whole: readers see the old file or the new one, never a part.
void writeLines(const QString& path, const QStringList& lines)
{
    removeLeftovers(QFileInfo(path));
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw RuntimeError(QStringLiteral("Settings store: cannot create the folder of ") + path);
    const QByteArray bytes = (lines.join(u'\n') + u'\n').toUtf8();
    QSaveFile file(path);
    // Unbuffered, so that a short write shows here and not in a flush whose failure goes unseen.
    // The file holds the enciphered password: it is the user's alone before its first byte.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !file.setPermissions(kOwnerOnly) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw RuntimeError(
            QStringLiteral("Settings store: cannot write %1: %2").arg(path, file.errorString()));
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
    const QStringList lines = readLines(path());
    const Place place = locate(lines, m_section, m_key);
    if (place.entries.isEmpty())
        return defaultValue;
    return decodedValue(entryOf(lines[place.entries.first()])->rawValue);
}

// Sets a key's entry in the file's lines, adding the entry, and its section, when absent; no value
// removes every entry of the key.
static void setEntry(QStringList& lines, const QString& section, const QString& key,
                     const std::optional<QString>& value)
{
    const Place place = locate(lines, section, key);
    if (!value) {
        for (auto it = place.entries.crbegin(); it != place.entries.crend(); ++it)
            lines.removeAt(*it);
        return;
    }
    const QString entry = encodedName(key) + u'=' + encodedValue(*value);
    if (!place.entries.isEmpty()) {
        lines[place.entries.first()] = entry;
    } else if (place.insertAt >= 0) {
        lines.insert(place.insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines << u'[' + encodedName(section) + u']' << entry;
    }
}

void CRegistry::RegSet(const QString& setting)
{
    if (m_batch)
        m_batch->append({m_section, m_key, setting});
    else
        CommitValues({{m_section, m_key, setting}});
}

void CRegistry::CommitBatch()
{
    const Values held = m_batch.value_or(Values());
    m_batch.reset();
    CommitValues(held);
}

void CRegistry::CommitValues(const Values& values) const
{
    const QString file = path();
    QStringList lines = readLines(file);
    for (const Held& held : values)
        setEntry(lines, held.section, held.key, held.value);
    writeLines(file, lines);
}

void CRegistry::RegDel()
{
    if (m_batch)
        m_batch->append({m_section, m_key, std::nullopt});
    else if (!locate(readLines(path()), m_section, m_key).entries.isEmpty())
        CommitValues({{m_section, m_key, std::nullopt}});
}

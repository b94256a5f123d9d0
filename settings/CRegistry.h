#pragma once

#include <QString>

// The per-user settings store, addressed by application, section and key: one INI-style file per
// application under the user's config folder, a section per section name. Every read goes to the
// file; every write is saved at once, atomically, readable by the user alone. A store that cannot
// be read or written raises RuntimeError.
class CRegistry
{
public:
    void Application(const QString& name) { m_application = name; }
    void Section(const QString& name) { m_section = name; }
    void Key(const QString& name) { m_key = name; }

    // The stored value of the current key, or defaultValue when there is none.
    QString RegGet(QString defaultValue) const;
    void RegSet(const QString& setting);
    // Deletes the current key; quiet when it is absent.
    void RegDel();

    // The file that holds an application's settings.
    static QString fileOf(const QString& application);

private:
    QString path() const;

    QString m_application;
    QString m_section;
    QString m_key;
};

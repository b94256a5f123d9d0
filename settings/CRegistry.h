#pragma once

#include <QList>
#include <QString>

#include <optional>

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
    // Deletes the current key, at once or with the batch; quiet when it is absent.
    void RegDel();

    // Holds the RegSet and RegDel calls that follow until CommitBatch saves them together in one
    // atomic replacement of the file, so that a crash in between leaves the earlier set whole.
    // RegGet reads the file and does not see held values.
    void BeginBatch() { m_batch.emplace(); }
    // Saves the held values and ends the batch; on failure none of them is saved.
    void CommitBatch();

    // The file that holds an application's settings.
    static QString fileOf(const QString& application);

private:
    struct Held
    {
        QString section, key;
        std::optional<QString> value; // none: the key is deleted
    };
    using Values = QList<Held>;

    QString path() const;
    // Writes values into the file in one replacement of it.
    void CommitValues(const Values& values) const;

    QString m_application;
    QString m_section;
    QString m_key;
    std::optional<Values> m_batch;
};

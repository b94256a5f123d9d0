#pragma once

#include <QTemporaryDir>

// A fresh, empty config folder for one test: the settings store and the autostart folder live
// under it while the object lives.
class TestConfig
{
public:
    TestConfig();
    ~TestConfig();

    QString path() const { return m_dir.path(); }
    QString settingsFile() const;
    // A value in the program's settings section; absent keys read as "<absent>".
    QString stored(const QString& key) const;
    void store(const QString& key, const QString& value) const;
    // A plain file stands where the settings folder was, so that no save can succeed, not even for
    // root; the folder is back with the block's end. Returns the folder's path.
    QString blockSaving();
    bool unblockSaving();

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One running copy per user. The first start holds a lock in the user's runtime folder and
// listens at a local socket beside it; a later start finds the lock held, asks the running copy to
// show its settings window, and ends. A lock or socket left behind by a killed copy is taken over.
class SingleCopy : public QObject
{
    Q_OBJECT
public:
    // folder: where the lock and the socket live (tests give their own).
    explicit SingleCopy(const QString& folder = defaultFolder());
    ~SingleCopy() override;

    // True: this is the running copy from now on, and later starts ask it to show its window.
    // False: another copy runs and has been asked to show its window. Throws RuntimeError when
    // another copy holds the lock but cannot be reached.
    bool claim();
    // How the running copy shows its window, once it has one: a request that came in before runs
    // show now, later ones run it as they come.
    void carryOutRequests(std::function<void()> show);

    // The user's runtime folder.
    static QString defaultFolder();

private:
    void listen();
    void serve();

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_show;
    // A later start asked while start-up's own waits ran, before there was a window to show.
    bool m_requested = false;
};

#pragma once

#include <QObject>
#include <QString>

// The TCP client socket control of the settings window.
class Winsock : public QObject
{
    Q_OBJECT
public:
    explicit Winsock(QObject* parent = nullptr);

    QString RemoteHost;
    int RemotePort = 0;
};

#include "support/LoadedFiles.h"

#include <QFile>

bool isMapped(const char* part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/maps");
    return maps.readAll().contains(part);
}

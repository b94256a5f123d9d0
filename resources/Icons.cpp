#include "resources/Icons.h"

namespace Icons {

static QIcon load(const QString& name)
{
    QIcon icon;
    for (int size : {16, 22, 32, 48})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

QIcon application()
{
    return load(QStringLiteral("quillpost"));
}

QIcon noMail()
{
    return load(QStringLiteral("nomail"));
}

QIcon gotMail()
{
    return load(QStringLiteral("gotmail"));
}

QIcon checking()
{
    return load(QStringLiteral("checking"));
}

} // namespace Icons

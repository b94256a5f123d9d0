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
    static const QIcon icon = load(QStringLiteral("quillpost"));
    return icon;
}

QIcon noMail()
{
    static const QIcon icon = load(QStringLiteral("nomail"));
    return icon;
}

QIcon gotMail()
{
    static const QIcon icon = load(QStringLiteral("gotmail"));
    return icon;
}

QIcon checking()
{
    static const QIcon icon = load(QStringLiteral("checking"));
    return icon;
}

} // namespace Icons

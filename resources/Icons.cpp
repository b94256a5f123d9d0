#include "resources/Icons.h"

#include <QImageReader>
#include <QPixmap>

namespace Icons {

static QIcon load(const QString& name)
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        // Read as PNG and nothing else: Qt otherwise loads every image-format plugin to ask
        // whether it reads the file, and they stay loaded for the whole run.
        QImageReader reader(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), "PNG");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
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

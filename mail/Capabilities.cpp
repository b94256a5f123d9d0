#include "mail/Capabilities.h"

#include <utility>

void Capabilities::note(const QString& line)
{
    QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const QString name = words.takeFirst().toUpper();
    if (name == QLatin1String("STLS"))
        stls = true;
    else if (name == QLatin1String("SASL"))
        for (const QString& mechanism : std::as_const(words))
            if (sasl.size() < kMaxMechanisms && !sasl.contains(mechanism.toUpper()))
                sasl << mechanism.toUpper();
}

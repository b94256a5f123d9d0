#include "mail/StatReply.h"

#include "core/RuntimeError.h"
#include "mail/ReplyReader.h"

#include <cmath>

namespace {

qint64 number(const QString& field)
{
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    if (!ok)
        throw RuntimeError(QStringLiteral("Type mismatch: ") + field.left(40));
    return value;
}

} // namespace

StatReply StatReply::parse(const QString& reply)
{
    // The count starts after "+OK " and ends at the next blank; the size runs from there to the
    // following blank or the end of the line.
    const QString line = ReplyReader::withoutLineEnd(reply);
    const qsizetype countEnd = line.indexOf(QLatin1Char(' '), 4);
    if (countEnd < 0)
        throw RuntimeError(QStringLiteral("Invalid procedure call: no size in the STAT reply"));
    qsizetype sizeEnd = line.indexOf(QLatin1Char(' '), countEnd + 1);
    if (sizeEnd < 0)
        sizeEnd = line.size();

    StatReply stat;
    stat.count = number(line.mid(4, countEnd - 4));
    stat.size = number(line.mid(countEnd + 1, sizeEnd - countEnd - 1));
    stat.kb = static_cast<qint64>(std::nearbyint(static_cast<double>(stat.size) / 1024.0));
    return stat;
}

QString StatReply::resultText(bool withSize) const
{
    QString text;
    if (count == 0)
        text = QStringLiteral("No e-mail waiting");
    else if (count == 1)
        text = QStringLiteral("1 e-mail waiting");
    else
        text = QString::number(count) + QStringLiteral(" e-mails waiting");
    if (withSize)
        text += QStringLiteral(" (") + QString::number(kb) + QStringLiteral(" Kb)");
    return text;
}

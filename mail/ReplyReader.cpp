#include "mail/ReplyReader.h"

#include "mail/Logging.h"

QStringList ReplyReader::feed(const QString& text)
{
    m_partial += text;
    QStringList lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_partial.indexOf(QLatin1Char('\n'), start);
        if (end >= 0 && end - start < kMaxLine) {
            lines << m_partial.mid(start, end + 1 - start);
            start = end + 1;
        } else if (m_partial.size() - start >= kMaxLine) {
            lines << m_partial.mid(start, kMaxLine);
            start += kMaxLine;
        } else {
            break;
        }
    }
    m_partial.remove(0, start);
    return lines;
}

ReplyReader::Reply ReplyReader::take(const QString& text)
{
    const QStringList lines = feed(text);
    for (const QString& line : lines) {
        qCDebug(lcPop3).noquote() << "received" << withoutLineEnd(line).left(200);
        if (const Verdict verdict = judge(line); verdict != Verdict::None)
            return {verdict, line};
    }
    return {};
}

ReplyReader::Verdict ReplyReader::judge(const QString& line)
{
    if (line.startsWith(QLatin1String("+OK")))
        return Verdict::Ok;
    if (line.startsWith(QLatin1String("-ERR")))
        return Verdict::Err;
    return Verdict::None;
}

QString ReplyReader::withoutLineEnd(const QString& line)
{
    qsizetype length = line.size();
    if (length > 0 && line.at(length - 1) == QLatin1Char('\n'))
        --length;
    if (length > 0 && line.at(length - 1) == QLatin1Char('\r'))
        --length;
    return line.left(length);
}

QString ReplyReader::serverText(const QString& line)
{
    return withoutLineEnd(line).mid(5);
}

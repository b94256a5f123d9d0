#include "mail/ReplyReader.h"

#include "mail/Logging.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr QLatin1String kTemporaryCodes[] = {QLatin1String("IN-USE"), QLatin1String("LOGIN-DELAY"),
                                             QLatin1String("SYS/TEMP")};

} // namespace

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
        if (m_listStatus) {
            QString item = withoutLineEnd(line);
            if (item == QLatin1String("."))
                return {Verdict::Ok, *std::exchange(m_listStatus, std::nullopt)};
            if (item.startsWith(QLatin1Char('.')))
                item.remove(0, 1);
            m_capabilities.note(item);
            continue;
        }
        if (m_shape == Shape::Challenge && isContinuation(line))
            return {Verdict::Continue, line};
        const Verdict verdict = judge(line);
        if (verdict == Verdict::Ok && m_shape == Shape::List) {
            m_shape = Shape::Line;
            m_listStatus = line;
        } else if (verdict != Verdict::None) {
            return {verdict, line};
        }
    }
    return {};
}

void ReplyReader::clear(Shape next)
{
    m_partial.clear();
    m_shape = next;
    m_listStatus.reset();
    m_capabilities = {};
}

ReplyReader::Verdict ReplyReader::judge(const QString& line)
{
    if (line.startsWith(QLatin1String("+OK")))
        return Verdict::Ok;
    if (line.startsWith(QLatin1String("-ERR")))
        return Verdict::Err;
    return Verdict::None;
}

bool ReplyReader::isContinuation(const QString& line)
{
    return line.startsWith(QLatin1String("+ ")) || withoutLineEnd(line) == QLatin1String("+");
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

QString ReplyReader::responseCode(const QString& line)
{
    const QString text = serverText(line);
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (!text.startsWith(QLatin1Char('[')) || close < 0)
        return {};
    return text.mid(1, close - 1).toUpper();
}

bool ReplyReader::isTemporary(const QString& line)
{
    const QString code = responseCode(line);
    return std::any_of(std::begin(kTemporaryCodes), std::end(kTemporaryCodes), [&](QLatin1String temporary) {
        return code == temporary || code.startsWith(QString(temporary) + QLatin1Char('/'));
    });
}

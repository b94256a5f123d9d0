#include "platform/Utf8Decoder.h"

#include <QStringDecoder>

namespace {

// How many bytes at the end begin a character that is not complete yet: at most three.
qsizetype incompleteTail(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= qMin<qsizetype>(3, size); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

QString Utf8Decoder::decode(const QByteArray& bytes)
{
    // Qt's stateful decoding drops the byte that follows a character cut short, a line feed too,
    // so the cut is held back here and every piece is decoded on its own. Stateless decoding
    // gives each byte of a broken character its own U+FFFD, whatever follows it.
    QByteArray text = m_pending + bytes;
    const qsizetype complete = text.size() - incompleteTail(text);
    m_pending = text.mid(complete);
    text.truncate(complete);
    return QStringDecoder(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
        .decode(text);
}

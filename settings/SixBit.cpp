#include "settings/SixBit.h"

namespace {

char character(int sixBits)
{
    return static_cast<char>(sixBits + SixBit::kFirst);
}

// A stored text may hold anything; outside the alphabet only the low six bits count.
int sixBitsAt(const QByteArray& text, qsizetype index)
{
    return (static_cast<unsigned char>(text[index]) - SixBit::kFirst) & 63;
}

} // namespace

namespace SixBit {

QByteArray encode(const QByteArray& bytes)
{
    const qsizetype length = bytes.size();
    QByteArray out;
    out.reserve(length + (length + 2) / 3);
    int high = 0;
    for (qsizetype k = 1; k <= length; ++k) {
        const int b = static_cast<unsigned char>(bytes[k - 1]);
        out += character(b & 63);
        switch (k % 3) {
        case 1:
            high |= (b / 64) * 16;
            break;
        case 2:
            high |= (b / 64) * 4;
            break;
        default:
            out += character((b / 64) | high);
            high = 0;
        }
    }
    if (length % 3 != 0)
        out += character(high);
    return out;
}

QByteArray decode(const QByteArray& text)
{
    const qsizetype length = text.size();
    if (length == 0)
        return {};
    const qsizetype count = (length - 1) - (length - 1) / 4;
    QByteArray out;
    out.reserve(count);
    qsizetype p = 0;
    qsizetype q = 0;
    int t = 0;
    for (qsizetype k = 1; k <= count; ++k) {
        const int c = sixBitsAt(text, p++);
        int high = 0;
        switch (k % 3) {
        case 1:
            q = qMin(q + 4, length);
            t = sixBitsAt(text, q - 1);
            high = ((t / 16) & 3) * 64;
            break;
        case 2:
            high = ((t / 4) & 3) * 64;
            break;
        default:
            high = (t & 3) * 64;
            ++p;
        }
        out += static_cast<char>(c | high);
    }
    return out;
}

} // namespace SixBit

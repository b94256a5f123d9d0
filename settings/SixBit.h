#pragma once

#include <QByteArray>

// The printable packing of cipher bytes: every three bytes become four characters with codes 59
// to 122, the low six bits of each byte followed by one character holding their top two bits.
namespace SixBit {

constexpr char kFirst = 59;

// L bytes become L + ceil(L / 3) characters.
QByteArray encode(const QByteArray& bytes);

// Undoes encode. Any other text of L characters still gives (L - 1) - (L - 1) / 4 bytes (none for
// an empty one): every character is read by its low six bits and no read leaves the text.
QByteArray decode(const QByteArray& text);

} // namespace SixBit

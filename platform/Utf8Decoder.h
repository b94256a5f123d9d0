#pragma once

#include <QByteArray>
#include <QString>

// Turns bytes that arrive in pieces into text, as UTF-8. A character cut between two pieces comes
// out whole with the second, and the text never depends on where the cuts fall: each invalid byte
// becomes one U+FFFD, as in one piece, and a U+FEFF is a character like any other.
class Utf8Decoder
{
public:
    QString decode(const QByteArray& bytes);

private:
    QByteArray m_pending; // the start of a character not complete yet
};

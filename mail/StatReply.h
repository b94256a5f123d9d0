#pragma once

#include <QString>

// The figures of a STAT reply ("+OK count size"), read as 64-bit numbers so that large
// mailboxes show their true count and size.
struct StatReply
{
    qint64 count = 0;
    qint64 size = 0;
    qint64 kb = 0; // size / 1024, rounded to nearest, halves to even

    // Parses a reply line; throws RuntimeError when the count or the size cannot be read.
    static StatReply parse(const QString& reply);

    // "No e-mail waiting", "1 e-mail waiting" or "N e-mails waiting", then " (K Kb)" when asked.
    QString resultText(bool withSize) const;
};

#pragma once

#include "mail/Capabilities.h"

#include <QString>
#include <QStringList>

#include <optional>

// Cuts the text received from a POP3 server into reply lines and judges them. A line ends at a
// line feed, with or without a carriage return before it; text that runs longer than kMaxLine
// without one counts as a line of its own, so a misbehaving server cannot make us hold it all.
class ReplyReader
{
public:
    static constexpr qsizetype kMaxLine = 8192;

    enum class Shape
    {
        Line,
        List,     // the capability list: "+OK", then lines up to one holding "." alone; "-ERR" is one line
        Challenge // as Line, or the server's "+ " and data during AUTH
    };

    enum class Verdict
    {
        None,
        Ok,
        Err,
        Continue // "+ " and the server's challenge, base64
    };

    struct Reply
    {
        Verdict verdict = Verdict::None;
        QString line; // line end included
    };

    // Adds received text; returns the lines it completed, line ends included.
    QStringList feed(const QString& text);
    // Adds received text and judges the lines it completed in order; returns the first with a
    // verdict, or no verdict. A wait judges one reply: the lines after it are dropped. A list's
    // "+OK" comes back only with its last line.
    Reply take(const QString& text);
    // Forgets text of a reply not yet complete; the next reply is read in the given shape.
    void clear(Shape next = Shape::Line);
    // What the last capability list offers, from every line of it.
    const Capabilities& capabilities() const { return m_capabilities; }

    // "+OK" means success and "-ERR" failure, case-sensitively; anything else is no verdict.
    static Verdict judge(const QString& line);
    // "+ " and a challenge, or "+" alone: the server waits for the next line of an AUTH.
    static bool isContinuation(const QString& line);
    static QString withoutLineEnd(const QString& line);
    // The server's own words in a "-ERR" reply.
    static QString serverText(const QString& line);
    // The response code of a "-ERR" reply ("IN-USE" from "-ERR [IN-USE] busy"), in capitals;
    // empty when it has none.
    static QString responseCode(const QString& line);
    // Whether a "-ERR" reply says the refusal is for now only: the mailbox is in use ([IN-USE]),
    // logins come too often ([LOGIN-DELAY]) or the server has a passing fault ([SYS/TEMP]), each
    // perhaps with finer levels after a "/".
    static bool isTemporary(const QString& line);

private:
    QString m_partial;
    Shape m_shape = Shape::Line;
    std::optional<QString> m_listStatus; // the "+OK" of a list being read
    Capabilities m_capabilities;
};

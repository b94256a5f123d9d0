#pragma once

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
    // Lines of a multi-line reply kept beyond this are dropped; the reply still ends at its ".".
    static constexpr qsizetype kMaxListLines = 100;

    enum class Shape
    {
        Line,
        List // "+OK", then lines up to one holding "." alone; "-ERR" is one line
    };

    enum class Verdict
    {
        None,
        Ok,
        Err
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
    // The lines of the last list, without their line ends and dot-stuffing.
    const QStringList& list() const { return m_list; }

    // "+OK" means success and "-ERR" failure, case-sensitively; anything else is no verdict.
    static Verdict judge(const QString& line);
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
    QStringList m_list;
};

#pragma once

#include <QString>
#include <QStringList>

// Cuts the text received from a POP3 server into reply lines and judges them. A line ends at a
// line feed, with or without a carriage return before it; text that runs longer than kMaxLine
// without one counts as a line of its own, so a misbehaving server cannot make us hold it all.
class ReplyReader
{
public:
    static constexpr qsizetype kMaxLine = 8192;

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
    // verdict, or no verdict. A wait judges one reply: the lines after it are dropped.
    Reply take(const QString& text);
    // Forgets text of a line not yet complete.
    void clear() { m_partial.clear(); }

    // "+OK" means success and "-ERR" failure, case-sensitively; anything else is no verdict.
    static Verdict judge(const QString& line);
    static QString withoutLineEnd(const QString& line);
    // The server's own words in a "-ERR" reply.
    static QString serverText(const QString& line);

private:
    QString m_partial;
};

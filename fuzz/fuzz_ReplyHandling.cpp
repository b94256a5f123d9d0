// What a check makes of the bytes a POP3 server sends: the socket's UTF-8 decoding, the reply
// lines, the verdict of each wait and the figures of the STAT reply. The input's front is what
// the server sends; its back says where the socket cuts that into arrivals.

#include "fuzz/Require.h"

#include "core/RuntimeError.h"
#include "mail/ReplyReader.h"
#include "mail/StatReply.h"
#include "platform/Utf8Decoder.h"

#include <QByteArray>
#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>

namespace {

// Greeting, USER, PASS, STAT and QUIT each wait for one reply.
constexpr qsizetype kWaits = 5;
constexpr qsizetype kStatWait = 3;

// One connection as the settings window sees it: the socket's decoder, the reader, and the reply
// each wait ended with.
class Conversation
{
public:
    void arrive(const QByteArray& bytes)
    {
        const QString text = m_decoder.decode(bytes);
        if (m_replies.size() == kWaits)
            return;
        const ReplyReader::Reply reply = m_reader.take(text);
        if (reply.verdict == ReplyReader::Verdict::None)
            return;
        m_replies.append(reply);
        m_reader.clear(); // the next wait starts afresh
    }

    const QList<ReplyReader::Reply>& replies() const { return m_replies; }

private:
    Utf8Decoder m_decoder;
    ReplyReader m_reader;
    QList<ReplyReader::Reply> m_replies;
};

void checkStat(const QString& line)
{
    StatReply stat;
    try {
        stat = StatReply::parse(line);
    } catch (const RuntimeError&) {
        return; // the check ends "Off-Line"
    }
    const __int128 gap = static_cast<__int128>(stat.kb) * 1024 - stat.size;
    require(gap >= -512 && gap <= 512, "the Kb figure is the size rounded to the nearest Kb");
    const QString text = stat.resultText(true);
    require(text.endsWith(QStringLiteral(" Kb)")), "the result text ends with the size");
    require(text.startsWith(stat.resultText(false)), "the size follows the count");
}

void checkReply(const ReplyReader::Reply& reply, qsizetype wait)
{
    const QString& line = reply.line;
    require(line.size() <= ReplyReader::kMaxLine, "a reply line is at most kMaxLine long");
    const qsizetype feed = line.indexOf(QLatin1Char('\n'));
    require(feed == line.size() - 1 || (feed < 0 && line.size() == ReplyReader::kMaxLine),
            "a reply line ends at its one line feed or at the limit");
    require(ReplyReader::judge(line) == reply.verdict, "the verdict is the line's own");
    if (reply.verdict == ReplyReader::Verdict::Err)
        require(ReplyReader::serverText(line).size() + 5 <= line.size(),
                "the server text is inside the reply");
    else if (wait == kStatWait)
        checkStat(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    QList<QByteArray> arrivals;
    QByteArray stream;
    while (input.remaining_bytes() > 0) {
        const auto cut = input.ConsumeIntegral<std::uint8_t>();
        const std::vector<char> bytes = input.ConsumeBytes<char>(cut == 0 ? input.remaining_bytes() : cut);
        arrivals.append(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        stream += arrivals.last();
    }

    Utf8Decoder cutDecoder, wholeDecoder;
    QString cutText;
    for (const QByteArray& arrival : arrivals)
        cutText += cutDecoder.decode(arrival);
    require(cutText == wholeDecoder.decode(stream), "the text does not depend on the cuts");

    Conversation cut;
    for (const QByteArray& arrival : arrivals)
        cut.arrive(arrival);
    for (qsizetype wait = 0; wait < cut.replies().size(); ++wait)
        checkReply(cut.replies()[wait], wait);

    // Where the arrivals are cut must not change the reply the first wait ends with.
    Conversation whole;
    whole.arrive(stream);
    require(whole.replies().isEmpty() == cut.replies().isEmpty(),
            "the greeting wait ends alike, however cut");
    if (!whole.replies().isEmpty()) {
        require(whole.replies()[0].verdict == cut.replies()[0].verdict, "the greeting verdict, however cut");
        require(whole.replies()[0].line == cut.replies()[0].line, "the greeting line, however cut");
    }
    return 0;
}

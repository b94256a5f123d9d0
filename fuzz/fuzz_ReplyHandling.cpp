// What a check makes of the bytes a POP3 server sends: the socket's UTF-8 decoding, the reply
// lines, the verdict of each wait, the capability list and the SASL challenges of a token sign-in,
// and the figures of the STAT reply. The input's front is what the server sends; its back says
// which conversation it is and where the socket cuts it into arrivals.

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
#include <span>

namespace {

using Shape = ReplyReader::Shape;

// The replies each conversation waits for, in turn: greeting, USER, PASS, STAT and QUIT; or
// greeting, CAPA, AUTH, the token, STAT and QUIT.
constexpr Shape kPasswordWaits[] = {Shape::Line, Shape::Line, Shape::Line, Shape::Line, Shape::Line};
constexpr Shape kTokenWaits[] = {Shape::Line,      Shape::List, Shape::Challenge,
                                 Shape::Challenge, Shape::Line, Shape::Line};

// One connection as the settings window sees it: the socket's decoder, the reader, and the reply
// each wait ended with.
class Conversation
{
public:
    explicit Conversation(std::span<const Shape> waits)
        : m_waits(waits)
    {
        m_reader.clear(m_waits.front());
    }

    void arrive(const QByteArray& bytes)
    {
        const QString text = m_decoder.decode(bytes);
        if (m_replies.size() == static_cast<qsizetype>(m_waits.size()))
            return;
        const ReplyReader::Reply reply = m_reader.take(text);
        if (reply.verdict == ReplyReader::Verdict::None)
            return;
        if (m_waits[static_cast<std::size_t>(m_replies.size())] == Shape::List)
            m_capabilities = m_reader.capabilities();
        m_replies.append(reply);
        // The next wait starts afresh.
        if (m_replies.size() < static_cast<qsizetype>(m_waits.size()))
            m_reader.clear(m_waits[static_cast<std::size_t>(m_replies.size())]);
    }

    const QList<ReplyReader::Reply>& replies() const { return m_replies; }
    const Capabilities& capabilities() const { return m_capabilities; }
    Shape shapeOf(qsizetype wait) const { return m_waits[static_cast<std::size_t>(wait)]; }
    // The STAT reply's wait: the second to last.
    qsizetype statWait() const { return static_cast<qsizetype>(m_waits.size()) - 2; }

private:
    std::span<const Shape> m_waits;
    Utf8Decoder m_decoder;
    ReplyReader m_reader;
    QList<ReplyReader::Reply> m_replies;
    Capabilities m_capabilities;
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

void checkCapabilities(const Capabilities& capabilities)
{
    require(capabilities.sasl.size() <= Capabilities::kMaxMechanisms, "the mechanisms kept are bounded");
    for (const QString& mechanism : capabilities.sasl)
        require(!mechanism.isEmpty() && mechanism == mechanism.toUpper() &&
                    !mechanism.contains(QLatin1Char(' ')) && capabilities.sasl.count(mechanism) == 1,
                "a mechanism is one word in capitals, listed once");
}

void checkReply(const Conversation& conversation, qsizetype wait)
{
    const ReplyReader::Reply& reply = conversation.replies()[wait];
    const QString& line = reply.line;
    require(line.size() <= ReplyReader::kMaxLine, "a reply line is at most kMaxLine long");
    const qsizetype feed = line.indexOf(QLatin1Char('\n'));
    require(feed == line.size() - 1 || (feed < 0 && line.size() == ReplyReader::kMaxLine),
            "a reply line ends at its one line feed or at the limit");
    if (reply.verdict == ReplyReader::Verdict::Continue) {
        require(conversation.shapeOf(wait) == Shape::Challenge && ReplyReader::isContinuation(line),
                "only a wait during AUTH takes a challenge, and it begins \"+ \"");
        return;
    }
    require(ReplyReader::judge(line) == reply.verdict, "the verdict is the line's own");
    if (reply.verdict == ReplyReader::Verdict::Err)
        require(ReplyReader::serverText(line).size() + 5 <= line.size(),
                "the server text is inside the reply");
    else if (wait == conversation.statWait())
        checkStat(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::span<const Shape> waits =
        input.ConsumeBool() ? std::span<const Shape>(kTokenWaits) : std::span<const Shape>(kPasswordWaits);
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

    Conversation cut(waits);
    for (const QByteArray& arrival : arrivals)
        cut.arrive(arrival);
    for (qsizetype wait = 0; wait < cut.replies().size(); ++wait)
        checkReply(cut, wait);
    checkCapabilities(cut.capabilities());

    // Where the arrivals are cut must not change the reply the first wait ends with.
    Conversation whole(waits);
    whole.arrive(stream);
    require(whole.replies().isEmpty() == cut.replies().isEmpty(),
            "the greeting wait ends alike, however cut");
    if (!whole.replies().isEmpty()) {
        require(whole.replies()[0].verdict == cut.replies()[0].verdict, "the greeting verdict, however cut");
        require(whole.replies()[0].line == cut.replies()[0].line, "the greeting line, however cut");
    }
    return 0;
}

// The numeric value of a typed or stored text and the interval in seconds made from it, against
// the standard library's decimal reading.

#include "fuzz/Require.h"

#include "core/Conversions.h"
#include "core/RuntimeError.h"

#include <QByteArray>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace {

bool startsNumber(const QByteArray& text, qsizetype at)
{
    return at < text.size() && ((text[at] >= '0' && text[at] <= '9') || text[at] == '.');
}

// The value the rule gives: blanks out, an optional sign, then the longest decimal number.
void checkAgainstReference(const QString& text, double value)
{
    QString squeezed = text;
    squeezed.remove(QLatin1Char(' '));
    const QByteArray s = squeezed.toUtf8();
    qsizetype at = 0;
    const bool negative = !s.isEmpty() && s[0] == '-';
    if (!s.isEmpty() && (s[0] == '+' || s[0] == '-'))
        ++at;
    if (!startsNumber(s, at)) {
        require(value == 0.0, "a text that does not begin with a number is 0");
        return;
    }
    double expected = 0.0;
    const auto [end, error] =
        std::from_chars(s.constData() + at, s.constData() + s.size(), expected, std::chars_format::general);
    if (error == std::errc::invalid_argument) {
        require(value == 0.0, "a point without digits is 0");
        return;
    }
    require(std::signbit(value) == negative || value == 0.0, "the sign is the text's");
    if (error == std::errc::result_out_of_range) {
        require(std::isinf(value) || std::fabs(value) < std::numeric_limits<double>::min(),
                "a number beyond double is infinite, or zero when too small");
        return;
    }
    require(value == (negative ? -expected : expected), "the value is the decimal number's");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double value = Conversions::numericValue(text);
    require(!std::isnan(value), "a numeric value is a number");
    checkAgainstReference(text, value);

    const double seconds = value * 60.0;
    try {
        const qint32 interval = Conversions::intervalSeconds(text);
        require(std::fabs(interval - seconds) <= 0.5, "the interval is the minutes in seconds, rounded");
    } catch (const RuntimeError&) {
        require(seconds >= 2147483647.5 || seconds <= -2147483648.5,
                "only an interval beyond 32 bits is refused");
    }
    return 0;
}

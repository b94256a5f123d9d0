#include "core/Conversions.h"

#include "core/RuntimeError.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Conversions {

double numericValue(const QString& text)
{
    QString s = text;
    s.remove(QLatin1Char(' '));
    const auto digitsAt = [&s](qsizetype i) {
        qsizetype n = i;
        while (n < s.size() && s.at(n).isDigit() && s.at(n).unicode() < 128)
            ++n;
        return n - i;
    };

    qsizetype i = 0;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        ++i;
    const qsizetype intDigits = digitsAt(i);
    i += intDigits;
    qsizetype fracDigits = 0;
    if (i < s.size() && s.at(i) == QLatin1Char('.')) {
        fracDigits = digitsAt(i + 1);
        if (intDigits > 0 || fracDigits > 0)
            i += 1 + fracDigits;
    }
    if (intDigits == 0 && fracDigits == 0)
        return 0.0;
    qsizetype end = i;
    // An exponent counts only when digits follow it; "2e" reads as 2.
    if (i < s.size() && (s.at(i) == QLatin1Char('e') || s.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < s.size() && (s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-')))
            ++j;
        if (const qsizetype expDigits = digitsAt(j); expDigits > 0)
            end = j + expDigits;
    }
    // The C locale, whatever the user's decimal separator; an overflowing exponent yields infinity.
    return QLocale::c().toDouble(QStringView(s).left(end));
}

qint32 roundToInt32(double value)
{
    const double rounded = std::nearbyint(value); // the default rounding mode: halves to even
    if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max()))
        throw RuntimeError(QStringLiteral("Overflow"));
    return static_cast<qint32>(rounded);
}

qint32 intervalSeconds(const QString& minutesText)
{
    return roundToInt32(numericValue(minutesText) * 60.0);
}

QString optionText(qint16 index)
{
    return QString::number(index);
}

qint16 optionIndex(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw RuntimeError(QStringLiteral("Type mismatch"));
    return static_cast<qint16>(value);
}

bool breaksCommandLine(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c == u'\r' || c == u'\n' || c == u'\0'; });
}

} // namespace Conversions

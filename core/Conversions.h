#pragma once

#include <QString>

// Conversions between the texts the user types or the store holds and the numbers the program
// works with. Each rule lives here once.
namespace Conversions {

// The numeric value of a text: blanks anywhere are ignored, and the longest start of what remains
// that reads as a decimal number (sign, digits, point, exponent) gives the value; 0 otherwise.
double numericValue(const QString& text);

// Rounds to the nearest integer, halves to even, into a 32-bit signed value; throws RuntimeError
// when the result does not fit.
qint32 roundToInt32(double value);

// The check interval in seconds for an interval text in minutes.
qint32 intervalSeconds(const QString& minutesText);

// The stored form of an option index: its decimal digits.
QString optionText(qint16 index);

// An option index read back from its stored text; throws RuntimeError when the whole text is not
// a 16-bit integer.
qint16 optionIndex(const QString& text);

// Whether a text holds CR, LF or NUL: sent as part of a command, it would end the command early
// and what follows would reach the server as commands of its own.
bool breaksCommandLine(const QString& text);

} // namespace Conversions

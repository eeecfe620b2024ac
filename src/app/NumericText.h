#pragma once

#include <QString>
#include <QtGlobal>

// How the window reads numbers out of its boxes and the settings store: the
// number a text starts with, and its conversion to a 16-bit integer.
namespace numericText {

// The number at the start of a text: leading blanks, an optional sign, digits
// and an optional fraction. "&H" followed by hexadecimal digits reads as hex
// ("&H3A- Denmark II" gives 58). A text that does not start with a number gives 0.
double leadingNumber(const QString &text);

// The nearest whole number, an exact half to the even one. False when the result
// does not fit 16 bits (or the value is not finite); out is then unchanged.
bool toInt16(double value, qint16 &out);

} // namespace numericText

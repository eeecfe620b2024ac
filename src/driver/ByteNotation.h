#pragma once

#include <QByteArray>
#include <QString>

// The byte notation of a message: a "/" before every byte value, in decimal
// ("/65/66/13/10" for AB CR LF). Text before the first "/" is not part of it.
namespace ByteNotation {

// The number test used for typed numbers: optional blanks around it, an optional
// sign, digits with at most one decimal point, and an optional exponent.
bool isNumeric(const QString &text, double *value = nullptr);

// The bytes of a notation. False when the text has no "/" or a part after the
// first "/" is not numeric. A part from 0 up to (not including) 256 gives its
// value rounded half to even; anything that then does not fit a byte gives 0.
bool parse(const QString &text, QByteArray &bytes);

// The notation of bytes: "/" and the decimal value for each.
QString format(const QByteArray &bytes);

} // namespace ByteNotation

#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The system's single-byte ("ANSI") code page, Windows-1252, converted with
// glibc's iconv. One byte per character; a character outside the code page
// becomes '?', the code page's default character. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) round-trip as the control
// characters of the same value.
namespace ansi {

QByteArray fromUnicode(const QString &text);
// Whether every character of the text has a byte of its own in the code page
// (none would become '?'); *bad receives the first that has none.
bool encodes(const QString &text, char32_t *bad = nullptr);
QString toUnicode(const QByteArray &bytes);

// One character for one byte.
QChar charOf(unsigned char byte);

} // namespace ansi
} // namespace platform

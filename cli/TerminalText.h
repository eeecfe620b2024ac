#pragma once

#include <QByteArray>
#include <QString>

namespace kdxctl {

// Text read from the display as kdxctl prints it: whole, a NUL included. When
// escaped, control characters are written \xHH and a backslash \\, so that an
// escape sequence stored in the display cannot act on the terminal.
QByteArray shownText(const QString &text, bool escaped);

// The first argument (counted from 1 after the program) that is not valid
// UTF-8, 0 when all are; `shown` gets its bytes with the invalid ones as \xHH.
int invalidUtf8Argument(int argc, char **argv, QString *shown);

} // namespace kdxctl

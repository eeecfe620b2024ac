#pragma once

#include "Commands.h"

#include <QJsonObject>
#include <QString>

namespace kdxctl {

// kdxctl find: asks the display for its version at every line setting it has
// (DisplayFinder) and prints where it answered, one line for scripts:
//
//     COM3 9600 N,8,1 ?1.05
//
// the port as given, the rate, the framing and the version (escaped as the
// version command escapes it on a terminal, unless --raw: the line stays one
// line). Where the line cannot tell the framings apart the third field lists
// the possible ones, "N,8,1/O,7,1/...", which no --parity takes, and a note on
// standard error says why. Exit 0 found, 4 nothing answered, 6 the display is
// in its firmware loader, 2 or 3 the port would not open or failed.

Command findDisplayCommand();

// The fields of a found display for the JSON summary, read back from the line
// above: rate (a number), framing (null when it cannot be told), framings,
// version. Empty for a line that is not such a line.
QJsonObject findFields(const QString &port, const QString &line, bool raw);

} // namespace kdxctl

#pragma once

#include "Commands.h"

#include <QString>
#include <QStringList>


namespace kdxctl {

// kdxctl --port LIST COMMAND ...: the command on every port of the list at
// once, one kdxctl per port, and a summary at the end (a table, or JSON with
// --json). arguments are the call's own, without the program name. Returns the
// exit status: 0 when every port succeeded, else the first failing port's.
int runOnPorts(const Options &options, const QStringList &arguments, const Command &command,
               const QStringList &commandArgs);

} // namespace kdxctl

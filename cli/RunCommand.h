#pragma once

#include "Commands.h"

#include <QString>
#include <QStringList>

namespace kdxctl {

// kdxctl run FILE|-: the commands of a run file (see RunFile) in one process,
// in order, each with the call's options and any of its own line, stopping at
// the first failure unless --keep-going. Every line is checked before the first
// one runs, so a mistake anywhere in the file opens nothing.

QString runCommandName();

// The table entry.
Command runCommand();

// The text of FILE, or of standard input for "-". A file must be a regular
// file of at most a megabyte; false with the reason and the exit status (64 a
// wrong argument, 66 the file cannot be read).
bool loadRunText(const QStringList &args, QString *text, QString *problem, int *status = nullptr);

// Checks every line as kdxctl checks a command line, with options as the
// defaults; false with "line N: why".
bool checkRunText(const QString &text, const Options &options, QString *problem);

} // namespace kdxctl

#pragma once

#include "Display.h"

#include <QStringList>

namespace kdxsim {

// The command line of kdx-sim.
struct SimOptions
{
    DisplayConfig display;
    int com = 0; // 0: the lowest free number
    int count = 1; // displays, on COM com ... com + count - 1
    QString stateJsonPath;
    bool quiet = false;
    bool trace = false; // the line's traffic, decoded, on standard error
    bool help = false;
    bool version = false;

    // Parses the arguments (without the program name). False with a message for
    // anything it does not accept.
    bool parse(const QStringList &args, QString *error);

    static QString helpText();

    // A file name of one display: "%n" stands for its COM number.
    static QString forDisplay(const QString &pattern, int com);
};

} // namespace kdxsim

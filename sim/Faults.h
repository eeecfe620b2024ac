#pragma once

#include <QString>
#include <QStringList>

namespace kdxsim {

// The faults the simulated display can be told to show, for tests and for
// learning how the utility reacts: the one list, given as "name" or
// "name=value" entries (helpText() describes each).
struct FaultSet
{
    bool silent = false;          // silent
    bool nak = false;             // nak
    int slowMs = 0;               // slow=MS
    bool garble = false;          // garble
    bool noPrompt = false;        // no-prompt
    bool noPromptAfterXa = false; // no-prompt=xa
    int ignoreLoad = 0;           // ignore-load=N
    int cancelAtBlock = 0;        // cancel-at-block=N
    int nakBlock = 0;             // nak-block=N
    qint64 hangupAfter = 0;       // hangup-after=N
    bool shortVersion = false;    // short-version
    bool doubleAck = false;       // double-ack

    // Adds one "name[=value]" entry; false with a reason for anything unknown.
    bool add(const QString &entry, QString *error);
    QStringList names() const;

    // One line per fault, for --help.
    static QString helpText();
};

} // namespace kdxsim

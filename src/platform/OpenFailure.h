#pragma once

#include "PortLock.h"

#include <QList>
#include <QString>

namespace platform {

// What was found out when a port would not open, gathered where it failed.
// hint() turns it into one line: why, and what to do about it.
struct OpenFailure
{
    enum class Cause {
        None,
        NotInPortMap,     // no device behind the COM name
        SettingsRejected, // a settings string this port cannot take at all
        SettingsRefused,  // the driver did not keep the settings: detail says what it kept
        System,           // the system refused the device: error
        Locked,           // a lock file names a live process (holders, detail = the lock file)
        LockFileInvalid,  // something other than a lock file sits at the lock path (detail)
        Held,             // another process holds the device exclusively (holders)
        StaleExclusive,   // the tty is in exclusive mode, but nobody alive holds it
    };

    Cause cause = Cause::None;
    int error = 0; // errno, for System
    QString device;
    QString settings;
    QString detail;
    QList<PortHolder> holders;

    // For a permission error: the device's owner, group and mode, and whether
    // the user is listed in that group (perhaps since after logging in).
    QString ownerName;
    QString groupName;
    unsigned groupId = 0;
    unsigned mode = 0;
    bool listedInGroup = false;

    QString hint(const QString &portName) const;
};

} // namespace platform

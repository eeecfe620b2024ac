#pragma once

#include <QString>

namespace platform {

// The per-user settings store: text values addressed by application name,
// section and key. Kept as INI files under the organisation folder
// "kdx-utility" of the user's configuration folder (XDG_CONFIG_HOME honoured).
//
// The store is careful with what it finds there, because the programs may run
// as root: it reads an INI only when it is a regular file (also one behind a
// symbolic link), opened without blocking, so a FIFO or a device node is never
// waited on; and it writes only a value that differs from the stored one, only
// into a regular file of its own (not a link, owned by the user, writable) or a
// new one, in a folder that is not a link. Anything else is left as it is.
namespace settings {

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultValue = QString());
// True when the value is in the store afterwards (written, or already there).
bool SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &value);

// The INI file of an application name.
QString iniPath(const QString &appName);

// Why values of this application name would not be saved, in one sentence for
// the user; empty when they would be.
QString saveProblem(const QString &appName);

// Turns any text (for example a folder path) into a name the store can use as an
// application name: letters, digits, '-', '_' and '.' kept, everything else '_'.
QString safeAppName(const QString &text);

} // namespace settings
} // namespace platform

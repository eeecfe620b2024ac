#pragma once

#include <QString>

namespace platform {

// The per-user settings store: text values addressed by application name,
// section and key. Kept as INI files under the organisation folder
// "kdx-utility" of the user's configuration folder (XDG_CONFIG_HOME honoured).
namespace settings {

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultValue = QString());
void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &value);

// Turns any text (for example a folder path) into a name the store can use as an
// application name: letters, digits, '-', '_' and '.' kept, everything else '_'.
QString safeAppName(const QString &text);

} // namespace settings
} // namespace platform

#include "SettingsStore.h"

#include <QSettings>

namespace platform::settings {

namespace {

QString fullKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), appName);
    return s.value(fullKey(section, key), defaultValue).toString();
}

void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &value)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), appName);
    s.setValue(fullKey(section, key), value);
    s.sync();
}

QString safeAppName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const bool keep = (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-')
            || c == QLatin1Char('_') || c == QLatin1Char('.');
        out.append(keep ? c : QLatin1Char('_'));
    }
    while (out.startsWith(QLatin1Char('.')))
        out.replace(0, 1, QLatin1Char('_'));
    return out.isEmpty() ? QStringLiteral("_") : out;
}

} // namespace platform::settings

#include "AppInfo.h"

#include <QCoreApplication>
#include <QDir>

namespace platform::app {

namespace {
QString g_title = QStringLiteral(KDX_DEFAULT_TITLE);
}

QString title()
{
    return g_title;
}

void setTitle(const QString &t)
{
    g_title = t;
}

int versionMajor()
{
    return KDX_VERSION_MAJOR;
}

int versionMinor()
{
    return KDX_VERSION_MINOR;
}

int versionRevision()
{
    return KDX_VERSION_REVISION;
}

QString version()
{
    return QStringLiteral("%1.%2.%3").arg(versionMajor()).arg(versionMinor()).arg(versionRevision());
}

QString path()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

} // namespace platform::app

#pragma once

#include <QString>

namespace platform {

// The application's title (read and written by the windows), its version and the
// folder of the running program.
namespace app {

QString title();
void setTitle(const QString &title);

int versionMajor();
int versionMinor();
int versionRevision();

// The folder of the running program.
QString path();

} // namespace app
} // namespace platform

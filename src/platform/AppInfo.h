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
// "1.3.5": what --version prints after the program's name.
QString version();

// The folder of the running program.
QString path();

} // namespace app
} // namespace platform

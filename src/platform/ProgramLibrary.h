#pragma once

#include <QString>

namespace platform {

// The programs' own libraries (the network port, the list of the system's
// serial devices) are loaded the first time they are needed, so that a command
// that does not need them never pays for loading and relocating them and what
// they pull in. A library is only ever looked for at its place relative to the
// running program (build tree and installation alike), never along a search
// path.

// Where the library of that file name is looked for.
QString programLibraryPath(const QString &fileName);

// The symbol of the program's library, which is loaded on the first call;
// nullptr with the reason in *error. A library that cannot be loaded is not
// tried again.
void *programLibrarySymbol(const QString &fileName, const char *symbol, QString *error);

} // namespace platform

#pragma once

#include <QStringList>

namespace kdxctl {
class Session;
} // namespace kdxctl

// kdxctl firmware FILE [--crc] [--code-type 0|1]: the loader dialogue and the
// transfer without windows, stopped cleanly by SIGINT, SIGTERM or SIGHUP.
// Returns the process exit status.
int firmwareCommand(kdxctl::Session &session, const QStringList &args);

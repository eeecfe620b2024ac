#pragma once

#include <QStringList>

class CKDX;

// kdxctl firmware FILE [--crc] [--code-type 0|1]: the loader dialogue and the
// transfer without windows. Returns the process exit status.
int firmwareCommand(CKDX &kdx, const QStringList &args);

#include "FirmwareCommand.h"

#include <cstdio>

const char *const kFirmwareUsage = "  firmware FILE [--crc] [--code-type 0|1]   update the firmware over XModem\n";

int firmwareCommand(CKDX &, const QStringList &)
{
    std::fprintf(stderr, "kdxctl: firmware update is not available yet\n");
    return 69;
}

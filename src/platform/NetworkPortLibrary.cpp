#include "NetworkPortLibrary.h"

#include "ProgramLibrary.h"

namespace platform {

namespace {

const QString kLibrary = QStringLiteral("libkdx_netport.so");

} // namespace

std::unique_ptr<SerialPort> makeNetworkPort(const NetworkAddress &address, QString *error)
{
    QString why;
    const auto *version = static_cast<const int *>(programLibrarySymbol(kLibrary, "kdx_network_port_interface", &why));
    const auto make = reinterpret_cast<KdxMakeNetworkPort>(programLibrarySymbol(kLibrary, "kdx_make_network_port", &why));
    if (version && *version != KDX_NETWORK_PORT_INTERFACE)
        why = QStringLiteral("%1 is from another version of the program").arg(programLibraryPath(kLibrary));
    if (!version || *version != KDX_NETWORK_PORT_INTERFACE || !make) {
        if (error)
            *error = QStringLiteral("the network port library cannot be loaded: %1").arg(why);
        return nullptr;
    }
    return std::unique_ptr<SerialPort>(make(&address));
}

} // namespace platform

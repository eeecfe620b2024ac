#pragma once

#include "NetworkAddress.h"
#include "SerialPort.h"

#include <memory>

namespace platform {

// The network port's code (Qt Network, libtelnet and everything they pull in)
// is a library of the program's own (ProgramLibrary), loaded the first time a
// program opens an address.

// A port for the address, or nullptr with the reason in *error when the
// library cannot be loaded.
std::unique_ptr<SerialPort> makeNetworkPort(const NetworkAddress &address, QString *error);

} // namespace platform

// What the library exports: the version of this interface, and a new port for
// an address.
#define KDX_NETWORK_PORT_INTERFACE 1
using KdxMakeNetworkPort = platform::SerialPort *(*)(const platform::NetworkAddress *address);

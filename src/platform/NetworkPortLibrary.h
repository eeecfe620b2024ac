#pragma once

#include "NetworkAddress.h"
#include "SerialPort.h"

#include <memory>

namespace platform {

// The network port's code (Qt Network, libtelnet and everything they pull in)
// is a library of its own beside the programs, loaded the first time a program
// opens an address, so that a command on a local port never pays for loading
// and relocating it. The library is only ever looked for in its place relative
// to the running program, never along a search path.

// A port for the address, or nullptr with the reason in *error when the
// library cannot be loaded.
std::unique_ptr<SerialPort> makeNetworkPort(const NetworkAddress &address, QString *error);

// Where the library is looked for.
QString networkPortLibraryPath();

} // namespace platform

// What the library exports: the version of this interface, and a new port for
// an address.
#define KDX_NETWORK_PORT_INTERFACE 1
using KdxMakeNetworkPort = platform::SerialPort *(*)(const platform::NetworkAddress *address);

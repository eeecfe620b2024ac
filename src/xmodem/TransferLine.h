#pragma once

#include <chrono>
#include <functional>

namespace platform {
class SerialPort;
} // namespace platform

// What a firmware update needs from the driver: its one serial port, and the
// wait that keeps the windows answering while the display is awaited.
struct TransferLine
{
    platform::SerialPort &port;
    std::function<void(std::chrono::milliseconds)> wait;
};

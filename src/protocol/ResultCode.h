#pragma once

#include <QtGlobal>

// Result codes of the driver's operations: 0 success, negative failure.
namespace kdx {

constexpr qint32 OK = 0;
constexpr qint32 AlreadyConnected = -1;  // "Device is already connected."
constexpr qint32 OpenFailed = -2;        // "Commport open failed."
constexpr qint32 NotConnected = -3;      // "Device is not connected."
constexpr qint32 NoResponse = -4;        // "Device does not respond."
constexpr qint32 InvalidBaudRate = -5;   // "Invalid Baud Rate"
constexpr qint32 Nack = -6;              // "Get Nack"
constexpr qint32 Cancelled = -7;         // an XModem block ended on cancel or stop
constexpr qint32 InvalidParameter = -8;  // "Invalid parameter."

} // namespace kdx

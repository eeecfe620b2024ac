#pragma once

#include <QByteArray>
#include <QtGlobal>

// The two XModem block checks.
namespace blockCheck {

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR),
// bit by bit.
quint16 crc16(const QByteArray &data);

// Sum of the bytes modulo 256.
quint8 checkSum(const QByteArray &data);

} // namespace blockCheck

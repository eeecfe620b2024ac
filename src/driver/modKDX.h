#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <chrono>

// Helpers shared by the driver's exchanges and the file transfer: the wait that
// keeps the windows alive, the two XModem block checks and the table that turns
// ANSI bytes into the display's character codes.
namespace modKDX {

// Waits until strictly more than ms milliseconds have passed on the monotonic
// clock, processing window events meanwhile (so Delay(50) lasts at least 51 ms on
// a millisecond clock). An argument that is not a number is reported in a
// message box and the wait returns at once.
void Delay(double ms);
inline void Delay(std::chrono::milliseconds ms)
{
    Delay(double(ms.count()));
}

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR),
// bit by bit. Only the low 16 bits are meaningful.
qint32 CalcCRC16(const QByteArray &data);

// Sum of the bytes modulo 256.
qint32 CalcCheckSum(const QByteArray &data);

// Fills g_DisplayCode: identity, then the display's codes for the ANSI
// characters that sit elsewhere in its character set.
void InitDisplayCodeTable();

} // namespace modKDX

// ANSI (Windows-1252) byte to the display's character code.
extern std::array<qint16, 256> g_DisplayCode;

#pragma once

#include <QByteArray>
#include <QString>

class CKDX;

// The display's EPSON-style command set: short control sequences (US = 1F,
// ESC = 1B and single control characters) sent through the driver's text and
// byte operations once the display has been switched to that set. Nothing is
// answered; each operation returns the driver's result code for getting its
// bytes out (0 when they went out).
namespace Epson {

// The commands that take no parameter.
enum class Command {
    CursorUp,      // US LF
    CursorDown,    // LF
    CursorLeft,    // BS
    CursorRight,   // HT
    CursorHome,    // VT
    CursorBottom,  // US B
    LineStart,     // CR
    LineEnd,       // US CR
    ClearScreen,   // FF
    ClearLine,     // CAN
    Initialize,    // ESC @
    SelfTest,      // US @
};

// Parameter ranges: a value outside gives kdx::InvalidParameter and sends nothing.
constexpr int kMinWriteMode = 1; // US 01 over-write
constexpr int kMaxWriteMode = 3; // US 03 horizontal scroll
constexpr int kMinDevice = 1;    // ESC = 01 aux device
constexpr int kMaxDevice = 3;    // ESC = 03 both
// The national character sets the display has: 0 U.S.A to 14 Greek.
constexpr int kMaxNational = 14;
// Row, column and national set travel through the text conversion, which
// leaves only codes below 0x80 as they are.
constexpr int kMaxTextParameter = 0x7F;

QByteArray bytes(Command command);
QByteArray cursorDisplayBytes(bool on);
QByteArray reverseBytes(bool on);
QByteArray positionBytes(int row, int column);
QByteArray writeModeBytes(int mode);
QByteArray deviceBytes(int device);
QByteArray nationalBytes(int set);

qint32 send(CKDX &kdx, Command command);
qint32 setCursorDisplay(CKDX &kdx, bool on);             // US C 31 / 30
qint32 setReverse(CKDX &kdx, bool on);                   // US r 31 / 30
qint32 setPosition(CKDX &kdx, int row, int column);      // US $ column row, both from 1
qint32 setWriteMode(CKDX &kdx, int mode);                // US 01..03
qint32 setDevice(CKDX &kdx, int device);                 // ESC = 01..03
qint32 setNational(CKDX &kdx, int set);                  // ESC R n
qint32 setExpand(CKDX &kdx, int n);                      // ESC t n, 0 to 255
qint32 setBlink(CKDX &kdx, int n);                       // US E n, 0 to 255
qint32 sendText(CKDX &kdx, const QString &text);         // through the code table

} // namespace Epson

#pragma once

#include <QtGlobal>

// The facts of the display's native command set that the driver, the traffic
// decoder and kdxctl's help all need: the frame letters with the number of
// parameter bytes each takes, and the codes of the "B" frame for the line's rate
// and framing. Frames are 04 01 letter parameters 17.
namespace protocol {

struct FrameCommand
{
    char letter;
    int parameters;   // bytes between the letter and the end byte
    const char *name; // the driver operation that sends it
};

inline constexpr FrameCommand kFrameCommands[] = {
    {'B', 2, "SetBaudRate"},
    {'I', 1, "SetInternationalCode"},
    {'S', 1, "SaveMessage"},
    {'P', 1, "SetPosition"},
    {'C', 2, "ClearDisplay"},
    {'O', 1, "DisplayShowSavedMessageAfterRebootMode"},
    {'D', 2, "DisplayDemoMessage"},
    {'T', 0, "GetMessage"},
    {'V', 0, "GetVersion"},
};

// The command of a frame letter, nullptr for a letter the display does not know.
constexpr const FrameCommand *frameCommand(quint8 letter)
{
    for (const FrameCommand &c : kFrameCommands) {
        if (quint8(c.letter) == letter)
            return &c;
    }
    return nullptr;
}

// Parameter bytes of a frame letter, -1 for a letter the display does not know.
constexpr int frameParameters(quint8 letter)
{
    const FrameCommand *c = frameCommand(letter);
    return c ? c->parameters : -1;
}

struct BaudCode
{
    char code;
    int baud;
};

// The first byte of a "B" frame, in the order of the codes. The display has one
// code, "6", for 300 and 38400 alike.
inline constexpr BaudCode kBaudCodes[] = {
    {'0', 19200}, {'1', 9600}, {'2', 4800}, {'3', 2400}, {'4', 1200},
    {'5', 600},   {'6', 300},  {'6', 38400}, {'7', 115200},
};

// The rate a code stands for, 0 for none; "6" reads as 38400, the later of its
// two, which is the rate the utility offers.
constexpr int baudOfCode(quint8 code)
{
    int baud = 0;
    for (const BaudCode &b : kBaudCodes) {
        if (quint8(b.code) == code)
            baud = b.baud;
    }
    return baud;
}

// The code of a rate, 0 for a rate the display cannot take.
constexpr char codeOfBaud(int baud)
{
    for (const BaudCode &b : kBaudCodes) {
        if (b.baud == baud)
            return b.code;
    }
    return 0;
}

struct FramingCode
{
    char code;
    const char *framing; // parity, data bits, stop bits
};

// The second byte of a "B" frame: upper-case letters are 7 data bits with
// parity, lower-case ones 8.
inline constexpr FramingCode kFramingCodes[] = {
    {'N', "N,8,1"}, {'O', "O,7,1"}, {'E', "E,7,1"}, {'o', "O,8,1"}, {'e', "E,8,1"},
};

// The framing of a code, nullptr for none.
constexpr const char *framingOfCode(quint8 code)
{
    for (const FramingCode &f : kFramingCodes) {
        if (quint8(f.code) == code)
            return f.framing;
    }
    return nullptr;
}

} // namespace protocol

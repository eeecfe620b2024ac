#pragma once

// The control bytes of the display's protocols: the native frame, the XModem
// transfer and the escape sequences.
constexpr char kSOH = 0x01; // second byte of a native frame; first byte of an XModem block
constexpr char kEOT = 0x04; // first byte of a native frame; end of an XModem file
constexpr char kACK = 0x06;
constexpr char kNAK = 0x15;
constexpr char kETB = 0x17; // end of a native frame
constexpr char kCAN = 0x18;
constexpr char kSUB = 0x1A; // fill of the last XModem block
constexpr char kESC = 0x1B;

#pragma once

#include "TrafficEvent.h"

#include <QByteArray>
#include <QtGlobal>

#include <utility>

namespace monitor {

// How long the runs without an end marker may grow before they are cut into
// more than one event.
constexpr int kMaxRun = 1024;
constexpr int kMaxLampRun = 64 * kMaxRun;
// Cells the VT100 screen-content answer fills.
constexpr int kScreenCells = 80;
// A run of this many B2 bytes or more is the lamp test; fewer are text.
constexpr int kLampTestMin = 8;

constexpr quint8 kLampCode = 0xB2; // the character that lights every dot

constexpr bool isText(quint8 b)
{
    return (b >= 0x20 && b < 0x7F) || b >= 0x80;
}

// The cursor and clear controls the native and EPSON sets share: BS, HT, LF,
// VT, FF, CR and CAN (BS, LF and CR are also the VT100 ones).
constexpr bool isControl(quint8 b)
{
    return (b >= 0x08 && b <= 0x0D) || b == 0x18;
}

// What the two tokenizers find in the byte streams: each kind is one shape of
// the grammar, named later by the labeller.
enum class TokenKind {
    // Host to display, the display's command sets.
    Text,            // a run of printable display codes
    LampRun,         // a run of B2, the all-dots character
    Unknown,         // a run of bytes no command starts with
    Control,         // one cursor or clear control byte
    Frame,           // 04 01 letter parameters 17, a letter the display knows
    UnknownFrame,    // 04 01 and a letter it does not know, up to 17
    FrameWithoutEnd, // a frame whose end byte is something else
    NotAFrame,       // 04 without its 01
    IncompleteFrame, // a frame that stopped arriving
    Escape,          // ESC letter and its parameters
    Csi,             // ESC [ parameters final
    BrokenSequence,  // an ESC [ sequence broken by a byte that cannot stand in it
    LoadRequest,     // ESC "Load"
    NotALoad,        // ESC "L" and what does not spell "Load"
    Us,              // US letter and its parameters
    IncompleteSequence,
    // Host to display, the loader and XModem.
    LoaderByte,      // "1" or LF on their own
    LoaderLine,      // a line up to CR (LF)
    LoaderLineCut,   // a line that ran too long or stopped arriving
    Block,           // a whole XModem block
    IncompleteBlock,
    XModemByte,      // EOT, CAN or anything else between blocks
    // Display to host.
    ReplyText,
    ReplyUnknown,
    Prompt,          // the loader's ">"
    StartRequest,    // "C" or NAK asking for the first block
    BlockRequest,    // "C" after a block
    Handshake,       // ACK, NAK or CAN
    Version,
    Message,         // 01 text 17
    MessageCut,      // 01 text without its 17
    Identification,
    ScreenContent,
};

struct Token
{
    Direction direction = Direction::ToDisplay;
    TokenKind kind = TokenKind::Unknown;
    QByteArray bytes;
    qint64 timeUs = 0;
};

// What the conversation so far tells about the next bytes. The labeller keeps
// it up to date; the tokenizers read it to choose their grammar.
struct Conversation
{
    // What the display is being spoken to as: its command sets share one
    // grammar, the loader and XModem have their own.
    enum class Mode { Display, Loader, XModem };
    // What the host's last command asks the display for.
    enum class Expect { Nothing, Version, Message, Identification, Screen, Prompt, XStart, XAnswer };

    Mode mode = Mode::Display;
    Expect expect = Expect::Nothing;
    bool crc = true;

    int blockLength() const { return 3 + 128 + (crc ? 2 : 1); }
};

// Where a tokenizer hands its tokens, in order.
class TokenSink
{
public:
    virtual void token(Token &&token) = 0;

protected:
    ~TokenSink() = default;
};

// The bytes a tokenizer has gathered for its next token, with the time of the
// first and of the latest.
class TokenBuffer
{
public:
    TokenBuffer(Direction direction, TokenSink &sink)
        : m_direction(direction)
        , m_sink(sink)
    {
    }

    void start(quint8 b, qint64 t)
    {
        m_bytes = QByteArray(1, char(b));
        m_timeUs = t;
        m_lastUs = t;
    }
    void append(quint8 b) { m_bytes.append(char(b)); }
    void append(const char *data, int n) { m_bytes.append(data, n); }
    void touch(qint64 t) { m_lastUs = t; }
    // Hands the gathered bytes over as one token.
    void deliver(TokenKind kind)
    {
        m_sink.token(Token {m_direction, kind, std::exchange(m_bytes, QByteArray()), m_timeUs});
    }
    // A token of one byte that needs no gathering.
    void single(TokenKind kind, quint8 b, qint64 t) { m_sink.token(Token {m_direction, kind, QByteArray(1, char(b)), t}); }

    const QByteArray &bytes() const { return m_bytes; }
    int size() const { return int(m_bytes.size()); }
    quint8 at(int i) const { return quint8(m_bytes[i]); }
    qint64 lastUs() const { return m_lastUs; }

private:
    Direction m_direction;
    TokenSink &m_sink;
    QByteArray m_bytes;
    qint64 m_timeUs = 0;
    qint64 m_lastUs = 0;
};

} // namespace monitor

#include "OutTokenizer.h"

#include "ControlBytes.h"
#include "NativeCommands.h"

#include <algorithm>

namespace monitor {

namespace {

constexpr quint8 kUS = 0x1F; // EPSON-style command prefix
constexpr quint8 kCR = 0x0D;
constexpr quint8 kLF = 0x0A;
constexpr int kMaxCsi = 16;
constexpr int kMaxLoaderLine = 32;
constexpr char kLoad[] = "\x1bLoad";
constexpr int kLoadLength = 5;

constexpr quint8 u8(char c)
{
    return quint8(c);
}

} // namespace

OutTokenizer::OutTokenizer(const Conversation &conversation, TokenSink &sink)
    : m_conversation(conversation)
    , m_buffer(Direction::ToDisplay, sink)
{
}

void OutTokenizer::feed(const QByteArray &bytes, qint64 timeUs)
{
    for (int i = 0; i < bytes.size();) {
        if (m_state == State::Block) {
            // Most of a firmware update: take the rest of the block at once.
            const int n = std::min(m_conversation.blockLength() - m_buffer.size(), int(bytes.size() - i));
            m_buffer.append(bytes.constData() + i, n);
            m_buffer.touch(timeUs);
            i += n;
            if (m_buffer.size() >= m_conversation.blockLength())
                deliver(TokenKind::Block);
            continue;
        }
        byte(quint8(bytes[i++]), timeUs);
    }
}

void OutTokenizer::close(bool force)
{
    switch (m_state) {
    case State::Idle: return;
    case State::Text: deliver(TokenKind::Text); return;
    case State::LampRun: deliver(TokenKind::LampRun); return;
    case State::Unknown: deliver(TokenKind::Unknown); return;
    case State::LoaderLineEnd: deliver(TokenKind::LoaderLine); return;
    default: break;
    }
    if (!force)
        return;
    switch (m_state) {
    case State::Frame: deliver(TokenKind::IncompleteFrame); return;
    case State::Block: deliver(TokenKind::IncompleteBlock); return;
    case State::LoaderLine: deliver(TokenKind::LoaderLineCut); return;
    default: deliver(TokenKind::IncompleteSequence); return;
    }
}

void OutTokenizer::byte(quint8 b, qint64 t)
{
    if (m_state != State::Idle)
        m_buffer.touch(t);
    switch (m_state) {
    case State::Idle: idle(b, t); return;
    case State::Text: text(b, t); return;
    case State::LampRun: lampRun(b, t); return;
    case State::Unknown: unknown(b, t); return;
    case State::Frame: frame(b, t); return;
    case State::Esc: esc(b); return;
    case State::EscParam: escParam(b, t); return;
    case State::Csi: csi(b, t); return;
    case State::Load: load(b, t); return;
    case State::Us: us(b); return;
    case State::UsParam: usParam(b); return;
    case State::LoaderLine: loaderLine(b); return;
    case State::LoaderLineEnd: loaderLineEnd(b, t); return;
    case State::Block: block(b); return;
    }
}

void OutTokenizer::start(State s, quint8 b, qint64 t)
{
    m_state = s;
    m_buffer.start(b, t);
}

void OutTokenizer::deliver(TokenKind kind)
{
    m_state = State::Idle;
    m_buffer.deliver(kind);
}

void OutTokenizer::deliverThen(TokenKind kind, quint8 b, qint64 t)
{
    deliver(kind);
    byte(b, t);
}

// ---- the first byte of something new --------------------------------------------

void OutTokenizer::idle(quint8 b, qint64 t)
{
    switch (m_conversation.mode) {
    case Conversation::Mode::XModem: idleXModem(b, t); return;
    case Conversation::Mode::Loader: idleLoader(b, t); return;
    case Conversation::Mode::Display: idleDisplay(b, t); return;
    }
}

void OutTokenizer::idleXModem(quint8 b, qint64 t)
{
    if (b == u8(kSOH))
        start(State::Block, b, t);
    else if (b == u8(kESC)) // the sender gave up: the loader speaks again
        start(State::Esc, b, t);
    else
        single(TokenKind::XModemByte, b, t);
}

void OutTokenizer::idleLoader(quint8 b, qint64 t)
{
    if (b == u8(kESC))
        start(State::Esc, b, t);
    else if (b == '1' || b == kLF)
        single(TokenKind::LoaderByte, b, t);
    else if (b == u8(kEOT)) // a native frame: the display is out of its loader
        start(State::Frame, b, t);
    else
        start(b == kCR ? State::LoaderLineEnd : State::LoaderLine, b, t);
}

void OutTokenizer::idleDisplay(quint8 b, qint64 t)
{
    if (b == u8(kEOT))
        start(State::Frame, b, t);
    else if (b == u8(kESC))
        start(State::Esc, b, t);
    else if (b == kUS)
        start(State::Us, b, t);
    else if (b == kLampCode)
        start(State::LampRun, b, t);
    else if (isControl(b))
        single(TokenKind::Control, b, t);
    else if (isText(b))
        start(State::Text, b, t);
    else
        start(State::Unknown, b, t);
}

// ---- runs ------------------------------------------------------------------------

void OutTokenizer::text(quint8 b, qint64 t)
{
    if (isText(b) && b != kLampCode && m_buffer.size() < kMaxRun)
        append(b);
    else
        deliverThen(TokenKind::Text, b, t);
}

void OutTokenizer::lampRun(quint8 b, qint64 t)
{
    if (b == kLampCode && m_buffer.size() < kMaxLampRun)
        append(b);
    else
        deliverThen(TokenKind::LampRun, b, t);
}

void OutTokenizer::unknown(quint8 b, qint64 t)
{
    const bool starts = isText(b) || isControl(b) || b == u8(kEOT) || b == u8(kESC) || b == kUS;
    if (!starts && m_buffer.size() < kMaxRun)
        append(b);
    else
        deliverThen(TokenKind::Unknown, b, t);
}

// ---- native frames ---------------------------------------------------------------

void OutTokenizer::frame(quint8 b, qint64 t)
{
    const int size = m_buffer.size();
    if (size == 1) {
        if (b == u8(kSOH))
            append(b);
        else
            deliverThen(TokenKind::NotAFrame, b, t);
        return;
    }
    if (size == 2) {
        append(b);
        m_need = protocol::frameParameters(b);
        return;
    }
    if (m_need < 0) {
        // A letter the display does not know: its frame runs to the end byte.
        append(b);
        if (b == u8(kETB) || m_buffer.size() >= 6)
            deliver(TokenKind::UnknownFrame);
        return;
    }
    if (m_need > 0) {
        append(b);
        --m_need;
        return;
    }
    if (b == u8(kETB)) {
        append(b);
        deliver(TokenKind::Frame);
        return;
    }
    deliverThen(TokenKind::FrameWithoutEnd, b, t);
}

// ---- escape and US sequences --------------------------------------------------------

void OutTokenizer::esc(quint8 b)
{
    append(b);
    if (loaderGrammar()) {
        // The loader knows ESC "R" CR (leave) and ESC "Load" (start again).
        if (b == 'R') {
            m_state = State::EscParam;
            m_need = 1;
        } else if (b == 'L') {
            m_state = State::Load;
        } else {
            deliver(TokenKind::Escape);
        }
        return;
    }
    switch (b) {
    case 'Z': // ESC Z n 00: command set
        m_state = State::EscParam;
        m_need = 2;
        return;
    case 'R': // national set
    case 't': // character table
    case '=': // peripheral
    case 'B': // brightness
        m_state = State::EscParam;
        m_need = 1;
        return;
    case '[': m_state = State::Csi; return;
    case 'L': m_state = State::Load; return;
    default: deliver(TokenKind::Escape); return;
    }
}

void OutTokenizer::escParam(quint8 b, qint64 t)
{
    const quint8 letter = m_buffer.at(1);
    if (loaderGrammar() && letter == 'R' && b != kCR) {
        deliverThen(TokenKind::Escape, b, t);
        return;
    }
    // ESC Z n is closed by 00; anything else there starts something new.
    if (letter == 'Z' && m_need == 1 && b != 0) {
        deliverThen(TokenKind::Escape, b, t);
        return;
    }
    append(b);
    if (--m_need == 0)
        deliver(TokenKind::Escape);
}

void OutTokenizer::csi(quint8 b, qint64 t)
{
    if (b >= 0x40 && b <= 0x7E) {
        append(b);
        deliver(TokenKind::Csi);
    } else if (b >= 0x20 && b < 0x40 && m_buffer.size() < kMaxCsi) {
        append(b);
    } else {
        deliverThen(TokenKind::BrokenSequence, b, t);
    }
}

void OutTokenizer::load(quint8 b, qint64 t)
{
    if (b != u8(kLoad[m_buffer.size()])) {
        deliverThen(TokenKind::NotALoad, b, t);
        return;
    }
    append(b);
    if (m_buffer.size() == kLoadLength)
        deliver(TokenKind::LoadRequest);
}

void OutTokenizer::us(quint8 b)
{
    append(b);
    switch (b) {
    case 'C': // cursor display
    case 'r': // reverse
    case 'E': // blink
        m_state = State::UsParam;
        m_need = 1;
        return;
    case '$': // position: column, row
        m_state = State::UsParam;
        m_need = 2;
        return;
    default:
        deliver(TokenKind::Us);
        return;
    }
}

void OutTokenizer::usParam(quint8 b)
{
    append(b);
    if (--m_need == 0)
        deliver(TokenKind::Us);
}

// ---- the loader and XModem --------------------------------------------------------

void OutTokenizer::loaderLine(quint8 b)
{
    append(b);
    if (b == kCR)
        m_state = State::LoaderLineEnd;
    else if (m_buffer.size() >= kMaxLoaderLine)
        deliver(TokenKind::LoaderLineCut);
}

void OutTokenizer::loaderLineEnd(quint8 b, qint64 t)
{
    if (b == kLF) {
        append(b);
        deliver(TokenKind::LoaderLine);
    } else {
        deliverThen(TokenKind::LoaderLine, b, t);
    }
}

void OutTokenizer::block(quint8 b)
{
    append(b);
    if (m_buffer.size() >= m_conversation.blockLength())
        deliver(TokenKind::Block);
}

} // namespace monitor

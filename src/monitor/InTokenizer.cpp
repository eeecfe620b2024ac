#include "InTokenizer.h"

#include "ControlBytes.h"

namespace monitor {

namespace {

constexpr quint8 kPrompt = '>'; // the loader's prompt
constexpr quint8 kCrcRequest = 'C';
constexpr int kMaxIdentification = 64;

constexpr quint8 u8(char c)
{
    return quint8(c);
}

bool isHandshake(quint8 b)
{
    return b == u8(kACK) || b == u8(kNAK) || b == u8(kCAN);
}

} // namespace

using Expect = Conversation::Expect;

InTokenizer::InTokenizer(const Conversation &conversation, TokenSink &sink)
    : m_conversation(conversation)
    , m_buffer(Direction::FromDisplay, sink)
{
}

void InTokenizer::feed(const QByteArray &bytes, qint64 timeUs)
{
    for (const char c : bytes)
        byte(quint8(c), timeUs);
}

void InTokenizer::close()
{
    switch (m_state) {
    case State::Idle: return;
    case State::Text: deliver(TokenKind::ReplyText); return;
    case State::Unknown: deliver(TokenKind::ReplyUnknown); return;
    case State::Version: deliver(TokenKind::Version); return;
    case State::Message: deliver(TokenKind::MessageCut); return;
    case State::Identification: deliver(TokenKind::Identification); return;
    case State::Screen: deliver(TokenKind::ScreenContent); return;
    }
}

void InTokenizer::byte(quint8 b, qint64 t)
{
    if (m_state != State::Idle)
        m_buffer.touch(t);
    switch (m_state) {
    case State::Idle: idle(b, t); return;
    case State::Text: text(b, t); return;
    case State::Unknown: unknown(b, t); return;
    case State::Version: answer(b, t, kMaxRun); return;
    case State::Screen: answer(b, t, kScreenCells); return;
    case State::Message: message(b); return;
    case State::Identification: identification(b); return;
    }
}

void InTokenizer::start(State s, quint8 b, qint64 t)
{
    m_state = s;
    m_buffer.start(b, t);
}

void InTokenizer::deliver(TokenKind kind)
{
    m_state = State::Idle;
    m_buffer.deliver(kind);
}

void InTokenizer::closeThen(quint8 b, qint64 t)
{
    close();
    byte(b, t);
}

void InTokenizer::idle(quint8 b, qint64 t)
{
    if (expected(b, t))
        return;
    if (isHandshake(b))
        single(TokenKind::Handshake, b, t);
    else if (isText(b))
        start(State::Text, b, t);
    else
        start(State::Unknown, b, t);
}

bool InTokenizer::expected(quint8 b, qint64 t)
{
    switch (m_conversation.expect) {
    case Expect::Version: start(State::Version, b, t); return true;
    case Expect::Identification: start(State::Identification, b, t); return true;
    case Expect::Screen: start(State::Screen, b, t); return true;
    case Expect::Message:
        if (b != u8(kSOH))
            return false;
        start(State::Message, b, t);
        return true;
    case Expect::Prompt:
        if (b != kPrompt)
            return false;
        single(TokenKind::Prompt, b, t);
        return true;
    case Expect::XStart:
        if (b != kCrcRequest && b != u8(kNAK))
            return false;
        single(TokenKind::StartRequest, b, t);
        return true;
    case Expect::XAnswer:
        if (b != kCrcRequest)
            return false;
        single(TokenKind::BlockRequest, b, t);
        return true;
    case Expect::Nothing:
        return false;
    }
    return false;
}

void InTokenizer::text(quint8 b, qint64 t)
{
    const bool prompt = b == kPrompt && m_conversation.expect == Expect::Prompt;
    if (isText(b) && !prompt && m_buffer.size() < kMaxRun)
        m_buffer.append(b);
    else
        closeThen(b, t);
}

void InTokenizer::unknown(quint8 b, qint64 t)
{
    if (!isText(b) && !isHandshake(b) && m_buffer.size() < kMaxRun)
        m_buffer.append(b);
    else
        closeThen(b, t);
}

void InTokenizer::answer(quint8 b, qint64 t, int limit)
{
    if (m_buffer.size() >= limit)
        closeThen(b, t);
    else
        m_buffer.append(b);
}

void InTokenizer::message(quint8 b)
{
    m_buffer.append(b);
    if (b == u8(kETB))
        deliver(TokenKind::Message);
    else if (m_buffer.size() >= kMaxRun)
        deliver(TokenKind::MessageCut);
}

void InTokenizer::identification(quint8 b)
{
    m_buffer.append(b);
    if (b == 'c' || m_buffer.size() >= kMaxIdentification)
        deliver(TokenKind::Identification);
}

} // namespace monitor

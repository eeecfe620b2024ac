#pragma once

#include "TrafficToken.h"

namespace monitor {

// Splits what the display sends into tokens. The host's last command tells how
// to read an answer (a version, a message, an identification, the screen
// content, the loader's prompt and XModem's requests); everything else is text,
// handshake bytes or bytes that cannot be named. One function per state.
class InTokenizer
{
public:
    InTokenizer(const Conversation &conversation, TokenSink &sink);

    void feed(const QByteArray &bytes, qint64 timeUs);
    // Hands over the pending answer: once closed it is complete or cut short.
    void close();
    bool pending() const { return m_state != State::Idle; }
    qint64 lastUs() const { return m_buffer.lastUs(); }

private:
    enum class State { Idle, Text, Unknown, Version, Message, Identification, Screen };

    void byte(quint8 b, qint64 t);
    void idle(quint8 b, qint64 t);
    // A byte the host's last command gives a meaning of its own; false if none.
    bool expected(quint8 b, qint64 t);
    void text(quint8 b, qint64 t);
    void unknown(quint8 b, qint64 t);
    void answer(quint8 b, qint64 t, int limit);
    void message(quint8 b);
    void identification(quint8 b);

    void start(State s, quint8 b, qint64 t);
    void deliver(TokenKind kind);
    void closeThen(quint8 b, qint64 t);
    void single(TokenKind kind, quint8 b, qint64 t) { m_buffer.single(kind, b, t); }

    const Conversation &m_conversation;
    TokenBuffer m_buffer;
    State m_state = State::Idle;
};

} // namespace monitor

#pragma once

#include "TrafficToken.h"

namespace monitor {

// Splits what the host writes into tokens: native frames, escape and US
// sequences, text and lamp-test runs, loader lines and XModem blocks. One
// function per state; the conversation chooses between the display's, the
// loader's and XModem's grammar.
class OutTokenizer
{
public:
    OutTokenizer(const Conversation &conversation, TokenSink &sink);

    void feed(const QByteArray &bytes, qint64 timeUs);
    // Hands over a pending run (text, lamp test, a loader line); half sequences
    // stay unless force is set, and are then given up as they stand.
    void close(bool force);
    bool pending() const { return m_state != State::Idle; }
    qint64 lastUs() const { return m_buffer.lastUs(); }

private:
    enum class State {
        Idle,
        Text,
        LampRun,
        Unknown,
        Frame,         // 04 01 letter parameters 17
        Esc,           // ESC and its letter
        EscParam,      // ESC letter n (and ESC Z n 00)
        Csi,           // ESC [ ... final
        Load,          // ESC L o a d
        Us,            // US and its letter
        UsParam,       // US letter n (m)
        LoaderLine,
        LoaderLineEnd, // CR seen; an LF may follow
        Block,
    };

    void byte(quint8 b, qint64 t);
    void idle(quint8 b, qint64 t);
    void idleXModem(quint8 b, qint64 t);
    void idleLoader(quint8 b, qint64 t);
    void idleDisplay(quint8 b, qint64 t);
    void text(quint8 b, qint64 t);
    void lampRun(quint8 b, qint64 t);
    void unknown(quint8 b, qint64 t);
    void frame(quint8 b, qint64 t);
    void esc(quint8 b);
    void escParam(quint8 b, qint64 t);
    void csi(quint8 b, qint64 t);
    void load(quint8 b, qint64 t);
    void us(quint8 b);
    void usParam(quint8 b);
    void loaderLine(quint8 b);
    void loaderLineEnd(quint8 b, qint64 t);
    void block(quint8 b);

    void start(State s, quint8 b, qint64 t);
    void append(quint8 b) { m_buffer.append(b); }
    // The pending bytes as one token; the tokenizer is idle again.
    void deliver(TokenKind kind);
    // ... and the byte that ended them goes on as the start of something new.
    void deliverThen(TokenKind kind, quint8 b, qint64 t);
    void single(TokenKind kind, quint8 b, qint64 t) { m_buffer.single(kind, b, t); }
    bool loaderGrammar() const { return m_conversation.mode != Conversation::Mode::Display; }

    const Conversation &m_conversation;
    TokenBuffer m_buffer;
    State m_state = State::Idle;
    int m_need = 0; // parameter bytes still to come
};

} // namespace monitor

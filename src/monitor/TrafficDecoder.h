#pragma once

#include "TrafficEvent.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace monitor {

// Turns the two byte streams of a display line into events in the protocol's own
// words: native frames with their parameters, ACK/NAK and the version and message
// answers, the escape commands, the EPSON-style and VT100 sequences, text in
// display codes, the lamp test, the loader dialogue and XModem blocks with their
// check verdicts. It only reads bytes; what the host sent last tells it how to
// read the answer. Every byte fed ends up in exactly one event, in order; what
// it cannot name is shown as hex.
//
// Bytes that belong together may arrive over several writes or reads. Runs
// without an end marker (text, the lamp test, a version answer) close when the
// other side speaks, after a pause of kRunGapUs, or at finish(); a frame, an
// escape sequence or a block that stops half-way is given up as hex after
// kStaleGapUs.
class TrafficDecoder
{
public:
    static constexpr qint64 kRunGapUs = 100000;
    static constexpr qint64 kStaleGapUs = 2000000;
    // A run of this many B2 bytes or more is the lamp test; fewer are text.
    static constexpr int kLampTestMin = 8;
    // Longest answer or text kept as one event.
    static constexpr int kMaxRun = 1024;
    // Cells the VT100 screen-content answer fills.
    static constexpr int kScreenCells = 80;

    TrafficDecoder();

    void feed(Direction direction, qint64 timeUs, const QByteArray &bytes);
    // Something happened to the port itself (opened, closed, new settings): closes
    // what is pending and records the text as an event.
    void portEvent(qint64 timeUs, const QString &text);
    // Closes runs and half sequences that have been quiet long enough by nowUs.
    void expire(qint64 nowUs);
    // Closes everything pending, as at the end of a recording.
    void finish();

    // The events decoded so far, oldest first; the decoder forgets them.
    std::vector<TrafficEvent> take();
    bool hasEvents() const { return !m_events.empty(); }

private:
    // What the display is being spoken to as: its command sets share one
    // grammar, the loader and XModem have their own.
    enum class Mode { Display, Loader, XModem };
    // What the host's last command asks the display for.
    enum class Expect { Nothing, Version, Message, Identification, Screen, Prompt, XStart, XAnswer };

    enum class OutState {
        Idle,
        Text,
        LampTest,
        Unknown,
        Frame,     // 04 01 letter parameters 17
        Esc,       // ESC and its letter
        EscParam,  // ESC letter n (and ESC Z n 00)
        Csi,       // ESC [ ... final
        Load,      // ESC L o a d
        Us,        // US and its letter
        UsParam,   // US letter n (m)
        LoaderLine,
        LoaderLineEnd, // CR seen; an LF may follow
        Block,
    };
    enum class InState { Idle, Text, Unknown, Version, Message, Identification, Screen };

    struct Pending
    {
        QByteArray bytes;
        qint64 timeUs = 0;
        qint64 lastUs = 0;
    };

    void outByte(quint8 b, qint64 t);
    void inByte(quint8 b, qint64 t);
    void startOut(OutState s, quint8 b, qint64 t);
    void startIn(InState s, quint8 b, qint64 t);
    void emitOut(const QString &meaning);
    void emitIn(const QString &meaning);
    void emitSingle(Direction d, quint8 b, qint64 t, const QString &meaning);
    // Closes a pending run (text, lamp test, a loader line); half sequences
    // stay unless force is set, and are then given up as hex.
    void closeOut(bool force);
    // Closes the display's pending answer: once closed it is complete or cut short.
    void closeIn();
    bool outIsRun() const;

    void frameDone();
    void escapeDone();
    void csiDone();
    void usDone();
    void loaderLineDone();
    void blockDone();
    int blockLength() const { return 3 + 128 + (m_crc ? 2 : 1); }

    std::vector<TrafficEvent> m_events;

    Mode m_mode = Mode::Display;
    Expect m_expect = Expect::Nothing;
    bool m_crc = true;
    bool m_blockSeen = false;
    quint8 m_lastBlockWire = 0;
    qint64 m_lastBlockNumber = 0;

    OutState m_out = OutState::Idle;
    Pending m_outP;
    int m_outNeed = 0; // parameter bytes still to come
    InState m_in = InState::Idle;
    Pending m_inP;
};

// The display's character for one of its codes, as the text column shows it.
QChar displayChar(quint8 code);
// Bytes in display codes as readable text; control bytes as \xHH.
QString displayText(const QByteArray &bytes);

} // namespace monitor

#pragma once

#include "InTokenizer.h"
#include "OutTokenizer.h"
#include "TrafficEvent.h"
#include "TrafficLabeller.h"

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
// A tokenizer per direction splits the bytes, the labeller names each token and
// follows the conversation. Bytes that belong together may arrive over several
// writes or reads. Runs without an end marker (text, the lamp test, a version
// answer) close when the other side speaks, after a pause of kRunGapUs, or at
// finish(); a frame, an escape sequence or a block that stops half-way is given
// up as hex after kStaleGapUs.
class TrafficDecoder final : private TokenSink
{
public:
    static constexpr qint64 kRunGapUs = 100000;
    static constexpr qint64 kStaleGapUs = 2000000;

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
    void token(Token &&token) override;

    Conversation m_conversation;
    TrafficLabeller m_labeller {m_conversation};
    OutTokenizer m_out {m_conversation, *this};
    InTokenizer m_in {m_conversation, *this};
    std::vector<TrafficEvent> m_events;
};

// The display's character for one of its codes, as the text column shows it.
QChar displayChar(quint8 code);
// Bytes in display codes as readable text; control bytes as \xHH.
QString displayText(const QByteArray &bytes);

} // namespace monitor

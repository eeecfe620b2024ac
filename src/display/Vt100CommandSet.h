#pragma once

#include "CommandSet.h"

#include <QByteArray>

namespace kdxdisplay {

// The display's VT100 mode: BS, LF, CR and text (other control codes are shown
// as characters), ESC "[" sequences for cursor position, erasing, cursor moves and
// the identification request (ESC "[0c"), ESC "T" for the screen content, ESC "R"
// n for the country code and ESC "B" n for the brightness.
class Vt100CommandSet final : public CommandSet
{
public:
    using CommandSet::CommandSet;

    // A control sequence longer than this is dropped.
    static constexpr int kMaxSequence = 16;

    void feed(quint8 byte, qint64 now) override;
    bool busy() const override { return m_state != State::Text; }
    void reset() override;

private:
    enum class State { Text, Esc, Csi, Country, Brightness };

    void csi(quint8 final);

    State m_state = State::Text;
    QByteArray m_params;
};

} // namespace kdxdisplay

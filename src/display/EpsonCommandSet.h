#pragma once

#include "CommandSet.h"

namespace kdxdisplay {

// The EPSON-style command set: single control bytes, US sequences (0x1F) and ESC
// sequences for the cursor, clearing, write modes, cursor display, reverse, blink,
// national sets, the character table, initialisation, self-test and the routing of
// text to the auxiliary device.
class EpsonCommandSet final : public CommandSet
{
public:
    using CommandSet::CommandSet;

    void feed(quint8 byte, qint64 now) override;
    bool busy() const override { return m_state != State::Text; }
    void reset() override;

private:
    enum class State { Text, Esc, Us, Param, Param2 };

    void finish(quint8 param, qint64 now);

    State m_state = State::Text;
    quint8 m_prefix = 0; // ESC or US
    quint8 m_command = 0;
    quint8 m_first = 0;  // first parameter of US "$" x y and ESC "Z" n 00
};

} // namespace kdxdisplay

#include "EpsonCommandSet.h"

#include "VfdModel.h"
#include "NativeCommandSet.h"

namespace kdxdisplay {

namespace {
constexpr quint8 kEsc = 0x1B;
constexpr quint8 kUs = 0x1F;

// Switch parameters come as "0"/"1" or as 0/1.
int flagOf(quint8 n)
{
    return n >= '0' ? n - '0' : n;
}
} // namespace

void EpsonCommandSet::reset()
{
    m_state = State::Text;
}

void EpsonCommandSet::feed(quint8 byte, qint64 now)
{
    VfdModel &d = m_display;
    Screen &s = d.screenForEdit();
    const WriteMode mode = d.writeMode();
    switch (m_state) {
    case State::Text:
        if (byte == kEsc || byte == kUs) {
            m_prefix = byte;
            m_state = byte == kEsc ? State::Esc : State::Us;
        } else if (!applyCommonControl(d, byte) && byte >= 0x20) {
            d.writeText(byte);
        }
        return;
    case State::Esc:
        m_command = byte;
        m_state = State::Text;
        switch (byte) {
        case '@': d.initialize(); d.note(QStringLiteral("initialised")); return; // ESC @
        case 'R':                                                               // ESC R n: national set
        case 't':                                                               // ESC t n: character table
        case '=':                                                               // ESC = n: peripheral
        case 'Z':                                                               // ESC Z n 00: command set
            m_state = State::Param;
            return;
        default:
            return;
        }
    case State::Us:
        m_command = byte;
        m_state = State::Text;
        switch (byte) {
        case 0x0A: s.up(mode); return;                                  // US LF: cursor up
        case 'B': s.setCursor(s.rows() - 1, 0); return;                 // US B: bottom position
        case 0x0D: s.setCursor(s.cursorRow(), s.cols() - 1); return;    // US CR: right end of the line
        case 0x01: d.setWriteMode(WriteMode::OverWrite); return;        // US 01: over-write
        case 0x02: d.setWriteMode(WriteMode::VerticalScroll); return;   // US 02: vertical scroll
        case 0x03: d.setWriteMode(WriteMode::HorizontalScroll); return; // US 03: horizontal scroll
        case '@': d.selfTest(now); return;                              // US @: self-test
        case 'C':                                                       // US C n: cursor display
        case 'r':                                                       // US r n: reverse
        case 'E':                                                       // US E n: blink
        case '$':                                                       // US $ x y: cursor position
            m_state = State::Param;
            return;
        default:
            return;
        }
    case State::Param:
        if ((m_prefix == kUs && m_command == '$') || (m_prefix == kEsc && m_command == 'Z')) {
            m_first = byte;
            m_state = State::Param2;
            return;
        }
        m_state = State::Text;
        finish(byte, now);
        return;
    case State::Param2:
        m_state = State::Text;
        finish(byte, now);
        return;
    }
}

void EpsonCommandSet::finish(quint8 param, qint64)
{
    VfdModel &d = m_display;
    Screen &s = d.screenForEdit();
    if (m_prefix == kUs) {
        switch (m_command) {
        case 'C':
            d.setCursorVisible(flagOf(param) == 1);
            return;
        case 'r':
            d.setReverse(flagOf(param) == 1);
            return;
        case 'E':
            d.setBlink(param);
            d.note(param == 0 ? QStringLiteral("blink off") : QStringLiteral("blink %1").arg(param));
            return;
        case '$':
            // Column then row, both from 1; values beyond the screen are ignored.
            if (m_first >= 1 && m_first <= s.cols() && param >= 1 && param <= s.rows())
                s.setCursor(param - 1, m_first - 1);
            return;
        }
        return;
    }
    switch (m_command) {
    case 'R': {
        NationalSet set;
        if (nationalSetFromEpson(param, &set)) {
            d.setNationalSet(set, param);
            d.note(QStringLiteral("national set %1").arg(nationalSetName(set)));
        }
        return;
    }
    case 't':
        d.setCodeTable(param);
        return;
    case '=':
        if (param >= 1 && param <= 3)
            d.setPeripheral(static_cast<Peripheral>(param));
        return;
    case 'Z': {
        const int n = flagOf(m_first);
        if (n == 0)
            d.switchCommandSet(CommandSetKind::Native);
        else if (n == 1)
            d.switchCommandSet(CommandSetKind::Epson);
        return;
    }
    }
}

} // namespace kdxdisplay

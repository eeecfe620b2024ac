#include "NativeCommandSet.h"

#include "VfdModel.h"

namespace kdxdisplay {

namespace {
constexpr quint8 kEsc = 0x1B;
} // namespace

bool applyCommonControl(VfdModel &display, quint8 byte)
{
    Screen &s = display.screenForEdit();
    const WriteMode mode = display.writeMode();
    switch (byte) {
    case 0x08: s.left(mode); return true;              // BS: cursor left
    case 0x09: s.right(mode); return true;             // HT: cursor right
    case 0x0A: s.down(mode); return true;              // LF: cursor down
    case 0x0B: s.home(); return true;                  // VT: cursor home
    case 0x0C: s.clear(); s.home(); return true;       // FF: clear the screen
    case 0x0D: s.lineStart(); return true;             // CR: left end of the line
    case 0x18: s.clearLine(s.cursorRow()); s.lineStart(); return true; // CAN: clear the line
    default: return false;
    }
}

int NativeCommandSet::parameterCount(quint8 letter)
{
    switch (letter) {
    case 'B': return 2; // baud code, framing code
    case 'I': return 1; // international set
    case 'S': return 1; // save as layer
    case 'P': return 1; // cursor position
    case 'C': return 2; // clear from, to
    case 'O': return 1; // power-up mode
    case 'D': return 2; // demo layers, modes
    case 'T': return 0; // read the stored message
    case 'V': return 0; // read the version
    default: return -1;
    }
}

void NativeCommandSet::reset()
{
    m_state = State::Text;
    m_params.clear();
}

void NativeCommandSet::idleFor(qint64 ms)
{
    if (m_state != State::Text && ms > kFrameTimeoutMs) {
        m_display.note(QStringLiteral("incomplete sequence dropped"));
        reset();
    }
}

void NativeCommandSet::feed(quint8 byte, qint64 now)
{
    switch (m_state) {
    case State::Text:
        if (byte == kFrameStart1) {
            m_state = State::FrameStart;
        } else if (byte == kEsc) {
            m_state = State::Escape;
        } else if (!applyCommonControl(m_display, byte) && byte >= 0x20) {
            m_display.writeText(byte);
        }
        return;
    case State::FrameStart:
        if (byte == kFrameStart2) {
            m_state = State::Letter;
            return;
        }
        m_state = State::Text;
        feed(byte, now);
        return;
    case State::Letter:
        m_letter = byte;
        m_params.clear();
        m_needed = parameterCount(byte);
        m_state = m_needed < 0 ? State::Unknown : (m_needed == 0 ? State::FrameEnd : State::Parameters);
        return;
    case State::Parameters:
        m_params.append(char(byte));
        if (m_params.size() == m_needed)
            m_state = State::FrameEnd;
        return;
    case State::FrameEnd:
        m_state = State::Text;
        if (byte == kFrameEnd) {
            execute(now);
        } else {
            m_display.note(QStringLiteral("frame \"%1\" without its end byte").arg(QChar(m_letter)));
            m_display.acknowledge(false);
        }
        return;
    case State::Unknown:
        // An unknown letter: wait for the end byte (or give up after two
        // parameters' worth) and refuse the frame.
        m_params.append(char(byte));
        if (byte == kFrameEnd || m_params.size() > 2) {
            m_state = State::Text;
            m_display.note(QStringLiteral("unknown command 0x%1").arg(m_letter, 2, 16, QLatin1Char('0')));
            m_display.acknowledge(false);
        }
        return;
    case State::Escape:
        m_state = State::Text;
        switch (byte) {
        case 'Z': m_state = State::SwitchSet; return;           // ESC Z n 00: command set
        case 'G': m_display.setPrinter(true); m_display.note(QStringLiteral("printer on")); return;   // ESC G
        case 'S': m_display.setPrinter(false); m_display.note(QStringLiteral("printer off")); return; // ESC S
        default: return;
        }
    case State::SwitchSet:
        m_letter = byte;
        m_state = State::SwitchEnd;
        return;
    case State::SwitchEnd: {
        // The closing 00 is expected; whatever stands there ends the sequence.
        m_state = State::Text;
        const quint8 n = m_letter >= '0' ? quint8(m_letter - '0') : m_letter;
        if (n == 1)
            m_display.switchCommandSet(CommandSetKind::Epson);
        else if (n == 0)
            m_display.switchCommandSet(CommandSetKind::Native);
        return;
    }
    }
}

void NativeCommandSet::execute(qint64 now)
{
    VfdModel &d = m_display;
    if (!d.host().acceptsFrame(m_letter)) {
        d.acknowledge(false);
        return;
    }
    const quint8 p0 = m_params.size() > 0 ? quint8(m_params[0]) : 0;
    const quint8 p1 = m_params.size() > 1 ? quint8(m_params[1]) : 0;
    Screen &s = d.screenForEdit();
    const int cells = s.cellCount();
    switch (m_letter) {
    case 'B': { // baud rate and framing; the new rate holds before the answer leaves
        const bool ok = d.setLine(p0, p1);
        d.note(ok ? QStringLiteral("baud rate %1 %2").arg(d.baud()).arg(d.framing())
                  : QStringLiteral("baud code refused"));
        d.acknowledge(ok);
        return;
    }
    case 'I': { // international character set
        NationalSet set;
        const bool ok = nationalSetFromNativeCode(p0, &set);
        if (ok)
            d.setNationalSet(set, p0);
        d.note(ok ? QStringLiteral("international set %1").arg(nationalSetName(set))
                  : QStringLiteral("international code refused"));
        d.acknowledge(ok);
        return;
    }
    case 'S': { // save the view as a layer, "1" to "3"
        const bool ok = d.saveLayer(p0 - '0');
        d.note(ok ? QStringLiteral("saved as layer %1").arg(p0 - '0') : QStringLiteral("layer refused"));
        d.acknowledge(ok);
        return;
    }
    case 'P': { // cursor to cell 1..cells, in row order
        const int pos = p0 - '0';
        const bool ok = pos >= 1 && pos <= cells;
        if (ok)
            s.setCursor((pos - 1) / s.cols(), (pos - 1) % s.cols());
        d.note(ok ? QStringLiteral("cursor to %1").arg(pos) : QStringLiteral("position refused"));
        d.acknowledge(ok);
        return;
    }
    case 'C': { // clear cells from..to, both included
        const int from = p0 - '0';
        const int to = p1 - '0';
        const bool ok = from >= 1 && from <= to && to <= cells;
        if (ok)
            s.clearRange(from - 1, to - 1);
        d.note(ok ? QStringLiteral("cleared %1 to %2").arg(from).arg(to) : QStringLiteral("clear range refused"));
        d.acknowledge(ok);
        return;
    }
    case 'O': { // power-up: "0" the saved message stays, "1" it runs
        const bool ok = p0 == '0' || p0 == '1';
        if (ok)
            d.setPowerUpRunning(p0 == '1');
        d.note(ok ? QStringLiteral("power-up mode %1").arg(p0 == '1' ? "running" : "stay")
                  : QStringLiteral("power-up mode refused"));
        d.acknowledge(ok);
        return;
    }
    case 'D': { // demo of layers "1".."7" in modes "1".."7"
        d.acknowledge(d.startDemo(p0 - '0', p1 - '0', now));
        return;
    }
    case 'T': { // the stored message: 01, the message, 17
        QByteArray answer(1, '\x01');
        answer += d.storedMessage();
        answer += char(kFrameEnd);
        d.note(QStringLiteral("message read"));
        d.send(Reply::Message, answer);
        return;
    }
    case 'V': { // the version text
        d.note(QStringLiteral("version read"));
        d.send(Reply::Version, d.config().versionText.toLatin1());
        return;
    }
    default:
        d.acknowledge(false);
        return;
    }
}

} // namespace kdxdisplay

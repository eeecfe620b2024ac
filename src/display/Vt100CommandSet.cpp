#include "Vt100CommandSet.h"

#include "VfdModel.h"

#include <QList>

namespace kdxdisplay {

namespace {
constexpr quint8 kEsc = 0x1B;

// The numbers of a parameter text such as "12;5"; empty ones read as 0.
QList<int> numbers(const QByteArray &params)
{
    QList<int> out;
    for (const QByteArray &part : params.split(';'))
        out.append(std::min(part.toInt(), 9999));
    return out;
}
} // namespace

void Vt100CommandSet::reset()
{
    m_state = State::Text;
    m_params.clear();
}

void Vt100CommandSet::feed(quint8 byte, qint64)
{
    VfdModel &d = m_display;
    Screen &s = d.screenForEdit();
    switch (m_state) {
    case State::Text:
        switch (byte) {
        case kEsc: m_state = State::Esc; return;
        case 0x08: s.setCursor(s.cursorRow(), s.cursorCol() - 1); return; // BS, no wrap, no erase
        case 0x0A:                                                        // LF, scrolling on the last row
            if (s.cursorRow() + 1 < s.rows())
                s.setCursor(s.cursorRow() + 1, s.cursorCol());
            else
                s.scrollUp();
            return;
        case 0x0D: s.lineStart(); return; // CR
        default: d.writeVt100(byte); return;
        }
    case State::Esc:
        m_state = State::Text;
        switch (byte) {
        case '[': m_state = State::Csi; m_params.clear(); return;
        case 'R': m_state = State::Country; return;    // ESC R n: country code
        case 'B': m_state = State::Brightness; return; // ESC B n: brightness
        case 'T':                                      // ESC T: the screen content
            d.note(QStringLiteral("screen content read"));
            d.send(Reply::ScreenContent, s.codes());
            return;
        default: return;
        }
    case State::Csi:
        if (byte >= 0x40 && byte <= 0x7E) {
            m_state = State::Text;
            csi(byte);
        } else if (m_params.size() >= kMaxSequence) {
            reset();
        } else {
            m_params.append(char(byte));
        }
        return;
    case State::Country: {
        m_state = State::Text;
        const quint8 n = byte >= '0' && byte <= '9' ? quint8(byte - '0') : byte;
        NationalSet set;
        if (n <= 12 && nationalSetFromEpson(n, &set)) {
            d.setNationalSet(set, n);
            d.note(QStringLiteral("country code %1").arg(nationalSetName(set)));
        }
        return;
    }
    case State::Brightness: {
        m_state = State::Text;
        // "0" is full brightness, "3" the dimmest step.
        const int level = byte >= '0' ? byte - '0' : byte;
        if (level >= 0 && level <= 3) {
            d.setBrightness(100 - 25 * level);
            d.note(QStringLiteral("brightness %1%").arg(100 - 25 * level));
        }
        return;
    }
    }
}

void Vt100CommandSet::csi(quint8 final)
{
    VfdModel &d = m_display;
    Screen &s = d.screenForEdit();
    const QList<int> n = numbers(m_params);
    const int first = n.value(0);
    const int step = std::max(first, 1);
    switch (final) {
    case 'H': // ESC [ row ; col H: cursor position, from 1
    case 'f':
        s.setCursor(std::max(first, 1) - 1, std::max(n.value(1), 1) - 1);
        return;
    case 'A': s.setCursor(s.cursorRow() - step, s.cursorCol()); return; // cursor up
    case 'B': s.setCursor(s.cursorRow() + step, s.cursorCol()); return; // cursor down
    case 'C': s.setCursor(s.cursorRow(), s.cursorCol() + step); return; // cursor right
    case 'D': s.setCursor(s.cursorRow(), s.cursorCol() - step); return; // cursor left
    case 'J': { // erase in display: 0 to the end, 1 from the start, 2 all; cursor stays
        const int at = s.cursorRow() * s.cols() + s.cursorCol();
        if (first == 0)
            s.clearRange(at, s.cellCount() - 1);
        else if (first == 1)
            s.clearRange(0, at);
        else if (first == 2)
            s.clear();
        return;
    }
    case 'K': { // erase in line: 0 to the end, 1 from the start, 2 the whole line
        const int start = s.cursorRow() * s.cols();
        const int at = start + s.cursorCol();
        if (first == 0)
            s.clearToEndOfLine();
        else if (first == 1)
            s.clearRange(start, at);
        else if (first == 2)
            s.clearLine(s.cursorRow());
        return;
    }
    case 'c': // ESC [ 0 c: identification
        if (first == 0) {
            d.note(QStringLiteral("identification sent"));
            d.send(Reply::Identification, d.identification());
        }
        return;
    default:
        return;
    }
}

} // namespace kdxdisplay

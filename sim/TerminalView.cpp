#include "TerminalView.h"

#include "Display.h"

namespace kdxsim {

namespace {
const QString kReverse = QStringLiteral("\x1b[7m");
const QString kUnderline = QStringLiteral("\x1b[4m");
const QString kPlain = QStringLiteral("\x1b[0m");
const QString kClearLine = QStringLiteral("\x1b[K");
} // namespace

QString TerminalView::render(const Display &display, bool ansi, bool blinkOff)
{
    const Screen &s = display.screen();
    const QString eol = ansi ? kClearLine + QLatin1Char('\n') : QStringLiteral("\n");
    QString out;
    out += QStringLiteral("┌") + QString(s.cols(), QChar(0x2500)) + QStringLiteral("┐") + eol;
    for (int r = 0; r < s.rows(); ++r) {
        out += QStringLiteral("│");
        for (int c = 0; c < s.cols(); ++c) {
            const Screen::Cell &cell = s.cell(r, c);
            const QString glyph = blinkOff || display.model().blink() == 255 ? QStringLiteral(" ") : glyphString(cell.glyph);
            const bool cursor = r == s.cursorRow() && c == s.cursorCol();
            if (ansi && (cell.reverse || cursor)) {
                out += (cell.reverse ? kReverse : QString()) + (cursor ? kUnderline : QString()) + glyph + kPlain;
            } else {
                out += glyph;
            }
        }
        out += QStringLiteral("│") + eol;
    }
    out += QStringLiteral("└") + QString(s.cols(), QChar(0x2500)) + QStringLiteral("┘") + eol;

    QString set = commandSetName(display.commandSet());
    if (display.model().printerOn())
        set += QStringLiteral(" +printer");
    QString line = QStringLiteral(" %1 | %2 | cursor %3,%4%5 | %6")
                       .arg(set, writeModeName(display.model().writeMode()))
                       .arg(s.cursorRow() + 1)
                       .arg(s.cursorCol() + 1)
                       .arg(display.model().cursorVisible() ? QStringLiteral(" shown") : QString())
                       .arg(nationalSetName(display.model().nationalSet()));
    if (display.model().demoRunning())
        line += QStringLiteral(" | demo");
    if (display.model().blink())
        line += QStringLiteral(" | blink %1").arg(display.model().blink());
    if (display.model().brightness() != 100)
        line += QStringLiteral(" | %1%").arg(display.model().brightness());
    out += line + eol;

    QString lineState = QStringLiteral(" display %1 %2").arg(display.baud()).arg(display.framing());
    if (display.hostBaud() > 0)
        lineState += display.hostBaud() == display.baud()
                         ? QStringLiteral(", host %1").arg(display.hostBaud())
                         : QStringLiteral(", host %1 (mismatch: garbled)").arg(display.hostBaud());
    if (display.loader().active())
        lineState += QStringLiteral(" | loader %1, %2 blocks")
                         .arg(display.loader().stateName())
                         .arg(display.loader().receiver().blocksAccepted());
    out += lineState + eol;
    out += QStringLiteral(" %1").arg(display.lastEvent()) + eol;
    out += QStringLiteral(" rx: %1 | tx: %2").arg(display.lastReceived(), display.lastSent()) + eol;
    return out;
}

} // namespace kdxsim

#include "TrafficLabeller.h"

#include "ControlBytes.h"
#include "NativeCommands.h"
#include "TrafficDecoder.h"

#include <QList>

#include <array>
#include <iterator>

namespace monitor {

namespace {

constexpr quint8 kCR = 0x0D;
constexpr quint8 kLF = 0x0A;
constexpr quint8 kCrcRequest = 'C';
constexpr int kXModemData = 128;

using Mode = Conversation::Mode;
using Expect = Conversation::Expect;

constexpr quint8 u8(char c)
{
    return quint8(c);
}

QString hex2(quint8 b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString baudOf(quint8 code)
{
    if (const int baud = protocol::baudOfCode(code))
        return QString::number(baud);
    return QStringLiteral("code %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString framingOf(quint8 code)
{
    if (const char *framing = protocol::framingOfCode(code))
        return QLatin1String(framing);
    return QStringLiteral("framing %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

// The national sets in the order of ESC R n (the EPSON tab's list).
QString nationalName(quint8 n)
{
    static const char *const names[] = {"U.S.A", "France", "Germany", "U.K.", "Denmark I",
                                        "Sweden", "Italy", "Spain", "Japan", "Norway",
                                        "Denmark II", "Spain II", "Latin America", "Korea", "Greek"};
    if (n < std::size(names))
        return QLatin1String(names[n]);
    return QString::number(n);
}

// A switch parameter sent as "0"/"1" or as 0/1; -1 for anything else.
int flagOf(quint8 b)
{
    if (b == '0' || b == 0)
        return 0;
    if (b == '1' || b == 1)
        return 1;
    return -1;
}

QString quoted(const QByteArray &bytes)
{
    return QLatin1Char('"') + displayText(bytes) + QLatin1Char('"');
}

// "on", "off" or the byte as it came.
QString switched(const char *what, quint8 n)
{
    const int flag = flagOf(n);
    return QLatin1String(what) + QLatin1Char(' ')
           + (flag == 1 ? QStringLiteral("on") : flag == 0 ? QStringLiteral("off") : hex2(n));
}

// CRC-16/XMODEM by table: the decoder checks every block of a firmware image.
quint16 crc16(const char *data, int size)
{
    static const std::array<quint16, 256> table = [] {
        std::array<quint16, 256> t {};
        for (int i = 0; i < 256; ++i) {
            quint16 c = quint16(i << 8);
            for (int k = 0; k < 8; ++k)
                c = (c & 0x8000) ? quint16((c << 1) ^ 0x1021) : quint16(c << 1);
            t[i] = c;
        }
        return t;
    }();
    quint16 crc = 0;
    for (int i = 0; i < size; ++i)
        crc = quint16((crc << 8) ^ table[((crc >> 8) ^ quint8(data[i])) & 0xFF]);
    return crc;
}

bool blockCheckOk(const QByteArray &p, bool crc)
{
    const char *data = p.constData() + 3;
    if (crc) {
        const quint16 sent = quint16(quint8(p[3 + kXModemData]) << 8 | quint8(p[4 + kXModemData]));
        return crc16(data, kXModemData) == sent;
    }
    quint8 sum = 0;
    for (int i = 0; i < kXModemData; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum == quint8(p[3 + kXModemData]);
}

} // namespace

QString controlName(quint8 b)
{
    switch (b) {
    case 0x08: return QStringLiteral("BS cursor left");
    case 0x09: return QStringLiteral("HT cursor right");
    case 0x0A: return QStringLiteral("LF cursor down");
    case 0x0B: return QStringLiteral("VT cursor home");
    case 0x0C: return QStringLiteral("FF clear screen");
    case 0x0D: return QStringLiteral("CR left end of the line");
    case 0x18: return QStringLiteral("CAN clear line");
    default: return QString();
    }
}

TrafficLabeller::TrafficLabeller(Conversation &conversation)
    : m_conversation(conversation)
{
}

QString TrafficLabeller::label(const Token &token)
{
    return token.direction == Direction::ToDisplay ? hostToken(token) : displayToken(token);
}

QString TrafficLabeller::hostToken(const Token &token)
{
    const QByteArray &b = token.bytes;
    const quint8 first = quint8(b[0]);
    // An ESC ends an XModem transfer; a frame start leads out of the loader.
    if (first == u8(kESC) && m_conversation.mode == Mode::XModem)
        m_conversation.mode = Mode::Loader;
    if (first == u8(kEOT) && m_conversation.mode == Mode::Loader)
        m_conversation.mode = Mode::Display;

    switch (token.kind) {
    case TokenKind::Text: return QStringLiteral("text ") + quoted(b);
    case TokenKind::LampRun: return lampRun(b);
    case TokenKind::Control: return controlName(first);
    case TokenKind::Frame: return frame(b);
    case TokenKind::UnknownFrame: return QStringLiteral("frame with unknown command %1").arg(hex2(quint8(b[2])));
    case TokenKind::FrameWithoutEnd: return QStringLiteral("frame without its end byte");
    case TokenKind::IncompleteFrame: return QStringLiteral("incomplete frame");
    case TokenKind::Escape: return m_conversation.mode == Mode::Display ? escape(b) : loaderEscape(b);
    case TokenKind::Csi: return csi(b);
    case TokenKind::BrokenSequence:
    case TokenKind::IncompleteSequence: return QStringLiteral("incomplete sequence");
    case TokenKind::LoadRequest:
        m_conversation.mode = Mode::Loader;
        m_conversation.expect = Expect::Prompt;
        return QStringLiteral("load request");
    case TokenKind::Us: return us(b);
    case TokenKind::LoaderByte: return loaderByte(first);
    case TokenKind::LoaderLine: return loaderLine(b);
    case TokenKind::LoaderLineCut: return QStringLiteral("loader line ") + quoted(b);
    case TokenKind::Block: return block(b);
    case TokenKind::IncompleteBlock: return QStringLiteral("incomplete block");
    case TokenKind::XModemByte: return xmodemByte(first);
    default: return QStringLiteral("not decoded");
    }
}

QString TrafficLabeller::displayToken(const Token &token)
{
    // Whatever the display sends first answers a "T" frame, message or not.
    if (m_conversation.expect == Expect::Message && token.kind != TokenKind::Message
        && token.kind != TokenKind::MessageCut)
        m_conversation.expect = Expect::Nothing;

    const QByteArray &b = token.bytes;
    switch (token.kind) {
    case TokenKind::ReplyText: return QStringLiteral("text ") + quoted(b);
    case TokenKind::Prompt: return QStringLiteral("prompt");
    case TokenKind::StartRequest: return startRequest(quint8(b[0]));
    case TokenKind::BlockRequest: return QStringLiteral("C");
    case TokenKind::Handshake:
        return b[0] == kACK ? QStringLiteral("ACK") : b[0] == kNAK ? QStringLiteral("NAK") : QStringLiteral("CAN");
    case TokenKind::Version:
    case TokenKind::Message:
    case TokenKind::MessageCut:
    case TokenKind::Identification:
    case TokenKind::ScreenContent: return answer(token);
    default: return QStringLiteral("not decoded");
    }
}

QString TrafficLabeller::lampRun(const QByteArray &bytes) const
{
    if (bytes.size() >= kLampTestMin)
        return QStringLiteral("lamp test %1 x B2").arg(bytes.size());
    return QStringLiteral("text ") + quoted(bytes);
}

// ---- native frames and escape commands ------------------------------------------

QString TrafficLabeller::frame(const QByteArray &p)
{
    const protocol::FrameCommand *command = protocol::frameCommand(quint8(p[2]));
    const quint8 p0 = p.size() > 4 ? quint8(p[3]) : 0;
    const quint8 p1 = p.size() > 5 ? quint8(p[4]) : 0;
    const int v0 = int(p0) - '0';
    const int v1 = int(p1) - '0';
    const QString name = QLatin1String(command->name);
    m_conversation.expect = Expect::Nothing;
    switch (command->letter) {
    case 'B': return name + QStringLiteral(" %1 %2").arg(baudOf(p0), framingOf(p1));
    case 'I': return name + QLatin1Char(' ') + hex2(p0);
    case 'S': return name + QStringLiteral(" layer %1").arg(v0);
    case 'P': return name + QStringLiteral(" %1").arg(v0);
    case 'C': return name + QStringLiteral(" %1..%2").arg(v0).arg(v1);
    case 'O':
        return name + QLatin1Char(' ')
               + (v0 == 0 ? QStringLiteral("Stay") : v0 == 1 ? QStringLiteral("Running") : QString::number(v0));
    case 'D': {
        // Both lists are sent from "1": the layer list's rows name the layers.
        static const char *const layers[] = {"Layer 1", "Layer 2", "Layer 3", "Layer 1 + 2",
                                             "Layer 1 + 3", "Layer 2 + 3", "Layer 1 + 2 + 3"};
        const int row = int(p0) - '1';
        const QString layer = row >= 0 && row < 7 ? QLatin1String(layers[row]) : QStringLiteral("layer %1").arg(v0);
        return name + QStringLiteral(" %1, Mode %2").arg(layer).arg(v1);
    }
    case 'T': m_conversation.expect = Expect::Message; return name;
    case 'V': m_conversation.expect = Expect::Version; return name;
    default: return name;
    }
}

QString TrafficLabeller::escape(const QByteArray &p)
{
    const quint8 letter = quint8(p[1]);
    const quint8 n = p.size() > 2 ? quint8(p[2]) : 0;
    switch (letter) {
    case 'Z': {
        const int set = flagOf(n);
        QString m = set == 1 ? QStringLiteral("SwitchCommand EPSON")
                    : set == 0 ? QStringLiteral("SwitchCommand PRYX")
                               : QStringLiteral("SwitchCommand %1").arg(hex2(n));
        if (p.size() < 4)
            m += QStringLiteral(" (no closing 00)");
        return m;
    }
    case 'G': return QStringLiteral("PrinterOn");
    case 'S': return QStringLiteral("PrinterOff");
    case '@': return QStringLiteral("initialize");
    case 'T':
        m_conversation.expect = Expect::Screen;
        return QStringLiteral("screen content request");
    case 'R': return QStringLiteral("national set %1").arg(nationalName(n >= '0' && n <= '9' ? n - '0' : n));
    case 't': return QStringLiteral("Expand %1").arg(n);
    case '=': {
        static const char *const devices[] = {"aux-device", "display", "both"};
        return n >= 1 && n <= 3 ? QStringLiteral("peripheral %1").arg(QLatin1String(devices[n - 1]))
                                : QStringLiteral("peripheral %1").arg(hex2(n));
    }
    case 'B': {
        const int level = n >= '0' ? n - '0' : n;
        return level >= 0 && level <= 3 ? QStringLiteral("brightness %1%").arg(100 - 25 * level)
                                        : QStringLiteral("brightness %1").arg(hex2(n));
    }
    default: return QStringLiteral("ESC ") + displayText(p.mid(1));
    }
}

QString TrafficLabeller::loaderEscape(const QByteArray &p)
{
    if (p[1] != 'R')
        return QStringLiteral("ESC ") + displayText(p.mid(1));
    if (p.size() < 3)
        return QStringLiteral("ESC R");
    m_conversation.mode = Mode::Display;
    m_conversation.expect = Expect::Nothing;
    return QStringLiteral("loader exit");
}

QString TrafficLabeller::csi(const QByteArray &p)
{
    const QByteArray params = p.mid(2, p.size() - 3);
    const QString seq = QStringLiteral("ESC [") + QString::fromLatin1(p.mid(2));
    auto num = [](const QByteArray &text, int fallback) {
        bool ok = false;
        const int v = text.toInt(&ok);
        return ok ? v : fallback;
    };
    const int n = num(params, 0);
    QString what;
    switch (p.back()) {
    case 'H':
    case 'f':
        if (params.isEmpty()) {
            what = QStringLiteral("cursor home");
        } else {
            const QList<QByteArray> parts = params.split(';');
            what = QStringLiteral("cursor to row %1 column %2").arg(num(parts.value(0), 1)).arg(num(parts.value(1), 1));
        }
        break;
    case 'J':
        what = n == 2 ? QStringLiteral("clear screen") : n == 1 ? QStringLiteral("clear to start of screen")
                                                                : QStringLiteral("clear to end of screen");
        break;
    case 'K':
        what = n == 2 ? QStringLiteral("clear line") : n == 1 ? QStringLiteral("clear to start of line")
                                                              : QStringLiteral("clear to end of line");
        break;
    case 'A': what = QStringLiteral("cursor up %1").arg(num(params, 1)); break;
    case 'B': what = QStringLiteral("cursor down %1").arg(num(params, 1)); break;
    case 'C': what = QStringLiteral("cursor right %1").arg(num(params, 1)); break;
    case 'D': what = QStringLiteral("cursor left %1").arg(num(params, 1)); break;
    case 'c':
        what = QStringLiteral("identification request");
        m_conversation.expect = Expect::Identification;
        break;
    default:
        break;
    }
    return what.isEmpty() ? seq : seq + QLatin1Char(' ') + what;
}

QString TrafficLabeller::us(const QByteArray &p) const
{
    const quint8 letter = quint8(p[1]);
    const quint8 n = p.size() > 2 ? quint8(p[2]) : 0;
    const quint8 n2 = p.size() > 3 ? quint8(p[3]) : 0;
    switch (letter) {
    case kLF: return QStringLiteral("cursor up");
    case 'B': return QStringLiteral("cursor to bottom position");
    case kCR: return QStringLiteral("cursor to right end of the line");
    case 0x01: return QStringLiteral("over-write mode");
    case 0x02: return QStringLiteral("vertical-scroll mode");
    case 0x03: return QStringLiteral("horizontal-scroll mode");
    case '@': return QStringLiteral("self-test");
    case 'C': return switched("cursor", n);
    case 'r': return switched("reverse", n);
    case 'E': return QStringLiteral("blink %1").arg(n);
    case '$': return QStringLiteral("position row %1 column %2").arg(n2).arg(n);
    default: return QStringLiteral("US ") + displayText(p.mid(1));
    }
}

// ---- the loader and XModem --------------------------------------------------------

QString TrafficLabeller::loaderByte(quint8 b)
{
    if (b != '1')
        return QStringLiteral("LF");
    m_conversation.expect = Expect::Prompt;
    return QStringLiteral("repeat request");
}

QString TrafficLabeller::loaderLine(QByteArray line)
{
    while (line.endsWith(char(kLF)) || line.endsWith(char(kCR)))
        line.chop(1);
    if (line == "XA") {
        m_conversation.expect = Expect::Prompt;
        return QStringLiteral("XModem request");
    }
    if (line == "PX" || line == "ZX") {
        m_conversation.mode = Mode::XModem;
        m_conversation.expect = Expect::XStart;
        m_blockSeen = false;
        return line == "PX" ? QStringLiteral("code type PX (encrypted)") : QStringLiteral("code type ZX (not encrypted)");
    }
    return QStringLiteral("loader line ") + quoted(line);
}

QString TrafficLabeller::xmodemByte(quint8 b)
{
    if (b == u8(kEOT)) {
        m_conversation.mode = Mode::Loader;
        m_conversation.expect = Expect::XAnswer;
        return QStringLiteral("EOT");
    }
    return b == u8(kCAN) ? QStringLiteral("CAN") : QStringLiteral("not decoded");
}

QString TrafficLabeller::block(const QByteArray &p)
{
    const quint8 wire = quint8(p[1]);
    const bool complementOk = quint8(p[2]) == quint8(255 - wire);
    const bool checkOk = blockCheckOk(p, m_conversation.crc);

    // Block numbers go round at 256; counted on, block 257 is shown as 257.
    const bool repeat = m_blockSeen && wire == m_lastBlockWire;
    if (!m_blockSeen)
        m_lastBlockNumber = wire;
    else if (!repeat)
        m_lastBlockNumber += quint8(wire - m_lastBlockWire);
    m_blockSeen = true;
    m_lastBlockWire = wire;
    m_conversation.expect = Expect::XAnswer;

    const QString check = m_conversation.crc ? QStringLiteral("CRC") : QStringLiteral("checksum");
    QString m = QStringLiteral("block %1").arg(m_lastBlockNumber);
    if (repeat)
        m += QStringLiteral(" repeated");
    if (!complementOk)
        m += QStringLiteral(" bad number complement");
    m += checkOk ? QStringLiteral(" (%1 ok)").arg(check) : QStringLiteral(" bad %1").arg(check);
    return m;
}

QString TrafficLabeller::startRequest(quint8 b)
{
    m_conversation.crc = b == kCrcRequest;
    return m_conversation.crc ? QStringLiteral("start request C (CRC)") : QStringLiteral("start request NAK (checksum)");
}

// ---- answers ----------------------------------------------------------------------

QString TrafficLabeller::answer(const Token &token)
{
    const QByteArray &b = token.bytes;
    m_conversation.expect = Expect::Nothing;
    switch (token.kind) {
    case TokenKind::Version:
        return b.size() >= 4 ? QStringLiteral("version ") + quoted(b) : QStringLiteral("version answer too short ") + quoted(b);
    case TokenKind::Message: return QStringLiteral("message ") + quoted(b.mid(1, b.size() - 2));
    case TokenKind::MessageCut: return QStringLiteral("message answer without its end ") + quoted(b.mid(1));
    case TokenKind::Identification: return QStringLiteral("identification ") + quoted(b);
    default: return QStringLiteral("screen content ") + quoted(b);
    }
}

} // namespace monitor

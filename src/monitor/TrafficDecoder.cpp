#include "TrafficDecoder.h"

#include "ControlBytes.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace monitor {

namespace {

constexpr quint8 kUS = 0x1F; // EPSON-style command prefix
constexpr quint8 kCR = 0x0D;
constexpr quint8 kLF = 0x0A;
constexpr quint8 kLampCode = 0xB2; // the character that lights every dot
constexpr quint8 kPrompt = '>';     // the loader's prompt
constexpr quint8 kCrcRequest = 'C';
constexpr int kXModemData = 128;
constexpr int kMaxCsi = 16;
constexpr int kMaxIdentification = 64;
constexpr int kMaxLoaderLine = 32;
constexpr char kLoad[] = "\x1bLoad";

constexpr quint8 u8(char c)
{
    return quint8(c);
}

bool isText(quint8 b)
{
    return (b >= 0x20 && b < 0x7F) || b >= 0x80;
}

// The cursor and clear controls the native and EPSON sets share (BS, LF, CR
// are also the VT100 ones).
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

// Parameter bytes of a native frame letter, -1 for a letter the display does not know.
int frameParameters(quint8 letter)
{
    switch (letter) {
    case 'B': case 'C': case 'D': return 2;
    case 'I': case 'S': case 'P': case 'O': return 1;
    case 'T': case 'V': return 0;
    default: return -1;
    }
}

QString baudOf(quint8 code)
{
    // "6" stands for both 300 and 38400; the utility offers 38400.
    static const char *const rates[] = {"19200", "9600", "4800", "2400", "1200", "600", "38400", "115200"};
    if (code >= '0' && code <= '7')
        return QLatin1String(rates[code - '0']);
    return QStringLiteral("code %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString framingOf(quint8 code)
{
    switch (code) {
    case 'N': return QStringLiteral("N,8,1");
    case 'O': return QStringLiteral("O,7,1");
    case 'E': return QStringLiteral("E,7,1");
    case 'o': return QStringLiteral("O,8,1");
    case 'e': return QStringLiteral("E,8,1");
    default: return QStringLiteral("framing %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    }
}

QString hex2(quint8 b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
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

} // namespace

QChar displayChar(quint8 code)
{
    // The display's upper half is code page 437.
    static const std::array<QChar, 128> high = [] {
        std::array<QChar, 128> t {};
        QByteArray codes(128, '\0');
        for (int i = 0; i < 128; ++i)
            codes[i] = char(0x80 + i);
        QStringDecoder decoder("IBM437");
        const QString s = decoder.isValid() ? decoder(codes) : QString();
        for (int i = 0; i < 128; ++i)
            t[i] = s.size() == 128 ? s[i] : QChar(0x80 + i);
        return t;
    }();
    return code >= 0x80 ? high[code - 0x80] : QChar(code);
}

QString displayText(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (isText(b))
            out += displayChar(b);
        else
            out += QStringLiteral("\\x") + hex2(b);
    }
    return out;
}

TrafficDecoder::TrafficDecoder()
{
    displayChar(0x80); // builds the table before the first event is timed
}

std::vector<TrafficEvent> TrafficDecoder::take()
{
    std::vector<TrafficEvent> out;
    out.swap(m_events);
    return out;
}

void TrafficDecoder::feed(Direction direction, qint64 timeUs, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    expire(timeUs);
    if (direction == Direction::ToDisplay) {
        // The host speaks: whatever the display said before is complete.
        closeIn();
        for (int i = 0; i < bytes.size();) {
            if (m_out == OutState::Block) {
                // Most of a firmware update: take the rest of the block at once.
                const int n = std::min(int(blockLength() - m_outP.bytes.size()), int(bytes.size() - i));
                m_outP.bytes.append(bytes.constData() + i, n);
                m_outP.lastUs = timeUs;
                i += n;
                if (m_outP.bytes.size() >= blockLength())
                    blockDone();
                continue;
            }
            outByte(quint8(bytes[i++]), timeUs);
        }
    } else {
        closeOut(false);
        for (const char c : bytes)
            inByte(quint8(c), timeUs);
    }
}

void TrafficDecoder::portEvent(qint64 timeUs, const QString &text)
{
    finish();
    m_events.push_back(TrafficEvent {timeUs, Direction::Port, QByteArray(), text});
}

void TrafficDecoder::expire(qint64 nowUs)
{
    if (m_out != OutState::Idle) {
        const qint64 quiet = nowUs - m_outP.lastUs;
        if (quiet > kStaleGapUs)
            closeOut(true);
        else if (quiet > kRunGapUs)
            closeOut(false);
    }
    if (m_in != InState::Idle && nowUs - m_inP.lastUs > kRunGapUs)
        closeIn();
}

void TrafficDecoder::finish()
{
    closeOut(true);
    closeIn();
}

// ---- shared helpers ---------------------------------------------------------

void TrafficDecoder::startOut(OutState s, quint8 b, qint64 t)
{
    m_out = s;
    m_outP.bytes = QByteArray(1, char(b));
    m_outP.timeUs = t;
    m_outP.lastUs = t;
}

void TrafficDecoder::startIn(InState s, quint8 b, qint64 t)
{
    m_in = s;
    m_inP.bytes = QByteArray(1, char(b));
    m_inP.timeUs = t;
    m_inP.lastUs = t;
}

void TrafficDecoder::emitOut(const QString &meaning)
{
    m_events.push_back(TrafficEvent {m_outP.timeUs, Direction::ToDisplay, m_outP.bytes, meaning});
    m_outP.bytes.clear();
    m_out = OutState::Idle;
}

void TrafficDecoder::emitIn(const QString &meaning)
{
    m_events.push_back(TrafficEvent {m_inP.timeUs, Direction::FromDisplay, m_inP.bytes, meaning});
    m_inP.bytes.clear();
    m_in = InState::Idle;
}

void TrafficDecoder::emitSingle(Direction d, quint8 b, qint64 t, const QString &meaning)
{
    m_events.push_back(TrafficEvent {t, d, QByteArray(1, char(b)), meaning});
}

bool TrafficDecoder::outIsRun() const
{
    switch (m_out) {
    case OutState::Text:
    case OutState::LampTest:
    case OutState::Unknown:
    case OutState::LoaderLineEnd:
        return true;
    default:
        return false;
    }
}

void TrafficDecoder::closeOut(bool force)
{
    switch (m_out) {
    case OutState::Idle:
        return;
    case OutState::Text:
        emitOut(QStringLiteral("text ") + quoted(m_outP.bytes));
        return;
    case OutState::LampTest:
        if (m_outP.bytes.size() >= kLampTestMin)
            emitOut(QStringLiteral("lamp test %1 x B2").arg(m_outP.bytes.size()));
        else
            emitOut(QStringLiteral("text ") + quoted(m_outP.bytes));
        return;
    case OutState::Unknown:
        emitOut(QStringLiteral("not decoded"));
        return;
    case OutState::LoaderLineEnd:
        loaderLineDone();
        return;
    default:
        break;
    }
    if (!force)
        return;
    switch (m_out) {
    case OutState::Frame: emitOut(QStringLiteral("incomplete frame")); return;
    case OutState::Block: emitOut(QStringLiteral("incomplete block")); return;
    case OutState::LoaderLine: emitOut(QStringLiteral("loader line ") + quoted(m_outP.bytes)); return;
    default: emitOut(QStringLiteral("incomplete sequence")); return;
    }
}

void TrafficDecoder::closeIn()
{
    // Nothing the display sends is split by the host's turn: every pending
    // answer is complete (or cut short) once it is closed.
    const QByteArray &b = m_inP.bytes;
    switch (m_in) {
    case InState::Idle:
        return;
    case InState::Text:
        emitIn(QStringLiteral("text ") + quoted(b));
        return;
    case InState::Unknown:
        emitIn(QStringLiteral("not decoded"));
        return;
    case InState::Version:
        m_expect = Expect::Nothing;
        emitIn(b.size() >= 4 ? QStringLiteral("version ") + quoted(b)
                             : QStringLiteral("version answer too short ") + quoted(b));
        return;
    case InState::Message:
        m_expect = Expect::Nothing;
        emitIn(QStringLiteral("message answer without its end ") + quoted(b.mid(1)));
        return;
    case InState::Identification:
        m_expect = Expect::Nothing;
        emitIn(QStringLiteral("identification ") + quoted(b));
        return;
    case InState::Screen:
        m_expect = Expect::Nothing;
        emitIn(QStringLiteral("screen content ") + quoted(b));
        return;
    }
}

// ---- host to display ----------------------------------------------------------

void TrafficDecoder::outByte(quint8 b, qint64 t)
{
    QByteArray &p = m_outP.bytes;
    if (m_out != OutState::Idle)
        m_outP.lastUs = t;

    switch (m_out) {
    case OutState::Idle:
        break;

    case OutState::Text:
        if (isText(b) && b != kLampCode && p.size() < kMaxRun) {
            p.append(char(b));
            return;
        }
        closeOut(false);
        outByte(b, t);
        return;

    case OutState::LampTest:
        if (b == kLampCode && p.size() < 64 * kMaxRun) {
            p.append(char(b));
            return;
        }
        closeOut(false);
        outByte(b, t);
        return;

    case OutState::Unknown:
        if (p.size() < kMaxRun && !isText(b) && controlName(b).isEmpty()
            && b != u8(kEOT) && b != u8(kESC) && b != kUS) {
            p.append(char(b));
            return;
        }
        closeOut(false);
        outByte(b, t);
        return;

    case OutState::Frame:
        if (p.size() == 1) {
            if (b == u8(kSOH)) {
                p.append(char(b));
                return;
            }
            emitOut(QStringLiteral("not decoded"));
            outByte(b, t);
            return;
        }
        if (p.size() == 2) {
            p.append(char(b));
            m_outNeed = frameParameters(b);
            return;
        }
        if (m_outNeed < 0) {
            // A letter the display does not know: its frame runs to the end byte.
            p.append(char(b));
            if (b == u8(kETB) || p.size() >= 6)
                emitOut(QStringLiteral("frame with unknown command %1").arg(hex2(quint8(p[2]))));
            return;
        }
        if (m_outNeed > 0) {
            p.append(char(b));
            --m_outNeed;
            return;
        }
        if (b == u8(kETB)) {
            p.append(char(b));
            frameDone();
            return;
        }
        emitOut(QStringLiteral("frame without its end byte"));
        outByte(b, t);
        return;

    case OutState::Esc:
        p.append(char(b));
        if (m_mode == Mode::Loader) {
            if (b == 'R') {
                m_out = OutState::EscParam;
                m_outNeed = 1;
            } else if (b == 'L') {
                m_out = OutState::Load;
            } else {
                emitOut(QStringLiteral("ESC ") + displayText(QByteArray(1, char(b))));
            }
            return;
        }
        switch (b) {
        case 'Z':
            m_out = OutState::EscParam;
            m_outNeed = 2;
            return;
        case 'R': case 't': case '=': case 'B':
            m_out = OutState::EscParam;
            m_outNeed = 1;
            return;
        case '[':
            m_out = OutState::Csi;
            return;
        case 'L':
            m_out = OutState::Load;
            return;
        default:
            escapeDone();
            return;
        }

    case OutState::EscParam: {
        const quint8 letter = quint8(p[1]);
        if (m_mode == Mode::Loader && letter == 'R' && b != kCR) {
            emitOut(QStringLiteral("ESC R"));
            outByte(b, t);
            return;
        }
        // ESC Z n is closed by 00; anything else there starts something new.
        if (letter == 'Z' && m_outNeed == 1 && b != 0) {
            escapeDone();
            outByte(b, t);
            return;
        }
        p.append(char(b));
        if (--m_outNeed == 0)
            escapeDone();
        return;
    }

    case OutState::Csi:
        if (b >= 0x40 && b <= 0x7E) {
            p.append(char(b));
            csiDone();
            return;
        }
        if (b >= 0x20 && b < 0x40 && p.size() < kMaxCsi) {
            p.append(char(b));
            return;
        }
        emitOut(QStringLiteral("incomplete sequence"));
        outByte(b, t);
        return;

    case OutState::Load:
        if (b == u8(kLoad[p.size()])) {
            p.append(char(b));
            if (p.size() == 5) {
                m_mode = Mode::Loader;
                m_expect = Expect::Prompt;
                emitOut(QStringLiteral("load request"));
            }
            return;
        }
        emitOut(QStringLiteral("not decoded"));
        outByte(b, t);
        return;

    case OutState::Us:
        p.append(char(b));
        switch (b) {
        case 'C': case 'r': case 'E':
            m_out = OutState::UsParam;
            m_outNeed = 1;
            return;
        case '$':
            m_out = OutState::UsParam;
            m_outNeed = 2;
            return;
        default:
            usDone();
            return;
        }

    case OutState::UsParam:
        p.append(char(b));
        if (--m_outNeed == 0)
            usDone();
        return;

    case OutState::LoaderLine:
        p.append(char(b));
        if (b == kCR)
            m_out = OutState::LoaderLineEnd;
        else if (p.size() >= kMaxLoaderLine)
            emitOut(QStringLiteral("loader line ") + quoted(p));
        return;

    case OutState::LoaderLineEnd:
        if (b == kLF) {
            p.append(char(b));
            loaderLineDone();
            return;
        }
        loaderLineDone();
        outByte(b, t);
        return;

    case OutState::Block:
        p.append(char(b));
        if (p.size() >= blockLength())
            blockDone();
        return;
    }

    // Idle: the first byte of something new.
    switch (m_mode) {
    case Mode::XModem:
        if (b == u8(kSOH)) {
            startOut(OutState::Block, b, t);
        } else if (b == u8(kEOT)) {
            m_mode = Mode::Loader;
            m_expect = Expect::XAnswer;
            emitSingle(Direction::ToDisplay, b, t, QStringLiteral("EOT"));
        } else if (b == u8(kCAN)) {
            emitSingle(Direction::ToDisplay, b, t, QStringLiteral("CAN"));
        } else if (b == u8(kESC)) {
            m_mode = Mode::Loader;
            outByte(b, t);
        } else {
            emitSingle(Direction::ToDisplay, b, t, QStringLiteral("not decoded"));
        }
        return;

    case Mode::Loader:
        if (b == u8(kESC)) {
            startOut(OutState::Esc, b, t);
        } else if (b == '1') {
            m_expect = Expect::Prompt;
            emitSingle(Direction::ToDisplay, b, t, QStringLiteral("repeat request"));
        } else if (b == u8(kEOT)) {
            // A native frame: the display is out of its loader.
            m_mode = Mode::Display;
            outByte(b, t);
        } else if (b == kLF) {
            emitSingle(Direction::ToDisplay, b, t, QStringLiteral("LF"));
        } else {
            startOut(b == kCR ? OutState::LoaderLineEnd : OutState::LoaderLine, b, t);
        }
        return;

    case Mode::Display:
        break;
    }

    if (b == u8(kEOT)) {
        startOut(OutState::Frame, b, t);
    } else if (b == u8(kESC)) {
        startOut(OutState::Esc, b, t);
    } else if (b == kUS) {
        startOut(OutState::Us, b, t);
    } else if (b == kLampCode) {
        startOut(OutState::LampTest, b, t);
    } else if (const QString name = controlName(b); !name.isEmpty()) {
        emitSingle(Direction::ToDisplay, b, t, name);
    } else if (isText(b)) {
        startOut(OutState::Text, b, t);
    } else {
        startOut(OutState::Unknown, b, t);
    }
}

void TrafficDecoder::frameDone()
{
    const QByteArray &p = m_outP.bytes;
    const quint8 letter = quint8(p[2]);
    const quint8 p0 = p.size() > 4 ? quint8(p[3]) : 0;
    const quint8 p1 = p.size() > 5 ? quint8(p[4]) : 0;
    const int v0 = int(p0) - '0';
    const int v1 = int(p1) - '0';
    m_expect = Expect::Nothing;
    QString m;
    switch (letter) {
    case 'B':
        m = QStringLiteral("SetBaudRate %1 %2").arg(baudOf(p0), framingOf(p1));
        break;
    case 'I':
        m = QStringLiteral("SetInternationalCode %1").arg(hex2(p0));
        break;
    case 'S':
        m = QStringLiteral("SaveMessage layer %1").arg(v0);
        break;
    case 'P':
        m = QStringLiteral("SetPosition %1").arg(v0);
        break;
    case 'C':
        m = QStringLiteral("ClearDisplay %1..%2").arg(v0).arg(v1);
        break;
    case 'O':
        m = QStringLiteral("DisplayShowSavedMessageAfterRebootMode %1")
                .arg(v0 == 0 ? QStringLiteral("Stay") : v0 == 1 ? QStringLiteral("Running") : QString::number(v0));
        break;
    case 'D': {
        // Both lists are sent from "1": the layer list's rows name the layers.
        static const char *const layers[] = {"Layer 1", "Layer 2", "Layer 3", "Layer 1 + 2",
                                             "Layer 1 + 3", "Layer 2 + 3", "Layer 1 + 2 + 3"};
        const int row = int(p0) - '1';
        const QString layer = row >= 0 && row < 7 ? QLatin1String(layers[row]) : QStringLiteral("layer %1").arg(v0);
        m = QStringLiteral("DisplayDemoMessage %1, Mode %2").arg(layer).arg(v1);
        break;
    }
    case 'T':
        m = QStringLiteral("GetMessage");
        m_expect = Expect::Message;
        break;
    case 'V':
        m = QStringLiteral("GetVersion");
        m_expect = Expect::Version;
        break;
    }
    emitOut(m);
}

void TrafficDecoder::escapeDone()
{
    const QByteArray &p = m_outP.bytes;
    const quint8 letter = quint8(p[1]);
    const bool hasParam = p.size() > 2;
    const quint8 n = hasParam ? quint8(p[2]) : 0;
    QString m;
    switch (letter) {
    case 'Z': {
        const int set = flagOf(n);
        m = set == 1 ? QStringLiteral("SwitchCommand EPSON")
            : set == 0 ? QStringLiteral("SwitchCommand PRYX")
                       : QStringLiteral("SwitchCommand %1").arg(hex2(n));
        if (p.size() < 4)
            m += QStringLiteral(" (no closing 00)");
        break;
    }
    case 'G': m = QStringLiteral("PrinterOn"); break;
    case 'S': m = QStringLiteral("PrinterOff"); break;
    case '@': m = QStringLiteral("initialize"); break;
    case 'T':
        m = QStringLiteral("screen content request");
        m_expect = Expect::Screen;
        break;
    case 'R':
        if (m_mode == Mode::Loader) {
            m = QStringLiteral("loader exit");
            m_mode = Mode::Display;
            m_expect = Expect::Nothing;
        } else {
            m = QStringLiteral("national set %1").arg(nationalName(n >= '0' && n <= '9' ? n - '0' : n));
        }
        break;
    case 't': m = QStringLiteral("Expand %1").arg(n); break;
    case '=': {
        static const char *const devices[] = {"aux-device", "display", "both"};
        m = n >= 1 && n <= 3 ? QStringLiteral("peripheral %1").arg(QLatin1String(devices[n - 1]))
                             : QStringLiteral("peripheral %1").arg(hex2(n));
        break;
    }
    case 'B': {
        const int level = n >= '0' ? n - '0' : n;
        m = level >= 0 && level <= 3 ? QStringLiteral("brightness %1%").arg(100 - 25 * level)
                                     : QStringLiteral("brightness %1").arg(hex2(n));
        break;
    }
    default:
        m = QStringLiteral("ESC ") + displayText(p.mid(1));
        break;
    }
    emitOut(m);
}

void TrafficDecoder::csiDone()
{
    const QByteArray &p = m_outP.bytes;
    const QByteArray params = p.mid(2, p.size() - 3);
    const char final = p.back();
    const QString seq = QStringLiteral("ESC [") + QString::fromLatin1(p.mid(2));
    auto num = [](const QByteArray &text, int fallback) {
        bool ok = false;
        const int v = text.toInt(&ok);
        return ok ? v : fallback;
    };
    QString what;
    switch (final) {
    case 'H':
    case 'f':
        if (params.isEmpty()) {
            what = QStringLiteral("cursor home");
        } else {
            const QList<QByteArray> parts = params.split(';');
            what = QStringLiteral("cursor to row %1 column %2")
                       .arg(num(parts.value(0), 1))
                       .arg(num(parts.value(1), 1));
        }
        break;
    case 'J': {
        const int n = num(params, 0);
        what = n == 2 ? QStringLiteral("clear screen") : n == 1 ? QStringLiteral("clear to start of screen")
                                                                : QStringLiteral("clear to end of screen");
        break;
    }
    case 'K': {
        const int n = num(params, 0);
        what = n == 2 ? QStringLiteral("clear line") : n == 1 ? QStringLiteral("clear to start of line")
                                                              : QStringLiteral("clear to end of line");
        break;
    }
    case 'A': what = QStringLiteral("cursor up %1").arg(num(params, 1)); break;
    case 'B': what = QStringLiteral("cursor down %1").arg(num(params, 1)); break;
    case 'C': what = QStringLiteral("cursor right %1").arg(num(params, 1)); break;
    case 'D': what = QStringLiteral("cursor left %1").arg(num(params, 1)); break;
    case 'c':
        what = QStringLiteral("identification request");
        m_expect = Expect::Identification;
        break;
    default:
        break;
    }
    emitOut(what.isEmpty() ? seq : seq + QLatin1Char(' ') + what);
}

void TrafficDecoder::usDone()
{
    const QByteArray &p = m_outP.bytes;
    const quint8 letter = quint8(p[1]);
    const quint8 n = p.size() > 2 ? quint8(p[2]) : 0;
    const quint8 n2 = p.size() > 3 ? quint8(p[3]) : 0;
    QString m;
    switch (letter) {
    case kLF: m = QStringLiteral("cursor up"); break;
    case 'B': m = QStringLiteral("cursor to bottom position"); break;
    case kCR: m = QStringLiteral("cursor to right end of the line"); break;
    case 0x01: m = QStringLiteral("over-write mode"); break;
    case 0x02: m = QStringLiteral("vertical-scroll mode"); break;
    case 0x03: m = QStringLiteral("horizontal-scroll mode"); break;
    case '@': m = QStringLiteral("self-test"); break;
    case 'C':
        m = flagOf(n) == 1 ? QStringLiteral("cursor on") : flagOf(n) == 0 ? QStringLiteral("cursor off")
                                                                          : QStringLiteral("cursor %1").arg(hex2(n));
        break;
    case 'r':
        m = flagOf(n) == 1 ? QStringLiteral("reverse on") : flagOf(n) == 0 ? QStringLiteral("reverse off")
                                                                           : QStringLiteral("reverse %1").arg(hex2(n));
        break;
    case 'E': m = QStringLiteral("blink %1").arg(n); break;
    case '$': m = QStringLiteral("position row %1 column %2").arg(n2).arg(n); break;
    default: m = QStringLiteral("US ") + displayText(p.mid(1)); break;
    }
    emitOut(m);
}

void TrafficDecoder::loaderLineDone()
{
    QByteArray line = m_outP.bytes;
    while (line.endsWith(char(kLF)) || line.endsWith(char(kCR)))
        line.chop(1);
    if (line == "XA") {
        m_expect = Expect::Prompt;
        emitOut(QStringLiteral("XModem request"));
    } else if (line == "PX" || line == "ZX") {
        m_mode = Mode::XModem;
        m_expect = Expect::XStart;
        m_blockSeen = false;
        emitOut(line == "PX" ? QStringLiteral("code type PX (encrypted)") : QStringLiteral("code type ZX (not encrypted)"));
    } else {
        emitOut(QStringLiteral("loader line ") + quoted(line));
    }
}

void TrafficDecoder::blockDone()
{
    const QByteArray &p = m_outP.bytes;
    const quint8 wire = quint8(p[1]);
    const bool complementOk = quint8(p[2]) == quint8(255 - wire);
    const char *data = p.constData() + 3;
    bool checkOk;
    if (m_crc) {
        const quint16 sent = quint16(quint8(p[3 + kXModemData]) << 8 | quint8(p[4 + kXModemData]));
        checkOk = crc16(data, kXModemData) == sent;
    } else {
        quint8 sum = 0;
        for (int i = 0; i < kXModemData; ++i)
            sum = quint8(sum + quint8(data[i]));
        checkOk = sum == quint8(p[3 + kXModemData]);
    }

    // Block numbers go round at 256; counted on, block 257 is shown as 257.
    const bool repeat = m_blockSeen && wire == m_lastBlockWire;
    if (!m_blockSeen)
        m_lastBlockNumber = wire;
    else if (!repeat)
        m_lastBlockNumber += quint8(wire - m_lastBlockWire);
    m_blockSeen = true;
    m_lastBlockWire = wire;
    m_expect = Expect::XAnswer;

    const QString check = m_crc ? QStringLiteral("CRC") : QStringLiteral("checksum");
    QString m = QStringLiteral("block %1").arg(m_lastBlockNumber);
    if (repeat)
        m += QStringLiteral(" repeated");
    if (!complementOk)
        m += QStringLiteral(" bad number complement");
    m += checkOk ? QStringLiteral(" (%1 ok)").arg(check) : QStringLiteral(" bad %1").arg(check);
    emitOut(m);
}

// ---- display to host ----------------------------------------------------------

void TrafficDecoder::inByte(quint8 b, qint64 t)
{
    QByteArray &p = m_inP.bytes;
    if (m_in != InState::Idle)
        m_inP.lastUs = t;

    switch (m_in) {
    case InState::Idle:
        break;
    case InState::Text:
        if (isText(b) && p.size() < kMaxRun && !(b == kPrompt && m_expect == Expect::Prompt)) {
            p.append(char(b));
            return;
        }
        closeIn();
        inByte(b, t);
        return;
    case InState::Unknown:
        if (!isText(b) && b != u8(kACK) && b != u8(kNAK) && b != u8(kCAN) && p.size() < kMaxRun) {
            p.append(char(b));
            return;
        }
        closeIn();
        inByte(b, t);
        return;
    case InState::Version:
    case InState::Screen:
        if (p.size() >= (m_in == InState::Screen ? kScreenCells : kMaxRun)) {
            closeIn();
            inByte(b, t);
            return;
        }
        p.append(char(b));
        return;
    case InState::Message:
        p.append(char(b));
        if (b == u8(kETB)) {
            m_expect = Expect::Nothing;
            emitIn(QStringLiteral("message ") + quoted(p.mid(1, p.size() - 2)));
        } else if (p.size() >= kMaxRun) {
            closeIn();
        }
        return;
    case InState::Identification:
        p.append(char(b));
        if (b == 'c' || p.size() >= kMaxIdentification)
            closeIn();
        return;
    }

    // Idle: read by what the host asked for.
    switch (m_expect) {
    case Expect::Version:
        startIn(InState::Version, b, t);
        return;
    case Expect::Message:
        if (b == u8(kSOH)) {
            startIn(InState::Message, b, t);
            return;
        }
        m_expect = Expect::Nothing;
        break;
    case Expect::Identification:
        startIn(InState::Identification, b, t);
        return;
    case Expect::Screen:
        startIn(InState::Screen, b, t);
        return;
    case Expect::Prompt:
        if (b == kPrompt) {
            emitSingle(Direction::FromDisplay, b, t, QStringLiteral("prompt"));
            return;
        }
        break;
    case Expect::XStart:
        if (b == kCrcRequest) {
            m_crc = true;
            emitSingle(Direction::FromDisplay, b, t, QStringLiteral("start request C (CRC)"));
            return;
        }
        if (b == u8(kNAK)) {
            m_crc = false;
            emitSingle(Direction::FromDisplay, b, t, QStringLiteral("start request NAK (checksum)"));
            return;
        }
        break;
    case Expect::XAnswer:
        if (b == kCrcRequest) {
            emitSingle(Direction::FromDisplay, b, t, QStringLiteral("C"));
            return;
        }
        break;
    case Expect::Nothing:
        break;
    }

    if (b == u8(kACK))
        emitSingle(Direction::FromDisplay, b, t, QStringLiteral("ACK"));
    else if (b == u8(kNAK))
        emitSingle(Direction::FromDisplay, b, t, QStringLiteral("NAK"));
    else if (b == u8(kCAN))
        emitSingle(Direction::FromDisplay, b, t, QStringLiteral("CAN"));
    else if (isText(b))
        startIn(InState::Text, b, t);
    else
        startIn(InState::Unknown, b, t);
}

} // namespace monitor

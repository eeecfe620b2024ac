#include "Epson.h"

#include "CKDX.h"
#include "ControlBytes.h"

namespace Epson {

namespace {

constexpr char kUS = 0x1F;

QByteArray seq(std::initializer_list<char> values)
{
    return QByteArray(values.begin(), qsizetype(values.size()));
}

// Control bytes below 0x80 pass the driver's text conversion unchanged, so a
// sequence goes out as text and arrives as these bytes.
QString asText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

qint32 sendBytes(CKDX &kdx, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return kdx::InvalidParameter;
    return kdx.SendMessage(asText(bytes));
}

// The sequences whose last byte may be any value: the head goes as text and
// the parameter as a raw byte.
qint32 sendWithByte(CKDX &kdx, const QByteArray &head, int n)
{
    if (n < 0 || n > 255)
        return kdx::InvalidParameter;
    return kdx.SendMessageStringAndByte(asText(head), quint8(n));
}

bool inRange(int value, int min, int max)
{
    return value >= min && value <= max;
}

} // namespace

QByteArray bytes(Command command)
{
    switch (command) {
    case Command::CursorUp: return seq({kUS, 0x0A});
    case Command::CursorDown: return seq({0x0A});
    case Command::CursorLeft: return seq({0x08});
    case Command::CursorRight: return seq({0x09});
    case Command::CursorHome: return seq({0x0B});
    case Command::CursorBottom: return seq({kUS, 0x42});
    case Command::LineStart: return seq({0x0D});
    case Command::LineEnd: return seq({kUS, 0x0D});
    case Command::ClearScreen: return seq({0x0C});
    case Command::ClearLine: return seq({kCAN});
    case Command::Initialize: return seq({kESC, 0x40});
    case Command::SelfTest: return seq({kUS, 0x40});
    }
    return {};
}

QByteArray cursorDisplayBytes(bool on)
{
    return seq({kUS, 0x43, on ? '1' : '0'});
}

QByteArray reverseBytes(bool on)
{
    return seq({kUS, 0x72, on ? '1' : '0'});
}

QByteArray positionBytes(int row, int column)
{
    if (!inRange(row, 1, kMaxTextParameter) || !inRange(column, 1, kMaxTextParameter))
        return {};
    return seq({kUS, 0x24, char(column), char(row)});
}

QByteArray writeModeBytes(int mode)
{
    return inRange(mode, kMinWriteMode, kMaxWriteMode) ? seq({kUS, char(mode)}) : QByteArray();
}

QByteArray deviceBytes(int device)
{
    return inRange(device, kMinDevice, kMaxDevice) ? seq({kESC, 0x3D, char(device)}) : QByteArray();
}

QByteArray nationalBytes(int set)
{
    return inRange(set, 0, kMaxTextParameter) ? seq({kESC, 0x52, char(set)}) : QByteArray();
}

qint32 send(CKDX &kdx, Command command)
{
    return sendBytes(kdx, bytes(command));
}

qint32 setCursorDisplay(CKDX &kdx, bool on)
{
    return sendBytes(kdx, cursorDisplayBytes(on));
}

qint32 setReverse(CKDX &kdx, bool on)
{
    return sendBytes(kdx, reverseBytes(on));
}

qint32 setPosition(CKDX &kdx, int row, int column)
{
    return sendBytes(kdx, positionBytes(row, column));
}

qint32 setWriteMode(CKDX &kdx, int mode)
{
    return sendBytes(kdx, writeModeBytes(mode));
}

qint32 setDevice(CKDX &kdx, int device)
{
    return sendBytes(kdx, deviceBytes(device));
}

qint32 setNational(CKDX &kdx, int set)
{
    return sendBytes(kdx, nationalBytes(set));
}

qint32 setExpand(CKDX &kdx, int n)
{
    return sendWithByte(kdx, seq({kESC, 0x74}), n);
}

qint32 setBlink(CKDX &kdx, int n)
{
    return sendWithByte(kdx, seq({kUS, 0x45}), n);
}

qint32 sendText(CKDX &kdx, const QString &text)
{
    return kdx.SendMessage(text);
}

} // namespace Epson

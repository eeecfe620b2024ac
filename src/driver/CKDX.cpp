#include "CKDX.h"
#include "ControlBytes.h"
#include "NativeCommands.h"

#include "Ansi.h"
#include "AppInfo.h"
#include "Clock.h"
#include "Dialogs.h"
#include "frmCKDX.h"
#include "modKDX.h"

#include <QCoreApplication>
#include <QHash>

#include <chrono>
#include <cmath>

using namespace std::chrono_literals;

namespace {

// Reply waiting of the exchanges: wait per poll and number of polls.
constexpr std::chrono::milliseconds kAckPoll {50};
constexpr int kAckPolls = 16;
constexpr std::chrono::milliseconds kByteArrayAckPoll {1};
constexpr int kByteArrayAckPolls = 31;
constexpr std::chrono::milliseconds kMessagePoll {200};
constexpr int kMessagePolls = 16;
constexpr std::chrono::milliseconds kMessageSettle {500};
constexpr std::chrono::milliseconds kVersionPoll {100};
constexpr int kVersionPolls = 11;
constexpr std::chrono::milliseconds kVersionSettle {300};
constexpr std::chrono::milliseconds kCommDataWait {200};

constexpr quint8 kAllDots = 0xB2;

// Lines below this rate get one write per byte.
constexpr int kWholeWriteBaud = 9600;

void processEventsOnce()
{
    platform::clock().processEvents(0);
}

// Adds an ASCII offset to a parameter and checks that the sum fits one byte.
// Fractions go to the nearest whole number, exact halves to the even one.
bool paramByte(double value, int offset, QByteArray &out)
{
    if (!std::isfinite(value))
        return false;
    const double sum = std::nearbyint(double(offset) + value);
    if (sum < 0 || sum > 255)
        return false;
    out.append(char(quint8(sum)));
    return true;
}

QByteArray frame(char letter, const QByteArray &params)
{
    return CKDX::NativeFrame(letter, params);
}

char baudCode(const QString &baud)
{
    for (const protocol::BaudCode &b : protocol::kBaudCodes) {
        if (baud == QString::number(b.baud))
            return b.code;
    }
    return 0;
}

char parityCode(const QString &parity)
{
    for (const protocol::FramingCode &f : protocol::kFramingCodes) {
        if (parity == QLatin1String(f.framing))
            return f.code;
    }
    // The parity list's other names for the same codes.
    static const QHash<QString, char> aliases {
        {QStringLiteral("NONE"), 'N'},  {QStringLiteral("ODD"), 'O'},   {QStringLiteral("EVEN"), 'E'},
        {QStringLiteral("o,8,1"), 'o'}, {QStringLiteral("e,8,1"), 'e'},
    };
    return aliases.value(parity, 0);
}

} // namespace

QStringList CKDX::DisplayBaudRates()
{
    QStringList rates;
    for (const protocol::BaudCode &b : protocol::kBaudCodes)
        rates << QString::number(b.baud);
    return rates;
}

QStringList CKDX::DisplayFramings()
{
    QStringList framings;
    for (const protocol::FramingCode &f : protocol::kFramingCodes)
        framings << QLatin1String(f.framing);
    return framings;
}

bool CKDX::answersLikeKdx(const QByteArray &versionAnswer)
{
    return versionAnswer.size() >= kMinVersionLength;
}

QByteArray CKDX::NativeFrame(char letter, const QByteArray &params)
{
    QByteArray f;
    f.append(kEOT).append(kSOH).append(letter).append(params).append(kETB);
    return f;
}

CKDX::CKDX()
{
    frmCKDX::instance();
    modKDX::InitDisplayCodeTable();
}

platform::SerialPort &CKDX::comm()
{
    return frmCKDX::instance().MSComm1();
}

QString CKDX::mapParity(const QString &parity, qint16 dataBit)
{
    const bool seven = dataBit == 7;
    if (parity == QLatin1String("NONE"))
        return QStringLiteral("n,8,1");
    if (parity == QLatin1String("ODD"))
        return seven ? QStringLiteral("o,7,1") : QStringLiteral("o,8,1");
    if (parity == QLatin1String("EVEN"))
        return seven ? QStringLiteral("e,7,1") : QStringLiteral("e,8,1");
    return parity;
}

// ---------------------------------------------------------------- connection

qint32 CKDX::Connect()
{
    platform::SerialPort &port = comm();
    if (port.portOpen())
        return kdx::AlreadyConnected;
    // The control takes the number as a 16-bit integer.
    if (m_lCommPort < -32768 || m_lCommPort > 32767)
        return kdx::OpenFailed;
    if (!port.setCommPort(m_lCommPort))
        return kdx::OpenFailed;
    if (!port.setSettings(m_sBaudRate + QLatin1Char(',') + m_sParity.toUpper()))
        return kdx::OpenFailed;
    if (!port.setPortOpen(true))
        return kdx::OpenFailed;
    return kdx::OK;
}

qint32 CKDX::Disconnect()
{
    platform::SerialPort &port = comm();
    if (!port.portOpen())
        return kdx::NotConnected;
    // A network port finds out on closing whether the far end had what was
    // written: a server that turned the client away or hung up did not.
    return port.setPortOpen(false) ? kdx::OK : kdx::NotConnected;
}

qint32 CKDX::finish(qint32 result)
{
    const qint32 closed = Disconnect();
    const bool done = result == kdx::OK || result == kdx::AlreadyConnected;
    return done && closed != kdx::OK ? closed : result;
}

qint16 CKDX::InBufferCount()
{
    // Opens the port when it is closed, and leaves it open.
    if (!comm().portOpen() && Connect() != kdx::OK)
        return 0;
    const int n = comm().inBufferCount();
    return n < 0 ? 0 : qint16(qMin(n, 32767));
}

// The windows show these texts in the user's language; kdxctl installs no
// translation, so scripts always read the English.
QString CKDX::ErrorDescription(qint32 i_lResult)
{
    switch (i_lResult) {
    case kdx::AlreadyConnected: return QCoreApplication::translate("CKDX", "Device is already connected.");
    case kdx::OpenFailed: return QCoreApplication::translate("CKDX", "Commport open failed.");
    case kdx::NotConnected: return QCoreApplication::translate("CKDX", "Device is not connected.");
    case kdx::NoResponse: return QCoreApplication::translate("CKDX", "Device does not respond.");
    case kdx::InvalidBaudRate: return QCoreApplication::translate("CKDX", "Invalid Baud Rate");
    case kdx::Nack: return QCoreApplication::translate("CKDX", "Get Nack");
    case kdx::InvalidParameter: return QCoreApplication::translate("CKDX", "Invalid parameter.");
    default: return QCoreApplication::translate("CKDX", "Unknown error code.");
    }
}

void CKDX::ErrorDescription(qint32 i_lResult, QString &o_sMessage)
{
    o_sMessage = ErrorDescription(i_lResult);
}

void CKDX::ShowErrorDescription(qint32 i_lResult) const
{
    platform::dialogs().messageBox(ErrorDescription(i_lResult), platform::app::title(),
                                   platform::MsgIcon::Critical);
}

qint32 CKDX::lineFault()
{
    // A network server that turned the client away before any data: the port
    // was never really open.
    return comm().lastFault().number == platform::fault::PortOpenFailed ? kdx::OpenFailed : kdx::NotConnected;
}

qint32 CKDX::portFault()
{
    const qint32 result = lineFault();
    Disconnect();
    return result;
}

// ---------------------------------------------------------------- exchanges

CKDX::Wait CKDX::waitForData(std::chrono::milliseconds poll, int maxPolls)
{
    platform::SerialPort &port = comm();
    int counter = 0;
    for (;;) {
        const int n = port.inBufferCount();
        if (n < 0)
            return Wait::Fault;
        if (n > 0)
            return Wait::Data;
        modKDX::Delay(poll);
        ++counter;
        if (counter > maxPolls - 1)
            return Wait::Timeout;
        processEventsOnce();
    }
}

qint32 CKDX::SendCommand(const QByteArray &frameBytes)
{
    platform::SerialPort &port = comm();
    // A late answer to an earlier command, or noise, must not count as this answer.
    QByteArray stale;
    if (!port.input(stale) || !port.output(frameBytes))
        return lineFault();
    switch (waitForData(kAckPoll, kAckPolls)) {
    case Wait::Fault: return lineFault();
    case Wait::Timeout: return kdx::NoResponse;
    case Wait::Data: break;
    }
    QByteArray answer;
    if (!port.input(answer))
        return kdx::NotConnected;
    return !answer.isEmpty() && answer[0] == kACK ? kdx::OK : kdx::Nack;
}

qint32 CKDX::nativeCommand(char letter, const QByteArray &params, bool paramsValid)
{
    // Refused before anything opens: opening alone moves the modem lines.
    if (!paramsValid)
        return kdx::InvalidParameter;
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    qint32 result = kdx::NotConnected;
    if (comm().portOpen())
        result = SendCommand(frame(letter, params));
    return finish(result);
}

bool CKDX::writeByBaudRate(const QByteArray &bytes)
{
    platform::SerialPort &port = comm();
    const QString settings = port.settings().trimmed();
    int end = 0;
    while (end < settings.size() && settings[end].isDigit())
        ++end;
    const long long baud = settings.left(end).toLongLong();
    if (baud >= kWholeWriteBaud)
        return bytes.isEmpty() || port.output(bytes);
    for (char b : bytes) {
        if (!port.output(QByteArray(1, b)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- commands

qint32 CKDX::SetBaudRate(const QString &i_sBaudRate, const QString &i_sParity)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    qint32 result = kdx::NotConnected;
    if (comm().portOpen()) {
        if (!acceptsBaudRate(i_sBaudRate, i_sParity)) {
            Disconnect();
            return kdx::InvalidBaudRate;
        }
        result = SendCommand(frame('B', QByteArray().append(baudCode(i_sBaudRate)).append(parityCode(i_sParity))));
    }
    return finish(result);
}

bool CKDX::acceptsBaudRate(const QString &i_sBaudRate, const QString &i_sParity)
{
    return baudCode(i_sBaudRate) && parityCode(i_sParity);
}

bool CKDX::acceptsParameters(char letter, std::initializer_list<double> values)
{
    QByteArray p;
    return nativeParameters(letter, values, p);
}

bool CKDX::nativeParameters(char letter, std::initializer_list<double> values, QByteArray &out)
{
    // What each parameter is sent as: the value plus the command's offset.
    int offset = 0;
    switch (letter) {
    case 'I': offset = 0; break;
    case 'S': case 'P': case 'C': case 'O': offset = '0'; break;
    case 'D': offset = '1'; break;
    default: return false;
    }
    for (double v : values) {
        if (!paramByte(v, offset, out))
            return false;
    }
    return true;
}

qint32 CKDX::SetInternationalCode(qint16 i_iCodeIndex)
{
    QByteArray p;
    const bool ok = nativeParameters('I', {double(i_iCodeIndex)}, p);
    return nativeCommand('I', p, ok);
}

qint32 CKDX::SaveMessage(qint16 i_iLayer)
{
    QByteArray p;
    const bool ok = nativeParameters('S', {double(i_iLayer)}, p);
    return nativeCommand('S', p, ok);
}

qint32 CKDX::SetPosition(qint16 i_iPosition)
{
    QByteArray p;
    const bool ok = nativeParameters('P', {double(i_iPosition)}, p);
    return nativeCommand('P', p, ok);
}

qint32 CKDX::ClearDisplay(double i_iStart, double i_iEnd)
{
    QByteArray p;
    const bool ok = nativeParameters('C', {i_iStart, i_iEnd}, p);
    return nativeCommand('C', p, ok);
}

qint32 CKDX::DisplayShowSavedMessageAfterRebootMode(double i_iMode)
{
    QByteArray p;
    const bool ok = nativeParameters('O', {i_iMode}, p);
    return nativeCommand('O', p, ok);
}

qint32 CKDX::DisplayDemoMessage(double i_iLayer, double i_iMode)
{
    QByteArray p;
    const bool ok = nativeParameters('D', {i_iLayer, i_iMode}, p);
    return nativeCommand('D', p, ok);
}

qint32 CKDX::SwitchCommand(qint16 i_iCommand)
{
    QByteArray bytes;
    bytes.append(kESC).append('Z');
    if (!paramByte(i_iCommand, '0', bytes))
        return kdx::InvalidParameter;
    bytes.append('\0');
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    qint32 result = kdx::NotConnected;
    platform::SerialPort &port = comm();
    if (port.portOpen()) {
        QByteArray stale;
        if (!port.input(stale) || !port.output(bytes))
            return portFault();
        result = kdx::OK;
    }
    return finish(result);
}

namespace {

qint32 printerCommand(CKDX &kdx, platform::SerialPort &port, char letter)
{
    const qint32 connected = kdx.Connect();
    if (connected == kdx::OpenFailed)
        return kdx::OpenFailed;
    qint32 result = kdx::NotConnected;
    if (port.portOpen()) {
        if (!port.output(QByteArray().append(kESC).append(letter))) {
            kdx.Disconnect();
            return kdx::NotConnected;
        }
        // The port may have been open already: that is reported as -1.
        result = connected;
    }
    return kdx.finish(result);
}

} // namespace

qint32 CKDX::PrinterOn()
{
    return printerCommand(*this, comm(), 'G');
}

qint32 CKDX::PrinterOff()
{
    return printerCommand(*this, comm(), 'S');
}

qint32 CKDX::FullyLightTube(qint16 i_SendStringLen)
{
    const QByteArray bytes(qMax<int>(0, i_SendStringLen), char(kAllDots));
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    if (!writeByBaudRate(bytes)) {
        const platform::PortFault f = comm().lastFault();
        platform::dialogs().messageBox(f.description, QString::number(f.number), platform::MsgIcon::None);
        return portFault();
    }
    return finish(kdx::OK);
}

qint32 CKDX::readBack(char letter, std::chrono::milliseconds poll, int maxPolls, std::chrono::milliseconds settle,
                      QByteArray &answer)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    platform::SerialPort &port = comm();
    qint32 result = kdx::NotConnected;
    if (port.portOpen()) {
        QByteArray stale;
        if (!port.input(stale) || !port.output(frame(letter, {})))
            return portFault();
        switch (waitForData(poll, maxPolls)) {
        case Wait::Fault: return portFault();
        case Wait::Timeout: result = kdx::NoResponse; break;
        case Wait::Data:
            // The answer may still be arriving: give it time, then take it whole.
            modKDX::Delay(settle);
            if (!port.input(answer))
                return portFault();
            result = kdx::OK;
            break;
        }
    }
    return finish(result);
}

qint32 CKDX::GetVersion(QString &o_sVersion)
{
    QByteArray answer;
    qint32 result = readBack('V', kVersionPoll, kVersionPolls, kVersionSettle, answer);
    if (result != kdx::OK)
        return result;
    if (!answersLikeKdx(answer))
        return kdx::Nack;
    o_sVersion = platform::ansi::toUnicode(answer);
    return kdx::OK;
}

// ---------------------------------------------------------------- transfers

void CKDX::ConvertToDisplayCode(QByteArray &bytes)
{
    for (char &b : bytes)
        b = char(quint8(g_DisplayCode[uchar(b)]));
}

QByteArray CKDX::encodeText(const QString &text)
{
    QByteArray bytes = platform::ansi::fromUnicode(text);
    ConvertToDisplayCode(bytes);
    return bytes;
}

qint32 CKDX::SendMessage(const QString &i_sMessage)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    if (!writeByBaudRate(encodeText(i_sMessage)))
        return portFault();
    return finish(kdx::OK);
}

qint32 CKDX::SendMessageB(quint8 i_bMessage)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    if (!comm().output(QByteArray(1, char(i_bMessage))))
        return portFault();
    return finish(kdx::OK);
}

qint32 CKDX::SendMessageByteArray(const QByteArray &bMessage)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    if (!writeByBaudRate(bMessage))
        return portFault();
    // No discard before this read: the acknowledge may already be waiting.
    qint32 result = kdx::NoResponse;
    switch (waitForData(kByteArrayAckPoll, kByteArrayAckPolls)) {
    case Wait::Fault: return portFault();
    case Wait::Timeout: break;
    case Wait::Data: {
        QByteArray answer;
        if (!comm().input(answer))
            return portFault();
        result = !answer.isEmpty() && answer[0] == kACK ? kdx::OK : kdx::Nack;
        break;
    }
    }
    return finish(result);
}

qint32 CKDX::SendMessageStringAndByte(const QString &i_sMessage, quint8 i_bMessage)
{
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    const QByteArray text = encodeText(i_sMessage);
    if ((!text.isEmpty() && !comm().output(text)) || !comm().output(QByteArray(1, char(i_bMessage))))
        return portFault();
    return finish(kdx::OK);
}

qint32 CKDX::SendMessageB_VT100(quint8 i_bMessage)
{
    if (!comm().portOpen() && Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    if (!comm().output(QByteArray(1, char(i_bMessage))))
        return portFault();
    return kdx::OK;
}

qint32 CKDX::GetMessage(QString &o_sMessage)
{
    QByteArray answer;
    qint32 result = readBack('T', kMessagePoll, kMessagePolls, kMessageSettle, answer);
    if (result != kdx::OK)
        return result;
    if (answer.isEmpty() || answer[0] != kSOH)
        return kdx::Nack;
    // 01, the message, one closing byte.
    o_sMessage = platform::ansi::toUnicode(answer.mid(1, qMax<qsizetype>(0, answer.size() - 2)));
    return kdx::OK;
}

bool CKDX::readCommData(QByteArray &data)
{
    if (Connect() == kdx::OpenFailed)
        return false;
    platform::SerialPort &port = comm();
    if (!port.portOpen())
        return false;
    modKDX::Delay(kCommDataWait);
    const int n = port.inBufferCount();
    if (n > 0 && port.input(data))
        return !data.isEmpty();
    if (n < 0 || n > 0)
        Disconnect(); // the port failed
    return false;
}

void CKDX::GetCommDataB(QByteArray &o_bData)
{
    QByteArray data;
    if (readCommData(data))
        o_bData = data;
}

void CKDX::GetCommData(QString &o_sData)
{
    QByteArray data;
    if (readCommData(data))
        o_sData = platform::ansi::toUnicode(data);
}

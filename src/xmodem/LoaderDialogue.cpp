#include "LoaderDialogue.h"

#include "Clock.h"
#include "ControlBytes.h"
#include "ResultCode.h"
#include "SerialPort.h"
#include "XModemSender.h"

#include <QCoreApplication>

namespace {

constexpr char kPrompt = '>';
const QByteArray kLoadRequest = QByteArrayLiteral("\x1BLoad");
const QByteArray kRepeatRequest = QByteArrayLiteral("1");
const QByteArray kXModemRequest = QByteArrayLiteral("XA\r");
const QByteArray kEncryptedCode = QByteArrayLiteral("PX\r\n");
const QByteArray kPlainCode = QByteArrayLiteral("ZX\r\n");
// Tells the loader to leave and start the display's firmware again.
const QByteArray kLeaveLoader = QByteArrayLiteral("\x1BR\r");

constexpr std::chrono::milliseconds kPromptPoll {500};
constexpr int kSilentPromptPolls = 10;

constexpr qint16 kProgressLoader = 20;
constexpr qint16 kProgressXModem = 80;
constexpr qint16 kProgressCodeType = 100;

} // namespace

QByteArray LoaderDialogue::leaveLoader(bool blocksUnderWay)
{
    return blocksUnderWay ? QByteArray(2, kCAN) + kLeaveLoader : kLeaveLoader;
}

LoaderDialogue::LoaderDialogue(TransferLine line, XModemSender &sender)
    : m_line(std::move(line))
    , m_sender(sender)
{
}

qint32 LoaderDialogue::run(qint32 codeType)
{
    // Only two code types exist; guessing a third would send the wrong image type.
    if (codeType != 0 && codeType != 1)
        return kdx::InvalidParameter;
    m_blnStop = false;
    m_blnRunning = true;
    m_step = Step::LoadRequest;
    m_lastByteMs = platform::clock().nowMs();
    m_deadlineMs = m_lastByteMs + kBound.count();
    const qint32 r = dialogue(codeType);
    m_blnRunning = false;
    // A port kept open after a failure would hold on to a device that may be
    // gone by the next attempt.
    if (r != kdx::OK && m_line.port.portOpen())
        m_line.port.setPortOpen(false);
    return r;
}

QString LoaderDialogue::failureText(qint32 result) const
{
    switch (result) {
    case kdx::OK: return QString();
    case kdx::OpenFailed: return QCoreApplication::translate("LoaderDialogue", "the port would not open");
    case kdx::NotConnected:
        return QCoreApplication::translate(
            "LoaderDialogue", "the serial port failed while the display was being switched to its loader");
    case kdx::Cancelled:
        return QCoreApplication::translate("LoaderDialogue", "the update was stopped before the transfer began");
    case kdx::InvalidParameter:
        return QCoreApplication::translate("LoaderDialogue", "the firmware code type is neither 0 nor 1");
    default: break;
    }
    switch (m_step) {
    case Step::LoadRequest:
        return QCoreApplication::translate("LoaderDialogue",
                                           "the display did not answer the request to switch to its loader");
    case Step::XModemRequest:
        return QCoreApplication::translate("LoaderDialogue", "the display's loader did not answer the XModem request");
    case Step::CodeType: break;
    }
    return QCoreApplication::translate("LoaderDialogue", "the display's loader did not take the firmware code type");
}

bool LoaderDialogue::write(const QByteArray &bytes)
{
    return m_line.port.output(bytes);
}

qint32 LoaderDialogue::dialogue(qint32 codeType)
{
    if (!write(kLoadRequest))
        return kdx::NotConnected;
    Wait w = WaitForPrompt();
    while (w == Wait::Silent) {
        m_sender.setProgress(kProgressLoader);
        if (!write(kRepeatRequest))
            return kdx::NotConnected;
        w = WaitForPrompt();
    }
    if (w == Wait::Prompt) {
        m_sender.setProgress(kProgressLoader);
        m_step = Step::XModemRequest;
        if (!write(kXModemRequest))
            return kdx::NotConnected;
        w = WaitForPrompt();
        m_sender.setProgress(kProgressXModem);
    }
    switch (w) {
    case Wait::Prompt: break;
    case Wait::Silent:
    case Wait::OutOfTime: return kdx::NoResponse;
    case Wait::Fault: return kdx::NotConnected;
    case Wait::Stopped: return closeAfterStop();
    }
    m_step = Step::CodeType;
    if (!write(codeType == 0 ? kEncryptedCode : kPlainCode))
        return kdx::NotConnected;
    m_sender.setProgress(kProgressCodeType);
    return kdx::OK;
}

// The display may already be in its loader: tell it to leave, so that it does
// not stay there waiting, then let the port go.
qint32 LoaderDialogue::closeAfterStop()
{
    write(kLeaveLoader);
    m_line.port.setPortOpen(false);
    return kdx::Cancelled;
}

LoaderDialogue::Wait LoaderDialogue::WaitForPrompt()
{
    platform::SerialPort &port = m_line.port;
    int silent = 0;
    while (silent < kSilentPromptPolls) {
        m_line.wait(kPromptPoll);
        if (m_blnStop)
            return Wait::Stopped;
        if (platform::clock().nowMs() > m_deadlineMs)
            return Wait::OutOfTime;
        const int waiting = port.inBufferCount();
        if (waiting < 0)
            return Wait::Fault;
        if (waiting == 0) {
            if (platform::clock().nowMs() - m_lastByteMs >= kSilenceBound.count())
                return Wait::OutOfTime;
            ++silent;
            continue;
        }
        m_lastByteMs = platform::clock().nowMs();
        // Each answer moves the bar a little while the loader talks.
        if (m_sender.Progress() < 100)
            m_sender.setProgress(qint16(m_sender.Progress() + 1));
        QByteArray bytes;
        if (!port.input(bytes))
            return Wait::Fault;
        if (bytes.contains(kPrompt))
            return Wait::Prompt;
    }
    return Wait::Silent;
}

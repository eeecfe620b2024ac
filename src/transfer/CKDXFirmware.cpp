// The driver's firmware members: the loader dialogue that puts the display into
// its firmware loader, and the driver's face of the XModem sender on frmCKDX.

#include "CKDX.h"

#include "frmCKDX.h"
#include "modKDX.h"

#include <chrono>

namespace {

constexpr char kPrompt = '>';
const QByteArray kLoadRequest = QByteArrayLiteral("\x1BLoad");
const QByteArray kRepeatRequest = QByteArrayLiteral("1");
const QByteArray kXModemRequest = QByteArrayLiteral("XA\r");
const QByteArray kEncryptedCode = QByteArrayLiteral("PX\r\n");
const QByteArray kPlainCode = QByteArrayLiteral("ZX\r\n");

// A prompt wait gives up after 10 silent looks of 500 ms; bytes without the
// prompt keep it going.
constexpr std::chrono::milliseconds kPromptPoll {500};
constexpr int kSilentPromptPolls = 10;

// Repeat requests after the load request before the display counts as silent:
// with the first wait, about a minute.
constexpr int kMaxRepeatRequests = 12;

constexpr qint16 kProgressLoader = 20;
constexpr qint16 kProgressXModem = 80;
constexpr qint16 kProgressCodeType = 100;

} // namespace

void CKDX::setFile(const QString &i_sFile)
{
    m_sFile = i_sFile;
    frmCKDX::instance().setFile(i_sFile);
}

void CKDX::setCheckSumType(qint32 i_CheckSum)
{
    m_lCheckSumType = i_CheckSum;
    frmCKDX::instance().setCheckSumType(i_CheckSum);
}

qint16 CKDX::Progress() const
{
    return frmCKDX::instance().Progress();
}

bool CKDX::UpdateFirmwareFinish() const
{
    return frmCKDX::instance().UpdateFirmwareFinish();
}

void CKDX::setUpdateFirmwareFinish(bool i_blnUpdateFirmwareFinish)
{
    frmCKDX::instance().setUpdateFirmwareFinish(i_blnUpdateFirmwareFinish);
}

qint32 CKDX::FirmwareUpdateMode()
{
    // Only two code types exist; guessing a third would send the wrong image type.
    if (m_lFirmwareCodeType != 0 && m_lFirmwareCodeType != 1)
        return kdx::InvalidParameter;
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;

    frmCKDX &form = frmCKDX::instance();
    // The port belongs to the dialogue until it returns.
    struct LoaderOwnsPort {
        frmCKDX &f;
        explicit LoaderOwnsPort(frmCKDX &form) : f(form) { f.setLoaderRunning(true); }
        ~LoaderOwnsPort() { f.setLoaderRunning(false); }
    } owner(form);
    platform::SerialPort &port = comm();
    if (!port.output(kLoadRequest))
        return portFault();
    qint32 result = WaitForPrompt();
    if (result == kdx::NotConnected)
        return result;
    form.setProgress(kProgressLoader);

    for (int repeats = 0; result != kdx::OK; ++repeats) {
        if (repeats == kMaxRepeatRequests)
            return kdx::NoResponse;
        if (!port.output(kRepeatRequest))
            return portFault();
        result = WaitForPrompt();
        if (result == kdx::NotConnected)
            return result;
        form.setProgress(kProgressLoader);
    }

    if (!port.output(kXModemRequest))
        return portFault();
    result = WaitForPrompt();
    if (result == kdx::NotConnected)
        return result;
    form.setProgress(kProgressXModem);
    if (result != kdx::OK)
        return result;

    if (!port.output(m_lFirmwareCodeType == 0 ? kEncryptedCode : kPlainCode))
        return portFault();
    form.setProgress(kProgressCodeType);
    return kdx::OK;
}

qint32 CKDX::WaitForPrompt()
{
    frmCKDX &form = frmCKDX::instance();
    platform::SerialPort &port = comm();
    int silent = 0;
    while (silent < kSilentPromptPolls) {
        modKDX::Delay(kPromptPoll);
        const int waiting = port.inBufferCount();
        if (waiting < 0)
            return portFault();
        if (waiting == 0) {
            ++silent;
            continue;
        }
        // Each answer moves the bar a little while the loader talks.
        if (form.Progress() < 100)
            form.setProgress(qint16(form.Progress() + 1));
        QByteArray bytes;
        if (!port.input(bytes))
            return portFault();
        if (bytes.contains(kPrompt))
            return kdx::OK;
    }
    return kdx::NoResponse;
}

void CKDX::StartSendFile()
{
    frmCKDX &form = frmCKDX::instance();
    form.clearOutcome();
    form.Timer1().setEnabled(true);
}

void CKDX::StopSendFile()
{
    frmCKDX &form = frmCKDX::instance();
    form.Timer1().setEnabled(false);
    form.StopSendFile();
}

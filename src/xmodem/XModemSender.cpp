#include "XModemSender.h"

#include "BlockCheck.h"
#include "ControlBytes.h"
#include "FileCheck.h"
#include "ResultCode.h"
#include "SerialPort.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>

namespace {

constexpr char kCrcRequest = 'C';

constexpr qint64 kBlockSize = 128;

// A transfer starts one interval after it is armed.
constexpr int kTimerMs = 200;

// Start handshake: one look every 100 ms, 201 looks (about 20 s).
constexpr std::chrono::milliseconds kStartPoll {100};
constexpr int kStartPolls = 201;

// Waiting for a block's answer: 20 ms plus 100 ms per look; a silent display
// gets the block again every 100 looks, and the block fails past 250.
constexpr std::chrono::milliseconds kAnswerSettle {20};
constexpr std::chrono::milliseconds kAnswerPoll {100};
constexpr int kSilentRepeat = 100;
constexpr int kMaxAttempts = 250;

// Closing sequence.
constexpr std::chrono::milliseconds kBeforeEnd {100};
constexpr std::chrono::milliseconds kEndAnswer {500};
constexpr std::chrono::milliseconds kClosingStep {100};

} // namespace

XModemSender::XModemSender(TransferLine line, QObject *parent)
    : QObject(parent)
    , m_line(std::move(line))
{
    m_timer1.setInterval(kTimerMs);
    m_timer1.setEnabled(false);
    connect(&m_timer1, &platform::Timer::timeout, this, &XModemSender::Timer1_Timer);
}

void XModemSender::start()
{
    m_blnStop = false;
    m_outcome = Outcome::None;
    m_sOutcomeText.clear();
    m_lBlock = 0;
    m_lBlocks = 0;
    m_timer1.setEnabled(true);
}

void XModemSender::setOutcome(Outcome o, const QString &text)
{
    // The first reason to end a transfer is the one reported.
    if (m_outcome != Outcome::None)
        return;
    m_outcome = o;
    m_sOutcomeText = text;
}

bool XModemSender::portFailed()
{
    const platform::PortFault f = m_line.port.lastFault();
    setOutcome(Outcome::PortFault,
               QCoreApplication::translate("XModemSender", "the serial port failed (%1, error %2)").arg(f.description).arg(f.number));
    return false;
}

bool XModemSender::stopped()
{
    if (!m_blnStop)
        return false;
    setOutcome(Outcome::Stopped, QCoreApplication::translate("XModemSender", "the transfer was stopped"));
    return true;
}

void XModemSender::Timer1_Timer()
{
    // One arming, one transfer.
    m_timer1.setEnabled(false);
    m_blnUpdateFirmwareFinish = false;
    m_blnRunning = true;
    runTransfer();
    m_blnRunning = false;
}

void XModemSender::runTransfer()
{
    platform::SerialPort &port = m_line.port;
    if (!port.portOpen() && !port.setPortOpen(true)) {
        portFailed();
        return;
    }
    m_iProgress = 0;

    // From here on the loader is in its receive: whatever ends the transfer
    // early cancels it, so that the display is never left waiting for blocks.
    if (stopped() || !awaitStartRequest()) {
        // Silence and a dead port leave nothing to close.
        if (m_outcome == Outcome::Stopped)
            closingSequence(false);
        return;
    }
    sendFile();
    closingSequence(m_outcome == Outcome::None);
}

bool XModemSender::awaitStartRequest()
{
    const char start = m_CheckSumType == 1 ? kCrcRequest : kNAK;
    for (int poll = 0; poll < kStartPolls; ++poll) {
        m_line.wait(kStartPoll);
        if (stopped())
            return false;
        const int waiting = m_line.port.inBufferCount();
        if (waiting < 0)
            return portFailed();
        if (waiting == 0)
            continue;
        QByteArray seen;
        if (!m_line.port.input(seen))
            return portFailed();
        if (seen.contains(start))
            return true;
    }
    setOutcome(Outcome::NoStartRequest, QCoreApplication::translate("XModemSender", "the display did not ask for the file"));
    return false;
}

void XModemSender::sendFile()
{
    QFile file;
    auto fileFailed = [&](const QString &why) {
        setOutcome(Outcome::FileFault, QCoreApplication::translate("XModemSender", "the file could not be read (%1)").arg(why));
    };
    fileCheck::Fault fault;
    if (!fileCheck::openRegularFile(m_sFile, file, fault)) {
        fileFailed(fault.description);
        return;
    }
    const qint64 length = file.size();
    // EOT for no blocks would tell the loader that an empty image is complete.
    if (length == 0) {
        fileFailed(QCoreApplication::translate("XModemSender", "it is empty"));
        return;
    }
    const qint64 fullBlocks = length / kBlockSize;
    const qint64 rest = length % kBlockSize;
    m_lBlocks = fullBlocks + (rest > 0 ? 1 : 0);
    const QString shorter = QCoreApplication::translate("XModemSender", "it became shorter while it was sent");

    for (qint64 i = 1; i <= fullBlocks; ++i) {
        // A display that accepts every block at once never lets a block's wait
        // see the stop request; it is looked at between blocks too.
        if (stopped())
            return;
        const QByteArray data = file.read(kBlockSize);
        if (data.size() != kBlockSize) {
            fileFailed(data.isEmpty() && file.error() != QFileDevice::NoError ? file.errorString() : shorter);
            return;
        }
        m_lBlock = i;
        if (SendBlock(data, qint32(i)) != kdx::OK)
            return;
        SetBlockProgress(i, fullBlocks);
    }
    if (rest == 0) {
        m_iProgress = 100;
        return;
    }
    if (stopped())
        return;
    QByteArray data = file.read(rest);
    if (data.size() != rest) {
        fileFailed(shorter);
        return;
    }
    data.append(QByteArray(kBlockSize - rest, kSUB));
    m_lBlock = fullBlocks + 1;
    SendBlock(data, qint32(fullBlocks + 1));
    m_iProgress = 100;
}

// EOT tells the loader the image is whole; a transfer that did not complete is
// cancelled instead, so that a truncated image is never taken for a good one.
void XModemSender::closingSequence(bool complete)
{
    platform::SerialPort &port = m_line.port;
    m_line.wait(kBeforeEnd);
    if (!port.output(complete ? QByteArray(1, kEOT) : QByteArray(2, kCAN))) {
        portFailed();
        return;
    }
    m_iProgress = 0;
    m_line.wait(kEndAnswer);
    // The answer to EOT is not examined.
    QByteArray answer;
    if (!port.input(answer)) {
        portFailed();
        return;
    }
    m_line.wait(kClosingStep);
    if (!port.output(QByteArray(1, kESC))) {
        portFailed();
        return;
    }
    m_line.wait(kClosingStep);
    if (!port.output(QByteArrayLiteral("R\r"))) {
        portFailed();
        return;
    }
    m_line.wait(kClosingStep);
    if (complete)
        setOutcome(Outcome::Complete);
    m_blnUpdateFirmwareFinish = true;
}

bool XModemSender::writeBlock(const QByteArray &header, const QByteArray &data, const QByteArray &check)
{
    platform::SerialPort &port = m_line.port;
    return port.output(header) && port.output(data) && port.output(check);
}

qint32 XModemSender::SendBlock(const QByteArray &data, qint32 block)
{
    const quint8 number = quint8(block & 0xFF);
    QByteArray header;
    header.append(kSOH).append(char(number)).append(char(quint8(255 - number)));
    QByteArray check;
    if (m_CheckSumType == 1) {
        const quint16 crc = blockCheck::crc16(data);
        check.append(char(crc >> 8)).append(char(crc & 0xFF));
    } else {
        check.append(char(blockCheck::checkSum(data)));
    }
    if (!writeBlock(header, data, check)) {
        portFailed();
        return kdx::NotConnected;
    }

    platform::SerialPort &port = m_line.port;
    int counter = 0;
    for (;;) {
        m_line.wait(kAnswerSettle);
        m_line.wait(kAnswerPoll);
        const int waiting = port.inBufferCount();
        if (waiting < 0) {
            portFailed();
            return kdx::NotConnected;
        }
        if (waiting == 0) {
            if (counter % kSilentRepeat == kSilentRepeat - 1 && !writeBlock(header, data, check)) {
                portFailed();
                return kdx::NotConnected;
            }
            ++counter;
        } else {
            QByteArray answer;
            if (!port.input(answer)) {
                portFailed();
                return kdx::NotConnected;
            }
            const char first = answer.isEmpty() ? 0 : answer.at(0);
            if (first == kACK)
                return kdx::OK;
            if (first == kCAN) {
                setOutcome(Outcome::Cancelled, QCoreApplication::translate("XModemSender", "the display cancelled the transfer"));
                return kdx::Cancelled;
            }
            if (first == kCrcRequest) {
                // A late start request: counted, the block is not sent again.
                ++counter;
            } else if (answer.contains(kACK)) {
                return kdx::OK;
            } else {
                if (!writeBlock(header, data, check)) {
                    portFailed();
                    return kdx::NotConnected;
                }
                ++counter;
            }
        }
        if (counter > kMaxAttempts) {
            setOutcome(Outcome::NoAnswer, QCoreApplication::translate("XModemSender", "the display did not answer"));
            return kdx::NoResponse;
        }
        if (stopped())
            return kdx::Cancelled;
    }
}

// i * 100 / n to the nearest whole number, halves to the even neighbour.
void XModemSender::SetBlockProgress(qint64 i, qint64 n)
{
    if (n <= 0)
        return;
    const qint64 scaled = i * 100;
    qint64 q = scaled / n;
    const qint64 twiceRest = 2 * (scaled % n);
    if (twiceRest > n || (twiceRest == n && (q % 2) != 0))
        ++q;
    m_iProgress = qint16(q);
}

// The XModem sender of frmCKDX: one file in 128-byte blocks with the 8-bit
// checksum or CRC-16, then EOT and the loader's closing sequence. The whole
// transfer runs inside one tick of Timer1; every wait goes through Delay, so the
// windows keep repainting and answering meanwhile.

#include "ControlBytes.h"
#include "frmCKDX.h"

#include "ResultCode.h"
#include "modKDX.h"

#include <QFile>

#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr char kCrcRequest = 'C';

constexpr qint64 kBlockSize = 128;

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

void frmCKDX::clearOutcome()
{
    m_outcome = Outcome::None;
    m_sOutcomeText.clear();
}

void frmCKDX::setOutcome(Outcome o, const QString &text)
{
    // The first reason to end a transfer is the one reported.
    if (m_outcome != Outcome::None)
        return;
    m_outcome = o;
    m_sOutcomeText = text;
}

bool frmCKDX::portFailed()
{
    const platform::PortFault f = m_comm->lastFault();
    setOutcome(Outcome::PortFault,
               QStringLiteral("the serial port failed (%1, error %2)").arg(f.description).arg(f.number));
    return false;
}

void frmCKDX::Timer1_Timer()
{
    // One enabling, one transfer.
    m_timer1.setEnabled(false);
    m_blnStop = false;
    m_blnUpdateFirmwareFinish = false;
    clearOutcome();
    m_blnRunning = true;
    runTransfer();
    m_blnRunning = false;
}

void frmCKDX::runTransfer()
{
    if (!m_comm->portOpen() && !m_comm->setPortOpen(true)) {
        portFailed();
        return;
    }
    m_iProgress = 0;

    if (!awaitStartRequest()) {
        // A stop while waiting leaves the loader in its receive: cancel it and
        // let the display restart. Silence and a dead port leave nothing to close.
        if (m_outcome == Outcome::Stopped)
            closingSequence(false);
        return;
    }
    sendFile();
    closingSequence(m_outcome == Outcome::None);
}

bool frmCKDX::awaitStartRequest()
{
    const char start = m_CheckSumType == 1 ? kCrcRequest : kNAK;
    for (int poll = 0; poll < kStartPolls; ++poll) {
        modKDX::Delay(kStartPoll);
        if (m_blnStop) {
            setOutcome(Outcome::Stopped, QStringLiteral("the transfer was stopped"));
            return false;
        }
        const int waiting = m_comm->inBufferCount();
        if (waiting < 0)
            return portFailed();
        if (waiting == 0)
            continue;
        QByteArray seen;
        if (!m_comm->input(seen))
            return portFailed();
        if (seen.contains(start))
            return true;
    }
    setOutcome(Outcome::NoStartRequest, QStringLiteral("the display did not ask for the file"));
    return false;
}

void frmCKDX::sendFile()
{
    QFile file(m_sFile);
    auto fileFailed = [&](const QString &why) {
        setOutcome(Outcome::FileFault, QStringLiteral("the file could not be read (%1)").arg(why));
    };
    if (!file.open(QIODevice::ReadOnly)) {
        fileFailed(file.errorString());
        return;
    }
    const qint64 length = file.size();
    const qint64 fullBlocks = length / kBlockSize;
    const qint64 rest = length % kBlockSize;

    for (qint64 i = 1; i <= fullBlocks; ++i) {
        const QByteArray data = file.read(kBlockSize);
        if (data.size() != kBlockSize) {
            fileFailed(data.isEmpty() && file.error() != QFileDevice::NoError
                           ? file.errorString()
                           : QStringLiteral("it became shorter while it was sent"));
            return;
        }
        if (SendBlock(data, qint32(i)) != kdx::OK)
            return;
        SetBlockProgress(i, fullBlocks);
    }
    if (rest == 0) {
        m_iProgress = 100;
        return;
    }
    QByteArray data = file.read(rest);
    if (data.size() != rest) {
        fileFailed(QStringLiteral("it became shorter while it was sent"));
        return;
    }
    data.append(QByteArray(kBlockSize - rest, kSUB));
    SendBlock(data, qint32(fullBlocks + 1));
    m_iProgress = 100;
}

// EOT tells the loader the image is whole; a transfer that did not complete is
// cancelled instead, so that a truncated image is never taken for a good one.
void frmCKDX::closingSequence(bool complete)
{
    modKDX::Delay(kBeforeEnd);
    if (!m_comm->output(complete ? QByteArray(1, kEOT) : QByteArray(2, kCAN))) {
        portFailed();
        return;
    }
    m_iProgress = 0;
    modKDX::Delay(kEndAnswer);
    // The answer to EOT is not examined.
    QByteArray answer;
    if (!m_comm->input(answer)) {
        portFailed();
        return;
    }
    modKDX::Delay(kClosingStep);
    if (!m_comm->output(QByteArray(1, kESC))) {
        portFailed();
        return;
    }
    modKDX::Delay(kClosingStep);
    if (!m_comm->output(QByteArrayLiteral("R\r"))) {
        portFailed();
        return;
    }
    modKDX::Delay(kClosingStep);
    if (complete)
        setOutcome(Outcome::Complete);
    m_blnUpdateFirmwareFinish = true;
}

bool frmCKDX::writeBlock(const QByteArray &header, const QByteArray &data, const QByteArray &check)
{
    return m_comm->output(header) && m_comm->output(data) && m_comm->output(check);
}

qint32 frmCKDX::SendBlock(const QByteArray &data, qint32 block)
{
    const quint8 number = quint8(block & 0xFF);
    QByteArray header;
    header.append(kSOH).append(char(number)).append(char(quint8(255 - number)));
    QByteArray check;
    if (m_CheckSumType == 1) {
        const qint32 crc = modKDX::CalcCRC16(data);
        check.append(char((crc >> 8) & 0xFF)).append(char(crc & 0xFF));
    } else {
        check.append(char(modKDX::CalcCheckSum(data)));
    }
    if (!writeBlock(header, data, check)) {
        portFailed();
        return kdx::NotConnected;
    }

    int counter = 0;
    for (;;) {
        modKDX::Delay(kAnswerSettle);
        modKDX::Delay(kAnswerPoll);
        const int waiting = m_comm->inBufferCount();
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
            if (!m_comm->input(answer)) {
                portFailed();
                return kdx::NotConnected;
            }
            const char first = answer.isEmpty() ? 0 : answer.at(0);
            if (first == kACK)
                return kdx::OK;
            if (first == kCAN) {
                setOutcome(Outcome::Cancelled, QStringLiteral("the display cancelled the transfer"));
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
            setOutcome(Outcome::NoAnswer, QStringLiteral("the display did not answer"));
            return kdx::NoResponse;
        }
        if (m_blnStop) {
            setOutcome(Outcome::Stopped, QStringLiteral("the transfer was stopped"));
            return kdx::Cancelled;
        }
    }
}

// i * 100 / n to the nearest whole number, halves to the even neighbour.
void frmCKDX::SetBlockProgress(qint64 i, qint64 n)
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

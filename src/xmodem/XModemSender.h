#pragma once

#include "Timer.h"
#include "TransferLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The XModem sender: one file in 128-byte blocks with the 8-bit checksum or
// CRC-16, then EOT and the loader's closing sequence (ESC, "R" CR). Arming
// Timer1 starts one transfer, which runs inside the timer's first tick; every
// wait goes through the line's wait, so the windows keep repainting and
// answering meanwhile.
class XModemSender : public QObject
{
    Q_OBJECT
public:
    // How the last transfer ended. Only Complete is a firmware update that went
    // through.
    enum class Outcome {
        None,           // no transfer has ended since the last start
        Complete,       // every block accepted, EOT and the closing sent
        NoStartRequest, // the display did not ask for the file
        NoAnswer,       // a block was not accepted within the attempt limit
        Cancelled,      // the display cancelled the transfer
        Stopped,        // StopSendFile before or during the transfer
        PortFault,      // the serial port failed
        FileFault,      // the file could not be read
    };

    explicit XModemSender(TransferLine line, QObject *parent = nullptr);

    platform::Timer &Timer1() { return m_timer1; }

    void setFile(const QString &i_sFile) { m_sFile = i_sFile; }
    QString File() const { return m_sFile; }
    qint32 CheckSumType() const { return m_CheckSumType; }
    void setCheckSumType(qint32 i_CheckSum) { m_CheckSumType = i_CheckSum; }
    // Also moved by the loader dialogue while it talks to the display.
    qint16 Progress() const { return m_iProgress; }
    void setProgress(qint16 i_iProgress) { m_iProgress = i_iProgress; }
    bool UpdateFirmwareFinish() const { return m_blnUpdateFirmwareFinish; }
    // The block on its way (1-based; 0 before the first) and the file's
    // number of blocks (0 until the file has been opened), for a phase text.
    qint64 currentBlock() const { return m_lBlock; }
    qint64 blockCount() const { return m_lBlocks; }
    void setUpdateFirmwareFinish(bool on) { m_blnUpdateFirmwareFinish = on; }

    // Arms one transfer, which starts one timer interval later. Forgets the
    // last outcome and any stop request left behind.
    void start();
    // Seen at the end of the current poll. A transfer armed but not yet
    // started still runs its tick, to cancel the loader's receive.
    void StopSendFile() { m_blnStop = true; }
    // From start() until the transfer has ended: the port is the sender's.
    bool isBusy() const { return m_blnRunning || m_timer1.isEnabled(); }

    // Published once the transfer has ended: None while one is armed or runs.
    Outcome outcome() const { return isBusy() ? Outcome::None : m_outcome; }
    // Why a transfer did not complete, in words for a message box.
    QString outcomeText() const { return m_sOutcomeText; }

private:
    void Timer1_Timer();
    void runTransfer();
    // One block: 0 accepted, -4 not accepted within the attempt limit, -7
    // cancelled by the display or stopped, -3 the port failed. Every failure
    // leaves its outcome set.
    qint32 SendBlock(const QByteArray &data, qint32 block);
    void SetBlockProgress(qint64 i, qint64 n);

    bool awaitStartRequest();
    void sendFile();
    void closingSequence(bool complete);
    bool writeBlock(const QByteArray &header, const QByteArray &data, const QByteArray &check);
    void setOutcome(Outcome o, const QString &text = QString());
    // Records the port's fault as the outcome; always false.
    bool portFailed();
    bool stopped();

    TransferLine m_line;
    platform::Timer m_timer1;

    QString m_sFile;
    bool m_blnStop = false;
    bool m_blnRunning = false;
    qint32 m_CheckSumType = 0;
    qint16 m_iProgress = 0;
    qint64 m_lBlock = 0;
    qint64 m_lBlocks = 0;
    bool m_blnUpdateFirmwareFinish = false;
    Outcome m_outcome = Outcome::None;
    QString m_sOutcomeText;
};

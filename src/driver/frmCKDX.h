#pragma once

#include "SerialPort.h"
#include "Timer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The one owner of the serial port in the process, and the home of the XModem
// sender. It is a hidden object, created on first use: every CKDX talks through
// its MSComm1, so however many driver objects exist there is exactly one port.
// Enabling Timer1 starts one file transfer, which runs inside the timer's first
// tick (the sender lives in src/transfer).
class frmCKDX : public QObject
{
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<platform::SerialPort>()>;

    // The instance, created on first use with a port from the installed factory.
    static frmCKDX &instance();
    // Where MSComm1 comes from; the default opens real devices through the port
    // map. Tests install a fake; kdxctl a fixed device. Takes effect for the next
    // instance.
    static void setPortFactory(PortFactory factory);
    // Wraps every port the factory makes, whatever it is (the traffic tap).
    // None by default; takes effect for the next instance.
    using PortDecorator = std::function<std::unique_ptr<platform::SerialPort>(std::unique_ptr<platform::SerialPort>)>;
    static void setPortDecorator(PortDecorator decorator);
    // Destroys the instance (tests start each case with a fresh port).
    static void resetInstance();

    platform::SerialPort &MSComm1() { return *m_comm; }

    // True while a loader dialogue or a file transfer owns the port: no other
    // command may write to it or close it until the transfer has ended. False
    // when no instance exists yet.
    static bool portOwnedByTransfer();
    void setLoaderRunning(bool on) { m_blnLoaderRunning = on; }
    platform::Timer &Timer1() { return m_timer1; }

    // How the last transfer ended. The window and kdxctl report it; only
    // Complete is a firmware update that went through.
    enum class Outcome {
        None,           // no transfer has ended since the last start
        Complete,       // every block accepted, EOT and the closing sent
        NoStartRequest, // the display did not ask for the file
        NoAnswer,       // a block was not accepted within the attempt limit
        Cancelled,      // the display cancelled the transfer
        Stopped,        // StopSendFile during the transfer
        PortFault,      // the serial port failed
        FileFault,      // the file could not be read
    };

    // Sender state, published to the driver and the firmware window.
    void setFile(const QString &i_sFile) { m_sFile = i_sFile; }
    QString File() const { return m_sFile; }
    qint32 CheckSumType() const { return m_CheckSumType; }
    void setCheckSumType(qint32 i_CheckSum) { m_CheckSumType = i_CheckSum; }
    qint16 Progress() const { return m_iProgress; }
    void setProgress(qint16 i_iProgress) { m_iProgress = i_iProgress; }
    bool UpdateFirmwareFinish() const { return m_blnUpdateFirmwareFinish; }
    void setUpdateFirmwareFinish(bool i_blnUpdateFirmwareFinish)
    {
        m_blnUpdateFirmwareFinish = i_blnUpdateFirmwareFinish;
    }
    // Published once the transfer has ended: None while one is running.
    Outcome outcome() const { return m_blnRunning ? Outcome::None : m_outcome; }
    // Why a transfer did not complete, in words for a message box.
    QString outcomeText() const { return m_sOutcomeText; }
    // Forgets the last outcome, so that a poll between a start and the first
    // tick cannot take an earlier transfer's end for this one's.
    void clearOutcome();
    void StopSendFile() { m_blnStop = true; }

private:
    frmCKDX();
    ~frmCKDX() override;

    void Timer1_Timer();
    void runTransfer();
    // XModem block: 0 accepted, -4 no acceptance within the attempt limit, -7
    // cancelled by the display or stopped, -3 the port failed. Every failure
    // leaves its outcome set.
    qint32 SendBlock(const QByteArray &data, qint32 block);
    void SetBlockProgress(qint64 i, qint64 n);

    // Steps of the transfer. A step that ends it early sets the outcome.
    bool awaitStartRequest();
    void sendFile();
    void closingSequence(bool complete);
    bool writeBlock(const QByteArray &header, const QByteArray &data, const QByteArray &check);
    void setOutcome(Outcome o, const QString &text = QString());
    // Records the port's fault as the outcome; always false.
    bool portFailed();

    std::unique_ptr<platform::SerialPort> m_comm;
    platform::Timer m_timer1;

    QString m_sFile;
    bool m_blnStop = false;
    bool m_blnRunning = false;
    bool m_blnLoaderRunning = false;
    qint32 m_CheckSumType = 0;
    qint16 m_iProgress = 0;
    bool m_blnUpdateFirmwareFinish = false;
    Outcome m_outcome = Outcome::None;
    QString m_sOutcomeText;
};

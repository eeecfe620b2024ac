#pragma once

#include "ResultCode.h"
#include "XModemSender.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <initializer_list>

namespace platform {
class SerialPort;
} // namespace platform

// The display driver. Every operation that talks to the display opens the port,
// exchanges its bytes and closes it again, and returns a result code (see
// ResultCode.h); only SendMessageB_VT100, GetCommData, GetCommDataB and the
// firmware path leave the port open. Waits keep the event loop running.
class CKDX
{
public:
    CKDX();

    // Serial parameters, taken at the next Connect.
    qint32 CommPort() const { return m_lCommPort; }
    void setCommPort(qint32 i_CommPort) { m_lCommPort = i_CommPort; }
    QString BaudRate() const { return m_sBaudRate; }
    void setBaudRate(const QString &i_sBaudRate) { m_sBaudRate = i_sBaudRate; }
    // "NONE", "ODD" and "EVEN" are mapped by DataBit; any other text is kept.
    QString Parity() const { return m_sParity; }
    void setParity(const QString &i_sParity) { m_sParity = mapParity(i_sParity, m_iDataBit); }
    static QString mapParity(const QString &parity, qint16 dataBit);
    qint16 DataBit() const { return m_iDataBit; }
    void setDataBit(qint16 i_iDataBit) { m_iDataBit = i_iDataBit; }
    // Kept and returned only: Connect builds the line settings from BaudRate
    // and Parity.
    QString Settings() const { return m_sSettings; }
    void setSettings(const QString &i_sSettings) { m_sSettings = i_sSettings; }

    qint32 Connect();
    // -3 also when closing finds that what was written did not reach the far
    // end of a network port.
    qint32 Disconnect();
    // Ends a command: Disconnect, and a result that was a success becomes
    // Disconnect's failure.
    qint32 finish(qint32 result);
    qint16 InBufferCount();

    static void ErrorDescription(qint32 i_lResult, QString &o_sMessage);
    static QString ErrorDescription(qint32 i_lResult);
    void ShowErrorDescription(qint32 i_lResult) const;

    // Native setting commands: frame 04 01 letter params 17, answered by ACK.
    qint32 SetBaudRate(const QString &i_sBaudRate, const QString &i_sParity);
    qint32 SetInternationalCode(qint16 i_iCodeIndex);
    qint32 SaveMessage(qint16 i_iLayer);
    qint32 SetPosition(qint16 i_iPosition);
    qint32 ClearDisplay(double i_iStart, double i_iEnd);
    qint32 DisplayShowSavedMessageAfterRebootMode(double i_iMode);
    qint32 DisplayDemoMessage(double i_iLayer, double i_iMode);

    // What the setting commands take, so that a value can be checked before
    // anything is sent: the rate and framing SetBaudRate has codes for
    // (otherwise InvalidBaudRate), and the parameters of the native command
    // with this letter ('I', 'S', 'P', 'C', 'O', 'D'), each of which must fit
    // one byte once the command's offset is added (otherwise InvalidParameter).
    static bool acceptsBaudRate(const QString &i_sBaudRate, const QString &i_sParity);
    static bool acceptsParameters(char letter, std::initializer_list<double> values);

    // Escape commands and the lamp test: no answer awaited.
    qint32 SwitchCommand(qint16 i_iCommand);
    qint32 PrinterOn();
    qint32 PrinterOff();
    qint32 FullyLightTube(qint16 i_SendStringLen);

    // The version query: OK only for an answer that answersLikeKdx().
    qint32 GetVersion(QString &o_sVersion);

    // Whether the answer to the version query is what a KDX display gives: a
    // version text of at least kMinVersionLength bytes. The one test of "a
    // display is on this port", for GetVersion and for whoever looks for one.
    static constexpr int kMinVersionLength = 4;
    static bool answersLikeKdx(const QByteArray &versionAnswer);

    // The display's own line settings as SetBaudRate takes them: the rates of
    // its baud list ("19200" ... "115200", in the order of their codes) and its
    // five framings ("N,8,1", "O,7,1", "E,7,1", "O,8,1", "E,8,1").
    static QStringList DisplayBaudRates();
    static QStringList DisplayFramings();

    // A native frame: 04 01, the letter, the parameter bytes, 17.
    static QByteArray NativeFrame(char letter, const QByteArray &params = {});

    // Text and byte transfers.
    qint32 SendMessage(const QString &i_sMessage);
    qint32 SendMessageB(quint8 i_bMessage);
    qint32 SendMessageByteArray(const QByteArray &bMessage);
    qint32 SendMessageStringAndByte(const QString &i_sMessage, quint8 i_bMessage);
    qint32 SendMessageB_VT100(quint8 i_bMessage);
    qint32 GetMessage(QString &o_sMessage);
    void GetCommData(QString &o_sData);
    void GetCommDataB(QByteArray &o_bData);

    // Firmware update: the driver's face of the loader dialogue and the XModem
    // sender (src/transfer). StopSendFile also ends a running loader dialogue
    // at its next poll.
    QString File() const { return m_sFile; }
    void setFile(const QString &i_sFile);
    qint32 CheckSumType() const { return m_lCheckSumType; }
    void setCheckSumType(qint32 i_CheckSum);
    qint32 FirmwareCodeType() const { return m_lFirmwareCodeType; }
    void setFirmwareCodeType(qint32 i_CodeType) { m_lFirmwareCodeType = i_CodeType; }
    qint16 Progress() const;
    bool UpdateFirmwareFinish() const;
    void setUpdateFirmwareFinish(bool i_blnUpdateFirmwareFinish);
    qint32 FirmwareUpdateMode();
    void StartSendFile();
    void StopSendFile();
    // What went wrong in the last loader dialogue, for FirmwareUpdateMode's
    // result: "the display did not answer the request to switch to its loader".
    QString loaderFailureText(qint32 result) const;
    // The block on its way (0 before the first) and the file's block count.
    qint64 transferBlock() const;
    qint64 transferBlocks() const;
    // How the last transfer ended; None while one is armed or runs.
    XModemSender::Outcome transferOutcome() const;
    QString transferOutcomeText() const;

    // Text through the ANSI code page and the display code table, as sent.
    static QByteArray encodeText(const QString &text);

private:
    qint32 SendCommand(const QByteArray &frame);
    static void ConvertToDisplayCode(QByteArray &bytes);

    // The parameter bytes of a native command, false when one does not fit.
    static bool nativeParameters(char letter, std::initializer_list<double> values, QByteArray &out);
    // A native setting command: connect, frame, SendCommand, disconnect.
    qint32 nativeCommand(char letter, const QByteArray &params, bool paramsValid);
    // Writes in one piece at 9600 baud and above, byte by byte below.
    bool writeByBaudRate(const QByteArray &bytes);
    // The result for a fault of the serial port: -3, or -2 when a network
    // server turned the client away before any data.
    qint32 lineFault();
    // Closes the port after a fault of the serial port and gives lineFault().
    qint32 portFault();
    // GetCommData's exchange: connect, wait, read whatever arrived (port left open).
    bool readCommData(QByteArray &data);
    enum class Wait { Data, Timeout, Fault };
    Wait waitForData(std::chrono::milliseconds poll, int maxPolls);
    // The read-back exchanges ("V", "T"): discard, frame, wait, settle, read all.
    qint32 readBack(char letter, std::chrono::milliseconds poll, int maxPolls, std::chrono::milliseconds settle,
                    QByteArray &answer);

    // The port is reached through frmCKDX on every use rather than kept as a
    // reference, so that a fresh frmCKDX (tests) is always the one talked to.
    static platform::SerialPort &comm();

    QString m_sSettings;
    QString m_sBaudRate;
    QString m_sParity;
    qint32 m_lCommPort = 0;
    QString m_sFile;
    qint32 m_lCheckSumType = 0;
    qint32 m_lFirmwareCodeType = 0;
    qint16 m_iDataBit = 7;
};

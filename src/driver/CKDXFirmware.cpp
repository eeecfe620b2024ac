// The driver's firmware members: its face of the loader dialogue and of the
// XModem sender, which live in src/transfer and share frmCKDX's port.

#include "CKDX.h"

#include "frmCKDX.h"

namespace {

XModemSender &sender()
{
    return frmCKDX::instance().sender();
}

} // namespace

void CKDX::setFile(const QString &i_sFile)
{
    m_sFile = i_sFile;
    sender().setFile(i_sFile);
}

void CKDX::setCheckSumType(qint32 i_CheckSum)
{
    m_lCheckSumType = i_CheckSum;
    sender().setCheckSumType(i_CheckSum);
}

qint16 CKDX::Progress() const
{
    return sender().Progress();
}

bool CKDX::UpdateFirmwareFinish() const
{
    return sender().UpdateFirmwareFinish();
}

void CKDX::setUpdateFirmwareFinish(bool i_blnUpdateFirmwareFinish)
{
    sender().setUpdateFirmwareFinish(i_blnUpdateFirmwareFinish);
}

qint32 CKDX::FirmwareUpdateMode()
{
    // Only two code types exist; guessing a third would send the wrong image type.
    if (m_lFirmwareCodeType != 0 && m_lFirmwareCodeType != 1)
        return kdx::InvalidParameter;
    if (Connect() == kdx::OpenFailed)
        return kdx::OpenFailed;
    return frmCKDX::instance().loader().run(m_lFirmwareCodeType);
}

void CKDX::StartSendFile()
{
    sender().start();
}

void CKDX::StopSendFile()
{
    frmCKDX::instance().loader().stop();
    sender().StopSendFile();
}

QString CKDX::loaderFailureText(qint32 result) const
{
    return frmCKDX::instance().loader().failureText(result);
}

qint64 CKDX::transferBlock() const
{
    return sender().currentBlock();
}

qint64 CKDX::transferBlocks() const
{
    return sender().blockCount();
}

XModemSender::Outcome CKDX::transferOutcome() const
{
    return sender().outcome();
}

QString CKDX::transferOutcomeText() const
{
    return sender().outcomeText();
}

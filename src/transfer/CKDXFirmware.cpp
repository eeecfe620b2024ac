#include "CKDX.h"

#include "frmCKDX.h"

// Placeholder until the firmware members land.
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
    return kdx::NoResponse;
}

qint32 CKDX::WaitForPrompt()
{
    return kdx::NoResponse;
}

void CKDX::StartSendFile()
{
    frmCKDX::instance().Timer1().setEnabled(true);
}

void CKDX::StopSendFile()
{
    frmCKDX::instance().Timer1().setEnabled(false);
    frmCKDX::instance().StopSendFile();
}

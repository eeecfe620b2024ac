#include "frmCKDX.h"

// Placeholder until the XModem sender lands: one enabling, no transfer.
void frmCKDX::Timer1_Timer()
{
    m_timer1.setEnabled(false);
}

#pragma once

#include "FakeSerialPort.h"
#include "RecordingDialogs.h"
#include "VirtualClock.h"

#include <QTemporaryDir>

namespace kdxtest {

// Points the settings store and the port map at fresh temporary folders, so no
// test touches the user's files. Call before the first use of either.
void isolateUserFolders();

// Everything a driver or window test needs: a virtual clock, recorded dialogs
// and a fresh frmCKDX whose serial port is a FakeSerialPort.
class DriverEnv
{
public:
    DriverEnv();
    ~DriverEnv();

    FakeSerialPort &port() { return *m_port; }

    VirtualClock clock;
    RecordingDialogs dialogs;

private:
    FakeSerialPort *m_port = nullptr;
};

} // namespace kdxtest

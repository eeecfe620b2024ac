#pragma once

#include "FakeSerialPort.h"
#include "RecordingDialogs.h"
#include "VirtualClock.h"

#include <QTemporaryDir>

namespace kdxtest {

// Points the settings store and the port map at fresh temporary folders, so no
// test touches the user's files. Call before the first use of either.
void isolateUserFolders();

// The utility's first start on COM<comNumber> of the port map, with the real
// port: fresh settings that name only the port, display type 11, and a fresh
// frmCKDX.
void firstStartOn(int comNumber);

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

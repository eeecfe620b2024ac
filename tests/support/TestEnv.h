#pragma once

#include "FakeSerialPort.h"
#include "RecordingDialogs.h"
#include "VirtualClock.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace kdxtest {

// Points the settings store and the port map at fresh temporary folders, so no
// test touches the user's files. Call before the first use of either.
void isolateUserFolders();

// The utility's first start on COM<comNumber> of the port map, with the real
// port: fresh settings that name only the port, display type 11, and a fresh
// frmCKDX.
void firstStartOn(int comNumber);

// Runs the process (program and arguments set) with its descriptor fd (1 or 2)
// on a terminal of the test's own, raw so that the terminal adds no CR, and
// returns what the program wrote there; the other channels stay pipes.
QByteArray runOnTerminal(QProcess &process, int fd, int timeoutMs = 20000);

// The lines of a trace without their times, the columns' padding made single:
// "> 04 01 50 44 17 SetPosition 20".
QStringList untimedTrace(const QString &text);

// Whether the tty is in exclusive mode: an open fails with EBUSY (not root) or
// the mode reads back set (root may open it anyway).
bool ttyExclusive(const QString &device);

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

#pragma once

#include <QString>

class QFile;

// The tests a firmware file passes before anything is sent to the display, and
// the one way the file is opened. Neither ever blocks: a FIFO, a device, a
// socket or a folder is refused before it is opened for reading.
namespace fileCheck {

struct Fault
{
    int number = 0;      // the system's error number; 0 for a refusal of our own
    QString description; // the system's text for it, or ours
};

// Opens a regular file for reading without blocking, then makes reads
// blocking again. False, with the reason, for anything else.
bool openRegularFile(const QString &path, QFile &file, Fault &fault);

// A firmware file the transfer can send: a regular file that opens for
// reading and is not empty (no display firmware is empty).
bool checkFirmwareFile(const QString &path, Fault &fault);

} // namespace fileCheck

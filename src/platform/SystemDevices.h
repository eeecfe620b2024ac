#pragma once

#include <QList>
#include <QString>

namespace platform {

// A serial device the system has, with what it tells about it; empty where it
// does not know (a pseudo-terminal has none of it).
struct SystemDevice
{
    QString location; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// The system's serial devices, from a library of the program's own
// (ProgramLibrary) around QSerialPortInfo and udev, loaded the first time the
// list is asked for: a command on one port never loads it. Empty, with the
// reason in *error, when the library cannot be loaded.
// When KDX_SYSTEM_DEVICES is set, its colon-separated paths are the list
// instead (empty: none), and the library is not loaded.
QList<SystemDevice> systemSerialDevices(QString *error = nullptr);

} // namespace platform

// What the library exports: the version of this interface, and the list.
#define KDX_SYSTEM_DEVICES_INTERFACE 1
using KdxSystemDevices = void (*)(QList<platform::SystemDevice> *out);

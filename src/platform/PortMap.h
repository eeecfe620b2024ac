#pragma once

#include "PortLock.h"
#include "SystemDevices.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// The map of COM numbers to serial devices: a folder holding one symbolic link per
// number, "COM<n>" pointing at a device. Numbers are never reassigned, so settings
// that remember "COM3" stay right; a link whose device is missing keeps its number
// but is reported as not present. The folder is $KDX_PORTS_DIR, or
// $XDG_CONFIG_HOME/kdx-utility/ports (~/.config when unset).
// A number may instead name a port on another machine: then the folder holds a
// small text file "COM<n>.url" with its address (rfc2217://HOST:PORT or
// tcp://HOST:PORT). Such a file is only ever read as text: a link, a FIFO, a
// file that is too long or does not hold one valid address is skipped with a
// message.
class PortMap
{
public:
    struct Entry
    {
        int number = 0;
        QString target; // the device the link points at
        bool present = false;
        QString url; // the network address, for a number that names one
    };

    // What the system tells about a device, for a listing; empty where it
    // does not know (a pseudo-terminal has none of it).
    struct Details
    {
        QString description;  // "FT232R USB UART"
        QString manufacturer;
        QString serialNumber;
        QString byId;         // its name in /dev/serial/by-id
        bool hasUsbIds = false;
        quint16 vendorId = 0;
        quint16 productId = 0;
        QList<PortHolder> users; // programs that claim it: lock file or flock
    };

    // The port number is a 16-bit signed value: COM1 to COM32767.
    static constexpr int kMaxNumber = 32767;

    explicit PortMap(const QString &dir = defaultDir());

    static QString defaultDir();
    QString dir() const { return m_dir; }

    // Every link, in ascending order of number.
    QList<Entry> entries() const;

    // The device behind COM<number>, empty when there is no link.
    QString devicePath(int number) const;

    // The number whose link points at path (after resolving both), 0 when none.
    int numberOf(const QString &path) const;

    int lowestFreeNumber() const;

    // Gives every device of the list that has no link yet the lowest free number.
    // Returns how many links were added.
    int assign(const QStringList &devices);

    // assign() with the serial devices the system has.
    int refresh();

    // The system's serial devices (USB adapters by their stable /dev/serial/by-id path).
    static QStringList systemDevices();

    bool addLink(int number, const QString &target, QString *error = nullptr);
    bool removeLink(int number);

    static QString linkName(int number) { return QStringLiteral("COM%1").arg(number); }
    // The number of a COM name ("COM3", any case), 0 when it is not one: no
    // leading zero, no sign, 1 to kMaxNumber.
    static int numberOfName(const QString &name);

    static Details details(const QString &device);
    // The same from a list of the system's devices already asked for (a
    // listing of many ports asks once).
    static Details details(const QString &device, const QList<SystemDevice> &known);

    // The network address COM<number> names; empty when it names none or its
    // file is not usable (*problem then says why).
    QString urlOf(int number, QString *problem = nullptr) const;
    // Writes COM<number>.url for a valid address; never over an existing entry.
    bool addUrl(int number, const QString &url, QString *error = nullptr);
    // Removes the network entry COM<number>; device links are left alone.
    bool removeUrl(int number, QString *error = nullptr);

    static QString urlFileName(int number) { return linkName(number) + QStringLiteral(".url"); }
    // Longest address file read.
    static constexpr int kMaxUrlFileBytes = 512;

private:
    QString m_dir;
};

} // namespace platform

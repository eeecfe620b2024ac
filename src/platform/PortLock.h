#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

namespace platform {

// A process that holds a serial device.
struct PortHolder
{
    PortHolder(qint64 pid = 0, const QString &program = QString(), const QString &host = QString())
        : pid(pid), program(program), host(host)
    {
    }

    qint64 pid = 0;
    QString program; // its command name, empty when it cannot be read
    QString host;    // the machine its lock file names, when that is not this one

    // "PID 123 (minicom)", "PID 123" without a name, "PID 123 (app) on host pos-12".
    QString text() const;
};

// The lock file convention that serial programs on Linux honour: a file
// LCK..<device name> in the lock folder holds the owner's PID. Ours is written
// as ten ASCII characters and a newline; others are read in the forms serial
// programs write: the PID in ASCII, padded or not, with or without words after
// it on its line; a binary int of four bytes from old programs; and the form of
// Qt's QLockFile, the PID on the first line, then the application's name and
// the host name on lines of their own. A lock of a live process of this host,
// or one that names another host, means the device is busy and is never
// touched; one whose process is gone is stale and may be removed.
//
// The folder is $KDX_LOCK_DIR when set (tests use a throwaway one), otherwise
// /var/lock, or /run/lock where /var/lock is missing. Where the folder cannot be
// written the lock is simply not taken: the other guards (flock, exclusive
// mode) still hold.
class PortLock
{
public:
    enum class Outcome {
        Taken,    // our lock file is in place
        Skipped,  // the folder cannot be written: no lock file, nobody else's either
        Busy,     // a live process holds the lock: see owner()
        Invalid,  // something other than a regular file sits at the lock path
    };

    PortLock() = default;
    ~PortLock() { release(); }
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

    // device: the device's real path (/dev/ttyUSB0, not a link to it).
    Outcome acquire(const QString &device);
    // The tty descriptor to take out of exclusive mode when a signal ends the
    // process while the lock is held (-1: none).
    void setTty(int fd);
    // Removes our lock file, if it is still ours.
    void release();

    PortHolder owner() const { return m_owner; }
    QString path() const { return m_path; }

    static QString directory();
    // "LCK..ttyUSB0"; a device below /dev/pts gives "LCK..pts_3".
    static QString fileName(const QString &device);
    // The owner of the device's lock file while it counts (alive here, or on
    // another host); pid 0 when there is none.
    static PortHolder lockOwner(const QString &device);

private:
    QString m_path;
    PortHolder m_owner;
    int m_slot = -1;
};

// The command name of a process (/proc/PID/comm), empty when unknown.
QString programOf(qint64 pid);

// Processes holding a flock on the file (its st_dev and st_ino), from /proc/locks.
QList<PortHolder> flockHolders(dev_t fileSystem, ino_t inode);

// Other processes that have the character device open (/proc/*/fd; only those
// of the same user can be seen, all of them by root). For a pseudo-terminal the
// program at its far end (which holds the master, and often the device too) is
// not counted: it owns the line, it does not use it as a port.
QList<PortHolder> openersOf(dev_t device);

// Bytes every held port still gets when a signal ends the process at once: a
// firmware update keeps here what takes the display out of its loader. Empty
// clears them. Set from the main thread only.
void setPortFarewell(const QByteArray &bytes);

// A network port's connection gets the farewell too while the port is open,
// as a held tty does: watchConnection gives a handle (-1 when none is free)
// for unwatchConnection.
int watchConnection(int socket);
void unwatchConnection(int handle);

// Writes the farewell to every port this process holds, takes them out of
// exclusive mode and removes their lock files. Async-signal-safe, so that the
// path that ends the process at once leaves nothing behind; also runs at exit.
void releasePortLocks() noexcept;

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that release the
// port locks and then end the process by the same signal. Signals that already
// have a handler (or are ignored) are left alone.
void releasePortLocksOnSignals();

} // namespace platform

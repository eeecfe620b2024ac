#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

namespace platform {

// A process that holds a serial device.
struct PortHolder
{
    qint64 pid = 0;
    QString program; // its command name, empty when it cannot be read

    // "PID 123 (minicom)", or "PID 123" without a name.
    QString text() const;
};

// The lock file convention that serial programs on Linux honour: a file
// LCK..<device name> in the lock folder holds the owner's PID as ten ASCII
// characters and a newline. A file whose process is alive means the device is
// busy; one whose process is gone is stale and may be removed.
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
    // The live owner of the device's lock file, pid 0 when there is none.
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
// of the same user can be seen, all of them by root).
QList<PortHolder> openersOf(dev_t device);

// Removes every lock file this process holds and takes its ports out of
// exclusive mode. Safe to call from a signal handler; also runs at exit.
void releasePortLocks() noexcept;

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that release the
// port locks and then end the process by the same signal. Signals that already
// have a handler (or are ignored) are left alone.
void releasePortLocksOnSignals();

} // namespace platform

#include "PortLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// A lock file without a readable PID may be one another program has just
// created and not yet written; only an older one is taken for stale.
constexpr time_t kUnreadableLockGraceSeconds = 2;

// Ports this process holds, kept where a signal handler can reach them: fixed
// storage, lock-free state. state: 0 free, 1 being changed, 2 held, 3 released
// by releasePortLocks() while its PortLock still exists.
struct Slot
{
    std::atomic<int> state {0};
    int tty = -1; // or a network port's socket, which only takes the farewell
    bool socket = false;
    dev_t dev = 0;
    ino_t ino = 0;
    char path[512] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free state");

constexpr int kSlots = 8;
Slot g_slots[kSlots];

// How long a network connection is kept after its farewell.
constexpr long kServerFarewellMs = 150;

// The farewell: written whole before its size is published, so that a signal
// handler reads either nothing or all of it.
char g_farewell[32];
std::atomic<int> g_farewellSize {0};

// What our lock files hold: the PID in ten characters and a newline.
int lockText(char (&out)[16], long pid) noexcept
{
    // Written by hand: snprintf is not safe in a signal handler.
    char digits[16];
    int n = 0;
    do {
        digits[n++] = char('0' + pid % 10);
        pid /= 10;
    } while (pid > 0 && n < 15);
    int len = 0;
    for (int pad = 10 - n; pad > 0; --pad)
        out[len++] = ' ';
    while (n > 0)
        out[len++] = digits[--n];
    out[len++] = '\n';
    return len;
}

// Removes the lock file at path only if it is still the one we created (same
// file, our PID in it); never follows a link. Async-signal-safe.
void removeIfOurs(const char *path, dev_t dev, ino_t ino) noexcept
{
    if (!path[0])
        return;
    const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    char want[16];
    const int len = lockText(want, long(::getpid()));
    char got[17];
    const bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev && st.st_ino == ino;
    const bool ours = same && ::read(fd, got, sizeof got) == len && std::memcmp(got, want, size_t(len)) == 0;
    ::close(fd);
    if (ours)
        ::unlink(path);
}

int claimSlot(const QByteArray &path, dev_t dev, ino_t ino)
{
    static const bool atExit = (std::atexit([] { releasePortLocks(); }), true);
    Q_UNUSED(atExit);
    if (path.size() >= qsizetype(sizeof(Slot::path)))
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!g_slots[i].state.compare_exchange_strong(expected, 1))
            continue;
        Slot &s = g_slots[i];
        s.tty = -1;
        s.socket = false;
        s.dev = dev;
        s.ino = ino;
        std::memcpy(s.path, path.constData(), size_t(path.size()));
        s.path[path.size()] = '\0';
        s.state = 2;
        return i;
    }
    return -1;
}

bool heldHere(const QByteArray &path)
{
    for (const Slot &s : g_slots) {
        if (s.state == 2 && path == s.path)
            return true;
    }
    return false;
}

bool alive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// What a lock file says about its owner; pid 0 when it names none.
struct LockText
{
    qint64 pid = 0;
    QString program;
    QString host;
};

// The PID in ASCII on the first line, padded or not, perhaps followed by the
// program's name on that line; Qt's QLockFile puts the application's name and
// the host name on the two lines after it. Old programs wrote a binary int of
// four bytes.
LockText parseLock(const QByteArray &content)
{
    LockText out;
    const QList<QByteArray> lines = content.split('\n');
    const QList<QByteArray> first = lines.first().simplified().split(' ');
    bool ok = false;
    const qint64 pid = first.first().toLongLong(&ok);
    if (ok) {
        out.pid = pid > 0 ? pid : 0;
        if (first.size() > 1)
            out.program = QString::fromUtf8(first[1]);
        if (lines.size() > 1 && !lines[1].trimmed().isEmpty())
            out.program = QString::fromUtf8(lines[1].trimmed());
        if (lines.size() > 2)
            out.host = QString::fromUtf8(lines[2].trimmed());
        return out;
    }
    if (content.size() == int(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        out.pid = binary > 0 ? binary : 0;
    }
    return out;
}

bool otherHost(const LockText &lock)
{
    return !lock.host.isEmpty() && lock.host != QSysInfo::machineHostName();
}

// Who a lock counts for: the live process of this host (by its command name,
// or the name its lock file gives), or the process named on another host,
// which cannot be looked at from here.
PortHolder holderOf(const LockText &lock)
{
    if (otherHost(lock))
        return {lock.pid, lock.program, lock.host};
    const QString program = programOf(lock.pid);
    return {lock.pid, program.isEmpty() ? lock.program : program, QString()};
}

enum class LockFile { Read, Missing, Unreadable, NotAFile };

// Reads a lock file without following a link or blocking.
LockFile readLock(const QByteArray &path, QByteArray *content, struct stat *st)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? LockFile::Missing : errno == ELOOP ? LockFile::NotAFile : LockFile::Unreadable;
    char buf[256];
    const bool regular = ::fstat(fd, st) == 0 && S_ISREG(st->st_mode);
    const ssize_t n = regular ? ::read(fd, buf, sizeof buf) : -1;
    ::close(fd);
    *content = n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    return regular ? LockFile::Read : LockFile::NotAFile;
}

// Unix98 pseudo-terminal devices and their number (/dev/pts/N).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;
// /dev/ptmx, through which every master is opened.
constexpr unsigned kPtmxMajor = 5;
constexpr unsigned kPtmxMinor = 2;

int ptyIndex(dev_t device)
{
    if (major(device) < kPtySlaveMajorFirst || major(device) > kPtySlaveMajorLast)
        return -1;
    return int((major(device) - kPtySlaveMajorFirst) * 256 + minor(device));
}

// Whether the descriptor fd of process pid is the master of pseudo-terminal
// index: the system names it in the descriptor's "tty-index".
bool holdsMaster(long pid, const char *fd, int index)
{
    char path[384];
    std::snprintf(path, sizeof path, "/proc/%ld/fdinfo/%s", pid, fd);
    QFile info(QString::fromLatin1(path));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("tty-index:"))
            return line.mid(10).trimmed().toInt() == index;
    }
    return false;
}

} // namespace

QString PortHolder::text() const
{
    QString text = program.isEmpty() ? QStringLiteral("PID %1").arg(pid) : QStringLiteral("PID %1 (%2)").arg(pid).arg(program);
    if (!host.isEmpty())
        text += QStringLiteral(" on host %1").arg(host);
    return text;
}

QString PortLock::directory()
{
    const QByteArray env = qgetenv("KDX_LOCK_DIR");
    if (!env.isEmpty())
        return QFile::decodeName(env);
    if (QFileInfo(QStringLiteral("/var/lock")).isDir())
        return QStringLiteral("/var/lock");
    return QStringLiteral("/run/lock");
}

QString PortLock::fileName(const QString &device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    while (name.startsWith(QLatin1Char('/')))
        name = name.mid(1);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

PortHolder PortLock::lockOwner(const QString &device)
{
    const QByteArray path = QFile::encodeName(directory() + QLatin1Char('/') + fileName(device));
    QByteArray content;
    struct stat st {};
    if (readLock(path, &content, &st) != LockFile::Read)
        return {};
    const LockText lock = parseLock(content);
    if (lock.pid == 0)
        return {};
    if (!otherHost(lock) && (!alive(lock.pid) || (lock.pid == ::getpid() && !heldHere(path))))
        return {};
    return holderOf(lock);
}

PortLock::Outcome PortLock::acquire(const QString &device)
{
    release();
    m_owner = {};
    const QString dir = directory();
    m_path = dir + QLatin1Char('/') + fileName(device);
    const QByteArray path = QFile::encodeName(m_path);
    auto skipped = [this] {
        m_slot = claimSlot(QByteArray(), 0, 0);
        return Outcome::Skipped;
    };

    for (int attempt = 0; attempt < 3; ++attempt) {
        // Someone else's lock: alive here or on another host means busy, dead
        // means stale.
        QByteArray theirs;
        struct stat st {};
        const LockFile found = readLock(path, &theirs, &st);
        if (found == LockFile::NotAFile)
            return Outcome::Invalid;
        if (found == LockFile::Read) {
            const LockText lock = parseLock(theirs);
            if (lock.pid == 0 && std::time(nullptr) - st.st_mtime < kUnreadableLockGraceSeconds)
                return Outcome::Busy;
            if (lock.pid != 0 && (otherHost(lock) || (alive(lock.pid) && (lock.pid != ::getpid() || heldHere(path))))) {
                m_owner = holderOf(lock);
                return Outcome::Busy;
            }
            struct stat now {};
            if (::lstat(path.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino
                && ::unlink(path.constData()) != 0 && errno != ENOENT)
                return skipped(); // a stale lock we may not remove: the folder is not ours to write
        }

        // Ours: written in full under a temporary name, then linked into place,
        // so nobody ever reads a half-written lock and an existing one is never
        // replaced.
        const QByteArray tmp = QFile::encodeName(dir + QStringLiteral("/LTMP.%1").arg(::getpid()));
        ::unlink(tmp.constData());
        const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            return skipped();
        char content[16];
        const int len = lockText(content, long(::getpid()));
        const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, content, size_t(len)) == len;
        ::close(fd);
        if (!written) {
            ::unlink(tmp.constData());
            return skipped();
        }
        const int linked = ::link(tmp.constData(), path.constData());
        const int linkError = errno;
        ::unlink(tmp.constData());
        if (linked == 0) {
            struct stat st {};
            if (::lstat(path.constData(), &st) != 0)
                return skipped();
            m_slot = claimSlot(path, st.st_dev, st.st_ino);
            return Outcome::Taken;
        }
        if (linkError != EEXIST)
            return skipped();
        // Another program took it between our look and our link: look again.
    }
    return Outcome::Busy;
}

void PortLock::setTty(int fd)
{
    if (m_slot >= 0)
        g_slots[m_slot].tty = fd;
}

namespace {

void releaseSlot(int slot)
{
    Slot &s = g_slots[slot];
    int expected = 2;
    if (s.state.compare_exchange_strong(expected, 1))
        removeIfOurs(s.path, s.dev, s.ino);
    s.tty = -1;
    s.socket = false;
    s.path[0] = '\0';
    s.state = 0;
}

} // namespace

void PortLock::release()
{
    if (m_slot < 0)
        return;
    releaseSlot(m_slot);
    m_slot = -1;
}

int watchConnection(int socket)
{
    const int slot = claimSlot(QByteArray(), 0, 0);
    if (slot >= 0)
        g_slots[slot].tty = socket;
    if (slot >= 0)
        g_slots[slot].socket = true;
    return slot;
}

void unwatchConnection(int handle)
{
    if (handle >= 0 && handle < kSlots)
        releaseSlot(handle);
}

void setPortFarewell(const QByteArray &bytes)
{
    g_farewellSize = 0;
    const int n = int(qMin<qsizetype>(bytes.size(), qsizetype(sizeof g_farewell)));
    std::memcpy(g_farewell, bytes.constData(), size_t(n));
    g_farewellSize = n;
}

void releasePortLocks() noexcept
{
    const int savedErrno = errno;
    const int farewell = g_farewellSize;
    bool toServer = false;
    for (Slot &s : g_slots) {
        int expected = 2;
        if (!s.state.compare_exchange_strong(expected, 1))
            continue;
        // The descriptor does not block: what the queue cannot take is lost
        // rather than holding up the end.
        if (s.tty >= 0 && farewell > 0)
            toServer = (::write(s.tty, g_farewell, size_t(farewell)) > 0 && s.socket) || toServer;
        if (s.tty >= 0 && !s.socket)
            ::ioctl(s.tty, TIOCNXCL);
        removeIfOurs(s.path, s.dev, s.ino);
        s.state = 3;
    }
    // A device server drops what it has not yet passed to its port when the
    // connection ends: the connection stays a moment after the farewell.
    if (toServer) {
        const timespec pause {0, kServerFarewellMs * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
    errno = savedErrno;
}

namespace {

void releaseAndDie(int sig)
{
    releasePortLocks();
    // The handler was reset to the default on entry: the raised signal ends the
    // process once this returns, with the status a shell expects.
    ::raise(sig);
}

} // namespace

void releasePortLocksOnSignals()
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction sa {};
        sa.sa_handler = releaseAndDie;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
}

QString programOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(f.readAll()).trimmed();
}

QList<PortHolder> flockHolders(dev_t fileSystem, ino_t inode)
{
    QList<PortHolder> out;
    QFile f(QStringLiteral("/proc/locks"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF"; waiters carry "->".
    const QString file = QString::asprintf("%02x:%02x:%llu", major(fileSystem), minor(fileSystem),
                                           static_cast<unsigned long long>(inode));
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QStringList parts = QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 6 || parts.contains(QLatin1String("->")) || parts[5] != file)
            continue;
        const qint64 pid = parts[4].toLongLong();
        const bool known = std::any_of(out.cbegin(), out.cend(), [pid](const PortHolder &h) { return h.pid == pid; });
        if (pid > 0 && !known)
            out.append({pid, programOf(pid)});
    }
    return out;
}

QList<PortHolder> openersOf(dev_t device)
{
    QList<PortHolder> out;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return out;
    const qint64 self = ::getpid();
    const int pty = ptyIndex(device);
    while (const dirent *e = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end || pid == self)
            continue;
        char fdDir[64];
        std::snprintf(fdDir, sizeof fdDir, "/proc/%ld/fd", pid);
        DIR *fds = ::opendir(fdDir);
        if (!fds)
            continue; // another user's process, or gone
        bool opens = false;
        bool farEnd = false;
        while (const dirent *f = ::readdir(fds)) {
            if (f->d_name[0] == '.')
                continue;
            char fdPath[384];
            std::snprintf(fdPath, sizeof fdPath, "%s/%s", fdDir, f->d_name);
            struct stat st {};
            if (::stat(fdPath, &st) != 0 || !S_ISCHR(st.st_mode))
                continue;
            if (st.st_rdev == device)
                opens = true;
            else if (pty >= 0 && st.st_rdev == makedev(kPtmxMajor, kPtmxMinor) && holdsMaster(pid, f->d_name, pty))
                farEnd = true;
        }
        ::closedir(fds);
        if (opens && !farEnd)
            out.append({pid, programOf(pid), QString()});
    }
    ::closedir(proc);
    std::sort(out.begin(), out.end(), [](const PortHolder &a, const PortHolder &b) { return a.pid < b.pid; });
    return out;
}

} // namespace platform

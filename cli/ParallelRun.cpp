#include "ParallelRun.h"

#include "ResultCode.h"
#include "TextFile.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <limits>
#include <memory>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// EX_OSERR: the port's kdxctl could not be started.
constexpr int kExitCannotStart = 71;
constexpr size_t kReadChunk = 16384;
// A line longer than this is passed on in pieces rather than held back.
constexpr qsizetype kMaxLine = 4096;
// Most of a port's standard output kept for its outcome.
constexpr qsizetype kMaxOutput = 64 * 1024;
// EX_CANTCREAT: the port's log cannot be written.
constexpr int kExitCannotLog = 73;
// How long a port's kdxctl may ignore the SIGTERM that ends it at once before
// it is killed.
constexpr std::chrono::seconds kKillAfterTerm {3};

void writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nobody reads our output any more; the ports go on regardless
        p += n;
        left -= n;
    }
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The words a port's kdxctl ended with, without its program name in front.
QString withoutProgramName(const QString &line)
{
    static const QRegularExpression prefix(QStringLiteral("^kdxctl[^:]*: "));
    return QString(line).remove(prefix);
}

struct Stream
{
    int fd = -1;
    QByteArray pending; // a line not yet ended
    QByteArray last;    // the last line that was not blank
};

struct Child
{
    enum class State { Waiting, Running, Done };
    State state = State::Waiting;
    Clock::time_point readyAt; // a Waiting port starts no earlier
    pid_t pid = -1;
    Stream out;
    Stream err;
    int in = -1;
    QByteArray input;
    qsizetype written = 0;
    Clock::time_point firstStarted;
    Clock::time_point started;
    bool reaped = false;
    bool blocksSent = false;
    QByteArray output; // standard output of the attempt
    std::unique_ptr<platform::TextFile> log;
    PortOutcome outcome;
};

// One line per port, redrawn in place on a terminal.
class InPlaceBlock
{
public:
    InPlaceBlock(const QStringList &ports, int width)
        : m_width(width)
    {
        qsizetype w = 0;
        for (const QString &p : ports)
            w = std::max(w, p.size());
        for (const QString &p : ports)
            m_lines.append((p + QLatin1Char(':')).leftJustified(w + 2).toLocal8Bit());
        m_prefixes = m_lines;
        QByteArray first;
        for (const QByteArray &l : m_lines)
            first += l + '\n';
        writeAll(STDERR_FILENO, first);
    }
    void set(int index, const QByteArray &line)
    {
        m_lines[index] = m_prefixes[index] + line;
        QByteArray redraw = "\x1b[" + QByteArray::number(m_lines.size()) + 'A';
        for (const QByteArray &l : m_lines)
            redraw += "\r\x1b[K" + l.left(m_width - 1) + '\n';
        writeAll(STDERR_FILENO, redraw);
    }

private:
    QList<QByteArray> m_lines;
    QList<QByteArray> m_prefixes;
    int m_width;
};

struct Terminal
{
    int rows = 0;
    int cols = 0;
};

Terminal terminalSize()
{
    winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) != 0)
        return {};
    return {ws.ws_row, ws.ws_col};
}

class Run
{
public:
    Run(const ParallelRun::Options &options, const QList<ParallelRun::Job> &jobs)
        : m_options(options)
        , m_jobs(jobs)
    {
    }

    QList<PortOutcome> go(int *stopSignal);

private:
    void spawn(int index);
    bool openLog(int index);
    void readFrom(int index, Stream &stream, bool isErr);
    void line(int index, const QByteArray &text, bool isErr);
    void note(int index, const QByteArray &text);
    void feedInput(Child &c);
    void reapChildren();
    void finish(Child &c, int waitStatus);
    void settle(int index);
    void done(int index);
    void startReady();
    int running() const;
    int msUntilNextStart() const;
    void stopWaiting(int sig);
    void signalAll(int sig);
    bool busy() const;

    const ParallelRun::Options &m_options;
    const QList<ParallelRun::Job> &m_jobs;
    std::vector<Child> m_children;
    std::unique_ptr<InPlaceBlock> m_block;
    bool m_stopping = false;
};

// A log that cannot be written stops its port before it runs: the output the
// user asked to keep would be lost.
bool Run::openLog(int index)
{
    const ParallelRun::Job &job = m_jobs[index];
    Child &c = m_children[size_t(index)];
    if (job.logPath.isEmpty())
        return true;
    if (!c.log) {
        c.log = std::make_unique<platform::TextFile>();
        if (!c.log->open(job.logPath, platform::TextFile::Mode::Append)) {
            c.outcome.status = kExitCannotLog;
            c.outcome.text = QStringLiteral("cannot write %1: %2").arg(job.logPath, c.log->errorString());
            c.log.reset();
            return false;
        }
    }
    QStringList words {m_options.program};
    words += job.arguments;
    c.log->write(QStringLiteral("# %1 attempt %2: %3\n")
                     .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                     .arg(c.outcome.attempts)
                     .arg(words.join(QLatin1Char(' ')))
                     .toLocal8Bit());
    return true;
}

void Run::spawn(int index)
{
    const ParallelRun::Job &job = m_jobs[index];
    Child &c = m_children[size_t(index)];
    c.outcome.port = job.port;
    c.started = Clock::now();
    if (c.outcome.attempts == 0)
        c.firstStarted = c.started;
    ++c.outcome.attempts;
    c.state = Child::State::Running;
    c.reaped = false;
    c.blocksSent = false;
    c.written = 0;
    c.output.clear();
    c.out = Stream();
    c.err = Stream();
    c.outcome.status = 0;
    c.outcome.text.clear();
    if (!openLog(index)) {
        c.reaped = true;
        return;
    }

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int inPipe[2] = {-1, -1};
    auto cannotStart = [&](int err) {
        for (int *p : {outPipe, errPipe, inPipe}) {
            closeFd(p[0]);
            closeFd(p[1]);
        }
        c.reaped = true;
        c.outcome.status = kExitCannotStart;
        c.outcome.text = QStringLiteral("cannot start %1: %2").arg(m_options.program, QString::fromLocal8Bit(std::strerror(err)));
    };
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0
        || (job.hasInput && ::pipe2(inPipe, O_CLOEXEC) != 0)) {
        cannotStart(errno);
        return;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (job.hasInput)
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    // Each port in a process group of its own: Ctrl+C on the terminal reaches
    // only us, and we pass it on exactly once.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    QList<QByteArray> argBytes;
    argBytes.append(m_options.program.toLocal8Bit());
    for (const QString &a : job.arguments)
        argBytes.append(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const int rc = ::posix_spawn(&c.pid, argBytes.first().constData(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        cannotStart(rc);
        return;
    }
    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    closeFd(inPipe[0]);
    c.out.fd = outPipe[0];
    c.err.fd = errPipe[0];
    ::fcntl(c.out.fd, F_SETFL, O_NONBLOCK);
    ::fcntl(c.err.fd, F_SETFL, O_NONBLOCK);
    if (job.hasInput) {
        c.in = inPipe[1];
        c.input = job.input;
        ::fcntl(c.in, F_SETFL, O_NONBLOCK);
        feedInput(c);
    }
}

void Run::feedInput(Child &c)
{
    while (c.in >= 0 && c.written < c.input.size()) {
        const ssize_t n = ::write(c.in, c.input.constData() + c.written, size_t(c.input.size() - c.written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0)
            break; // the port's kdxctl stopped reading
        c.written += n;
    }
    closeFd(c.in);
}

void Run::line(int index, const QByteArray &text, bool isErr)
{
    Child &c = m_children[size_t(index)];
    if (!text.trimmed().isEmpty())
        (isErr ? c.err : c.out).last = text;
    if (isErr && text.startsWith(ParallelRun::kBlocksStart))
        c.blocksSent = true;
    if (!isErr && c.output.size() < kMaxOutput)
        c.output += text.left(kMaxOutput - c.output.size()) + '\n';
    if (c.log)
        c.log->write(text + '\n');
    if (m_block) {
        m_block->set(index, text);
        return;
    }
    const int fd = isErr || m_options.outputToStderr ? STDERR_FILENO : STDOUT_FILENO;
    writeAll(fd, c.outcome.port.toLocal8Bit() + ": " + text + '\n');
}

// Our own words about a port, beside its lines (and in its log).
void Run::note(int index, const QByteArray &text)
{
    Child &c = m_children[size_t(index)];
    if (c.log)
        c.log->write("# " + text + '\n');
    if (m_block) {
        m_block->set(index, text);
        return;
    }
    writeAll(STDERR_FILENO, c.outcome.port.toLocal8Bit() + ": " + text + '\n');
}

void Run::readFrom(int index, Stream &stream, bool isErr)
{
    char buf[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(stream.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            // The end: a last line without its newline still counts.
            if (!stream.pending.isEmpty())
                line(index, stream.pending, isErr);
            stream.pending.clear();
            closeFd(stream.fd);
            return;
        }
        stream.pending.append(buf, n);
        qsizetype nl;
        while ((nl = stream.pending.indexOf('\n')) >= 0 || stream.pending.size() > kMaxLine) {
            const qsizetype cut = nl >= 0 ? nl : kMaxLine;
            QByteArray text = stream.pending.left(cut);
            stream.pending.remove(0, nl >= 0 ? cut + 1 : cut);
            if (text.endsWith('\r'))
                text.chop(1);
            line(index, text, isErr);
        }
    }
}

void Run::finish(Child &c, int waitStatus)
{
    c.reaped = true;
    c.outcome.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - c.started).count();
    if (WIFEXITED(waitStatus))
        c.outcome.status = WEXITSTATUS(waitStatus);
    else if (WIFSIGNALED(waitStatus))
        c.outcome.status = 128 + WTERMSIG(waitStatus);
    closeFd(c.in);
}

void Run::reapChildren()
{
    for (size_t i = 0; i < m_children.size(); ++i) {
        Child &c = m_children[i];
        if (c.state != Child::State::Running)
            continue;
        if (c.reaped) {
            settle(int(i)); // it never started
            continue;
        }
        int st = 0;
        const pid_t r = ::waitpid(c.pid, &st, WNOHANG);
        if (r != c.pid)
            continue;
        finish(c, st);
        // Everything it wrote is in the pipes now; take it without waiting for
        // an end that a process it left behind could hold back.
        for (Stream *s : {&c.out, &c.err}) {
            if (s->fd < 0)
                continue;
            readFrom(int(i), *s, s == &c.err);
            if (s->fd >= 0) {
                if (!s->pending.isEmpty())
                    line(int(i), s->pending, s == &c.err);
                s->pending.clear();
                closeFd(s->fd);
            }
        }
        settle(int(i));
    }
}

QString finalText(const Child &c)
{
    const PortOutcome &o = c.outcome;
    if (o.status == 0)
        return c.out.last.isEmpty() ? RunSummary::statusText(0) : QString::fromLocal8Bit(c.out.last).trimmed();
    if (o.status > 128 || c.err.last.isEmpty())
        return o.text.isEmpty() ? RunSummary::statusText(o.status) : o.text;
    return withoutProgramName(QString::fromLocal8Bit(c.err.last).trimmed());
}

// An attempt has ended: the port is done, or waits to be tried again.
void Run::settle(int index)
{
    Child &c = m_children[size_t(index)];
    const ParallelRun::Job &job = m_jobs[index];
    c.outcome.text = finalText(c);
    if (!m_stopping && c.outcome.attempts <= m_options.retries
        && ParallelRun::worthRetrying(job.network, c.outcome.status, c.blocksSent)) {
        const auto pause = ParallelRun::retryPause(c.outcome.attempts, m_options.firstPause);
        c.state = Child::State::Waiting;
        c.readyAt = Clock::now() + pause;
        note(index, QStringLiteral("%1 (%2); trying again in %3 s (attempt %4 of %5)")
                        .arg(c.outcome.text)
                        .arg(c.outcome.status)
                        .arg(double(pause.count()) / 1000.0)
                        .arg(c.outcome.attempts + 1)
                        .arg(m_options.retries + 1)
                        .toLocal8Bit());
        return;
    }
    done(index);
}

void Run::done(int index)
{
    Child &c = m_children[size_t(index)];
    c.state = Child::State::Done;
    c.log.reset();
    PortOutcome &o = c.outcome;
    if (o.attempts > 0)
        o.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - c.firstStarted).count();
    o.output = QString::fromLocal8Bit(c.output);
    if (o.output.endsWith(QLatin1Char('\n')))
        o.output.chop(1);
    if (m_options.finished)
        m_options.finished(o);
}

int Run::running() const
{
    int n = 0;
    for (const Child &c : m_children)
        n += c.state == Child::State::Running ? 1 : 0;
    return n;
}

// Starts waiting ports, in the list's order, while there is room.
void Run::startReady()
{
    if (m_stopping)
        return;
    const Clock::time_point now = Clock::now();
    int free = m_options.maxRunning - running();
    for (int i = 0; i < m_jobs.size() && free > 0; ++i) {
        Child &c = m_children[size_t(i)];
        if (c.state != Child::State::Waiting || c.readyAt > now)
            continue;
        spawn(i);
        --free;
    }
}

// How long until a waiting port may start, -1 when none can.
int Run::msUntilNextStart() const
{
    if (m_stopping || running() >= m_options.maxRunning)
        return -1;
    const Clock::time_point now = Clock::now();
    qint64 best = -1;
    for (const Child &c : m_children) {
        if (c.state != Child::State::Waiting)
            continue;
        const qint64 left = std::max<qint64>(0, std::chrono::duration_cast<std::chrono::milliseconds>(c.readyAt - now).count() + 1);
        best = best < 0 ? left : std::min(best, left);
    }
    return int(std::min<qint64>(best, std::numeric_limits<int>::max()));
}

// A stop: ports waiting for their first start are not started; a port waiting
// to be tried again keeps the outcome of its last attempt.
void Run::stopWaiting(int sig)
{
    for (int i = 0; i < m_jobs.size(); ++i) {
        Child &c = m_children[size_t(i)];
        if (c.state != Child::State::Waiting)
            continue;
        if (c.outcome.attempts == 0) {
            c.outcome.port = m_jobs[i].port;
            c.outcome.status = 128 + sig;
            c.outcome.text = QStringLiteral("not started");
        }
        done(i);
    }
}

void Run::signalAll(int sig)
{
    for (const Child &c : m_children) {
        if (c.state == Child::State::Running && !c.reaped && c.pid > 0)
            ::kill(c.pid, sig);
    }
}

bool Run::busy() const
{
    for (const Child &c : m_children) {
        if (c.state != Child::State::Done || c.out.fd >= 0 || c.err.fd >= 0)
            return true;
    }
    return false;
}

// Room for the pipes of every port that may run at once.
void allowDescriptors(int running)
{
    rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return;
    const rlim_t want = rlim_t(running) * 4 + 64;
    if (rl.rlim_cur >= want)
        return;
    rl.rlim_cur = rl.rlim_max == RLIM_INFINITY ? want : std::min(want, rl.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &rl);
}

QList<PortOutcome> Run::go(int *stopSignal)
{
    // Signals arrive as readable data, so that one poll() waits for output,
    // ended children and Ctrl+C alike, without spinning.
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    const int sigFd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    // A port's kdxctl that has gone must not take us with it.
    std::signal(SIGPIPE, SIG_IGN);

    if (m_options.display == ParallelRun::Display::InPlace) {
        const Terminal t = terminalSize();
        if (t.rows > m_jobs.size() && t.cols > 10) {
            QStringList ports;
            for (const ParallelRun::Job &j : m_jobs)
                ports.append(j.port);
            m_block = std::make_unique<InPlaceBlock>(ports, t.cols);
        }
    }

    allowDescriptors(std::min<int>(m_options.maxRunning, int(m_jobs.size())));
    m_children.resize(size_t(m_jobs.size()));
    startReady();

    // A stop passes the signal on; a second signal, or the grace time running
    // out, sends SIGTERM, which a port's kdxctl takes as "end at once" after
    // releasing its port. Only one that ignores that SIGTERM for
    // kKillAfterTerm is killed: SIGKILL would leave its port locked.
    bool &stopping = m_stopping;
    bool terminated = false;
    bool killed = false;
    Clock::time_point nextStep;
    auto escalate = [&] {
        if (!terminated) {
            signalAll(SIGTERM);
            terminated = true;
            nextStep = Clock::now() + kKillAfterTerm;
        } else {
            signalAll(SIGKILL);
            killed = true;
        }
    };
    while (busy()) {
        std::vector<pollfd> fds;
        std::vector<std::pair<int, int>> owners; // child, 0 out / 1 err / 2 in
        fds.push_back({sigFd, POLLIN, 0});
        owners.push_back({-1, 0});
        for (size_t i = 0; i < m_children.size(); ++i) {
            const Child &c = m_children[i];
            if (c.out.fd >= 0) {
                fds.push_back({c.out.fd, POLLIN, 0});
                owners.push_back({int(i), 0});
            }
            if (c.err.fd >= 0) {
                fds.push_back({c.err.fd, POLLIN, 0});
                owners.push_back({int(i), 1});
            }
            if (c.in >= 0) {
                fds.push_back({c.in, POLLOUT, 0});
                owners.push_back({int(i), 2});
            }
        }
        int timeout = msUntilNextStart();
        if (stopping && !killed) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextStep - Clock::now()).count();
            timeout = int(std::max<qint64>(0, left));
        }
        const int r = ::poll(fds.data(), nfds_t(fds.size()), timeout);
        if (r < 0 && errno != EINTR)
            break;

        for (size_t k = 1; k < fds.size(); ++k) {
            if (!fds[k].revents)
                continue;
            Child &c = m_children[size_t(owners[k].first)];
            if (owners[k].second == 2)
                feedInput(c);
            else
                readFrom(owners[k].first, owners[k].second ? c.err : c.out, owners[k].second == 1);
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info {};
            while (::read(sigFd, &info, sizeof info) == ssize_t(sizeof info)) {
                const int sig = int(info.ssi_signo);
                if (sig == SIGCHLD)
                    continue;
                if (!stopping) {
                    stopping = true;
                    *stopSignal = sig;
                    nextStep = Clock::now() + m_options.stopGrace;
                    signalAll(sig);
                    writeAll(STDERR_FILENO, "kdxctl: stopping every port (again to end them at once)\n");
                    stopWaiting(sig);
                } else if (!terminated) {
                    escalate();
                }
            }
        }
        reapChildren();
        startReady();
        if (stopping && !killed && Clock::now() >= nextStep)
            escalate();
    }
    ::close(sigFd);
    // SIGCHLD back to normal; the stop signals stay blocked (see the header).
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    ::sigprocmask(SIG_UNBLOCK, &chld, nullptr);

    QList<PortOutcome> out;
    for (const Child &c : m_children)
        out.append(c.outcome);
    return out;
}

} // namespace

ParallelRun::ParallelRun(Options options)
    : m_options(std::move(options))
{
}

bool ParallelRun::worthRetrying(bool network, int status, bool blocksSent)
{
    const bool connectionFailed = status == -kdx::OpenFailed || status == -kdx::NotConnected;
    return network && connectionFailed && !blocksSent;
}

std::chrono::milliseconds ParallelRun::retryPause(int failedAttempts, std::chrono::milliseconds first)
{
    std::chrono::milliseconds pause = first;
    for (int i = 1; i < failedAttempts && pause < kMaxPause; ++i)
        pause *= 2;
    return std::min(pause, kMaxPause);
}

QList<PortOutcome> ParallelRun::run(const QList<Job> &jobs)
{
    m_stopSignal = 0;
    Run run(m_options, jobs);
    return run.go(&m_stopSignal);
}

#include "SimProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <csignal>
#include <unistd.h>

QString SimProcess::binary(const QString &name)
{
    QString dir = qEnvironmentVariable("KDX_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return dir + QLatin1Char('/') + name;
}

bool SimProcess::built()
{
    return QFileInfo(binary(QStringLiteral("kdx-sim"))).isExecutable();
}

SimProcess::SimProcess(const QString &portsDir)
    : m_portsDir(portsDir.isEmpty() ? m_dir.filePath(QStringLiteral("ports")) : portsDir)
{
    QDir().mkpath(m_dir.filePath(QStringLiteral("lock")));
    m_process.setProcessEnvironment(environment());
}

SimProcess::~SimProcess()
{
    if (running()) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QProcessEnvironment SimProcess::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KDX_PORTS_DIR"), portsDir());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("KDX_LOCK_DIR"), m_dir.filePath(QStringLiteral("lock")));
    // A test program starts with no system devices (NoSystemDevices.cpp);
    // a benchmark keeps the machine's own list.
    if (!m_systemDevices.isEmpty())
        env.insert(QStringLiteral("KDX_SYSTEM_DEVICES"), m_systemDevices.join(QLatin1Char(':')));
    return env;
}

QString SimProcess::linkPath() const
{
    return portsDir() + QLatin1Char('/') + m_com;
}

bool SimProcess::start(const QStringList &args)
{
    return launch(args, 1);
}

bool SimProcess::startMany(int count, const QStringList &args)
{
    m_stateFile = QStringLiteral("state-%n.json");
    return launch(args + QStringList {QStringLiteral("--count"), QString::number(count)}, count);
}

QString SimProcess::stateFile(const QString &com) const
{
    return path(QString(m_stateFile).replace(QLatin1String("%n"), com.mid(3)));
}

bool SimProcess::launch(const QStringList &args, int count)
{
    QStringList all = args + QStringList {QStringLiteral("--quiet")};
    if (m_stateFiles)
        all += QStringList {QStringLiteral("--state-json"), path(m_stateFile)};
    m_process.start(binary(QStringLiteral("kdx-sim")), all);
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(5000);
    m_coms.clear();
    m_devices.clear();
    while (m_coms.size() < count) {
        while (!m_process.canReadLine() && !deadline.hasExpired() && running())
            m_process.waitForReadyRead(100);
        if (!m_process.canReadLine()) {
            m_error = QStringLiteral("no readiness line; stderr: %1")
                          .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
            return false;
        }
        const QStringList parts = QString::fromLocal8Bit(m_process.readLine()).trimmed().split(QLatin1Char(' '));
        if (parts.size() != 2 || !parts[1].startsWith(QLatin1String("COM"))) {
            m_error = QStringLiteral("unexpected readiness line: %1").arg(parts.join(QLatin1Char(' ')));
            return false;
        }
        if (m_coms.isEmpty())
            m_device = parts[0];
        m_coms.append(parts[1]);
        m_devices.append(parts[0]);
    }
    m_com = m_coms.first();
    for (const QString &com : m_stateFiles ? m_coms : QStringList()) {
        while (!QFileInfo::exists(stateFile(com)) && !deadline.hasExpired() && running())
            QThread::msleep(10);
        if (!QFileInfo::exists(stateFile(com))) {
            m_error = QStringLiteral("no state file for %1").arg(com);
            return false;
        }
    }
    return true;
}

double SimProcess::cpuSecondsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime, in clock ticks
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

bool SimProcess::stop(int signal)
{
    if (!running())
        return true;
    ::kill(pid_t(m_process.processId()), signal);
    return m_process.waitForFinished(5000);
}

bool SimProcess::waitForExit(int timeoutMs)
{
    return !running() || m_process.waitForFinished(timeoutMs);
}

QJsonObject SimProcess::state() const
{
    return state(m_com);
}

bool SimProcess::waitForState(const std::function<bool(const QJsonObject &)> &pred, int timeoutMs) const
{
    return waitForState(m_com, pred, timeoutMs);
}

QJsonObject SimProcess::state(const QString &com) const
{
    QFile f(stateFile(com));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

bool SimProcess::waitForState(const QString &com, const std::function<bool(const QJsonObject &)> &pred,
                              int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (pred(state(com)))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

SimProcess::Result SimProcess::kdxctl(const QStringList &args, const QStringList &portOptions) const
{
    return kdxctlOn(m_com, portOptions + args);
}

SimProcess::Result SimProcess::kdxctlOn(const QString &port, const QStringList &args, int timeoutMs) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(binary(QStringLiteral("kdxctl")), QStringList {QStringLiteral("--port"), port} + args);
    return finished(p, timeoutMs);
}

SimProcess::Result SimProcess::finished(QProcess &p, int timeoutMs)
{
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("kdxctl did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    r.err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return r;
}

QString SimProcess::valueAt(const QJsonObject &state, const QString &path)
{
    QJsonValue v = state;
    for (const QString &key : path.split(QLatin1Char('/'))) {
        bool isIndex = false;
        const int i = key.toInt(&isIndex);
        v = isIndex ? v.toArray().at(i) : v.toObject().value(key);
    }
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble())
        return QString::number(v.toDouble());
    return v.toString();
}

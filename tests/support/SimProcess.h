#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// kdx-sim as a separate process on a real pseudo-terminal, with its state file;
// and kdxctl runs against it, with a lock folder of its own. The simulator registers in the port map portsDir:
// a throwaway folder of its own by default, or the one the test process itself
// uses (platform::PortMap::defaultDir()) when a window or driver in the test
// talks to it.
class SimProcess
{
public:
    explicit SimProcess(const QString &portsDir = QString());
    ~SimProcess();

    // Whether kdx-sim has been built next to the tests.
    static bool built();

    // Starts kdx-sim with the arguments (--quiet and --state-json are added) and
    // waits for its readiness line. False with the reason in error().
    // Without state files (a benchmark of many displays, where writing them
    // would be most of the simulator's work) state() has nothing to read.
    bool start(const QStringList &args);
    void setStateFiles(bool on) { m_stateFiles = on; }
    // Starts one kdx-sim with count displays (--count), each with its own state
    // file, and waits for all their readiness lines.
    bool startMany(int count, const QStringList &args);
    bool stop(int signal = 15); // SIGTERM
    bool waitForExit(int timeoutMs);
    int exitCode() const { return m_process.exitCode(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    // User plus system time the simulator has used so far, -1 when unknown.
    double cpuSeconds() const { return cpuSecondsOf(pid()); }
    // The same for any process.
    static double cpuSecondsOf(qint64 pid);

    QString device() const { return m_device; }
    QString comName() const { return m_com; }
    // Every display's COM name, the first is comName(), and its device.
    QStringList comNames() const { return m_coms; }
    QStringList devices() const { return m_devices; }
    int comNumber() const { return m_com.mid(3).toInt(); }
    QString linkPath() const;
    QString portsDir() const { return m_portsDir; }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString error() const { return m_error; }
    // What the simulator has written to standard error since the last call.
    QByteArray readStandardError() { return m_process.readAllStandardError(); }

    QJsonObject state() const;
    // Re-reads the state file until the predicate holds or timeoutMs passes.
    bool waitForState(const std::function<bool(const QJsonObject &)> &pred, int timeoutMs = 3000) const;
    // The same for one display of startMany().
    QJsonObject state(const QString &com) const;
    bool waitForState(const QString &com, const std::function<bool(const QJsonObject &)> &pred,
                      int timeoutMs = 3000) const;

    struct Result
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // Waits for a started kdxctl (killed after timeoutMs) and takes its
    // status and both outputs.
    static Result finished(QProcess &p, int timeoutMs);
    // kdxctl --port COM<n> [extra] args
    Result kdxctl(const QStringList &args, const QStringList &portOptions = {}) const;
    // kdxctl --port port args, in the simulator's environment
    Result kdxctlOn(const QString &port, const QStringList &args, int timeoutMs = 15000) const;

    // A value of a state by path ("lines/0", "cursor/col"), as text.
    static QString valueAt(const QJsonObject &state, const QString &path);

    static QString binary(const QString &name);
    QProcessEnvironment environment() const;
    // The serial devices the system has, for the programs run in environment()
    // (KDX_SYSTEM_DEVICES): pseudo-terminals of the test's own.
    void setSystemDevices(const QStringList &devices) { m_systemDevices = devices; }

private:
    bool launch(const QStringList &args, int count);
    QString stateFile(const QString &com) const;

    QTemporaryDir m_dir;
    QString m_portsDir;
    QProcess m_process;
    QString m_device;
    QString m_com;
    QStringList m_coms;
    QStringList m_devices;
    QString m_error;
    QString m_stateFile = QStringLiteral("state.json");
    bool m_stateFiles = true;
    QStringList m_systemDevices;
};

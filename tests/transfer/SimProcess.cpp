#include "SimProcess.h"

#include "PortMap.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::program()
{
    const QString bin = qEnvironmentVariableIsSet("KDX_BIN_DIR") ? qEnvironmentVariable("KDX_BIN_DIR")
                                                                 : QCoreApplication::applicationDirPath();
    const QString path = bin + QStringLiteral("/kdx-sim");
    return QFileInfo(path).isExecutable() ? path : QString();
}

bool SimProcess::start(int com, const QString &firmwareOut, const QStringList &extraArgs)
{
    m_com = com;
    QStringList args {QStringLiteral("--com"), QString::number(com), QStringLiteral("--quiet"),
                      QStringLiteral("--firmware-out"), firmwareOut};
    args += extraArgs;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program(), args);
    if (!m_process.waitForStarted(5000))
        return false;
    const platform::PortMap map;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (!map.devicePath(com).isEmpty() && QFileInfo::exists(map.devicePath(com)))
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
        QThread::msleep(20);
    }
    return false;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString SimProcess::output()
{
    return QString::fromLocal8Bit(m_process.readAll());
}

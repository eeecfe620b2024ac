#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// kdx-sim started for a test or a benchmark: a display on a pseudo-terminal,
// registered in the port map under a COM number, keeping the firmware image it
// receives in a file.
class SimProcess
{
public:
    ~SimProcess();

    // The program, from KDX_BIN_DIR or next to the running one; empty when it
    // has not been built.
    static QString program();

    // Starts the simulator as COM<com> and waits until its link appears.
    bool start(int com, const QString &firmwareOut, const QStringList &extraArgs = {});
    void stop();
    qint64 pid() const { return m_process.processId(); }
    QString output();

private:
    QProcess m_process;
    int m_com = 0;
};

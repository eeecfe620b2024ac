// The main window on a display behind ser2net (on 127.0.0.1), reached through a
// port-map entry that names an rfc2217:// address: the Setting tab shows the
// address, commands in a row work over the one connection each close keeps,
// and once the window has been idle the server's port is free for another
// client.

#include "CKDX.h"
#include "LimitedTextEdit.h"
#include "NetworkSerialPort.h"
#include "PortMap.h"
#include "RecordingDialogs.h"
#include "Ser2NetProcess.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "frmCKDX.h"
#include "frmMain.h"
#include "mod_Init.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

constexpr int kCom = 9;

} // namespace

class tst_windowOverNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandsInARow();

private:
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Ser2NetProcess> m_server;
};

void tst_windowOverNetwork::initTestCase()
{
    kdxtest::isolateUserFolders();
    if (!Ser2NetProcess::available())
        QSKIP("ser2net is not installed (scripts/bootstrap.sh installs it)");
    if (!SimProcess::built())
        QSKIP("kdx-sim is not built");
    m_sim = std::make_unique<SimProcess>();
    QVERIFY2(m_sim->start({}), qPrintable(m_sim->error()));
    m_server = std::make_unique<Ser2NetProcess>();
    QVERIFY2(m_server->start(m_sim->device(), Ser2NetProcess::Accepter::Rfc2217), qPrintable(m_server->error()));

    // COM9 of the window's port map is the server's address.
    const QString dir = platform::PortMap::defaultDir();
    QDir().mkpath(dir);
    QString error;
    QVERIFY2(platform::PortMap(dir).addUrl(kCom, m_server->url(), &error), qPrintable(error));
    kdxtest::firstStartOn(kCom);
}

void tst_windowOverNetwork::cleanupTestCase()
{
    frmCKDX::resetInstance();
    m_server.reset();
    m_sim.reset();
}

void tst_windowOverNetwork::commandsInARow()
{
    kdxtest::RecordingDialogs dialogs;
    frmMain w;
    w.show();
    QCOMPARE(w.m_kdx->CommPort(), kCom);
    QCOMPARE(w.lblComportDevice->text(), QStringLiteral("device: %1").arg(m_server->url()));

    // Send, Get and the version, one click after the other.
    w.txtMessage->setText(QStringLiteral("Far away"));
    w.cmdPRYX[6]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    w.txtMessage->setText(QString());
    w.cmdPRYX[7]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QCOMPARE(w.txtMessage->text(), QStringLiteral("Far away"));
    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QCOMPARE(w.lblFirmwareVersion->text(), QStringLiteral("R1.05"));
    QTRY_VERIFY(m_sim->state().value("lines").toArray().first().toString().startsWith(QStringLiteral("Far away")));

    // Idle for longer than a closed port keeps its connection: the server's
    // port is free for another client while the window stays open.
    QTest::qWait(platform::NetworkSerialPort::kLingerMs + 300);
    const SimProcess::Result other = m_sim->kdxctlOn(m_server->url(), {QStringLiteral("version")});
    QVERIFY2(other.exitCode == 0 && other.out == QLatin1String("?1.05"), qPrintable(other.out + '|' + other.err));

    // And the window goes on, on a new connection.
    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QVERIFY(dialogs.boxes.isEmpty());
}

QTEST_MAIN(tst_windowOverNetwork)
#include "tst_windowOverNetwork.moc"

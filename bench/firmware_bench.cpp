// A whole firmware update through the firmware window into kdx-sim over its
// pseudo-terminal, measured:
//  - the transfer's wall time as a ratio to the protocol's floor, the sender's
//    120 ms of waits per block;
//  - the utility's CPU time as a share of wall time (goal: under 5 %);
//  - how the window keeps answering: the largest gap of a 10 ms probe timer,
//    the progress bar's repaints, and how fast a close from the window frame
//    is answered half-way through (the transfer runs on to its end).
// With --rfc2217 the display is reached through ser2net on 127.0.0.1, by a
// network entry of the port map. With --monitor the Traffic window is open
// beside it and decodes every block.
// Run by hand: build/bin/firmware_bench [--size BYTES] [--checksum] [--no-close] [--rfc2217] [--monitor]

#include "CKDX.h"
#include "PortMap.h"
#include "Ser2NetProcess.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "TrafficWindow.h"
#include "frmCKDX.h"
#include "frmFirmwareUpdate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kCom = 61;
constexpr double kFloorPerBlockS = 0.120;

double cpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int size = 64 * 1024;
    bool crc = true;
    bool closeHalfWay = true;
    bool network = false;
    bool monitorOpen = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            size = qMax(0, args[++i].toInt());
        else if (args[i] == QLatin1String("--checksum"))
            crc = false;
        else if (args[i] == QLatin1String("--no-close"))
            closeHalfWay = false;
        else if (args[i] == QLatin1String("--rfc2217"))
            network = true;
        else if (args[i] == QLatin1String("--monitor"))
            monitorOpen = true;
    }
    if (!SimProcess::built()) {
        std::fprintf(stderr, "firmware_bench: kdx-sim has not been built\n");
        return 1;
    }

    kdxtest::isolateUserFolders();
    kdxtest::RecordingDialogs dialogs;
    QTemporaryDir dir;
    QByteArray image(size, 0);
    QRandomGenerator rng(5);
    for (char &c : image)
        c = char(rng.bounded(256));
    const QString imagePath = dir.filePath(QStringLiteral("image.bin"));
    const QString receivedPath = dir.filePath(QStringLiteral("received.bin"));
    {
        QFile f(imagePath);
        f.open(QIODevice::WriteOnly);
        f.write(image);
    }

    SimProcess sim(platform::PortMap::defaultDir());
    const int simCom = network ? kCom + 1 : kCom;
    if (!sim.start({QStringLiteral("--com"), QString::number(simCom), QStringLiteral("--firmware-out"), receivedPath})) {
        std::fprintf(stderr, "firmware_bench: kdx-sim did not start: %s\n", qPrintable(sim.error()));
        return 1;
    }
    Ser2NetProcess server;
    if (network) {
        QString error;
        if (!server.start(sim.device(), Ser2NetProcess::Accepter::Rfc2217)
            || !platform::PortMap().addUrl(kCom, server.url(), &error)) {
            std::fprintf(stderr, "firmware_bench: %s%s\n", qPrintable(server.error()), qPrintable(error));
            return 1;
        }
    }

    if (monitorOpen)
        monitor::TrafficWindow::installTap();
    CKDX kdx;
    kdx.setCommPort(kCom);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    frmFirmwareUpdate w(kdx);
    w.show();
    w.findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(imagePath);
    w.findChild<QComboBox *>(QStringLiteral("cboProtocol"))->setCurrentIndex(crc ? 1 : 0);
    if (monitorOpen)
        monitor::TrafficWindow::open()->move(w.frameGeometry().topRight() + QPoint(8, 0));
    auto *pb = w.findChild<QProgressBar *>(QStringLiteral("pb"));
    PaintCounter paints;
    pb->installEventFilter(&paints);

    // The probe: a 10 ms timer whose largest gap shows how long the window
    // could not answer.
    QElapsedTimer clock;
    clock.start();
    qint64 lastProbe = 0;
    qint64 maxGap = 0;
    qint64 closePosted = -1;
    qint64 closeAnswered = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastProbe > 0)
            maxGap = qMax(maxGap, now - lastProbe);
        lastProbe = now;
        if (closeHalfWay && closePosted < 0 && kdx.Progress() >= 50
            && kdx.transferOutcome() == XModemSender::Outcome::None && kdx.Progress() < 100) {
            closePosted = now;
            QCoreApplication::postEvent(&w, new QCloseEvent);
        }
        // The frame's close asks first; "No" lets the transfer run on.
        if (closePosted >= 0 && closeAnswered < 0 && w.stopQuestion()) {
            closeAnswered = now;
            w.stopQuestion()->button(QMessageBox::No)->click();
        }
    });
    probe.start(10);

    const double cpu0 = cpuSeconds();
    const qint64 t0 = clock.elapsed();
    w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_0"))->click(); // the loader dialogue runs here
    const qint64 t1 = clock.elapsed();
    const double cpu1 = cpuSeconds();
    while (dialogs.boxes.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const qint64 t2 = clock.elapsed();
    const double cpu2 = cpuSeconds();
    probe.stop();

    const double simCpu = sim.cpuSeconds();
    QFile got(receivedPath);
    for (int i = 0; i < 30 && !got.exists(); ++i)
        QThread::msleep(100);
    got.open(QIODevice::ReadOnly);
    const QByteArray received = got.readAll();
    const bool equal = received.startsWith(image) && received.size() - image.size() < 128;
    sim.stop();

    const int blocks = (size + 127) / 128;
    const double loaderS = double(t1 - t0) / 1000;
    const double transferS = double(t2 - t1) / 1000;
    const double wallS = double(t2 - t0) / 1000;
    const double floorS = blocks * kFloorPerBlockS;
    std::printf("firmware_bench: %d bytes, %d blocks, %s, kdx-sim as COM%d%s\n", size, blocks,
                crc ? "XModem - CRC" : "XModem - Checksum", kCom,
                network ? qPrintable(QStringLiteral(" = %1 (ser2net)").arg(server.url())) : "");
    std::printf("  loader dialogue     %7.2f s\n", loaderS);
    std::printf("  transfer            %7.2f s   floor %.2f s, ratio %.3f\n", transferS, floorS,
                floorS > 0 ? transferS / floorS : 0.0);
    std::printf("  whole update        %7.2f s\n", wallS);
    std::printf("  CPU, utility        %7.2f s   %.2f %% of wall (transfer alone %.2f %%)\n", cpu2 - cpu0,
                100 * (cpu2 - cpu0) / wallS, transferS > 0 ? 100 * (cpu2 - cpu1) / transferS : 0.0);
    if (simCpu >= 0)
        std::printf("  CPU, kdx-sim        %7.2f s   %.2f %% of wall\n", simCpu, 100 * simCpu / wallS);
    std::printf("  window              probe (10 ms) largest gap %lld ms, progress bar repainted %d times\n",
                static_cast<long long>(maxGap), paints.paints);
    if (closeHalfWay)
        std::printf("  close from frame    %s\n",
                    closeAnswered >= 0
                        ? qPrintable(QStringLiteral("asked to stop in %1 ms at half-way; No, the transfer ran on")
                                         .arg(closeAnswered - closePosted))
                        : "not answered");
    if (monitorOpen) {
        monitor::TrafficWindow::instance()->flush();
        std::printf("  Traffic window      open, %s\n", qPrintable(monitor::TrafficWindow::instance()->statusText()));
    }
    std::printf("  outcome             %s; image kept by the display %s\n",
                qPrintable(dialogs.boxes.first().text), equal ? "equals the file" : "DIFFERS");
    return equal && dialogs.boxes.first().text == QLatin1String("Firmware Update OK!") ? 0 : 1;
}

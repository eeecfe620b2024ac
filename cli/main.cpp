// kdxctl: the display driver on the command line, one display command per call,
// for scripts and production lines.

#include "ByteNotation.h"
#include "CKDX.h"
#include "FirmwareCommand.h"
#include "PortLock.h"
#include "PortMap.h"
#include "PosixSerialPort.h"
#include "frmCKDX.h"
#include "myComm.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace {

constexpr int kExitUsage = 64;

const char *const kUsage =
    "usage: kdxctl [--port PORT] [--baud RATE] [--parity TEXT] [--databits 7|8] COMMAND [ARG...]\n"
    "  PORT   a device path (/dev/ttyUSB0, a pseudo-terminal or a link to one) or a COM name\n"
    "         of the port map (COM3); default COM1\n"
    "  RATE   the line's baud rate, default 19200\n"
    "  TEXT   parity, data bits and stop bits: N,8,1 (default), O,7,1, E,7,1, O,8,1, E,8,1;\n"
    "         NONE, ODD and EVEN take 7 or 8 data bits from --databits (default 7)\n"
    "commands:\n"
    "  ports                    list the port map: \"COM3 /dev/ttyUSB0\"\n"
    "  set-baud RATE PARITY     change the display's line settings (9600 N,8,1)\n"
    "  intl CODE                international character set, hexadecimal (3A)\n"
    "  save LAYER               save the current view as a layer\n"
    "  position N               move the cursor\n"
    "  clear FROM TO            clear a range of cells\n"
    "  reboot-mode MODE         after power-up: 0 stay, 1 run the saved message\n"
    "  demo LAYER MODE          show the saved demo message; rows of the window's lists from 0:\n"
    "                           LAYER 0 \"Layer 1\" ... 6 \"Layer 1 + 2 + 3\", MODE 0 the first ... 6\n"
    "  switch epson|native      change the display's command set\n"
    "  printer on|off           printer pass-through\n"
    "  light CELLS              lamp test: light every dot of CELLS cells\n"
    "  version                  print the firmware version\n"
    "  get-message              print the stored message\n"
    "  send TEXT                send text through the display's character table\n"
    "  send-byte N              send one byte, 0 to 255\n"
    "  send-bytes NOTATION      send bytes written as /72/105 and wait for the acknowledge\n";

const char *const kUsageEnd =
    "exit status: 0 done; otherwise the driver's result code without its sign (2 the port would\n"
    "  not open, 3 the line failed, 4 no answer, 5 invalid baud rate, 6 Get Nack, 7 cancelled,\n"
    "  8 invalid parameter); 64 a mistake on the command line, nothing opened.\n"
    "COM names come from the port map, $KDX_PORTS_DIR or ~/.config/kdx-utility/ports.\n";

void printErr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

int usage(const QString &problem)
{
    if (!problem.isEmpty())
        printErr(QStringLiteral("kdxctl: ") + problem);
    std::fputs(kUsage, stderr);
    std::fputs(kFirmwareUsage, stderr);
    std::fputs(kUsageEnd, stderr);
    return kExitUsage;
}

int help()
{
    std::fputs(kUsage, stdout);
    std::fputs(kFirmwareUsage, stdout);
    std::fputs(kUsageEnd, stdout);
    return 0;
}

bool parseInt(const QString &text, int min, int max, int &out)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

// The system's reason why a port would not open, and what to do about it.
QString openFailureHint(const QString &portText)
{
    auto *port = dynamic_cast<platform::PosixSerialPort *>(&frmCKDX::instance().MSComm1());
    if (!port)
        return QString();
    QString reason = port->openFailureReason(portText);
    if (port->devicePath().isEmpty())
        reason += QStringLiteral("; \"kdxctl ports\" lists the ports");
    return reason;
}

int report(qint32 result, const QString &portText, const QString &okText = QStringLiteral("OK"))
{
    if (result == kdx::OK) {
        printOut(okText);
        return 0;
    }
    printErr(CKDX::ErrorDescription(result));
    if (result == kdx::OpenFailed) {
        const QString hint = openFailureHint(portText);
        if (!hint.isEmpty())
            printErr(hint);
    }
    return result < 0 ? -result : result;
}

int listPorts()
{
    QStringList names;
    myComm::EnumCommPorts(names);
    platform::PortMap map;
    for (const QString &name : names)
        printOut(name + QLatin1Char(' ') + map.devicePath(name.mid(3).toInt()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && (args.first() == QLatin1String("-h") || args.first() == QLatin1String("help")))
        return help();

    QString portText = QStringLiteral("COM1");
    QString baud = QStringLiteral("19200");
    QString parity = QStringLiteral("N,8,1");
    int dataBits = 7;

    // Options before the command, as "--name value" or "--name=value".
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        QString opt = args.takeFirst();
        if (opt == QLatin1String("--help"))
            return help();
        QString value;
        const qsizetype eq = opt.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = opt.mid(eq + 1);
            opt = opt.left(eq);
        } else if (!args.isEmpty()) {
            value = args.takeFirst();
        } else {
            return usage(QStringLiteral("%1 needs a value").arg(opt));
        }
        if (opt == QLatin1String("--port"))
            portText = value;
        else if (opt == QLatin1String("--baud"))
            baud = value;
        else if (opt == QLatin1String("--parity"))
            parity = value;
        else if (opt == QLatin1String("--databits")) {
            if (!parseInt(value, 7, 8, dataBits))
                return usage(QStringLiteral("--databits takes 7 or 8"));
        } else
            return usage(QStringLiteral("unknown option %1").arg(opt));
    }
    const QString lineSettings = baud + QLatin1Char(',') + CKDX::mapParity(parity, qint16(dataBits)).toUpper();
    if (!platform::PosixSerialPort::acceptsSettings(lineSettings))
        return usage(QStringLiteral("--baud %1 --parity %2 is not a line setting a port can take").arg(baud, parity));
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = args.takeFirst();

    if (command == QLatin1String("ports"))
        return args.isEmpty() ? listPorts() : usage(QStringLiteral("ports takes no argument"));

    // A COM name goes through the port map; anything else is a device path.
    int commPort = 1;
    const bool comName = portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
        && parseInt(portText.mid(3), 1, 32767, commPort);
    if (!comName) {
        if (portText.isEmpty())
            return usage(QStringLiteral("--port needs a device path or a COM name"));
        const QString path = portText;
        frmCKDX::setPortFactory([path] {
            return std::make_unique<platform::PosixSerialPort>(platform::PosixSerialPort::fixedDevice(path));
        });
        commPort = 1;
    }

    // Check the arguments before anything is opened.
    auto need = [&](int n) { return args.size() == n; };
    using Action = std::function<int(CKDX &)>;
    Action action;
    int a = 0, b = 0;
    double x = 0, y = 0;
    if (command == QLatin1String("set-baud")) {
        if (!need(2))
            return usage(QStringLiteral("set-baud takes RATE and PARITY"));
        const QString rate = args[0], par = args[1];
        action = [=](CKDX &k) { return report(k.SetBaudRate(rate, par), portText); };
    } else if (command == QLatin1String("intl")) {
        bool ok = false;
        const int code = need(1) ? args[0].toInt(&ok, 16) : 0;
        if (!ok || code < -32768 || code > 32767)
            return usage(QStringLiteral("intl takes a hexadecimal code such as 3A"));
        action = [=](CKDX &k) { return report(k.SetInternationalCode(qint16(code)), portText); };
    } else if (command == QLatin1String("save") || command == QLatin1String("position")) {
        if (!need(1) || !parseInt(args[0], -32768, 32767, a))
            return usage(QStringLiteral("%1 takes a whole number").arg(command));
        const bool save = command == QLatin1String("save");
        action = [=](CKDX &k) { return report(save ? k.SaveMessage(qint16(a)) : k.SetPosition(qint16(a)), portText); };
    } else if (command == QLatin1String("clear") || command == QLatin1String("demo")) {
        if (!need(2) || !ByteNotation::isNumeric(args[0], &x) || !ByteNotation::isNumeric(args[1], &y))
            return usage(QStringLiteral("%1 takes two numbers").arg(command));
        const bool clear = command == QLatin1String("clear");
        action = [=](CKDX &k) { return report(clear ? k.ClearDisplay(x, y) : k.DisplayDemoMessage(x, y), portText); };
    } else if (command == QLatin1String("reboot-mode")) {
        if (!need(1) || !ByteNotation::isNumeric(args[0], &x))
            return usage(QStringLiteral("reboot-mode takes 0 (stay) or 1 (running)"));
        action = [=](CKDX &k) { return report(k.DisplayShowSavedMessageAfterRebootMode(x), portText); };
    } else if (command == QLatin1String("switch")) {
        if (!need(1) || (args[0] != QLatin1String("epson") && args[0] != QLatin1String("native")))
            return usage(QStringLiteral("switch takes epson or native"));
        const qint16 set = args[0] == QLatin1String("epson") ? 1 : 0;
        action = [=](CKDX &k) { return report(k.SwitchCommand(set), portText); };
    } else if (command == QLatin1String("printer")) {
        if (!need(1) || (args[0] != QLatin1String("on") && args[0] != QLatin1String("off")))
            return usage(QStringLiteral("printer takes on or off"));
        const bool on = args[0] == QLatin1String("on");
        action = [=](CKDX &k) { return report(on ? k.PrinterOn() : k.PrinterOff(), portText); };
    } else if (command == QLatin1String("light")) {
        if (!need(1) || !parseInt(args[0], 0, 32767, a))
            return usage(QStringLiteral("light takes a cell count"));
        action = [=](CKDX &k) { return report(k.FullyLightTube(qint16(a)), portText); };
    } else if (command == QLatin1String("version")) {
        if (!need(0))
            return usage(QStringLiteral("version takes no argument"));
        action = [=](CKDX &k) {
            QString v;
            const qint32 r = k.GetVersion(v);
            return report(r, portText, v);
        };
    } else if (command == QLatin1String("get-message")) {
        if (!need(0))
            return usage(QStringLiteral("get-message takes no argument"));
        action = [=](CKDX &k) {
            QString m;
            const qint32 r = k.GetMessage(m);
            return report(r, portText, m);
        };
    } else if (command == QLatin1String("send")) {
        if (!need(1))
            return usage(QStringLiteral("send takes one text (quote it)"));
        const QString text = args[0];
        action = [=](CKDX &k) { return report(k.SendMessage(text), portText); };
    } else if (command == QLatin1String("send-byte")) {
        if (!need(1) || !parseInt(args[0], 0, 255, b))
            return usage(QStringLiteral("send-byte takes a number from 0 to 255"));
        action = [=](CKDX &k) { return report(k.SendMessageB(quint8(b)), portText); };
    } else if (command == QLatin1String("send-bytes")) {
        QByteArray bytes;
        if (!need(1) || !ByteNotation::parse(args[0], bytes))
            return usage(QStringLiteral("send-bytes takes byte notation such as /72/105"));
        action = [=](CKDX &k) { return report(k.SendMessageByteArray(bytes), portText); };
    } else if (command == QLatin1String("firmware")) {
        action = [=](CKDX &k) { return firmwareCommand(k, args); };
    } else {
        return usage(QStringLiteral("unknown command %1").arg(command));
    }

    CKDX kdx;
    kdx.setDataBit(qint16(dataBits));
    kdx.setCommPort(commPort);
    kdx.setBaudRate(baud);
    kdx.setParity(parity);
    const int status = action(kdx);
    std::fflush(stdout);
    return status;
}

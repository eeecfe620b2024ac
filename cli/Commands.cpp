#include "Commands.h"

#include "BaudChange.h"
#include "ByteNotation.h"
#include "CKDX.h"
#include "EpsonCommand.h"
#include "FindCommand.h"
#include "FirmwareCommand.h"
#include "NativeCommands.h"
#include "NetworkAddress.h"
#include "PortFactory.h"
#include "PortMap.h"
#include "PosixSerialPort.h"
#include "SystemDevices.h"
#include "RunCommand.h"
#include "SpyCommand.h"
#include "TerminalText.h"
#include "TapSerialPort.h"
#include "Ansi.h"
#include "frmCKDX.h"
#include "myComm.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include <cstdio>
#include <unistd.h>

namespace kdxctl {

namespace {

// Where the help of a command or an option starts in the usage text; a longer
// label puts its help on the next line.
constexpr int kCommandColumn = 27;
constexpr int kOptionColumn = 9;

const char *const kUsageEnd =
    "exit status: 0 done; otherwise the driver's result code without its sign (2 the port would\n"
    "  not open, 3 the line failed, 4 no answer, 5 invalid baud rate, 6 Get Nack, 7 cancelled,\n"
    "  8 invalid parameter); 64 a mistake on the command line, nothing opened; 73 the ports\n"
    "  folder cannot be written or the port map could not be changed.\n"
    "COM names come from the port map, $KDX_PORTS_DIR or ~/.config/kdx-utility/ports.\n";

// The "B" frame's framings and rates, as the help lists them.
QString framingList()
{
    QStringList names;
    for (const protocol::FramingCode &f : protocol::kFramingCodes)
        names << QLatin1String(f.framing);
    names.first() += QStringLiteral(" (default)");
    return names.join(QLatin1String(", "));
}

QString rateList()
{
    QStringList rates;
    for (const protocol::BaudCode &b : protocol::kBaudCodes)
        rates << QString::number(b.baud);
    return rates.join(QLatin1String(", "));
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
    platform::SerialPort *port = &frmCKDX::instance().MSComm1();
    if (auto *tap = dynamic_cast<platform::TapSerialPort *>(port))
        port = &tap->inner();
    QString reason = port->openFailureReason(portText);
    auto *routed = dynamic_cast<platform::RoutedSerialPort *>(port);
    if (routed && routed->notInPortMap())
        reason += QStringLiteral("; \"kdxctl ports\" lists the ports");
    return reason;
}

Action refuse(QString &problem, const QString &why)
{
    problem = why;
    return Action();
}

// A command without arguments.
Prepare noArgument(const QString &name, Action action)
{
    return [name, action](const QStringList &args, QString &problem) {
        return args.isEmpty() ? action : refuse(problem, QStringLiteral("%1 takes no argument").arg(name));
    };
}

// A command with one whole number in [min, max].
Prepare oneInt(int min, int max, const QString &why, std::function<qint32(CKDX &, int)> call)
{
    return [=](const QStringList &args, QString &problem) -> Action {
        int n = 0;
        if (args.size() != 1 || !parseInt(args[0], min, max, n))
            return refuse(problem, why);
        return [call, n](Session &s) { return s.report(call(s.kdx(), n)); };
    };
}

// A command with two numbers as the window's text boxes take them.
Prepare twoNumbers(const QString &name, std::function<qint32(CKDX &, double, double)> call)
{
    return [=](const QStringList &args, QString &problem) -> Action {
        double x = 0, y = 0;
        if (args.size() != 2 || !ByteNotation::isNumeric(args[0], &x) || !ByteNotation::isNumeric(args[1], &y))
            return refuse(problem, QStringLiteral("%1 takes two numbers").arg(name));
        return [call, x, y](Session &s) { return s.report(call(s.kdx(), x, y)); };
    };
}

// A command with one of two words; the first one passes true.
Prepare eitherWord(const QString &yes, const QString &no, const QString &why, std::function<qint32(CKDX &, bool)> call)
{
    return [=](const QStringList &args, QString &problem) -> Action {
        if (args.size() != 1 || (args[0] != yes && args[0] != no))
            return refuse(problem, why);
        const bool first = args[0] == yes;
        return [call, first](Session &s) { return s.report(call(s.kdx(), first)); };
    };
}

// The parameters of the native command with this letter, as the arguments
// give them (each converted by `number`), fit what the display is sent.
Check nativeValues(const QString &name, char letter, std::function<double(const QString &)> number)
{
    return [=](const QStringList &args, QString &problem) {
        const bool ok = args.size() == 1 ? CKDX::acceptsParameters(letter, {number(args[0])})
                                         : CKDX::acceptsParameters(letter, {number(args[0]), number(args[1])});
        if (!ok)
            problem = QStringLiteral("%1 %2: out of the range the display takes").arg(name, args.join(QLatin1Char(' ')));
        return ok;
    };
}

double wholeNumber(const QString &text)
{
    return text.trimmed().toInt();
}

double anyNumber(const QString &text)
{
    double v = 0;
    ByteNotation::isNumeric(text, &v);
    return v;
}

// The argument at index is text the display's character set can show.
Check displayText(const QString &name, int index)
{
    return [=](const QStringList &args, QString &problem) {
        char32_t bad = 0;
        if (index >= args.size() || platform::ansi::encodes(args[index], &bad))
            return true;
        problem = QStringLiteral("%1: the display has no character for \"%2\" (U+%3)")
                      .arg(name, QString::fromUcs4(&bad, 1))
                      .arg(uint(bad), 4, 16, QLatin1Char('0'));
        return false;
    };
}

// The display's own line settings changed, and checked at the new ones: its
// acknowledge comes at the new rate and reads as Get Nack, so a version read
// there decides. Exit 0 naming the new settings when the display answers.
int setBaud(Session &s, const QString &rate, const QString &parity)
{
    CKDX &kdx = s.kdx();
    const QString oldRate = kdx.BaudRate();
    const QString oldParity = s.options().parity;
    qint32 r = kdx.SetBaudRate(rate, parity);
    if (!baudChange::mayHaveSwitched(r))
        return s.report(r);
    kdx.setBaudRate(rate);
    kdx.setParity(parity);
    r = baudChange::confirm(kdx, r);
    if (r == kdx::OK)
        return s.report(r, QStringLiteral("The display now uses %1 %2; reach it with --baud %1 --parity %2.").arg(rate, parity));
    printErr(CKDX::ErrorDescription(r));
    printErr(QStringLiteral("The display did not answer at %1 %2 either; if it still uses %3 %4, it did not take the change.")
                 .arg(rate, parity, oldRate, oldParity));
    return -r;
}

// What the system knows of a device, and who is using it, for the listing.
QStringList deviceFacts(const QString &device, const platform::PortMap::Details &d)
{
    QStringList facts;
    const QString real = QFileInfo(device).canonicalFilePath();
    if (!real.isEmpty() && real != device)
        facts << real;
    if (!d.byId.isEmpty() && !device.endsWith(d.byId))
        facts << QStringLiteral("by-id ") + d.byId;
    for (const QString &text : {d.description, d.manufacturer}) {
        if (!text.isEmpty())
            facts << text;
    }
    if (d.hasUsbIds)
        facts << QStringLiteral("USB %1:%2")
                     .arg(d.vendorId, 4, 16, QLatin1Char('0'))
                     .arg(d.productId, 4, 16, QLatin1Char('0'));
    if (!d.serialNumber.isEmpty())
        facts << QStringLiteral("serial ") + d.serialNumber;
    return facts;
}

// One port as an object of the JSON listing.
QJsonObject portObject(const platform::PortMap &map, int number, const QList<platform::SystemDevice> &known)
{
    QJsonObject o {{QStringLiteral("name"), platform::PortMap::linkName(number)}};
    const QString url = map.urlOf(number);
    if (!url.isEmpty()) {
        o.insert(QStringLiteral("address"), url);
        // A network port is there as far as the map can tell; whether the
        // server answers shows when it is opened.
        o.insert(QStringLiteral("present"), true);
        o.insert(QStringLiteral("description"), QStringLiteral("network port"));
        return o;
    }
    const QString device = map.devicePath(number);
    bool present = false;
    for (const platform::PortMap::Entry &e : map.entries()) {
        if (e.number == number)
            present = e.present;
    }
    if (!device.isEmpty())
        o.insert(QStringLiteral("device"), device);
    o.insert(QStringLiteral("present"), present);
    const platform::PortMap::Details d = present ? platform::PortMap::details(device, known) : platform::PortMap::Details();
    o.insert(QStringLiteral("description"), d.description);
    if (!d.users.isEmpty()) {
        QJsonArray who;
        for (const platform::PortHolder &h : d.users)
            who.append(h.text());
        o.insert(QStringLiteral("in_use_by"), who);
    }
    return o;
}

// One line per port as the port map has it, "COM3 /dev/ttyUSB0", and below it
// what the system knows of the device and who is using it. With --json: an
// array with an object per port of the map, present or not. `only` (a COM
// number) lists that port alone; as JSON it is then one object.
int listPorts(bool json, int only)
{
    platform::PortMap map;
    const QFileInfo dir(map.dir());
    if (dir.exists() && !dir.isDir()) {
        printErr(QStringLiteral("kdxctl: the ports folder %1 is not a folder").arg(map.dir()));
        return kExitCantCreate;
    }
    if (!QDir().mkpath(map.dir()) || ::access(QFile::encodeName(map.dir()).constData(), W_OK) != 0) {
        printErr(QStringLiteral("kdxctl: cannot write the ports folder %1; new devices get no COM number").arg(map.dir()));
        return kExitCantCreate;
    }
    QStringList names;
    myComm::EnumCommPorts(names);
    const QList<platform::SystemDevice> known = platform::systemSerialDevices();

    if (json) {
        QByteArray out;
        if (only > 0) {
            out = QJsonDocument(portObject(map, only, known)).toJson(QJsonDocument::Indented);
        } else {
            QList<int> numbers;
            for (const platform::PortMap::Entry &e : map.entries())
                numbers << e.number;
            for (const QString &name : names) {
                const int n = platform::PortMap::numberOfName(name);
                if (!numbers.contains(n))
                    numbers << n;
            }
            std::sort(numbers.begin(), numbers.end());
            QJsonArray ports;
            for (int n : numbers)
                ports.append(portObject(map, n, known));
            out = QJsonDocument(ports).toJson(QJsonDocument::Indented);
        }
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
        return 0;
    }

    if (only > 0 && !names.contains(platform::PortMap::linkName(only))) {
        printOut(QStringLiteral("%1 is not in the port map, or its device is not present")
                     .arg(platform::PortMap::linkName(only)));
        return 0;
    }
    for (const QString &name : names) {
        const int number = platform::PortMap::numberOfName(name);
        if (only > 0 && number != only)
            continue;
        const QString device = map.devicePath(number);
        if (device.isEmpty()) {
            // A network entry: its address stands where a device would.
            printOut(name + QLatin1Char(' ') + map.urlOf(number));
            continue;
        }
        printOut(name + QLatin1Char(' ') + device);
        const platform::PortMap::Details d = platform::PortMap::details(device, known);
        const QStringList facts = deviceFacts(device, d);
        if (!facts.isEmpty())
            printOut(QStringLiteral("    ") + facts.join(QStringLiteral(", ")));
        if (!d.users.isEmpty()) {
            QStringList who;
            for (const platform::PortHolder &h : d.users)
                who << h.text();
            printOut(QStringLiteral("    in use by ") + who.join(QStringLiteral(", ")));
        }
    }
    return 0;
}

// The port map could not be changed as asked.
constexpr int kExitPortMap = 73;

// "ports", "ports add COM9 rfc2217://host:4001", "ports remove COM9".
Action portsCommand(const QStringList &args, QString &problem)
{
    if (args.isEmpty())
        return [](Session &s) { return listPorts(s.options().json, 0); };
    const int one = args.size() == 1 ? platform::PortMap::numberOfName(args[0]) : 0;
    if (one > 0)
        return [one](Session &s) { return listPorts(s.options().json, one); };
    const QString verb = args[0];
    int number = 0;
    const bool named = args.size() >= 2 && args[1].startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
        && parseInt(args[1].mid(3), 1, 32767, number);
    if (verb == QLatin1String("add") && args.size() == 3 && named) {
        const QString url = args[2];
        platform::NetworkAddress address;
        QString why;
        if (!platform::NetworkAddress::parse(url, address, &why))
            return refuse(problem, QStringLiteral("ports add: \"%1\" is not a network port address: %2").arg(url, why));
        return [number, url](Session &) {
            QString error;
            if (!platform::PortMap().addUrl(number, url, &error)) {
                printErr(QStringLiteral("kdxctl: ports add: %1").arg(error));
                return kExitPortMap;
            }
            return 0;
        };
    }
    if (verb == QLatin1String("remove") && args.size() == 2 && named) {
        return [number](Session &) {
            QString error;
            if (!platform::PortMap().removeUrl(number, &error)) {
                printErr(QStringLiteral("kdxctl: ports remove: %1").arg(error));
                return kExitPortMap;
            }
            return 0;
        };
    }
    return refuse(problem, QStringLiteral("ports takes no argument, or COM<n>, or add COM<n> URL, or remove COM<n>"));
}

std::vector<Command> makeCommands()
{
    std::vector<Command> table;

    table.push_back({QStringLiteral("ports"), QStringLiteral("[COM<n>]"),
                     QStringLiteral("list the port map: \"COM3 /dev/ttyUSB0\" (with --json an array of\n"
                                    "objects: name, device or address, present, description);\n"
                                    "\"ports add COM9 URL\" gives a network port (rfc2217://HOST:PORT,\n"
                                    "tcp://HOST:PORT) the number, \"ports remove COM9\" takes it back"),
                     portsCommand, false});

    table.push_back({QStringLiteral("set-baud"), QStringLiteral("RATE PARITY"),
                     QStringLiteral("change the display's line settings (9600 N,8,1);\nRATE %1").arg(rateList()),
                     [](const QStringList &args, QString &problem) -> Action {
                         if (args.size() != 2)
                             return refuse(problem, QStringLiteral("set-baud takes RATE and PARITY"));
                         const QString rate = args[0], parity = args[1];
                         return [=](Session &s) { return setBaud(s, rate, parity); };
                     }});

    table.push_back({QStringLiteral("intl"), QStringLiteral("CODE"),
                     QStringLiteral("international character set, hexadecimal (3A)"),
                     [](const QStringList &args, QString &problem) -> Action {
                         bool ok = false;
                         const int code = args.size() == 1 ? args[0].toInt(&ok, 16) : 0;
                         if (!ok || code < -32768 || code > 32767)
                             return refuse(problem, QStringLiteral("intl takes a hexadecimal code such as 3A"));
                         return [code](Session &s) { return s.report(s.kdx().SetInternationalCode(qint16(code))); };
                     }});

    table.push_back({QStringLiteral("save"), QStringLiteral("LAYER"), QStringLiteral("save the current view as a layer"),
                     oneInt(-32768, 32767, QStringLiteral("save takes a whole number"),
                            [](CKDX &k, int n) { return k.SaveMessage(qint16(n)); })});

    table.push_back({QStringLiteral("position"), QStringLiteral("N"), QStringLiteral("move the cursor"),
                     oneInt(-32768, 32767, QStringLiteral("position takes a whole number"),
                            [](CKDX &k, int n) { return k.SetPosition(qint16(n)); })});

    table.push_back({QStringLiteral("clear"), QStringLiteral("FROM TO"), QStringLiteral("clear a range of cells"),
                     twoNumbers(QStringLiteral("clear"), [](CKDX &k, double x, double y) { return k.ClearDisplay(x, y); })});

    table.push_back({QStringLiteral("reboot-mode"), QStringLiteral("MODE"),
                     QStringLiteral("after power-up: 0 stay, 1 run the saved message"),
                     [](const QStringList &args, QString &problem) -> Action {
                         double mode = 0;
                         if (args.size() != 1 || !ByteNotation::isNumeric(args[0], &mode))
                             return refuse(problem, QStringLiteral("reboot-mode takes 0 (stay) or 1 (running)"));
                         return [mode](Session &s) { return s.report(s.kdx().DisplayShowSavedMessageAfterRebootMode(mode)); };
                     }});

    table.push_back({QStringLiteral("demo"), QStringLiteral("LAYER MODE"),
                     QStringLiteral("show the saved demo message; rows of the window's lists from 0:\n"
                                    "LAYER 0 \"Layer 1\" ... 6 \"Layer 1 + 2 + 3\", MODE 0 the first ... 6"),
                     twoNumbers(QStringLiteral("demo"),
                                [](CKDX &k, double x, double y) { return k.DisplayDemoMessage(x, y); })});

    table.push_back({QStringLiteral("switch"), QStringLiteral("epson|native"), QStringLiteral("change the display's command set"),
                     eitherWord(QStringLiteral("epson"), QStringLiteral("native"), QStringLiteral("switch takes epson or native"),
                                [](CKDX &k, bool epson) { return k.SwitchCommand(epson ? 1 : 0); })});

    table.push_back({QStringLiteral("printer"), QStringLiteral("on|off"), QStringLiteral("printer pass-through"),
                     eitherWord(QStringLiteral("on"), QStringLiteral("off"), QStringLiteral("printer takes on or off"),
                                [](CKDX &k, bool on) { return on ? k.PrinterOn() : k.PrinterOff(); })});

    table.push_back({QStringLiteral("light"), QStringLiteral("CELLS"), QStringLiteral("lamp test: light every dot of CELLS cells"),
                     oneInt(0, 32767, QStringLiteral("light takes a cell count"),
                            [](CKDX &k, int n) { return k.FullyLightTube(qint16(n)); })});

    table.push_back({QStringLiteral("version"), QString(), QStringLiteral("print the firmware version; on a terminal its control characters\n"
                                                                   "are shown escaped (\\x1b), unless --raw"),
                     noArgument(QStringLiteral("version"), [](Session &s) {
                         QString v;
                         const qint32 r = s.kdx().GetVersion(v);
                         return s.reportText(r, v);
                     })});

    table.push_back(findDisplayCommand());

    table.push_back({QStringLiteral("get-message"), QString(), QStringLiteral("print the stored message, escaped like the version"),
                     noArgument(QStringLiteral("get-message"), [](Session &s) {
                         QString m;
                         const qint32 r = s.kdx().GetMessage(m);
                         return s.reportText(r, m);
                     })});

    table.push_back({QStringLiteral("send"), QStringLiteral("TEXT"),
                     QStringLiteral("send text through the display's character table"),
                     [](const QStringList &args, QString &problem) -> Action {
                         if (args.size() != 1)
                             return refuse(problem, QStringLiteral("send takes one text (quote it)"));
                         const QString text = args[0];
                         return [text](Session &s) { return s.report(s.kdx().SendMessage(text)); };
                     }});

    table.push_back({QStringLiteral("send-byte"), QStringLiteral("N"), QStringLiteral("send one byte, 0 to 255"),
                     oneInt(0, 255, QStringLiteral("send-byte takes a number from 0 to 255"),
                            [](CKDX &k, int n) { return k.SendMessageB(quint8(n)); })});

    table.push_back({QStringLiteral("send-bytes"), QStringLiteral("NOTATION"),
                     QStringLiteral("send bytes written as /72/105 and wait for the acknowledge"),
                     [](const QStringList &args, QString &problem) -> Action {
                         QByteArray bytes;
                         if (args.size() != 1 || !ByteNotation::parse(args[0], bytes))
                             return refuse(problem, QStringLiteral("send-bytes takes byte notation such as /72/105"));
                         return [bytes](Session &s) { return s.report(s.kdx().SendMessageByteArray(bytes)); };
                     }});

    table.push_back({QStringLiteral("epson"), QStringLiteral("SUB [ARG...]"), QString::fromLatin1(kEpsonHelp),
                     [](const QStringList &args, QString &problem) -> Action {
                         EpsonAction call;
                         if (!parseEpsonCommand(args, call, problem))
                             return Action();
                         return [call](Session &s) { return s.report(call(s.kdx())); };
                     }});

    // The firmware command checks its own arguments and prints its own usage.
    table.push_back({QStringLiteral("firmware"), QStringLiteral("FILE [--crc] [--code-type 0|1]"),
                     QStringLiteral("switch the display into its loader and send FILE over\n"
                                    "XModem (checksum, or CRC with --crc; code type 0 encrypted,\n"
                                    "1 not); progress on standard error (\"loader: 20%\", then\n"
                                    "\"transfer: 37%\"), exit 0 only when every block was accepted;\n"
                                    "66 FILE is missing, unreadable, empty or not a regular file;\n"
                                    "SIGINT, SIGTERM or SIGHUP stop it cleanly (the display is told\n"
                                    "to cancel and leave its loader), exit 130, 143 or 129; a second\n"
                                    "signal ends at once"),
                     [](const QStringList &args, QString &) -> Action {
                         return [args](Session &s) { return firmwareCommand(s, args); };
                     }});

    table.push_back(runCommand());
    table.push_back(spyCommand());
    return table;
}

// The values the display cannot take, by command (see Check).
std::vector<std::pair<QString, Check>> makeChecks()
{
    const std::pair<const char *, Check> checks[] = {
        {"set-baud", [](const QStringList &args, QString &problem) {
             if (CKDX::acceptsBaudRate(args[0], args[1]))
                 return true;
             problem = QStringLiteral("set-baud %1 %2: the display has no such line setting").arg(args[0], args[1]);
             return false;
         }},
        {"intl", nativeValues(QStringLiteral("intl"), 'I', [](const QString &t) { return double(t.toInt(nullptr, 16)); })},
        {"save", nativeValues(QStringLiteral("save"), 'S', wholeNumber)},
        {"position", nativeValues(QStringLiteral("position"), 'P', wholeNumber)},
        {"clear", nativeValues(QStringLiteral("clear"), 'C', anyNumber)},
        {"reboot-mode", nativeValues(QStringLiteral("reboot-mode"), 'O', anyNumber)},
        {"demo", nativeValues(QStringLiteral("demo"), 'D', anyNumber)},
        {"send", displayText(QStringLiteral("send"), 0)},
        {"epson", [](const QStringList &args, QString &problem) {
             return args.first() != QLatin1String("send") || displayText(QStringLiteral("epson send"), 1)(args, problem);
         }},
    };
    std::vector<std::pair<QString, Check>> table;
    for (const auto &[name, check] : checks)
        table.emplace_back(QString::fromLatin1(name), check);
    return table;
}

// An option's value that is a whole number from min to max, stored in field.
std::function<bool(const QString &, Options &, QString &)> wholeNumber(const QString &name, int min, int max,
                                                                       int Options::*field)
{
    return [=](const QString &v, Options &o, QString &problem) {
        if (parseInt(v, min, max, o.*field))
            return true;
        problem = QStringLiteral("--%1 takes a number from %2 to %3").arg(name).arg(min).arg(max);
        return false;
    };
}

std::vector<GlobalOption> makeOptions()
{
    std::vector<GlobalOption> table;
    table.push_back({QStringLiteral("port"), QStringLiteral("PORT"),
                     QStringLiteral("a device path (/dev/ttyUSB0, a pseudo-terminal or a link to one), a COM name\n"
                                    "of the port map (COM3), or a port on another machine: rfc2217://HOST:PORT\n"
                                    "(line settings travel) or tcp://HOST:PORT (bytes only); default COM1.\n"
                                    "A list (COM1,COM2,COM5-COM8), all (every port of the map) or @FILE (the\n"
                                    "ports of a file, one a line, # comments; @- standard input) runs the\n"
                                    "command on each port, up to --jobs at once, and ends with a summary;\n"
                                    "the exit status is the first failing port's. The ports of all get the\n"
                                    "version query first, and nothing more where no display answers"),
                     [](const QString &v, Options &o, QString &) { o.port = v; return true; }, true});
    table.push_back({QStringLiteral("baud"), QStringLiteral("RATE"), QStringLiteral("the line's baud rate, default 19200"),
                     [](const QString &v, Options &o, QString &) { o.baud = v; return true; }});
    table.push_back({QStringLiteral("parity"), QStringLiteral("TEXT"),
                     QStringLiteral("parity, data bits and stop bits: %1;\n"
                                    "NONE, ODD and EVEN take 7 or 8 data bits from --databits (default 7)")
                         .arg(framingList()),
                     [](const QString &v, Options &o, QString &) { o.parity = v; return true; }});
    table.push_back({QStringLiteral("databits"), QStringLiteral("7|8"), QString(),
                     [](const QString &v, Options &o, QString &problem) {
                         if (parseInt(v, 7, 8, o.dataBits))
                             return true;
                         problem = QStringLiteral("--databits takes 7 or 8");
                         return false;
                     }});
    table.push_back({QStringLiteral("json"), QString(),
                     QStringLiteral("the port list, or a command's summary, as JSON on standard output\n"
                                    "(the ports' own lines on standard error)"),
                     [](const QString &, Options &o, QString &) { o.json = true; return true; }, true});
    table.push_back({QStringLiteral("jobs"), QStringLiteral("MAX"),
                     QStringLiteral("on many ports: at most MAX (1 to 1024) at once, the others start\n"
                                    "as ports finish; default every port of the list up to 64"),
                     wholeNumber(QStringLiteral("jobs"), 1, 1024, &Options::jobs), true});
    table.push_back({QStringLiteral("json-lines"), QString(),
                     QStringLiteral("on many ports: one line of JSON per port as it finishes (port,\n"
                                    "result, code, seconds, text, attempts, answer), the ports' own\n"
                                    "lines and the summary on standard error"),
                     [](const QString &, Options &o, QString &) { o.jsonLines = true; return true; }, true});
    table.push_back({QStringLiteral("log-dir"), QStringLiteral("DIR"),
                     QStringLiteral("on many ports: each port's own output appended to DIR/<port>.log\n"
                                    "(an address such as rfc2217://pos-12:4001 as rfc2217_pos-12_4001.log)"),
                     [](const QString &v, Options &o, QString &problem) {
                         if (v.isEmpty()) {
                             problem = QStringLiteral("--log-dir needs a folder");
                             return false;
                         }
                         o.logDir = v;
                         return true;
                     }, true});
    table.push_back({QStringLiteral("retry"), QStringLiteral("TIMES"),
                     QStringLiteral("a network port whose connection failed (exit 2 or 3) runs again,\n"
                                    "up to TIMES (0 to 10) times, after 1 s, 2 s, 4 s ...; never after\n"
                                    "a wrong answer from the display or once firmware blocks were sent"),
                     wholeNumber(QStringLiteral("retry"), 0, 10, &Options::retries), true});
    table.push_back({QStringLiteral("keep-going"), QString(),
                     QStringLiteral("run: go on past a failing line, exit with the first failure"),
                     [](const QString &, Options &o, QString &) { o.keepGoing = true; return true; }});
    table.push_back({QStringLiteral("identify"), QString(),
                     QStringLiteral("send the version query first (at --baud and --parity) and nothing more\n"
                                    "unless a display answers (\"no display answered\"); always so for the\n"
                                    "ports of all"),
                     [](const QString &, Options &o, QString &) { o.identify = true; return true; }});
    // Described with the commands it changes.
    table.push_back({QStringLiteral("raw"), QString(), QString(),
                     [](const QString &, Options &o, QString &) { o.raw = true; return true; }});
    table.push_back({QStringLiteral("trace"), QString(),
                     QStringLiteral("every exchange on the line, decoded, one line each on standard error"),
                     [](const QString &, Options &o, QString &) { o.trace = true; return true; }});
    table.push_back({QStringLiteral("trace-file"), QStringLiteral("FILE"),
                     QStringLiteral("the same lines appended to FILE (a regular file, never through a link)"),
                     [](const QString &v, Options &o, QString &) { o.traceFile = v; return true; }});
    return table;
}

// "label   help" with the help's further lines under its first.
QString entry(const QString &label, const QString &help, int column)
{
    const QString indent(column, QLatin1Char(' '));
    const QString first = QStringLiteral("  ") + label;
    if (help.isEmpty())
        return first + QLatin1Char('\n');
    QString lines = help;
    lines.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
    if (first.size() < column)
        return first.leftJustified(column, QLatin1Char(' ')) + lines + QLatin1Char('\n');
    return first + QLatin1Char('\n') + indent + lines + QLatin1Char('\n');
}

} // namespace

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = makeCommands();
    return table;
}

const std::vector<GlobalOption> &globalOptions()
{
    static const std::vector<GlobalOption> table = makeOptions();
    return table;
}

bool checkValues(const Command &command, const QStringList &args, QString &problem)
{
    static const std::vector<std::pair<QString, Check>> checks = makeChecks();
    for (const auto &[name, check] : checks) {
        if (name == command.name)
            return check(args, problem);
    }
    return true;
}

const Command *findCommand(const QString &name)
{
    for (const Command &c : commands()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

QJsonObject summaryFields(const Command &command, const QString &port, const QString &line, bool raw)
{
    if (command.name == QLatin1String("find"))
        return findFields(port, line, raw);
    return {};
}

QString commandUsage(const Command &command)
{
    const QString label = command.synopsis.isEmpty() ? command.name : command.name + QLatin1Char(' ') + command.synopsis;
    return entry(label, command.help, kCommandColumn);
}

int usageError(const QString &problem, const Command *command)
{
    printErr(QStringLiteral("kdxctl: ") + problem);
    if (command) {
        const QString line = command->synopsis.isEmpty() ? command->name : command->name + QLatin1Char(' ') + command->synopsis;
        printErr(QStringLiteral("usage: kdxctl ") + line);
    }
    printErr(QStringLiteral("Try 'kdxctl --help'."));
    return kExitUsage;
}

QString usageText()
{
    QString text = QStringLiteral("usage: kdxctl");
    for (const GlobalOption &o : globalOptions())
        text += QStringLiteral(" [--%1%2]").arg(o.name, o.valueName.isEmpty() ? QString() : QLatin1Char(' ') + o.valueName);
    text += QStringLiteral(" COMMAND [ARG...]\n");
    for (const GlobalOption &o : globalOptions()) {
        if (!o.help.isEmpty())
            text += entry(o.valueName.isEmpty() ? QStringLiteral("--") + o.name : o.valueName, o.help, kOptionColumn);
    }
    text += QStringLiteral("commands:\n");
    for (const Command &c : commands())
        text += commandUsage(c);
    return text + QString::fromLatin1(kUsageEnd);
}

bool selectPort(const QString &portText, int &commPort, QString &problem)
{
    // A COM name goes through the port map; anything else is a device path.
    if (portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        commPort = platform::PortMap::numberOfName(portText);
        if (commPort > 0)
            return true;
        problem = QStringLiteral("--port %1: a COM name is COM1 to COM%2").arg(portText).arg(platform::PortMap::kMaxNumber);
        return false;
    }
    if (portText.isEmpty()) {
        problem = QStringLiteral("--port needs a device path or a COM name");
        return false;
    }
    // A relative path would depend on the folder kdxctl happens to run in.
    if (!portText.startsWith(QLatin1Char('/')) && !portText.contains(QLatin1String("://"))) {
        problem = QStringLiteral("--port %1: a device path starts with / (/dev/ttyUSB0)").arg(portText);
        return false;
    }
    QString why;
    if (!platform::isPortName(portText, &why)) {
        problem = QStringLiteral("--port %1 is not a network port address (rfc2217://HOST:PORT or tcp://HOST:PORT): %2")
                      .arg(portText, why);
        return false;
    }
    frmCKDX::setPortFactory([portText] { return platform::makeSerialPort(portText); });
    commPort = 1;
    return true;
}

Session::Session(const Options &options, int commPort) : m_options(options), m_commPort(commPort) {}

Session::~Session() = default;

CKDX &Session::kdx()
{
    if (!m_kdx) {
        m_kdx = std::make_unique<CKDX>();
        m_kdx->setDataBit(qint16(m_options.dataBits));
        m_kdx->setCommPort(m_commPort);
        m_kdx->setBaudRate(m_options.baud);
        m_kdx->setParity(m_options.parity);
    }
    return *m_kdx;
}

int Session::report(qint32 result, const QString &okText)
{
    if (result == kdx::OK) {
        printOut(okText);
        return 0;
    }
    printErr(CKDX::ErrorDescription(result));
    if (result == kdx::OpenFailed) {
        const QString hint = openFailureHint(m_options.port);
        if (!hint.isEmpty())
            printErr(hint);
    }
    return result < 0 ? -result : result;
}

bool asksOnlyForTheVersion(const Command &command)
{
    return command.name == QLatin1String("version") || command.name == QLatin1String("find");
}

bool identifyDisplay(Session &session, int *status)
{
    QString version;
    const qint32 result = session.kdx().GetVersion(version);
    if (result == kdx::OK)
        return true;
    // A port that would not open says why, as any command does.
    if (result == kdx::OpenFailed) {
        *status = session.report(result);
        return false;
    }
    printErr(QStringLiteral("kdxctl: no display answered (%1)").arg(CKDX::ErrorDescription(result)));
    *status = -result;
    return false;
}

int Session::reportText(qint32 result, const QString &text)
{
    if (result != kdx::OK)
        return report(result);
    const QByteArray shown = shownText(text, !m_options.raw && ::isatty(STDOUT_FILENO)) + '\n';
    std::fwrite(shown.constData(), 1, size_t(shown.size()), stdout);
    std::fflush(stdout);
    return 0;
}

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

} // namespace kdxctl

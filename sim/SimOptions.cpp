#include "SimOptions.h"

#include <QCommandLineParser>
#include <QHash>

namespace kdxsim {

namespace {

constexpr int kMaxCom = 255;
constexpr int kMaxCount = 64;

const int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 115200};

bool isRate(int baud)
{
    for (int r : kRates) {
        if (r == baud)
            return true;
    }
    return false;
}

} // namespace

bool SimOptions::parse(const QStringList &args, QString *error)
{
    bool rowsGiven = false;
    bool colsGiven = false;
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };

    // Every option is declared here and handled in the chain below.
    QCommandLineParser parser;
    const QList<QCommandLineOption> options = {
        QCommandLineOption(QStringList {QStringLiteral("h"), QStringLiteral("help")}),
        QCommandLineOption(QStringLiteral("version")),
        QCommandLineOption(QStringList {QStringLiteral("q"), QStringLiteral("quiet")}),
        QCommandLineOption(QStringLiteral("trace")),
        QCommandLineOption(QStringLiteral("com"), QString(), QStringLiteral("N")),
        QCommandLineOption(QStringLiteral("count"), QString(), QStringLiteral("N")),
        QCommandLineOption(QStringLiteral("rows"), QString(), QStringLiteral("N")),
        QCommandLineOption(QStringLiteral("cols"), QString(), QStringLiteral("N")),
        QCommandLineOption(QStringLiteral("baud"), QString(), QStringLiteral("RATE")),
        QCommandLineOption(QStringLiteral("line-time"), QString(), QStringLiteral("on|off")),
        QCommandLineOption(QStringLiteral("mode"), QString(), QStringLiteral("SET")),
        QCommandLineOption(QStringLiteral("fault"), QString(), QStringLiteral("NAME")),
        QCommandLineOption(QStringLiteral("aux"), QString(), QStringLiteral("FILE")),
        QCommandLineOption(QStringLiteral("firmware-out"), QString(), QStringLiteral("FILE")),
        QCommandLineOption(QStringLiteral("state-json"), QString(), QStringLiteral("FILE")),
        QCommandLineOption(QStringLiteral("version-text"), QString(), QStringLiteral("TEXT")),
        QCommandLineOption(QStringLiteral("code6"), QString(), QStringLiteral("RATE")),
        QCommandLineOption(QStringLiteral("xmodem-start"), QString(), QStringLiteral("HOW")),
    };
    parser.addOptions(options);
    if (!parser.parse(QStringList {QStringLiteral("kdx-sim")} + args)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().first();
            return fail(QStringLiteral("unknown argument \"%1%2\" (see --help)")
                            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
        }
        // A known option without its value can only be the last argument.
        return fail(QStringLiteral("%1 needs a value").arg(args.isEmpty() ? QString() : args.last()));
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unknown argument \"%1\" (see --help)").arg(parser.positionalArguments().first()));

    // The options in the order given, each with its own value, so that a later
    // one wins and repeated faults add up.
    QHash<QString, int> seen;
    for (const QString &found : parser.optionNames()) {
        const QString name = found.size() == 1 ? QStringLiteral("-") + found : QStringLiteral("--") + found;
        const QString value = parser.values(found).value(seen[found]++);
        auto number = [&](int *out, int lo, int hi) -> bool {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < lo || n > hi)
                return fail(QStringLiteral("%1: %2 is not a number from %3 to %4").arg(name, value).arg(lo).arg(hi));
            *out = n;
            return true;
        };

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            help = true;
        } else if (name == QLatin1String("--version")) {
            version = true;
        } else if (name == QLatin1String("--com")) {
            if (!number(&com, 1, kMaxCom))
                return false;
        } else if (name == QLatin1String("--count")) {
            if (!number(&count, 1, kMaxCount))
                return false;
        } else if (name == QLatin1String("--rows")) {
            if (!number(&display.rows, 1, 8))
                return false;
            rowsGiven = true;
        } else if (name == QLatin1String("--cols")) {
            if (!number(&display.cols, 1, 80))
                return false;
            colsGiven = true;
        } else if (name == QLatin1String("--baud")) {
            if (!number(&display.baud, 1, 1000000))
                return false;
            if (!isRate(display.baud))
                return fail(QStringLiteral("--baud: %1 is not a rate of the display").arg(display.baud));
        } else if (name == QLatin1String("--line-time")) {
            if (value != QLatin1String("on") && value != QLatin1String("off"))
                return fail(QStringLiteral("--line-time: use on or off, not \"%1\"").arg(value));
            display.lineTime = value == QLatin1String("on");
        } else if (name == QLatin1String("--mode")) {
            if (!commandSetFromName(value, &display.commandSet))
                return fail(QStringLiteral("--mode: use native, epson or vt100, not \"%1\"").arg(value));
        } else if (name == QLatin1String("--fault")) {
            for (const QString &entry : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                QString why;
                if (!display.faults.add(entry, &why))
                    return fail(why);
            }
        } else if (name == QLatin1String("--aux")) {
            display.auxPath = value;
        } else if (name == QLatin1String("--firmware-out")) {
            display.firmwareOutPath = value;
        } else if (name == QLatin1String("--state-json")) {
            stateJsonPath = value;
        } else if (name == QLatin1String("--quiet") || name == QLatin1String("-q")) {
            quiet = true;
        } else if (name == QLatin1String("--trace")) {
            trace = true;
        } else if (name == QLatin1String("--version-text")) {
            display.versionText = value;
            if (display.versionText.toLatin1().size() < 4 || display.versionText != QString::fromLatin1(display.versionText.toLatin1()))
                return fail(QStringLiteral("--version-text needs at least 4 Latin-1 characters"));
        } else if (name == QLatin1String("--code6")) {
            if (!number(&display.code6Baud, 300, 38400))
                return false;
            if (display.code6Baud != 300 && display.code6Baud != 38400)
                return fail(QStringLiteral("--code6: use 300 or 38400"));
        } else if (name == QLatin1String("--xmodem-start")) {
            if (value == QLatin1String("auto"))
                display.startCheck = XModemReceiver::StartCheck::Auto;
            else if (value == QLatin1String("crc"))
                display.startCheck = XModemReceiver::StartCheck::Crc;
            else if (value == QLatin1String("checksum"))
                display.startCheck = XModemReceiver::StartCheck::Checksum;
            else
                return fail(QStringLiteral("--xmodem-start: use auto, crc or checksum"));
        } else {
            return fail(QStringLiteral("%1 is declared but not handled").arg(name));
        }
    }
    if (com > 0 && com + count - 1 > kMaxCom)
        return fail(QStringLiteral("--count %1 from COM%2 goes past COM%3").arg(count).arg(com).arg(kMaxCom));
    // Displays must not write over each other's files.
    if (count > 1) {
        for (const QString &file : {stateJsonPath, display.firmwareOutPath, display.auxPath}) {
            if (!file.isEmpty() && !file.contains(QLatin1String("%n")))
                return fail(QStringLiteral("--count %1: put %n (the COM number) in the name of %2").arg(count).arg(file));
        }
    }
    // The VT100 firmware drives a 4 x 20 screen unless told otherwise.
    if (display.commandSet == CommandSetKind::Vt100) {
        if (!rowsGiven)
            display.rows = 4;
        if (!colsGiven)
            display.cols = 20;
    }
    return true;
}

QString SimOptions::forDisplay(const QString &pattern, int com)
{
    return QString(pattern).replace(QLatin1String("%n"), QString::number(com));
}

QString SimOptions::helpText()
{
    return QStringLiteral(
               "Usage: kdx-sim [OPTION]...\n"
               "A KDX customer display simulated on a pseudo-terminal. kdx-sim prints the\n"
               "device path and the COM name it registered, then runs until SIGINT,\n"
               "SIGTERM or SIGHUP (or the hangup-after fault), removing its COM link on\n"
               "the way out. Exit status: 0 stopped, 1 the port could not be registered,\n"
               "2 a wrong option, 3 hung up by the hangup-after fault.\n"
               "\n"
               "Line and port:\n"
               "  --com N               register the pseudo-terminal as COM<N> (N from 1 to 255) in\n"
               "                        the port map ($KDX_PORTS_DIR, else\n"
               "                        $XDG_CONFIG_HOME/kdx-utility/ports);\n"
               "                        default: the lowest free number. A link left dangling\n"
               "                        by an earlier run is replaced; a live one is refused.\n"
               "  --count N             N displays (1 to 64) in one process, on COM<N> numbers\n"
               "                        in a row from --com (default: the lowest free run);\n"
               "                        each prints its readiness line. %n in the file names\n"
               "                        below stands for the display's COM number, and is\n"
               "                        needed with more than one display.\n"
               "  --baud RATE           the display's own rate: 300, 600, 1200, 2400, 4800,\n"
               "                        9600, 19200 (default), 38400 or 115200. The host's rate\n"
               "                        is read from the pseudo-terminal; when the two differ,\n"
               "                        bytes in both directions are garbled as on a real line\n"
               "                        (parity and data bits are not carried by a\n"
               "                        pseudo-terminal and are not compared).\n"
               "  --line-time on|off    on (default): every byte takes its character time at\n"
               "                        the line's rate both ways (start, data, parity and\n"
               "                        stop bits of the display's framing: 10 or 11 bit\n"
               "                        times), one character after the other, so an answer\n"
               "                        comes no sooner than a real line brings it; off: the\n"
               "                        line is instant.\n"
               "  --code6 RATE          what the native baud code \"6\" selects: 38400 (default)\n"
               "                        or 300 (the host sends \"6\" for both).\n"
               "\n"
               "Display:\n"
               "  --rows N --cols N     screen size: 2 x 20 (default), 4 x 20 or 4 x 40 as the\n"
               "                        KDX family has them; anything up to 8 x 80 is taken\n"
               "  --mode SET            command set at power-up: native (default), epson or\n"
               "                        vt100 (VT100 firmware, 4 x 20 unless --rows/--cols)\n"
               "  --version-text TEXT   answer to the native \"V\" command (default \"?1.05\")\n"
               "  --aux FILE            append what goes to the printer / auxiliary device\n"
               "                        (ESC \"G\" pass-through, EPSON ESC \"=\" routing) to FILE\n"
               "  --firmware-out FILE   write each firmware image received by the loader to\n"
               "                        FILE (as received, padding included)\n"
               "  --xmodem-start HOW    how the loader's XModem receive asks the sender to\n"
               "                        start: auto (\"C\" three times, then NAK; default),\n"
               "                        crc (\"C\" only) or checksum (NAK only)\n"
               "\n"
               "Output:\n"
               "  --state-json FILE     rewrite FILE (atomically) after every change: screen\n"
               "                        lines and codes, cursor, command set, write mode, baud\n"
               "                        rates, international set, layers, printer, peripheral,\n"
               "                        brightness, blink, demo and loader state, byte counts\n"
               "  -q, --quiet           do not draw the screen box in the terminal\n"
               "      --trace           every byte on the line, decoded, on standard error (one\n"
               "                        line per event, as kdxctl --trace; COM<n> in front of\n"
               "                        each line with --count)\n"
               "  -h, --help            show this text\n"
               "      --version         print the program's version\n"
               "\n"
               "Faults (--fault NAME[=VALUE], repeat or separate with commas):\n")
           + FaultSet::helpText()
           + QStringLiteral(
               "\n"
               "What the display understands:\n"
               "  native  frames 04 01 letter params 17, answered with 06 (15 when refused):\n"
               "          B baud+framing (new rate before the answer), I international set\n"
               "          (30-3F or 00-0F), S save the view as layer 1-3, P cursor to cell n\n"
               "          (from 1), C clear cells from-to, O power-up mode (0 layer 1 stays,\n"
               "          1 it runs), D demo of layers/modes (1-7 each), T read the text on\n"
               "          the screen (01 text 17, trailing blanks dropped), V read the\n"
               "          version; ESC Z n 00 command set, ESC G / ESC S printer pass-through\n"
               "          on/off; text at the cursor (0xB2 lights every dot), BS HT LF VT FF\n"
               "          CR CAN\n"
               "  epson   BS HT LF VT FF CR CAN, US LF up, US B bottom, US CR line end,\n"
               "          US 01/02/03 over-write/vertical/horizontal scroll, US C n cursor,\n"
               "          US r n reverse, US E n blink (0 steady, 255 dark), US @ self-test,\n"
               "          US $ x y position (column, row from 1),\n"
               "          ESC @ initialise, ESC R n national set, ESC t n table,\n"
               "          ESC = n peripheral (1 aux, 2 display, 3 both), ESC Z n 00\n"
               "  vt100   BS LF CR text, ESC [ r;c H, ESC [ n J, ESC [ n K, ESC [ n A/B/C/D,\n"
               "          ESC [0c identification, ESC T screen content, ESC R n country,\n"
               "          ESC B n brightness\n"
               "  loader  ESC \"Load\" (any set) prompts \">\"; \"1\" and \"XA\" CR prompt again;\n"
               "          \"PX\"/\"ZX\" CR LF start the XModem receive; ESC \"R\" CR restarts\n");
}

} // namespace kdxsim

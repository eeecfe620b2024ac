#pragma once

// kdxctl's command line as data: the global options and the commands, each with
// the text the usage shows and the check of its arguments. The usage text, the
// man page (kdxctl-manpage writes its options and commands) and the shell
// completion are all made from these two tables.
//
// To add a command, add one entry to the table in Commands.cpp: its name, the
// synopsis of its arguments, a line of help and a `prepare` function that
// checks the arguments and returns what to run. To add a global option, add one
// entry to the options table and a field to `Options` that its `apply` sets.

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class CKDX;

namespace kdxctl {

// sysexits' EX_USAGE: a mistake on the command line; nothing was opened.
constexpr int kExitUsage = 64;
// sysexits' EX_CANTCREAT: the ports folder cannot be written.
constexpr int kExitCantCreate = 73;

// What the global options chose.
struct Options
{
    QString port = QStringLiteral("COM1");
    QString baud = QStringLiteral("19200");
    QString parity = QStringLiteral("N,8,1");
    int dataBits = 7;
    bool json = false;      // a run on many ports ends with its summary as JSON
    bool keepGoing = false; // a run file goes on past a failing line
    bool identify = false;  // nothing is sent before the display answers the version query
    bool raw = false; // texts from the display unescaped even on a terminal
    bool trace = false; // decoded exchange on standard error
    QString traceFile;  // the same lines appended to this file
    int jobs = 0;           // most ports at once; 0: the default
    bool jsonLines = false; // one line of JSON per port as it finishes
    QString logDir;         // each port's output kept in DIR/<port>.log
    int retries = 0;        // further attempts for a failed network connection
};

// What a command runs against: the options, and the driver set up from them on
// first use, so a command that needs no display touches no port.
class Session
{
public:
    Session(const Options &options, int commPort);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    const Options &options() const { return m_options; }
    CKDX &kdx();

    // Prints okText and gives 0 for a success; otherwise prints the driver's
    // text (and why a port would not open) on standard error and gives the
    // result code without its sign.
    int report(qint32 result, const QString &okText = QStringLiteral("OK"));
    // report() for a text read from the display: printed whole, its control
    // characters escaped on a terminal unless --raw.
    int reportText(qint32 result, const QString &text);

private:
    Options m_options;
    int m_commPort = 1;
    std::unique_ptr<CKDX> m_kdx;
};

// A command whose arguments have been checked; returns the exit status.
using Action = std::function<int(Session &)>;

// Checks the arguments without opening anything: gives the action, or an empty
// one with `problem` set (reported as a usage mistake).
using Prepare = std::function<Action(const QStringList &args, QString &problem)>;

// Checks the values of arguments prepare() took against what the display can
// be sent (a number's range, a text's characters): false with `problem`. A run
// file checks every line this way before its first line sends a byte; a single
// command leaves such a value to the driver, which refuses it with its own
// result code, sending nothing.
using Check = std::function<bool(const QStringList &args, QString &problem)>;

struct Command
{
    QString name;
    QString synopsis;       // the arguments as the usage text shows them
    QString help;           // one line; each '\n' starts a continuation line
    Prepare prepare;
    bool usesPort = true;   // false: --port is not looked at
};

struct GlobalOption
{
    QString name;           // without the leading "--"
    QString valueName;      // empty for a switch that takes no value
    QString help;           // shown under the value name; empty: not described
    // Stores the value (empty for a switch) or sets `problem`.
    std::function<bool(const QString &value, Options &options, QString &problem)> apply;
    // Belongs to a run on many ports as a whole: not handed to each port's
    // kdxctl, and not taken on a line of a run file.
    bool wholeRun = false;
};

const std::vector<Command> &commands();
const std::vector<GlobalOption> &globalOptions();
const Command *findCommand(const QString &name);
// The command's Check, for arguments its prepare() took; true for a command
// whose every such value can be sent.
bool checkValues(const Command &command, const QStringList &args, QString &problem);

// A command's own fields for a succeeding port's entry of the JSON summary,
// read from the last line that port printed; empty for most commands.
QJsonObject summaryFields(const Command &command, const QString &port, const QString &line, bool raw);

// Makes --port the driver's port: a COM name of the port map gives its number,
// anything else is a device path opened as port 1. False for an empty name.
bool selectPort(const QString &portText, int &commPort, QString &problem);

// Whether the command itself sends nothing but version queries (version,
// find): it needs no --identify before it, and find must not be held to the
// line settings given.
bool asksOnlyForTheVersion(const Command &command);

// For --identify: asks the port for the display's version and gives true when
// a display answered; otherwise prints why ("no display answered") and sets
// the exit status.
bool identifyDisplay(Session &session, int *status);

// A mistake on the command line, told in at most three lines on standard
// error: the reason, the command's own usage line when the mistake is in its
// arguments, and where the whole help is. Gives kExitUsage.
int usageError(const QString &problem, const Command *command = nullptr);

// Everything --help prints.
QString usageText();
// One command's lines of the usage text.
QString commandUsage(const Command &command);

void printOut(const QString &text);
void printErr(const QString &text);

} // namespace kdxctl

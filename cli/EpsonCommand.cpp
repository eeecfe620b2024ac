#include "EpsonCommand.h"

#include "CKDX.h"
#include "Epson.h"

const char *const kEpsonHelp =
    "EPSON-style commands, once the display runs that set\n"
    "(switch epson): home, up, down, left, right, bottom,\n"
    "line-start, line-end, clear, clear-line, init, self-test;\n"
    "position ROW COL (from 1); mode N (1 over-write, 2 vertical\n"
    "scroll, 3 horizontal scroll); cursor on|off; reverse on|off;\n"
    "national N (0 U.S.A ... 14 Greek); expand N (0-255);\n"
    "blink N (0-255); device N (1 aux, 2 display, 3 both);\n"
    "send TEXT";

namespace {

struct Simple
{
    const char *name;
    Epson::Command command;
};

const Simple kSimple[] = {
    {"home", Epson::Command::CursorHome},       {"up", Epson::Command::CursorUp},
    {"down", Epson::Command::CursorDown},       {"left", Epson::Command::CursorLeft},
    {"right", Epson::Command::CursorRight},     {"bottom", Epson::Command::CursorBottom},
    {"line-start", Epson::Command::LineStart},  {"line-end", Epson::Command::LineEnd},
    {"clear", Epson::Command::ClearScreen},     {"clear-line", Epson::Command::ClearLine},
    {"init", Epson::Command::Initialize},       {"self-test", Epson::Command::SelfTest},
};

// A whole decimal number within min and max.
bool number(const QString &text, int min, int max, int &out)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

// The commands with one number: its range and the driver call.
struct WithNumber
{
    const char *name;
    int min;
    int max;
    qint32 (*call)(CKDX &, int);
};

const WithNumber kWithNumber[] = {
    {"mode", Epson::kMinWriteMode, Epson::kMaxWriteMode, &Epson::setWriteMode},
    {"national", 0, Epson::kMaxNational, &Epson::setNational},
    {"expand", 0, 255, &Epson::setExpand},
    {"blink", 0, 255, &Epson::setBlink},
    {"device", Epson::kMinDevice, Epson::kMaxDevice, &Epson::setDevice},
};

} // namespace

bool parseEpsonCommand(const QStringList &args, EpsonAction &action, QString &problem)
{
    if (args.isEmpty()) {
        problem = QStringLiteral("epson needs a command, such as epson clear");
        return false;
    }
    const QString sub = args[0];
    const QStringList rest = args.mid(1);

    for (const Simple &s : kSimple) {
        if (sub != QLatin1String(s.name))
            continue;
        if (!rest.isEmpty()) {
            problem = QStringLiteral("epson %1 takes no argument").arg(sub);
            return false;
        }
        const Epson::Command c = s.command;
        action = [c](CKDX &k) { return Epson::send(k, c); };
        return true;
    }
    for (const WithNumber &w : kWithNumber) {
        if (sub != QLatin1String(w.name))
            continue;
        int n = 0;
        if (rest.size() != 1 || !number(rest[0], w.min, w.max, n)) {
            problem = QStringLiteral("epson %1 takes a number from %2 to %3").arg(sub).arg(w.min).arg(w.max);
            return false;
        }
        auto call = w.call;
        action = [call, n](CKDX &k) { return call(k, n); };
        return true;
    }
    if (sub == QLatin1String("position")) {
        int row = 0, column = 0;
        if (rest.size() != 2 || !number(rest[0], 1, Epson::kMaxTextParameter, row)
            || !number(rest[1], 1, Epson::kMaxTextParameter, column)) {
            problem = QStringLiteral("epson position takes ROW and COL, from 1");
            return false;
        }
        action = [row, column](CKDX &k) { return Epson::setPosition(k, row, column); };
        return true;
    }
    if (sub == QLatin1String("cursor") || sub == QLatin1String("reverse")) {
        if (rest.size() != 1 || (rest[0] != QLatin1String("on") && rest[0] != QLatin1String("off"))) {
            problem = QStringLiteral("epson %1 takes on or off").arg(sub);
            return false;
        }
        const bool on = rest[0] == QLatin1String("on");
        if (sub == QLatin1String("cursor"))
            action = [on](CKDX &k) { return Epson::setCursorDisplay(k, on); };
        else
            action = [on](CKDX &k) { return Epson::setReverse(k, on); };
        return true;
    }
    if (sub == QLatin1String("send")) {
        if (rest.size() != 1) {
            problem = QStringLiteral("epson send takes one text (quote it)");
            return false;
        }
        const QString text = rest[0];
        action = [text](CKDX &k) { return Epson::sendText(k, text); };
        return true;
    }
    problem = QStringLiteral("unknown epson command %1").arg(sub);
    return false;
}

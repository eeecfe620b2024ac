#include "FindCommand.h"

#include "CKDX.h"
#include "DisplayFinder.h"
#include "ResultCode.h"
#include "TerminalText.h"

#include <QJsonArray>

#include <cstdio>
#include <unistd.h>

namespace kdxctl {

namespace {

const QLatin1Char kFramingSeparator('/');

// The inverse of shownText's escaping: \\ and \xHH.
QString unescaped(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            if (text[i + 1] == QLatin1Char('\\')) {
                out += QLatin1Char('\\');
                ++i;
                continue;
            }
            bool ok = false;
            const uint code = text.mid(i + 2, 2).toUInt(&ok, 16);
            if (text[i + 1] == QLatin1Char('x') && ok && i + 3 < text.size()) {
                out += QChar(char16_t(code));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

int find(Session &s)
{
    const Options &o = s.options();
    DisplayFinder finder(s.kdx());
    finder.setStart({o.baud, CKDX::mapParity(o.parity, qint16(o.dataBits))});
    const DisplayFinder::Result r = finder.find();
    const QString port = o.port;
    switch (r.outcome) {
    case DisplayFinder::Outcome::Found: {
        if (!r.framingKnown())
            printErr(QStringLiteral("kdxctl: find: %1 answers at %2 baud alike with %3: this line cannot tell "
                                    "the framing (a pseudo-terminal carries no parity)")
                         .arg(port, r.baud, r.framings.join(QStringLiteral(", "))));
        const bool escaped = !o.raw;
        QByteArray line = QStringLiteral("%1 %2 %3 ").arg(port, r.baud, r.framings.join(kFramingSeparator)).toUtf8();
        line += shownText(r.version, escaped) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    case DisplayFinder::Outcome::Loader:
        printErr(QStringLiteral("kdxctl: find: %1 %2 %3: in its firmware loader: run a firmware update, or power it "
                                "off and on")
                     .arg(port, r.baud, r.framings.value(0)));
        return -kdx::Nack;
    case DisplayFinder::Outcome::NotFound: {
        QString text = QStringLiteral("kdxctl: find: %1: no display answered at any of the %2 line settings "
                                      "(every rate from 300 to 115200 baud, every framing)")
                           .arg(port)
                           .arg(r.settingsTried);
        if (!r.garbledAt.isEmpty())
            text += QStringLiteral("; bytes that were no answer came at %1 baud").arg(r.garbledAt.join(QStringLiteral(", ")));
        if (!r.skipped.isEmpty())
            text += QStringLiteral("; the port would not take %1").arg(r.skipped.join(QStringLiteral(", ")));
        printErr(text);
        return -kdx::NoResponse;
    }
    case DisplayFinder::Outcome::Cancelled:
        printErr(QStringLiteral("kdxctl: find: stopped"));
        return -kdx::Cancelled;
    case DisplayFinder::Outcome::NoLineSettings:
        printErr(QStringLiteral("kdxctl: find: %1 is a raw TCP port: its rate and framing stay as the server has "
                                "them, so there is nothing to try; give the server's port as rfc2217:// (the line "
                                "settings travel) or look on the machine the display hangs off")
                     .arg(port));
        return kExitUsage;
    case DisplayFinder::Outcome::PortFailed:
        break;
    }
    return s.report(r.portResult);
}

} // namespace

Command findDisplayCommand()
{
    return Command {QStringLiteral("find"), QString(),
               QStringLiteral("find the display's line settings: ask for its version at every\n"
                              "rate and framing it has, from --baud and --parity on (19200 N,8,1),\n"
                              "and print where it answered: \"COM3 9600 N,8,1 ?1.05\"; exit 4 when\n"
                              "nothing answered, 6 when it is in its firmware loader"),
               [](const QStringList &args, QString &problem) -> Action {
                   if (!args.isEmpty()) {
                       problem = QStringLiteral("find takes no argument");
                       return Action();
                   }
                   return find;
               }};
}

QJsonObject findFields(const QString &port, const QString &line, bool raw)
{
    if (!line.startsWith(port + QLatin1Char(' ')))
        return {};
    const QString rest = line.mid(port.size() + 1);
    const qsizetype rateEnd = rest.indexOf(QLatin1Char(' '));
    const qsizetype framingEnd = rateEnd < 0 ? -1 : rest.indexOf(QLatin1Char(' '), rateEnd + 1);
    bool ok = false;
    const int rate = rest.left(rateEnd).toInt(&ok);
    if (!ok || framingEnd < 0)
        return {};
    const QStringList framings = rest.mid(rateEnd + 1, framingEnd - rateEnd - 1).split(kFramingSeparator);
    const QString version = rest.mid(framingEnd + 1);
    return QJsonObject {
        {QStringLiteral("rate"), rate},
        {QStringLiteral("framing"), framings.size() == 1 ? QJsonValue(framings.first()) : QJsonValue()},
        {QStringLiteral("framings"), QJsonArray::fromStringList(framings)},
        {QStringLiteral("version"), raw ? version : unescaped(version)},
    };
}

} // namespace kdxctl

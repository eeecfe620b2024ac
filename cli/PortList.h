#pragma once

#include "PortMap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The ports one kdxctl call runs on: "COM1,COM2,COM5-COM8,rfc2217://pos-12:4001",
// "all", every present entry of the port map, or "@FILE", the ports listed in
// a file ("@-": standard input).
class PortList
{
public:
    // Whether the text of --port stands for a list (a comma, a range, "all" or
    // a file) rather than one port.
    static bool isList(const QString &text);
    // Whether the list on the command line has "all" among its entries.
    static bool mentionsAll(const QString &text);

    // Expands the text into port names, in the order given. COM names must have a
    // link in the map; device paths are taken as they are, rfc2217:// and tcp://
    // addresses when they are valid ones. Fails with a reason for an empty entry,
    // an unknown name, a range that runs backwards, or a port named twice (also
    // as a COM name and the device it points at), so that no two processes ever
    // share a port. "@FILE" reads the file first (see parseLines). fromAll,
    // when given, receives the ports that "all" stood for: nobody wrote them
    // out, so nothing is sent to them before a display answers.
    static bool parse(const QString &text, const QList<platform::PortMap::Entry> &map, QStringList *ports,
                      QString *error, QStringList *fromAll = nullptr);

    // The ports of a file's text: one entry a line (a COM name, a range, a device
    // path, an address, or a list as on the command line), "#" starts a comment,
    // blank lines are left out. A reason names the file (source) and the line.
    static bool parseLines(const QString &text, const QString &source, const QList<platform::PortMap::Entry> &map,
                           QStringList *ports, QString *error, QStringList *fromAll = nullptr);

    // The text of a port file ("-" standard input): UTF-8, at most kMaxFileBytes.
    static bool readFile(const QString &name, QString *text, QString *error);
    static constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

    // Whether a port is reached over the network: an address, or a COM name
    // whose port map entry is one.
    static bool isNetworkPort(const QString &port, const QList<platform::PortMap::Entry> &map);

    // A file name for what a port prints, without its extension: letters,
    // digits, '.', '-' and '_' only ("rfc2217://pos-12:4001" gives
    // "rfc2217_pos-12_4001", "/dev/ttyUSB0" "dev_ttyUSB0").
    static QString logFileName(const QString &port);

    // The options of one port's kdxctl: --port port, then the call's options
    // (arguments without the program name) up to the command, except --port
    // and the options that belong to the run as a whole (forEachPort false;
    // by default --json). takesValue says which options take a value.
    static QStringList optionsFor(const QString &port, const QStringList &arguments,
                                  const std::function<bool(const QString &name)> &takesValue,
                                  const std::function<bool(const QString &name)> &forEachPort = {});
};

#pragma once

#include "PortMap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The ports one kdxctl call runs on: "COM1,COM2,COM5-COM8,rfc2217://pos-12:4001"
// or "all", every present entry of the port map.
class PortList
{
public:
    // Whether the text of --port stands for a list (a comma, a range or "all")
    // rather than one port.
    static bool isList(const QString &text);

    // Expands the text into port names, in the order given. COM names must have a
    // link in the map; device paths and rfc2217:// and tcp:// addresses are taken
    // as they are. Fails with a reason for an empty entry, an unknown name, a
    // range that runs backwards, or a port named twice (also as a COM name and
    // the device it points at), so that no two processes ever share a port.
    static bool parse(const QString &text, const QList<platform::PortMap::Entry> &map, QStringList *ports,
                      QString *error);

    // The options of one port's kdxctl: --port port, then the call's options
    // (arguments without the program name) up to the command, except --port
    // and --json. takesValue says which options take a value.
    static QStringList optionsFor(const QString &port, const QStringList &arguments,
                                  const std::function<bool(const QString &name)> &takesValue);
};

#pragma once

#include <QString>

namespace platform {

// A serial port on another machine, named rfc2217://HOST:PORT (Telnet with the
// COM port option: the line settings travel with the data) or tcp://HOST:PORT
// (raw bytes; the line stays as the server has it). The name is used exactly as
// given: HOST is a host name, an IPv4 address or a bracketed IPv6 address, and
// nothing may follow the port, so no text of a URL ever reaches a shell, a path
// or any lookup other than the host name's.
struct NetworkAddress
{
    enum class Kind { Rfc2217, Tcp };

    Kind kind = Kind::Rfc2217;
    QString host;
    quint16 port = 0;

    // Longest name accepted, scheme included.
    static constexpr int kMaxLength = 280;

    // Whether text starts like a network port name (rfc2217:// or tcp://), valid or not.
    static bool looksLikeUrl(const QString &text);
    // Parses a name; false with the reason in *error when it is not a valid one.
    static bool parse(const QString &text, NetworkAddress &out, QString *error = nullptr);

    // "rfc2217://host:port", "tcp://[::1]:port"
    QString toString() const;
    // "host:port" as a person reads it in a message.
    QString hostAndPort() const;
};

} // namespace platform

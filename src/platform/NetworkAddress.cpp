#include "NetworkAddress.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace platform {

namespace {

const QLatin1String kRfc2217Scheme("rfc2217://");
const QLatin1String kTcpScheme("tcp://");

// Letters, digits and hyphens in dot-separated labels of at most 63 characters.
bool isHostName(const QString &host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const QString &label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-'))
            || label.endsWith(QLatin1Char('-')))
            return false;
        for (QChar c : label) {
            if (c.unicode() > 127 || !(c.isLetterOrNumber() || c == QLatin1Char('-')))
                return false;
        }
    }
    return true;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool NetworkAddress::looksLikeUrl(const QString &text)
{
    return text.startsWith(kRfc2217Scheme, Qt::CaseInsensitive) || text.startsWith(kTcpScheme, Qt::CaseInsensitive);
}

bool NetworkAddress::parse(const QString &text, NetworkAddress &out, QString *error)
{
    if (text.size() > kMaxLength)
        return fail(error, QStringLiteral("longer than %1 characters").arg(kMaxLength));
    NetworkAddress a;
    QString rest;
    if (text.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)) {
        a.kind = Kind::Rfc2217;
        rest = text.mid(kRfc2217Scheme.size());
    } else if (text.startsWith(kTcpScheme, Qt::CaseInsensitive)) {
        a.kind = Kind::Tcp;
        rest = text.mid(kTcpScheme.size());
    } else {
        return fail(error, QStringLiteral("not of the form rfc2217://HOST:PORT or tcp://HOST:PORT"));
    }

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(error, QStringLiteral("an IPv6 address is written [ADDRESS]:PORT"));
        a.host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
        // The system's own parser: the address check needs no network library.
        in6_addr ip {};
        if (::inet_pton(AF_INET6, a.host.toLatin1().constData(), &ip) != 1 || a.host.contains(QLatin1Char('%')))
            return fail(error, QStringLiteral("\"%1\" is not an IPv6 address").arg(a.host));
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(error, QStringLiteral("the port number is missing (HOST:PORT)"));
        a.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (!isHostName(a.host))
            return fail(error, QStringLiteral("\"%1\" is not a host name or address").arg(a.host));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    // Digits only: no sign, no spaces, no path or query after the number.
    bool digits = !portText.isEmpty() && portText.size() <= 5;
    for (QChar c : portText)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!ok || !digits || port == 0 || port > 65535)
        return fail(error, QStringLiteral("\"%1\" is not a port number from 1 to 65535").arg(portText));
    a.port = quint16(port);
    out = a;
    return true;
}

QString NetworkAddress::hostAndPort() const
{
    const bool v6 = host.contains(QLatin1Char(':'));
    return (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') + QString::number(port);
}

QString NetworkAddress::toString() const
{
    return (kind == Kind::Rfc2217 ? QString(kRfc2217Scheme) : QString(kTcpScheme)) + hostAndPort();
}

} // namespace platform

#include "PortList.h"

#include "NetworkAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// COM numbers as kdxctl takes them on --port.
constexpr int kMaxComNumber = 32767;

const QRegularExpression &comPattern()
{
    static const QRegularExpression re(QStringLiteral("^COM(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    return re;
}

// "COM5-COM8" or "COM5-8".
const QRegularExpression &rangePattern()
{
    static const QRegularExpression re(QStringLiteral("^COM(\\d+)-(?:COM)?(\\d+)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Whether text is COM<digits>-[COM]<digits>, without a regular expression:
// every call of kdxctl asks this, and compiling one costs more than the rest
// of the check.
bool looksLikeRange(QStringView text)
{
    auto comDigits = [](QStringView s, bool comOptional) {
        if (s.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            s = s.mid(3);
        else if (!comOptional)
            return false;
        return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit(); });
    };
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    return dash > 0 && comDigits(text.left(dash), false) && comDigits(text.mid(dash + 1), true);
}

bool isAddress(const QString &name)
{
    return platform::NetworkAddress::looksLikeUrl(name);
}

bool isAll(const QString &name)
{
    return name.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0;
}

int comNumber(const QString &digits)
{
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && n >= 1 && n <= kMaxComNumber ? n : 0;
}

QString devicePathKey(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return QStringLiteral("dev:") + (c.isEmpty() ? QDir::cleanPath(path) : c);
}

QString addressKey(const QString &url)
{
    return QStringLiteral("net:") + url.mid(url.indexOf(QLatin1String("://")) + 3).toLower();
}

// One key per port, whatever the name it was given by: a COM name and a path
// to its device are the same port, and so are two schemes on one address or
// an address and the COM name that stands for it.
QString portKey(const QString &name, const QList<platform::PortMap::Entry> &map)
{
    if (isAddress(name))
        return addressKey(name);
    const QRegularExpressionMatch m = comPattern().match(name);
    if (m.hasMatch()) {
        const int n = comNumber(m.captured(1));
        for (const platform::PortMap::Entry &e : map) {
            if (e.number == n)
                return e.url.isEmpty() ? devicePathKey(e.target) : addressKey(e.url);
        }
        return QStringLiteral("com:%1").arg(n);
    }
    return devicePathKey(name);
}

bool inMap(int number, const QList<platform::PortMap::Entry> &map)
{
    for (const platform::PortMap::Entry &e : map) {
        if (e.number == number)
            return true;
    }
    return false;
}

struct Named
{
    QString name;
    int line = 0;         // of a port file; 0 on the command line
    bool implied = false; // one of "all"
};

// The ports of one list as the command line writes it, appended to names.
bool expand(const QString &text, int line, const QList<platform::PortMap::Entry> &map, QList<Named> &names,
            QString &why)
{
    auto fail = [&why](const QString &reason) {
        why = reason;
        return false;
    };
    for (const QString &raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            return fail(QStringLiteral("an empty entry in the port list \"%1\"").arg(text));
        if (isAll(entry)) {
            int present = 0;
            for (const platform::PortMap::Entry &e : map) {
                if (e.present) {
                    names.append({platform::PortMap::linkName(e.number), line, true});
                    ++present;
                }
            }
            if (present == 0)
                return fail(QStringLiteral("\"all\": the port map has no ports (\"kdxctl ports\" lists them)"));
            continue;
        }
        if (isAddress(entry)) {
            if (entry.indexOf(QLatin1String("://")) + 3 >= entry.size())
                return fail(QStringLiteral("%1 names no host").arg(entry));
            platform::NetworkAddress address;
            QString malformed;
            if (!platform::NetworkAddress::parse(entry, address, &malformed))
                return fail(QStringLiteral("%1 is not a network port address: %2").arg(entry, malformed));
            names.append({entry, line});
            continue;
        }
        if (entry.startsWith(QLatin1Char('/'))) {
            names.append({entry, line});
            continue;
        }
        int first = 0;
        int last = 0;
        const QRegularExpressionMatch range = rangePattern().match(entry);
        const QRegularExpressionMatch single = comPattern().match(entry);
        if (range.hasMatch()) {
            first = comNumber(range.captured(1));
            last = comNumber(range.captured(2));
            if (first == 0 || last == 0)
                return fail(QStringLiteral("%1: COM numbers run from 1 to %2").arg(entry).arg(kMaxComNumber));
            if (last < first)
                return fail(QStringLiteral("%1 runs backwards").arg(entry));
        } else if (single.hasMatch()) {
            first = last = comNumber(single.captured(1));
            if (first == 0)
                return fail(QStringLiteral("%1: COM numbers run from 1 to %2").arg(entry).arg(kMaxComNumber));
        } else {
            return fail(QStringLiteral("unknown port \"%1\": use COM names of the port map, device paths, "
                                       "rfc2217:// or tcp:// addresses, or all")
                            .arg(entry));
        }
        for (int n = first; n <= last; ++n) {
            if (!inMap(n, map))
                return fail(QStringLiteral("%1 is not in the port map (\"kdxctl ports\" lists it)")
                                .arg(platform::PortMap::linkName(n)));
            names.append({platform::PortMap::linkName(n), line});
        }
    }
    return true;
}

// No port twice; a reason names the lines of a port file.
bool checkDistinct(const QList<Named> &names, const QString &source, const QList<platform::PortMap::Entry> &map,
                   QString &why)
{
    QHash<QString, Named> seen;
    for (const Named &n : names) {
        const QString key = portKey(n.name, map);
        const auto it = seen.constFind(key);
        if (it == seen.constEnd()) {
            seen.insert(key, n);
            continue;
        }
        if (n.line == 0) {
            why = it->name == n.name ? QStringLiteral("%1 is named twice in the port list").arg(n.name)
                                     : QStringLiteral("%1 and %2 are the same port").arg(it->name, n.name);
        } else if (it->name == n.name) {
            why = QStringLiteral("%1 line %2: %3 is named twice (first on line %4)")
                      .arg(source).arg(n.line).arg(n.name).arg(it->line);
        } else {
            why = QStringLiteral("%1 line %2: %3 and %4 on line %5 are the same port")
                      .arg(source).arg(n.line).arg(n.name, it->name).arg(it->line);
        }
        return false;
    }
    return true;
}

QStringList namesOf(const QList<Named> &names, bool impliedOnly = false)
{
    QStringList out;
    out.reserve(names.size());
    for (const Named &n : names) {
        if (n.implied || !impliedOnly)
            out.append(n.name);
    }
    return out;
}

} // namespace

bool PortList::isList(const QString &text)
{
    const QString t = text.trimmed();
    return t.startsWith(QLatin1Char('@')) || t.contains(QLatin1Char(',')) || isAll(t) || looksLikeRange(t);
}

bool PortList::mentionsAll(const QString &text)
{
    const QStringList entries = text.split(QLatin1Char(','));
    return std::any_of(entries.cbegin(), entries.cend(), [](const QString &e) { return isAll(e.trimmed()); });
}

bool PortList::parse(const QString &text, const QList<platform::PortMap::Entry> &map, QStringList *ports,
                     QString *error, QStringList *fromAll)
{
    QString why;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('@'))) {
        const QString file = t.mid(1);
        QString content;
        if (!readFile(file, &content, &why)
            || !parseLines(content, file == QLatin1String("-") ? QStringLiteral("standard input") : file, map, ports,
                           &why, fromAll)) {
            if (error)
                *error = why;
            return false;
        }
        return true;
    }
    QList<Named> names;
    if (!expand(text, 0, map, names, why) || !checkDistinct(names, QString(), map, why)) {
        if (error)
            *error = why;
        return false;
    }
    if (ports)
        *ports = namesOf(names);
    if (fromAll)
        *fromAll = namesOf(names, true);
    return true;
}

bool PortList::parseLines(const QString &text, const QString &source, const QList<platform::PortMap::Entry> &map,
                          QStringList *ports, QString *error, QStringList *fromAll)
{
    QString why;
    QList<Named> names;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        if (line.trimmed().isEmpty())
            continue;
        if (!expand(line.trimmed(), i + 1, map, names, why)) {
            why = QStringLiteral("%1 line %2: %3").arg(source).arg(i + 1).arg(why);
            break;
        }
    }
    if (why.isEmpty() && names.isEmpty())
        why = QStringLiteral("%1 names no ports").arg(source);
    if (why.isEmpty())
        checkDistinct(names, source, map, why);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    if (ports)
        *ports = namesOf(names);
    if (fromAll)
        *fromAll = namesOf(names, true);
    return true;
}

bool PortList::readFile(const QString &name, QString *text, QString *error)
{
    const bool standardInput = name == QLatin1String("-");
    const QString shown = standardInput ? QStringLiteral("standard input") : QStringLiteral("the port file ") + name;
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(shown, why);
        return false;
    };
    if (name.isEmpty())
        return fail(QStringLiteral("--port @FILE needs a file name (@- for standard input)"));
    if (!standardInput && QFileInfo(name).isDir())
        return fail(QStringLiteral("it is a folder"));
    const int fd = standardInput ? STDIN_FILENO : ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // Read to the end, but never more than a port list can be (/dev/zero).
    QByteArray bytes;
    char chunk[65536];
    int readError = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            readError = errno;
        if (n <= 0)
            break;
        bytes.append(chunk, n);
        if (bytes.size() > kMaxFileBytes)
            break;
    }
    if (!standardInput)
        ::close(fd);
    if (readError)
        return fail(QString::fromLocal8Bit(std::strerror(readError)));
    if (bytes.size() > kMaxFileBytes)
        return fail(QStringLiteral("it is larger than %1 MiB").arg(kMaxFileBytes / (1024 * 1024)));
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes)
        return fail(QStringLiteral("it is not UTF-8 text"));
    if (text)
        *text = decoded;
    return true;
}

bool PortList::isNetworkPort(const QString &port, const QList<platform::PortMap::Entry> &map)
{
    if (isAddress(port))
        return true;
    const int n = platform::PortMap::numberOfName(port);
    for (const platform::PortMap::Entry &e : map) {
        if (n > 0 && e.number == n)
            return !e.url.isEmpty();
    }
    return false;
}

QString PortList::logFileName(const QString &port)
{
    // Long enough for any address, short enough for any file system.
    constexpr qsizetype kMaxName = 200;
    QString name = port;
    name.replace(QLatin1String("://"), QLatin1String("_"));
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    for (QChar &c : name) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') || c == QLatin1Char('-')
            || c == QLatin1Char('_');
        if (!safe)
            c = QLatin1Char('_');
    }
    // Never hidden, never "." or "..".
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return name.left(kMaxName);
}

QStringList PortList::optionsFor(const QString &port, const QStringList &arguments,
                                 const std::function<bool(const QString &name)> &takesValue,
                                 const std::function<bool(const QString &name)> &forEachPort)
{
    QStringList out {QStringLiteral("--port"), port};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        // The command, or the end of the options.
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-") || a == QLatin1String("--"))
            break;
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        QString name = eq > 0 ? a.left(eq) : a;
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        const bool valueFollows = eq < 0 && takesValue(name) && i + 1 < arguments.size();
        const bool runsOwn = forEachPort ? !forEachPort(name) : name == QLatin1String("json");
        if (name == QLatin1String("port") || runsOwn) {
            if (valueFollows)
                ++i;
            continue;
        }
        out.append(a);
        if (valueFollows)
            out.append(arguments[++i]);
    }
    return out;
}

#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

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

bool isAddress(const QString &name)
{
    return name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
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

// One key per port, whatever the name it was given by: a COM name and a path
// to its device are the same port, and so are two schemes on one address.
QString portKey(const QString &name, const QList<platform::PortMap::Entry> &map)
{
    if (isAddress(name))
        return QStringLiteral("net:") + name.mid(name.indexOf(QLatin1String("://")) + 3).toLower();
    const QRegularExpressionMatch m = comPattern().match(name);
    if (m.hasMatch()) {
        const int n = comNumber(m.captured(1));
        for (const platform::PortMap::Entry &e : map) {
            if (e.number == n)
                return devicePathKey(e.target);
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

} // namespace

bool PortList::isList(const QString &text)
{
    return text.contains(QLatin1Char(',')) || isAll(text.trimmed()) || rangePattern().match(text.trimmed()).hasMatch();
}

bool PortList::parse(const QString &text, const QList<platform::PortMap::Entry> &map, QStringList *ports,
                     QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QStringList names;
    for (const QString &raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            return fail(QStringLiteral("an empty entry in the port list \"%1\"").arg(text));
        if (isAll(entry)) {
            int present = 0;
            for (const platform::PortMap::Entry &e : map) {
                if (e.present) {
                    names.append(platform::PortMap::linkName(e.number));
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
            names.append(entry);
            continue;
        }
        if (entry.startsWith(QLatin1Char('/'))) {
            names.append(entry);
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
            names.append(platform::PortMap::linkName(n));
        }
    }

    QHash<QString, QString> seen;
    for (const QString &name : names) {
        const QString key = portKey(name, map);
        const auto it = seen.constFind(key);
        if (it != seen.constEnd()) {
            if (*it == name)
                return fail(QStringLiteral("%1 is named twice in the port list").arg(name));
            return fail(QStringLiteral("%1 and %2 are the same port").arg(*it, name));
        }
        seen.insert(key, name);
    }
    if (ports)
        *ports = names;
    return true;
}

QStringList PortList::optionsFor(const QString &port, const QStringList &arguments,
                                 const std::function<bool(const QString &name)> &takesValue)
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
        if (name == QLatin1String("port") || name == QLatin1String("json")) {
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

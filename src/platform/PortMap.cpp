#include "PortMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>

#include <sys/stat.h>

namespace platform {

namespace {

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

} // namespace

int PortMap::numberOfName(const QString &name)
{
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const QString digits = name.mid(3);
    if (digits.isEmpty() || digits.size() > 5 || digits[0] == QLatin1Char('0'))
        return 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    const int n = digits.toInt();
    return n <= kMaxNumber ? n : 0;
}

PortMap::PortMap(const QString &dir)
    : m_dir(dir)
{
}

QString PortMap::defaultDir()
{
    const QByteArray env = qgetenv("KDX_PORTS_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kdx-utility/ports");
}

QList<PortMap::Entry> PortMap::entries() const
{
    QList<Entry> out;
    QDir d(m_dir);
    const QFileInfoList infos = d.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &fi : infos) {
        // Links are named exactly "COM<n>"; anything else in the folder is not ours.
        const int n = fi.fileName().startsWith(QLatin1String("COM")) ? numberOfName(fi.fileName()) : 0;
        if (n == 0 || !fi.isSymLink())
            continue;
        Entry e;
        e.number = n;
        e.target = fi.symLinkTarget();
        e.present = QFileInfo::exists(fi.absoluteFilePath());
        out.append(e);
    }
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.number < b.number; });
    return out;
}

QString PortMap::devicePath(int number) const
{
    if (number <= 0 || number > kMaxNumber)
        return QString();
    const QFileInfo fi(m_dir + QLatin1Char('/') + linkName(number));
    return fi.isSymLink() ? fi.symLinkTarget() : QString();
}

int PortMap::numberOf(const QString &path) const
{
    const QString want = canonical(path);
    for (const Entry &e : entries()) {
        if (e.target == path || canonical(e.target) == want)
            return e.number;
    }
    return 0;
}

int PortMap::lowestFreeNumber() const
{
    QList<int> used;
    for (const Entry &e : entries())
        used.append(e.number);
    QDir d(m_dir);
    int n = 1;
    while (used.contains(n) || QFileInfo(d.filePath(linkName(n))).isSymLink())
        ++n;
    return n;
}

int PortMap::assign(const QStringList &devices)
{
    int added = 0;
    for (const QString &dev : devices) {
        if (numberOf(dev) != 0)
            continue;
        if (addLink(lowestFreeNumber(), dev))
            ++added;
    }
    return added;
}

int PortMap::refresh()
{
    return assign(systemDevices());
}

QStringList PortMap::systemDevices()
{
    // Stable names for USB adapters, so that a number follows the adapter and not
    // the order in which the kernel found it.
    QHash<QString, QString> byId;
    QDir ids(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &fi : ids.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        byId.insert(fi.canonicalFilePath(), fi.absoluteFilePath());

    QStringList out;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString loc = info.systemLocation();
        const QString canon = canonical(loc);
        out.append(byId.value(canon, loc));
    }
    out.sort();
    return out;
}

bool PortMap::addLink(int number, const QString &target, QString *error)
{
    if (number <= 0 || number > kMaxNumber) {
        if (error)
            *error = QStringLiteral("invalid port number %1").arg(number);
        return false;
    }
    if (!QDir().mkpath(m_dir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(m_dir);
        return false;
    }
    const QString link = m_dir + QLatin1Char('/') + linkName(number);
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link)) {
        if (error)
            *error = QStringLiteral("%1 is already taken").arg(linkName(number));
        return false;
    }
    if (!QFile::link(target, link)) {
        if (error)
            *error = QStringLiteral("cannot create the link %1").arg(link);
        return false;
    }
    return true;
}

bool PortMap::removeLink(int number)
{
    const QString link = m_dir + QLatin1Char('/') + linkName(number);
    if (!QFileInfo(link).isSymLink())
        return false;
    return QFile::remove(link);
}

PortMap::Details PortMap::details(const QString &device)
{
    Details d;
    const QString real = canonical(device);
    QDir ids(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &fi : ids.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (fi.canonicalFilePath() == real) {
            d.byId = fi.fileName();
            break;
        }
    }
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (canonical(info.systemLocation()) != real)
            continue;
        d.description = info.description();
        d.manufacturer = info.manufacturer();
        d.serialNumber = info.serialNumber();
        d.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        d.vendorId = info.vendorIdentifier();
        d.productId = info.productIdentifier();
        break;
    }
    // Only claims count: the far end of a pseudo-terminal (kdx-sim) has it open
    // without using it as a port.
    const PortHolder owner = PortLock::lockOwner(real);
    if (owner.pid > 0) {
        d.users.append(owner);
    } else {
        struct stat st {};
        if (::stat(QFile::encodeName(real).constData(), &st) == 0)
            d.users = flockHolders(st.st_dev, st.st_ino);
    }
    return d;
}

} // namespace platform

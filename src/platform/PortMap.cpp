#include "PortMap.h"

#include "NetworkAddress.h"
#include "SystemDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

// An address file is read only when it is a regular file of its own: never
// through a link, never a FIFO or device that could block or be a path.
bool readAddressFile(const QString &path, QString &url, QString &problem)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP ? QStringLiteral("it is a symbolic link") : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    QByteArray bytes;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = QStringLiteral("it is not a regular file");
    } else {
        bytes.resize(PortMap::kMaxUrlFileBytes + 1);
        const ssize_t n = ::read(fd, bytes.data(), size_t(bytes.size()));
        bytes.resize(n < 0 ? 0 : qsizetype(n));
        if (n < 0)
            problem = QString::fromLocal8Bit(std::strerror(errno));
        else if (n > PortMap::kMaxUrlFileBytes)
            problem = QStringLiteral("it is longer than %1 bytes").arg(PortMap::kMaxUrlFileBytes);
    }
    ::close(fd);
    if (!problem.isEmpty())
        return false;
    const QString text = QString::fromUtf8(bytes).trimmed();
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            problem = QStringLiteral("it holds more than one line or control characters");
            return false;
        }
    }
    NetworkAddress address;
    QString why;
    if (!NetworkAddress::parse(text, address, &why)) {
        problem = QStringLiteral("\"%1\" is not a network port address: %2").arg(text.left(80), why);
        return false;
    }
    url = address.toString();
    return true;
}

// Says once per process why an address file is not used.
void reportSkipped(const QString &path, const QString &problem)
{
    static QSet<QString> told;
    const QString message = QStringLiteral("port map: %1 skipped: %2").arg(path, problem);
    if (told.contains(message))
        return;
    told.insert(message);
    qWarning("%s", qPrintable(message));
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
    const QFileInfoList files = d.entryInfoList({QStringLiteral("COM*.url")}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &fi : files) {
        const int n = numberOfName(fi.fileName().chopped(4));
        if (n == 0 || std::any_of(out.cbegin(), out.cend(), [n](const Entry &e) { return e.number == n; }))
            continue;
        Entry e;
        e.number = n;
        e.url = urlOf(n);
        if (e.url.isEmpty())
            continue;
        e.target = e.url;
        e.present = true;
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
    while (used.contains(n) || QFileInfo(d.filePath(linkName(n))).isSymLink()
           || QFileInfo(d.filePath(urlFileName(n))).isSymLink() || QFileInfo::exists(d.filePath(urlFileName(n))))
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
    QString problem;
    const QList<SystemDevice> devices = systemSerialDevices(&problem);
    if (!problem.isEmpty())
        qWarning("%s", qPrintable(problem));
    for (const SystemDevice &device : devices)
        out.append(byId.value(canonical(device.location), device.location));
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
    const QString url = m_dir + QLatin1Char('/') + urlFileName(number);
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link) || QFileInfo(url).isSymLink() || QFileInfo::exists(url)) {
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
    return details(device, systemSerialDevices());
}

PortMap::Details PortMap::details(const QString &device, const QList<SystemDevice> &known)
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
    for (const SystemDevice &device : known) {
        if (canonical(device.location) != real)
            continue;
        d.description = device.description;
        d.manufacturer = device.manufacturer;
        d.serialNumber = device.serialNumber;
        d.hasUsbIds = device.hasUsbIds;
        d.vendorId = device.vendorId;
        d.productId = device.productId;
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

QString PortMap::urlOf(int number, QString *problem) const
{
    if (number <= 0)
        return QString();
    const QString path = m_dir + QLatin1Char('/') + urlFileName(number);
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return QString();
    QString url, why;
    if (fi.isSymLink())
        why = QStringLiteral("it is a symbolic link");
    else if (devicePath(number).isEmpty() == false)
        why = QStringLiteral("%1 is a device link").arg(linkName(number));
    else
        readAddressFile(path, url, why);
    if (!why.isEmpty()) {
        reportSkipped(path, why);
        if (problem)
            *problem = why;
        return QString();
    }
    return url;
}

bool PortMap::addUrl(int number, const QString &url, QString *error)
{
    auto failWith = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    NetworkAddress address;
    QString why;
    if (!NetworkAddress::parse(url, address, &why))
        return failWith(QStringLiteral("\"%1\" is not a network port address: %2").arg(url.left(80), why));
    if (number <= 0)
        return failWith(QStringLiteral("invalid port number %1").arg(number));
    if (!QDir().mkpath(m_dir))
        return failWith(QStringLiteral("cannot create %1").arg(m_dir));
    const QString link = m_dir + QLatin1Char('/') + linkName(number);
    const QString path = m_dir + QLatin1Char('/') + urlFileName(number);
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link))
        return failWith(QStringLiteral("%1 is already taken").arg(linkName(number)));
    // O_EXCL: never over an existing file, and never through a link.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return failWith(QStringLiteral("%1 is already taken").arg(linkName(number)));
        return failWith(QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const QByteArray text = address.toString().toUtf8() + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == ssize_t(text.size());
    ::close(fd);
    if (!written) {
        ::unlink(QFile::encodeName(path).constData());
        return failWith(QStringLiteral("cannot write %1").arg(path));
    }
    return true;
}

bool PortMap::removeUrl(int number, QString *error)
{
    const QString path = m_dir + QLatin1Char('/') + urlFileName(number);
    const QFileInfo fi(path);
    if (number <= 0 || (!fi.exists() && !fi.isSymLink())) {
        if (error)
            *error = QFileInfo(m_dir + QLatin1Char('/') + linkName(number)).isSymLink()
                ? QStringLiteral("%1 is a device link, not a network port").arg(linkName(number))
                : QStringLiteral("%1 is not a network port of the port map").arg(linkName(number));
        return false;
    }
    // unlink() removes a link itself, never what it points at.
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        if (error)
            *error = QStringLiteral("cannot remove %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace platform

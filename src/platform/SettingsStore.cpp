#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::settings {

namespace {

const QString kOrganisation = QStringLiteral("kdx-utility");
// An INI of the store is a few hundred bytes; anything far larger is not ours.
constexpr qint64 kMaxIniBytes = 1 << 20;

QString fullKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

QString folderPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + kOrganisation;
}

struct Snapshot
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    qint64 mtimeNs = 0;
    QHash<QString, QString> values;
};

// Parsed files by path, so that a start with a dozen reads parses each file once.
QHash<QString, Snapshot> &cache()
{
    static QHash<QString, Snapshot> c;
    return c;
}

qint64 mtimeNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The text of an INI in QSettings' own reading, from bytes already read.
QHash<QString, QString> parse(const QByteArray &bytes)
{
    QHash<QString, QString> out;
    if (bytes.isEmpty())
        return out;
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/kdx-settings-XXXXXX.ini"));
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        return out;
    const QSettings s(copy.fileName(), QSettings::IniFormat);
    for (const QString &k : s.allKeys())
        out.insert(k, s.value(k).toString());
    return out;
}

// The values of the INI at path: only a regular file is opened (a link to one
// is followed), without blocking, and checked again once open.
QHash<QString, QString> readValues(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const auto hit = cache().constFind(path);
    if (hit != cache().constEnd() && hit->dev == st.st_dev && hit->ino == st.st_ino && hit->size == st.st_size
        && hit->mtimeNs == mtimeNs(st))
        return hit->values;

    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat opened {};
    QByteArray bytes;
    bool ok = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_size <= kMaxIniBytes;
    while (ok) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            ok = bytes.size() <= kMaxIniBytes;
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
        }
    }
    ::close(fd);
    if (!ok)
        return {};
    Snapshot snap {opened.st_dev, opened.st_ino, opened.st_size, mtimeNs(opened), parse(bytes)};
    cache().insert(path, snap);
    return snap.values;
}

} // namespace

QString iniPath(const QString &appName)
{
    return folderPath() + QLatin1Char('/') + appName + QStringLiteral(".ini");
}

QString saveProblem(const QString &appName)
{
    const QString folder = folderPath();
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return QStringLiteral("Settings will not be saved: %1 is a symbolic link.").arg(folder);
        if (!S_ISDIR(st.st_mode))
            return QStringLiteral("Settings will not be saved: %1 is not a folder.").arg(folder);
    } else {
        // A new folder and file will be made.
        return QString();
    }
    const QString path = iniPath(appName);
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QString()
                               : QStringLiteral("Settings will not be saved: %1 cannot be examined.").arg(path);
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("Settings will not be saved: %1 is a symbolic link.").arg(path);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("Settings will not be saved: %1 is not a regular file.").arg(path);
    if (st.st_uid != ::geteuid())
        return QStringLiteral("Settings will not be saved: %1 belongs to another user.").arg(path);
    if (!(st.st_mode & S_IWUSR))
        return QStringLiteral("Settings will not be saved: %1 is read-only.").arg(path);
    return QString();
}

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    return readValues(iniPath(appName)).value(fullKey(section, key), defaultValue);
}

bool SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &value)
{
    const QString path = iniPath(appName);
    const QString k = fullKey(section, key);
    const QHash<QString, QString> now = readValues(path);
    const auto it = now.constFind(k);
    if (it != now.constEnd() && *it == value)
        return true;
    if (!saveProblem(appName).isEmpty())
        return false;
    // The file is absent or a regular, writable file of this user: QSettings
    // replaces it by a new one in the same folder.
    QSettings s(path, QSettings::IniFormat);
    s.setValue(k, value);
    s.sync();
    cache().remove(path);
    return s.status() == QSettings::NoError;
}

QString safeAppName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const bool keep = (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-')
            || c == QLatin1Char('_') || c == QLatin1Char('.');
        out.append(keep ? c : QLatin1Char('_'));
    }
    while (out.startsWith(QLatin1Char('.')))
        out.replace(0, 1, QLatin1Char('_'));
    return out.isEmpty() ? QStringLiteral("_") : out;
}

} // namespace platform::settings

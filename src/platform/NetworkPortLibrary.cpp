#include "NetworkPortLibrary.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

namespace {

struct Loaded
{
    KdxMakeNetworkPort make = nullptr;
    QString error;
};

QString programDir()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return QString();
    return QFileInfo(QFile::decodeName(QByteArray(path, int(n)))).absolutePath();
}

// Loaded once; a library that cannot be loaded is not tried again.
const Loaded &library()
{
    static const Loaded loaded = [] {
        Loaded l;
        const QString path = networkPortLibraryPath();
        void *handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *why = ::dlerror();
            l.error = why ? QString::fromLocal8Bit(why) : path;
            return l;
        }
        const auto *version = static_cast<const int *>(::dlsym(handle, "kdx_network_port_interface"));
        auto make = reinterpret_cast<KdxMakeNetworkPort>(::dlsym(handle, "kdx_make_network_port"));
        if (!version || *version != KDX_NETWORK_PORT_INTERFACE || !make) {
            l.error = QStringLiteral("%1 is from another version of the program").arg(path);
            return l;
        }
        l.make = make;
        return l;
    }();
    return loaded;
}

} // namespace

QString networkPortLibraryPath()
{
    return programDir() + QStringLiteral("/" KDX_NETWORK_PORT_LIBRARY);
}

std::unique_ptr<SerialPort> makeNetworkPort(const NetworkAddress &address, QString *error)
{
    const Loaded &l = library();
    if (!l.make) {
        if (error)
            *error = QStringLiteral("the network port library cannot be loaded: %1").arg(l.error);
        return nullptr;
    }
    return std::unique_ptr<SerialPort>(l.make(&address));
}

} // namespace platform

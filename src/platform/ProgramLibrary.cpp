#include "ProgramLibrary.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <climits>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

struct Loaded
{
    void *handle = nullptr;
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

} // namespace

QString programLibraryPath(const QString &fileName)
{
    return programDir() + QStringLiteral("/" KDX_PROGRAM_LIBRARY_DIR "/") + fileName;
}

void *programLibrarySymbol(const QString &fileName, const char *symbol, QString *error)
{
    static std::mutex lock;
    static QHash<QString, Loaded> libraries;
    const std::lock_guard<std::mutex> guard(lock);
    auto it = libraries.find(fileName);
    if (it == libraries.end()) {
        Loaded l;
        const QString path = programLibraryPath(fileName);
        l.handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!l.handle) {
            const char *why = ::dlerror();
            l.error = why ? QString::fromLocal8Bit(why) : path;
        }
        it = libraries.insert(fileName, l);
    }
    void *found = it->handle ? ::dlsym(it->handle, symbol) : nullptr;
    if (!found && error) {
        *error = it->handle ? QStringLiteral("%1 is from another version of the program").arg(programLibraryPath(fileName))
                            : it->error;
    }
    return found;
}

} // namespace platform

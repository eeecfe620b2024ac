#include "FileCheck.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileCheck {

namespace {

bool failWith(int number, Fault &fault)
{
    fault.number = number;
    fault.description = QString::fromLocal8Bit(std::strerror(number));
    return false;
}

bool notRegular(Fault &fault)
{
    fault.number = 0;
    fault.description = QCoreApplication::translate("FileCheck", "not a regular file");
    return false;
}

} // namespace

bool openRegularFile(const QString &path, QFile &file, Fault &fault)
{
    if (path.isEmpty())
        return failWith(ENOENT, fault);
    const QByteArray name = QFile::encodeName(path);
    // Looked at first, so that a FIFO is never opened at all; the check after
    // opening catches a file swapped in between.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return failWith(errno, fault);
    if (!S_ISREG(st.st_mode))
        return notRegular(fault);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failWith(errno, fault);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        ::close(fd);
        return S_ISREG(st.st_mode) ? failWith(e, fault) : notRegular(fault);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failWith(EIO, fault);
    }
    return true;
}

bool checkFirmwareFile(const QString &path, Fault &fault)
{
    QFile file;
    if (!openRegularFile(path, file, fault))
        return false;
    if (file.size() == 0) {
        fault.number = 0;
        fault.description = QCoreApplication::translate("FileCheck", "the file is empty");
        return false;
    }
    return true;
}

} // namespace fileCheck

#include "FileCheck.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fileCheck {

namespace {

bool failWith(int number, Fault &fault)
{
    fault.number = number;
    fault.description = QString::fromLocal8Bit(std::strerror(number));
    return false;
}

} // namespace

bool openForReading(const QString &path, Fault &fault)
{
    if (path.isEmpty())
        return failWith(ENOENT, fault);
    // fopen accepts a folder for reading; the transfer could not.
    if (QFileInfo(path).isDir())
        return failWith(EISDIR, fault);
    errno = 0;
    std::FILE *f = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!f)
        return failWith(errno ? errno : EIO, fault);
    std::fclose(f);
    return true;
}

} // namespace fileCheck
